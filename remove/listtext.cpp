/* Reading and trimming of list entries, the installation directory, and the
 * containment tests. */
#include "listtext.h"

#include <string.h>

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

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

/* 1 when the first n bytes of a and b match, ASCII letters without regard
 * to case; a shorter text fails at its terminator. */
static int SameStart(const char *a, const char *b, size_t n)
{
    size_t i;

    for (i = 0; i < n; i++)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return 0;
    return 1;
}

int IsInsideDirectory(const char *path, const char *directory)
{
    size_t n = strlen(directory);

    if (n == 0 || directory[n - 1] != '\\')
        return 0;
    return SameStart(path, directory, n) && path[n] != '\0';
}

/* Final paths come as "\\?\C:\..." or "\\?\UNC\server\share\...". */
static const char *WithoutLongPrefix(const char *path)
{
    return strncmp(path, "\\\\?\\", 4) == 0 ? path + 4 : path;
}

int IsInsideFinalPath(const char *path, const char *directory)
{
    size_t n;

    path = WithoutLongPrefix(path);
    directory = WithoutLongPrefix(directory);
    n = strlen(directory);
    if (n > 0 && directory[n - 1] == '\\')
        n--;
    if (n == 0 || !SameStart(path, directory, n))
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

    return n > 0 && n == DirectoryLength(b) && SameStart(a, b, n);
}

int ReadListEntry(FILE *list, char *line)
{
    /* A line longer than 519 bytes arrives in pieces, each one an entry. */
    while (fgets(line, ListLineSize, list)) {
        TrimTrailing(line);
        if (line[0] != '\0')
            return 1;
    }
    return 0;
}
