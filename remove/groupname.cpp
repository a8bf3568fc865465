/* The check that keeps the group folder work below the Programs folder. */
#include "groupname.h"

static int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

/* Characters Windows refuses in a file name; the wildcards among them would
 * otherwise reach the search and the deletions. ':' also covers "C:" and
 * stream names. */
static int IsForbidden(char c)
{
    return (unsigned char)c < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
           c == '>' || c == '|';
}

int IsGroupFolderName(const char *name)
{
    const char *p = name;
    int onlyDotsAndBlanks = 1;
    int length = 0;

    /* A leading separator makes the name absolute (or a share). */
    if (*name == '\0' || IsSeparator(*name))
        return 0;
    /* Byte by byte: a trail byte of a double-byte character that looks like
     * a separator only splits a component more finely, which can only
     * reject more, never less. */
    for (;; p++) {
        if (*p == '\0' || IsSeparator(*p)) {
            /* "..", and on the Windows 95 family "..." as well, climb; "."
             * and names that lose their trailing dots and blanks stay on
             * the Programs folder itself. Empty components collapse. */
            if (length > 0 && onlyDotsAndBlanks)
                return 0;
            if (*p == '\0')
                return 1;
            onlyDotsAndBlanks = 1;
            length = 0;
            continue;
        }
        if (IsForbidden(*p))
            return 0;
        if (*p != '.' && *p != ' ')
            onlyDotsAndBlanks = 0;
        length++;
    }
}
