/* Text work of the uninstall list that needs no platform call: trimming a
 * line and telling whether a resolved entry stays inside the installation
 * directory. */
#ifndef QEL_REMOVE_LISTTEXT_H
#define QEL_REMOVE_LISTTEXT_H

/* Cuts trailing control characters, blanks and 0x7F in place. Bytes of 0x80
 * and above, and leading blanks, stay. */
void TrimTrailing(char *line);

/* 1 when path lies strictly below directory, which ends in a backslash:
 * directory is a prefix of path (ASCII letters compared without regard to
 * case) and path goes on after it. Both are full paths as the platform
 * resolved them, so a prefix ending in a backslash is a component boundary. */
int IsInsideDirectory(const char *path, const char *directory);

#endif
