/* Text work of the uninstall list that needs no platform call: reading and
 * trimming its entries, the installation directory from the module path,
 * and telling whether a resolved entry stays inside that directory. */
#ifndef QEL_REMOVE_LISTTEXT_H
#define QEL_REMOVE_LISTTEXT_H

#include <stddef.h>
#include <stdio.h>

/* Written by the installer beside the executable. */
extern const char ListFileName[];

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

/* 1 when a final path (links resolved, as the platform gives it) lies
 * strictly below the final path of a directory. A "\\?\" prefix is ignored
 * on either, ASCII letters are compared without regard to case, and the
 * directory may end in a backslash (a drive root does) or not. */
int IsInsideFinalPath(const char *path, const char *directory);

/* Ends a module path at the directory that holds the module: "C:\Qel" for
 * "C:\Qel\Uninstall.exe". A drive root keeps its backslash ("Q:\" for
 * "Q:\Uninstall.exe"), since "Q:" alone names the drive's remembered
 * current directory. Returns the length left; 0 when the path holds no
 * backslash or nothing is left before it. */
size_t CutToDirectory(char *path);

/* 1 when two full paths name the same directory as text: ASCII letters
 * compared without regard to case, one trailing backslash ignored unless it
 * is a drive root's. */
int IsSameDirectory(const char *a, const char *b);

/* Reads the next entry of the list into line (size bytes, ListLineSize
 * for the uninstall): one line, or a piece of size - 1 bytes of a longer
 * one, trimmed at its end; lines that are empty after the trim are skipped.
 * Returns 0 at the end of the list. */
int ReadListEntry(FILE *list, char *line, size_t size);

#endif
