/* First-run defaults for the file manager's highlighting of files by name
 * and attributes. This program only writes them. */
#include "register/register.h"

#include "settings/settings.h"

static const char HighlightSubkey[] = "Highlight";

/* "IncludeAttributes" is written only where it is not NoAttributes: the
 * last three groups have no such value at all. */
enum { NoAttributes = 0 };

struct HighlightGroup {
    const char *subkey;
    const char *mask;
    DWORD includeAttributes;
    DWORD normalColor;
    DWORD cursorColor;
};

static const struct HighlightGroup DefaultGroups[] = {
    {"Highlight\\Group0", "*.*", FILE_ATTRIBUTE_HIDDEN, 0x13, 0x38},
    {"Highlight\\Group1", "*.*", FILE_ATTRIBUTE_SYSTEM, 0x13, 0x38},
    {"Highlight\\Group2", "*.*", FILE_ATTRIBUTE_DIRECTORY, 0x1F, 0x3F},
    {"Highlight\\Group3", "*.exe,*.com,*.bat,*.cmd", NoAttributes, 0x1A, 0x3A},
    {"Highlight\\Group4", "*.rar,*.arj,*.zip,*.lzh", NoAttributes, 0x1D, 0x3D},
    {"Highlight\\Group5", "*.bak,*.tmp", NoAttributes, 0x16, 0x36},
};

void WriteHighlightDefaults(void)
{
    size_t i;

    /* Any "Highlight", even an empty one, is the user's: never completed. */
    if (CheckRegKey(HighlightSubkey))
        return;
    /* Each write creates its group's key; results are not looked at. */
    for (i = 0; i < sizeof DefaultGroups / sizeof DefaultGroups[0]; i++) {
        const struct HighlightGroup *group = &DefaultGroups[i];

        SetRegString(group->subkey, "Mask", group->mask);
        if (group->includeAttributes != NoAttributes)
            SetRegDword(group->subkey, "IncludeAttributes", group->includeAttributes);
        SetRegDword(group->subkey, "NormalColor", group->normalColor);
        SetRegDword(group->subkey, "CursorColor", group->cursorColor);
    }
}
