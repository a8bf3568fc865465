/* Reading and trimming of list entries, the installation directory, and the
 * containment tests. */
#include "remove/listtext.h"

#include <string.h>

#include "base/text.h"

extern const char ListFileName[] = "Uninstall.lst";

/* Exactly the classic white-space and control characters; not the locale's. */
static int IsTrimmed(unsigned char c)
{
    return (c >= 0x01 && c <= 0x20) || c == 0x7F;
}

void TrimTrailing(char *line)
{
    size_t n = strlen(line);

    while (n > 0 && IsTrimmed((unsigned char)line[n - 1]))
        line[--n] = '\0';
}

int IsInsideDirectory(const char *path, const char *directory)
{
    size_t n = strlen(directory);

    if (n == 0 || directory[n - 1] != '\\')
        return 0;
    return SameStartNoCase(path, directory, n) && path[n] != '\0';
}

/* Final paths come as "\\?\C:\..." or "\\?\UNC\server\share\...". */
static const char *WithoutLongPrefix(const char *path)
{
    return path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\' ? path + 4 : path;
}

int IsInsideFinalPath(const char *path, const char *directory)
{
    size_t n;

    path = WithoutLongPrefix(path);
    directory = WithoutLongPrefix(directory);
    n = strlen(directory);
    if (n > 0 && directory[n - 1] == '\\')
        n--;
    if (n == 0 || !SameStartNoCase(path, directory, n))
        return 0;
    return path[n] == '\\' && path[n + 1] != '\0';
}

size_t CutToDirectory(char *path)
{
    char *slash = strrchr(path, '\\');

    if (!slash || slash == path)
        return 0;
    if (slash[-1] == ':')
        slash++;
    *slash = '\0';
    return (size_t)(slash - path);
}

/* The length of a directory path without a trailing backslash, which only
 * a drive root ("Q:\") keeps. */
static size_t DirectoryLength(const char *path)
{
    size_t n = strlen(path);

    if (n > 1 && path[n - 1] == '\\' && path[n - 2] != ':')
        n--;
    return n;
}

int IsSameDirectory(const char *a, const char *b)
{
    size_t n = DirectoryLength(a);

    return n > 0 && n == DirectoryLength(b) && SameStartNoCase(a, b, n);
}

int ReadListEntry(FILE *list, char *line, size_t size)
{
    /* A line longer than the buffer (519 bytes and the terminator) arrives
     * in pieces, each one an entry. */
    while (fgets(line, (int)size, list)) {
        TrimTrailing(line);
        if (line[0] != '\0')
            return 1;
    }
    return 0;
}
