/* Key copy and numbered entries: whole key trees under the current root. */
#include "settings.h"

#include <limits.h>

#include "../entry/text.h"
#include "keypath.h"

enum {
    ValueNameSize = 200,  /* value names of up to 199 */
    ValueDataSize = 1000, /* value data of up to 1000 bytes */
    ChildNameSize = 200,  /* child names of up to 199 */
    ChildPathSize = 512,  /* full and child paths of up to 511 */
    EntryPathSize = 80    /* the full template and entry paths, up to 79 */
};

static int CreateTreeKey(const char *path, HKEY *key)
{
    return RegCreateKeyExA(GetRegRoot(), path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, key,
                           NULL) == ERROR_SUCCESS;
}

int CopyKeyTree(const char *source, const char *destination)
{
    char valueName[ValueNameSize];
    BYTE data[ValueDataSize];
    char childName[ChildNameSize];
    char sourceChild[ChildPathSize];
    char destinationChild[ChildPathSize];
    DWORD index, nameLength, dataLength, type;
    HKEY sourceKey, destinationKey, childKey;
    int isLink;

    /* Refused before anything changes: a path that does not fit, one that
     * names the root itself, and trees that overlap, since the destination
     * is deleted before the source is read. */
    if (lstrlenA(source) >= ChildPathSize || lstrlenA(destination) >= ChildPathSize)
        return 0;
    if (!NamesKeyBelowRoot(source) || !NamesKeyBelowRoot(destination) || KeyPathsOverlap(source, destination))
        return 0;
    if (OpenTreeKey(source, &sourceKey, &isLink) != ERROR_SUCCESS)
        return 0;
    /* A registry link is not copied through: what it leads to is no part of
     * the source tree. */
    if (isLink) {
        RegCloseKey(sourceKey);
        return 0;
    }
    DeleteKeyTree(destination);
    /* A link at the destination outlives that deletion; a creation through
     * it would write where it leads. */
    if (IsTreeLink(destination) || !CreateTreeKey(destination, &destinationKey)) {
        RegCloseKey(sourceKey);
        return 0;
    }

    /* Ends at the first value that does not fit the buffers (data over 1000
     * bytes, a name of 200 or more): the later values are not copied. */
    for (index = 0;; index++) {
        nameLength = sizeof valueName;
        dataLength = sizeof data;
        if (RegEnumValueA(sourceKey, index, valueName, &nameLength, NULL, &type, data, &dataLength) !=
            ERROR_SUCCESS)
            break;
        /* A failed write is not reported; the copy goes on. */
        RegSetValueExA(destinationKey, valueName, 0, type, data, dataLength);
    }

    for (index = 0;; index++) {
        nameLength = sizeof childName;
        if (RegEnumKeyExA(sourceKey, index, childName, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        /* A child path that does not fit is not copied: a shortened path
         * would name another key. */
        if (!FormatText(sourceChild, sizeof sourceChild, "%s\\%s", source, childName) ||
            !FormatText(destinationChild, sizeof destinationChild, "%s\\%s", destination, childName))
            continue;
        /* Left out before anything is created: a link in the source, and a
         * link that the deletion above left at the destination. */
        if (IsTreeLink(sourceChild) || IsTreeLink(destinationChild))
            continue;
        /* This creation only decides whether the loop goes on; the copy
         * below deletes the child and creates it anew. */
        if (!CreateTreeKey(destinationChild, &childKey))
            break;
        RegCloseKey(childKey);
        CopyKeyTree(sourceChild, destinationChild);
    }

    RegCloseKey(sourceKey);
    RegCloseKey(destinationKey);
    return 1;
}

/* "Software\Qel\<entryTemplate>", itself a format taking the entry number;
 * 0 when the template is not a safe one or the result does not fit. */
static int FullTemplate(char *full, const char *entryTemplate)
{
    if (!IsEntryTemplate(entryTemplate))
        return 0;
    return FormatText(full, EntryPathSize, SettingsKeyPath "%s%s", *entryTemplate ? "\\" : "", entryTemplate);
}

/* The path of entry number; 0 when it does not fit. */
static int EntryPath(char *path, const char *full, int number)
{
    return FormatText(path, EntryPathSize, full, number);
}

void DeleteNumberedKey(const char *entryTemplate, int number)
{
    char full[EntryPathSize];
    char destination[EntryPathSize];
    char source[EntryPathSize];

    if (!FullTemplate(full, entryTemplate) || !EntryPath(destination, full, number))
        return;
    /* Entry number + 1 must be nameable too before anything changes. */
    if (number < INT_MAX && !EntryPath(source, full, number + 1))
        return;
    /* Each copy moves one entry down; the walk ends at the first entry that
     * cannot be copied, and the entry before it, already copied down, goes. */
    while (number < INT_MAX && CopyKeyTree(source, destination)) {
        number++;
        FormatText(destination, sizeof destination, "%s", source);
        /* An entry that cannot be named ends the walk as a missing one does. */
        if (number == INT_MAX || !EntryPath(source, full, number + 1))
            break;
    }
    DeleteKeyTree(destination);
}

void InsertNumberedKey(const char *entryTemplate, int number, int top)
{
    char full[EntryPathSize];
    char destination[EntryPathSize];
    char source[EntryPathSize];

    if (!FullTemplate(full, entryTemplate) || !EntryPath(destination, full, number))
        return;
    /* The entries between number and top have paths no longer than theirs,
     * so the walk below cannot meet a path that does not fit once these two
     * fit. */
    if (number < top && !EntryPath(destination, full, top))
        return;
    /* From the top down, so that no entry is overwritten before it has
     * been copied. */
    while (number < top) {
        if (!EntryPath(destination, full, top) || !EntryPath(source, full, top - 1))
            break;
        if (!CopyKeyTree(source, destination))
            break;
        top--;
    }
    if (EntryPath(destination, full, number))
        DeleteKeyTree(destination);
}
