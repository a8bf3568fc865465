/* The check that keeps the group folder work below the Programs folder, and
 * the Program Manager's command for a group. Names are walked by characters
 * of the ANSI code page, as the platform reads them. */
#include "remove/groupname.h"

#include "base/text.h"

/* No code page's trail byte lies below 0x40: a lead byte before the end, a
 * separator, a dot or a blank makes no character, and each platform reads
 * such a pair its own way. */
enum { LowestTrailByte = 0x40 };

static int IsLeadByte(unsigned char c, const unsigned char *leadRanges)
{
    int i;

    if (!leadRanges)
        return 0;
    for (i = 0; i + 1 < LeadByteRangesSize && leadRanges[i] != 0; i += 2)
        if (c >= leadRanges[i] && c <= leadRanges[i + 1])
            return 1;
    return 0;
}

/* The bytes of the character at p: 2 for a lead byte and its trail byte, 1
 * for any other byte, and for a lead byte followed by no trail byte (the
 * terminator included). */
static size_t CharSize(const char *p, const unsigned char *leadRanges)
{
    return IsLeadByte((unsigned char)p[0], leadRanges) && (unsigned char)p[1] >= LowestTrailByte ? 2 : 1;
}

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

int IsGroupFolderName(const char *name, const unsigned char *leadRanges)
{
    const char *p = name;
    int onlyDotsAndBlanks = 1;
    int length = 0;

    /* A leading separator makes the name absolute (or a share). */
    if (*name == '\0' || IsSeparator(*name))
        return 0;
    for (;; p++) {
        if (IsLeadByte((unsigned char)*p, leadRanges)) {
            if (CharSize(p, leadRanges) != 2)
                return 0;
            onlyDotsAndBlanks = 0;
            length++;
            p++;
            continue;
        }
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

size_t GroupFolderNameLength(const char *name, const unsigned char *leadRanges)
{
    size_t length = 0;
    size_t i = 0;
    size_t size;

    while (name[i] != '\0') {
        size = CharSize(name + i, leadRanges);
        if (size == 2 || !IsSeparator(name[i]))
            length = i + size;
        i += size;
    }
    return length;
}

/* The Program Manager ends an unquoted argument at these. */
static int IsCommandSyntax(char c)
{
    return c == ',' || c == '(' || c == ')' || c == '[' || c == ']';
}

int FormatDeleteGroupCommand(char *command, size_t size, const char *name, const unsigned char *leadRanges)
{
    const char *p;
    size_t step;
    int quoted = 0;

    for (p = name; *p != '\0'; p += step) {
        step = CharSize(p, leadRanges);
        if (step == 2)
            continue;
        /* A quoted argument ends at the next quote, and nothing escapes
         * one: such a name cannot be sent whole. */
        if (*p == '"') {
            if (size > 0)
                command[0] = '\0';
            return 0;
        }
        if (IsCommandSyntax(*p))
            quoted = 1;
    }
    if (quoted)
        return FormatText(command, size, "[DeleteGroup(\"%s\")]", name);
    return FormatText(command, size, "[DeleteGroup(%s)]", name);
}
