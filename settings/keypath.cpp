/* Key path and entry template checks. */
#include "settings/keypath.h"

int NamesKeyBelowRoot(const char *path)
{
    for (; *path; path++)
        if (*path != '\\')
            return 1;
    return 0;
}

static int SameKeyChar(unsigned char a, unsigned char b)
{
    if (a >= 0x80 && b >= 0x80)
        return 1;
    if (a >= 'a' && a <= 'z')
        a = (unsigned char)(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z')
        b = (unsigned char)(b - 'a' + 'A');
    return a == b;
}

static int EndsComponent(char c)
{
    return c == '\0' || c == '\\';
}

int KeyPathsOverlap(const char *a, const char *b)
{
    for (;;) {
        while (*a == '\\')
            a++;
        while (*b == '\\')
            b++;
        /* Every component of the shorter path matched: it holds the other. */
        if (*a == '\0' || *b == '\0')
            return 1;
        for (; !EndsComponent(*a) && !EndsComponent(*b); a++, b++)
            if (!SameKeyChar((unsigned char)*a, (unsigned char)*b))
                return 0;
        if (!EndsComponent(*a) || !EndsComponent(*b))
            return 0;
    }
}

static int IsFlag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '0';
}

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int IsEntryTemplate(const char *p)
{
    int conversions = 0;
    int digits;

    for (; *p; p++) {
        if (*p != '%')
            continue;
        p++;
        if (*p == '%')
            continue;
        while (IsFlag(*p))
            p++;
        /* A wider field could never fit an entry path anyway. */
        for (digits = 0; IsDigit(*p); p++)
            if (++digits > 2)
                return 0;
        /* No precision: "%.0d" prints nothing for 0, and the entry's name
         * could then end in a bare backslash and name its parent. */
        if (*p != 'd' && *p != 'i')
            return 0;
        conversions++;
    }
    return conversions == 1;
}
