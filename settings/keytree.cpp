/* Key copy and numbered entries: whole key trees under the current root. */
#include "settings/settings.h"

#include <limits.h>
#include <string.h>

#include "base/text.h"
#include "settings/keypath.h"
#include "settings/keytree.h"

enum {
    ValueDataSize = 1000, /* value data of up to 1000 bytes */
    EntryPathSize = 80    /* the full template and entry paths, up to 79 */
};

static int CreateTreeKey(const char *path, HKEY *key)
{
    return RegCreateKeyExA(GetRegRoot(), path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, key,
                           NULL) == ERROR_SUCCESS;
}

/* Copies the values and the subkeys of the open source key (at source)
 * into the open destination key (at destination). */
static void CopyKeyContents(HKEY sourceKey, const char *source, HKEY destinationKey, const char *destination)
{
    char valueName[KeyNameSize];
    BYTE data[ValueDataSize];
    char childName[KeyNameSize];
    char sourceChild[KeyPathSize];
    char destinationChild[KeyPathSize];
    DWORD index, nameLength, dataLength, type;
    HKEY childKey;

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
         * link that the deletion of the destination left there. */
        if (IsTreeLink(sourceChild) || IsTreeLink(destinationChild))
            continue;
        /* This creation only decides whether the loop goes on; the copy
         * below deletes the child and creates it anew. */
        if (!CreateTreeKey(destinationChild, &childKey))
            break;
        RegCloseKey(childKey);
        CopyKeyTree(sourceChild, destinationChild);
    }
}

int CopyKeyTree(const char *source, const char *destination)
{
    HKEY sourceKey, destinationKey;
    int isLink;
    int copied = 0;

    /* Refused before anything changes: a path that does not fit, one that
     * names the root itself, and trees that overlap, since the destination
     * is deleted before the source is read. */
    if (strlen(source) >= KeyPathSize || strlen(destination) >= KeyPathSize)
        return 0;
    if (!NamesKeyBelowRoot(source) || !NamesKeyBelowRoot(destination) || KeyPathsOverlap(source, destination))
        return 0;
    if (OpenTreeKey(source, &sourceKey, &isLink) != ERROR_SUCCESS)
        return 0;
    /* A registry link is not copied through: what it leads to is no part of
     * the source tree. A link at the destination outlives the deletion; a
     * creation through it would write where it leads. */
    if (!isLink) {
        DeleteKeyTree(destination);
        if (!IsTreeLink(destination) && CreateTreeKey(destination, &destinationKey)) {
            CopyKeyContents(sourceKey, source, destinationKey, destination);
            RegCloseKey(destinationKey);
            copied = 1;
        }
    }
    RegCloseKey(sourceKey);
    return copied;
}

/* The path of entry number; 0 when it does not fit. */
static int EntryPath(char *path, size_t size, const char *full, int number)
{
    return FormatText(path, size, full, number);
}

/* The paths of one walk over numbered entries: the full template, itself a
 * format taking the entry number, and the entries copied from and to. */
struct EntryPaths {
    char full[EntryPathSize];
    char source[EntryPathSize];
    char destination[EntryPathSize];
};

/* "Software\Qel\<entryTemplate>" and, as the destination, the path of entry
 * number; 0 when the template is not a safe one or a path does not fit. */
static int StartEntryPaths(struct EntryPaths *paths, const char *entryTemplate, int number)
{
    return IsEntryTemplate(entryTemplate) &&
           FormatText(paths->full, sizeof paths->full, SettingsKeyPath "%s%s", *entryTemplate ? "\\" : "",
                      entryTemplate) &&
           EntryPath(paths->destination, sizeof paths->destination, paths->full, number);
}

void DeleteNumberedKey(const char *entryTemplate, int number)
{
    struct EntryPaths paths;

    if (!StartEntryPaths(&paths, entryTemplate, number))
        return;
    /* Entry number + 1 must be nameable too before anything changes. */
    if (number < INT_MAX && !EntryPath(paths.source, sizeof paths.source, paths.full, number + 1))
        return;
    /* Each copy moves one entry down; the walk ends at the first entry that
     * cannot be copied, and the entry before it, already copied down, goes. */
    while (number < INT_MAX && CopyKeyTree(paths.source, paths.destination)) {
        number++;
        FormatText(paths.destination, sizeof paths.destination, "%s", paths.source);
        /* An entry that cannot be named ends the walk as a missing one does. */
        if (number == INT_MAX || !EntryPath(paths.source, sizeof paths.source, paths.full, number + 1))
            break;
    }
    DeleteKeyTree(paths.destination);
}

void InsertNumberedKey(const char *entryTemplate, int number, int top)
{
    struct EntryPaths paths;

    if (!StartEntryPaths(&paths, entryTemplate, number))
        return;
    /* The entries between number and top have paths no longer than theirs,
     * so the walk below cannot meet a path that does not fit once these two
     * fit. */
    if (number < top && !EntryPath(paths.destination, sizeof paths.destination, paths.full, top))
        return;
    /* From the top down, so that no entry is overwritten before it has
     * been copied. */
    while (number < top) {
        if (!EntryPath(paths.destination, sizeof paths.destination, paths.full, top) ||
            !EntryPath(paths.source, sizeof paths.source, paths.full, top - 1))
            break;
        if (!CopyKeyTree(paths.source, paths.destination))
            break;
        top--;
    }
    if (EntryPath(paths.destination, sizeof paths.destination, paths.full, number))
        DeleteKeyTree(paths.destination);
}
