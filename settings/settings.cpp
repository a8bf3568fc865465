/* The settings key store: every value and key operation on "Software\Qel"
 * under the current root, and the repeated-pass tree deletion. */
#include "settings.h"

#include <string.h>

#include "../entry/entry.h"
#include "../entry/text.h"
#include "keypath.h"

enum {
    SettingsPathSize = 80, /* "Software\Qel\" + a subkey of up to 66 */
    TreePathSize = 512,    /* full and child paths of up to 511 */
    ChildNameSize = 200    /* child names of up to 199 */
};

static HKEY RegRoot = HKEY_CURRENT_USER;
static int DeletedThisPass;
static int TreePasses;
/* Whether the platform refuses to delete a key that has subkeys. */
static int SubkeysBlockDeletion;
/* The options a tree deletion opens its keys with. */
static DWORD TreeOptions;

void SetRegRoot(HKEY root)
{
    RegRoot = root;
}

HKEY GetRegRoot(void)
{
    return RegRoot;
}

/* "Software\Qel" or "Software\Qel\<subkey>"; 0 when it does not fit. */
static int SettingsPath(char *path, const char *subkey)
{
    return FormatText(path, SettingsPathSize, SettingsKeyPath "%s%s", *subkey ? "\\" : "", subkey);
}

HKEY CreateRegKey(const char *subkey)
{
    char path[SettingsPathSize];
    HKEY key;

    if (!SettingsPath(path, subkey))
        return NULL;
    if (RegCreateKeyExA(RegRoot, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return NULL;
    return key;
}

HKEY OpenRegKey(const char *subkey)
{
    char path[SettingsPathSize];
    HKEY key;

    if (!SettingsPath(path, subkey))
        return NULL;
    if (RegOpenKeyExA(RegRoot, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

static void SetRegValue(const char *subkey, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key = CreateRegKey(subkey);

    if (!key)
        return;
    /* A failed write is not reported; the caller goes on. */
    RegSetValueExA(key, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(key);
}

void SetRegString(const char *subkey, const char *name, const char *text)
{
    SetRegValue(subkey, name, REG_SZ, text, lstrlenA(text) + 1);
}

void SetRegDword(const char *subkey, const char *name, DWORD value)
{
    SetRegValue(subkey, name, REG_DWORD, &value, sizeof value);
}

void SetRegBinary(const char *subkey, const char *name, const void *data, DWORD size)
{
    SetRegValue(subkey, name, REG_BINARY, data, size);
}

/* Queries a value into *room bytes; 1 when it was read whole, with *room
 * then holding the length delivered. */
static int GetRegValue(const char *subkey, const char *name, void *buffer, DWORD *room)
{
    HKEY key = OpenRegKey(subkey);
    DWORD type;
    LONG result;

    if (!key)
        return 0;
    result = RegQueryValueExA(key, name, NULL, &type, (BYTE *)buffer, room);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

int GetRegString(const char *subkey, const char *name, char *buffer, const char *defaultText, DWORD size)
{
    DWORD length = size;

    if (GetRegValue(subkey, name, buffer, &length)) {
        /* The type is not tested, so the bytes need not end in a zero: one is
         * added where there is room, and a text that fills the whole buffer
         * without one does not fit. */
        if (memchr(buffer, '\0', length))
            return 1;
        if (length < size) {
            buffer[length] = '\0';
            return 1;
        }
    }
    /* The default is the caller's to fit; one that does not leaves "". */
    FormatText(buffer, size, "%s", defaultText);
    return 0;
}

int GetRegDword(const char *subkey, const char *name, DWORD *value, DWORD defaultValue)
{
    DWORD length = sizeof *value;

    if (GetRegValue(subkey, name, value, &length))
        return 1;
    *value = defaultValue;
    return 0;
}

DWORD GetRegDword(const char *subkey, const char *name, DWORD defaultValue)
{
    /* A stored value shorter than 4 bytes fills only the low bytes. */
    DWORD value = 0;

    GetRegDword(subkey, name, &value, defaultValue);
    return value;
}

int GetRegBinary(const char *subkey, const char *name, void *buffer, const void *defaultData, DWORD size)
{
    DWORD length = size;

    if (GetRegValue(subkey, name, buffer, &length))
        return 1;
    /* The default covers exactly size bytes, whatever the failed query said. */
    if (defaultData)
        CopyMemory(buffer, defaultData, size);
    else
        ZeroMemory(buffer, size);
    return 0;
}

int CheckRegKey(const char *subkey)
{
    HKEY key = OpenRegKey(subkey);

    if (!key)
        return 0;
    RegCloseKey(key);
    return 1;
}

void DeleteRegKey(const char *subkey)
{
    char path[SettingsPathSize];

    if (!SettingsPath(path, subkey))
        return;
    RegDeleteKeyA(RegRoot, path);
}

void DeleteRegValue(const char *subkey, const char *name)
{
    char path[SettingsPathSize];
    HKEY key;

    if (!SettingsPath(path, subkey))
        return;
    if (RegOpenKeyExA(RegRoot, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

/* The NT family has registry links: a key opened with REG_OPTION_OPEN_LINK
 * is the link itself, not the key it leads to. The Windows 95 family has
 * none and takes no options. */
static DWORD LinkOptions(void)
{
    return GetPlatformId() == VER_PLATFORM_WIN32_WINDOWS ? 0 : REG_OPTION_OPEN_LINK;
}

/* 1 when a key opened with REG_OPTION_OPEN_LINK is a registry link: only a
 * link holds this value with this type. The data is not needed. */
static int IsLinkKey(HKEY key)
{
    DWORD type;

    return RegQueryValueExA(key, "SymbolicLinkValue", NULL, &type, NULL, NULL) == ERROR_SUCCESS &&
           type == REG_LINK;
}

LONG OpenTreeKey(const char *path, HKEY *key, int *isLink)
{
    DWORD options = LinkOptions();
    LONG result = RegOpenKeyExA(RegRoot, path, options, KEY_ALL_ACCESS, key);

    *isLink = result == ERROR_SUCCESS && options != 0 && IsLinkKey(*key);
    return result;
}

int IsTreeLink(const char *path)
{
    HKEY key;
    int isLink;

    /* Not even looked at where there are no links. */
    if (LinkOptions() == 0 || OpenTreeKey(path, &key, &isLink) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return isLink;
}

/* 1 when a subkey certainly stays below a key whose pass just ended (the
 * enumeration's last result given): one the pass kept, one the enumeration
 * could not read, or one passed over because a deleted sibling shifted it
 * back to an index already visited. After a single deletion and no other
 * visit only a look at index 0 tells. */
static int SubkeyLeft(HKEY key, LONG result, int kept, int passedOver, int lastDeleted)
{
    char name[ChildNameSize];
    DWORD length = sizeof name;

    if (kept || passedOver || result == ERROR_MORE_DATA)
        return 1;
    if (!lastDeleted || result != ERROR_NO_MORE_ITEMS)
        return 0;
    result = RegEnumKeyExA(key, 0, name, &length, NULL, NULL, NULL, NULL);
    return result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
}

/* One pass over the tree at path: children depth first, then the key.
 * Deleting a child shifts its later siblings down by one index, so a pass
 * visits every second sibling; the caller repeats passes until one deletes
 * nothing. Returns 1 when the key itself was deleted. */
static int DeleteTreePass(const char *path)
{
    char name[ChildNameSize];
    char child[TreePathSize];
    DWORD index, length;
    HKEY key;
    LONG result;
    int kept = 0;
    int passedOver = 0;
    int lastDeleted = 0;
    int deleted = 0;
    int keep;

    if (RegOpenKeyExA(RegRoot, path, TreeOptions, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    for (index = 0;; index++) {
        length = sizeof name;
        /* Fails at the end, and on a name of 200 characters or more. */
        result = RegEnumKeyExA(key, index, name, &length, NULL, NULL, NULL, NULL);
        if (result != ERROR_SUCCESS)
            break;
        if (lastDeleted)
            passedOver = 1;
        /* A child path that does not fit is not touched: a shortened path
         * would name another key. */
        lastDeleted = FormatText(child, sizeof child, "%s\\%s", path, name) && DeleteTreePass(child);
        if (!lastDeleted)
            kept = 1;
    }
    /* On the NT family a key with subkeys cannot be deleted: the attempt,
     * certain to fail, is spared. The Windows 95 family deletes the key with
     * its subkeys, so there it is always made. A registry link, opened as
     * itself, shows no subkeys; deleting it by its path would delete the key
     * it leads to, so it stays, and its parents with it. */
    keep = (SubkeysBlockDeletion && SubkeyLeft(key, result, kept, passedOver, lastDeleted)) ||
           (TreeOptions != 0 && index == 0 && IsLinkKey(key));
    if (!keep && RegDeleteKeyA(RegRoot, path) == ERROR_SUCCESS) {
        DeletedThisPass++;
        deleted = 1;
    }
    RegCloseKey(key);
    return deleted;
}

void DeleteKeyTree(const char *path)
{
    TreePasses = 0;
    /* Refused: a path that does not fit, and "" (the root key itself, which
     * a pass would empty). */
    if (lstrlenA(path) >= TreePathSize || !NamesKeyBelowRoot(path))
        return;
    SubkeysBlockDeletion = GetPlatformId() == VER_PLATFORM_WIN32_NT;
    TreeOptions = LinkOptions();
    do {
        DeletedThisPass = 0;
        TreePasses++;
        DeleteTreePass(path);
    } while (DeletedThisPass != 0);
}

int DeleteKeyTreePasses(void)
{
    return TreePasses;
}
