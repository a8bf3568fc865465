/* Quoting of a file name for a batch file line, and the line of "Qel.bat". */
#include "register/quote.h"

#include <string.h>

#include "base/text.h"

int FileNameNeedsQuotes(const char *name)
{
    if (name[0] == '-' || name[0] == '^')
        return 1;
    return strpbrk(name, " &") != NULL;
}

char *QuoteFileName(char *name)
{
    size_t length, i;

    if (!FileNameNeedsQuotes(name))
        return name;
    /* Shifted in place rather than through a scratch copy: the result is
     * the same, and no length of name can overrun a fixed scratch buffer.
     * Writes exactly length + 3 bytes. */
    length = strlen(name);
    /* Not memmove, for the size of the executable's imports. */
    for (i = length; i > 0; i--)
        name[i] = name[i - 1];
    name[0] = '"';
    name[length + 1] = '"';
    name[length + 2] = '\0';
    return name;
}

int FormatLauncherLine(char *dst, size_t size, const char *programPath)
{
    /* Two more bytes for the quotes. */
    char command[EscapedPathSize + 2];

    if (!EscapePercent(command, sizeof command - 2, programPath)) {
        if (size > 0)
            dst[0] = '\0';
        return 0;
    }
    return FormatText(dst, size, "%s\r\n", QuoteFileName(command));
}
