/* Bounded formatting, the command tail, the mode choice and the doubling
 * of '%' for batch files. */
#include "base/text.h"

#include <stdarg.h>
#include <stdio.h>

int FormatText(char *dst, size_t size, const char *format, ...)
{
    va_list ap;
    int n;

    if (size == 0)
        return 0;
    va_start(ap, format);
#ifdef _WIN32
    /* _vsnprintf (crtdll.dll and msvcrt.dll alike) returns -1 when the
     * text is too long and leaves no terminator when it fits exactly
     * without one. */
    n = _vsnprintf(dst, size, format, ap);
#else
    n = vsnprintf(dst, size, format, ap);
#endif
    va_end(ap);
    if (n < 0 || (size_t)n >= size) {
        dst[0] = '\0';
        return 0;
    }
    dst[n] = '\0';
    return 1;
}

int LengthFits(unsigned long length, size_t size)
{
    return length != 0 && length < size;
}

static int IsBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

const char *CommandTail(const char *p)
{
    while (IsBlankOrTab(*p))
        p++;
    if (*p == '"') {
        /* A tab ends even a quoted name: the classic start-up code of
         * Windows programs forms the tail this way, and the command lines
         * that installers and the list of programs pass are made for it.
         * What follows the tab is then the tail, a closing quote not
         * included. */
        p++;
        while (*p && *p != '"' && *p != '\t')
            p++;
    } else {
        while (*p && !IsBlankOrTab(*p))
            p++;
    }
    if (*p == '"')
        p++;
    while (IsBlankOrTab(*p))
        p++;
    return p;
}

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

int SameStartNoCase(const char *a, const char *b, size_t n)
{
    size_t i;

    for (i = 0; i < n; i++)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return 0;
    return 1;
}

enum Mode SelectMode(const char *tail)
{
    /* A prefix test for "register"; the others take the terminator in, so
     * they match the whole tail only. */
    if (SameStartNoCase(tail, "register", RegisterWordLength))
        return ModeRegister;
    if (SameStartNoCase(tail, "warning", sizeof "warning"))
        return ModeWarning;
    if (SameStartNoCase(tail, "wait", sizeof "wait"))
        return ModeWait;
    if (SameStartNoCase(tail, "/s", sizeof "/s"))
        return ModeQuietUninstall;
    return ModeUninstall;
}

int EscapePercent(char *dst, size_t size, const char *path)
{
    size_t used = 0;

    if (size == 0)
        return 0;
    for (; *path; path++) {
        size_t need = *path == '%' ? 2 : 1;
        if (used + need >= size) {
            dst[0] = '\0';
            return 0;
        }
        dst[used++] = *path;
        if (need == 2)
            dst[used++] = '%';
    }
    dst[used] = '\0';
    return 1;
}
