/* Bounded formatting, the command tail, the mode choice and the doubling
 * of '%' for batch files. */
#include "text.h"

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

static int IsBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

const char *CommandTail(const char *p)
{
    while (IsBlankOrTab(*p))
        p++;
    if (*p == '"') {
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

/* Compares the first n characters of s with the lower-case word; s may be
 * shorter only if the word is too. */
static int MatchesNoCase(const char *s, const char *word, size_t n)
{
    size_t i;

    for (i = 0; i < n; i++) {
        if (LowerAscii(s[i]) != word[i])
            return 0;
        if (word[i] == '\0')
            return 1;
    }
    return 1;
}

enum Mode SelectMode(const char *tail)
{
    if (MatchesNoCase(tail, "register", RegisterWordLength))
        return ModeRegister;
    if (MatchesNoCase(tail, "warning", sizeof "warning"))
        return ModeWarning;
    if (MatchesNoCase(tail, "wait", sizeof "wait"))
        return ModeWait;
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
