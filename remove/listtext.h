/* Text work of the uninstall list that needs no platform call: reading and
 * trimming its entries, and telling whether a resolved entry stays inside
 * the installation directory. */
#ifndef QEL_REMOVE_LISTTEXT_H
#define QEL_REMOVE_LISTTEXT_H

#include <stdio.h>

/* Room for one read of the list: 519 bytes of a line and the terminator. */
enum { ListLineSize = 520 };

/* Cuts trailing control characters, blanks and 0x7F in place. Bytes of 0x80
 * and above, and leading blanks, stay. */
void TrimTrailing(char *line);

/* 1 when path lies strictly below directory, which ends in a backslash:
 * directory is a prefix of path (ASCII letters compared without regard to
 * case) and path goes on after it. Both are full paths as the platform
 * resolved them, so a prefix ending in a backslash is a component boundary. */
int IsInsideDirectory(const char *path, const char *directory);

/* Reads the next entry of the list into line (ListLineSize bytes): one line,
 * or a piece of 519 bytes of a longer one, trimmed at its end; lines that
 * are empty after the trim are skipped. Returns 0 at the end of the list. */
int ReadListEntry(FILE *list, char *line);

#endif
