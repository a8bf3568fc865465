/* Reading and trimming of list entries, and the containment test. */
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

int IsInsideDirectory(const char *path, const char *directory)
{
    size_t n = strlen(directory);
    size_t i;

    if (n == 0 || directory[n - 1] != '\\')
        return 0;
    for (i = 0; i < n; i++)
        if (LowerAscii(path[i]) != LowerAscii(directory[i]))
            return 0;
    return path[n] != '\0';
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
