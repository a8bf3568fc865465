/* The settings key store: every value and key operation on "Software\Qel"
 * under the current root, and the repeated-pass tree deletion. */
#include "settings/settings.h"

#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "settings/keypath.h"
#include "settings/keytree.h"

/* "Software\Qel\" and a subkey of up to 66 characters. */
enum { SettingsPathSize = 80 };

/* Zero until SetRegRoot: the root is HKEY_CURRENT_USER from process start.
 * A zero start keeps the variable out of the file's initialised data. */
static HKEY RegRoot;
static int TreePasses;

void SetRegRoot(HKEY root)
{
    RegRoot = root;
}

HKEY GetRegRoot(void)
{
    return RegRoot ? RegRoot : HKEY_CURRENT_USER;
}

/* "Software\Qel" or "Software\Qel\<subkey>"; 0 when it does not fit. */
static int SettingsPath(char *path, size_t size, const char *subkey)
{
    return FormatText(path, size, SettingsKeyPath "%s%s", *subkey ? "\\" : "", subkey);
}

HKEY CreateRegKey(const char *subkey)
{
    char path[SettingsPathSize];
    HKEY key;

    if (!SettingsPath(path, sizeof path, subkey))
        return NULL;
    if (RegCreateKeyExA(GetRegRoot(), path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return NULL;
    return key;
}

HKEY OpenRegKey(const char *subkey)
{
    char path[SettingsPathSize];
    HKEY key;

    if (!SettingsPath(path, sizeof path, subkey))
        return NULL;
    if (RegOpenKeyExA(GetRegRoot(), path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
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
    SetRegValue(subkey, name, REG_SZ, text, (DWORD)strlen(text) + 1);
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

/* Not memchr, for the size of the executable's imports. */
static int HoldsTerminator(const char *bytes, DWORD length)
{
    DWORD i;

    for (i = 0; i < length; i++)
        if (bytes[i] == '\0')
            return 1;
    return 0;
}

int GetRegString(const char *subkey, const char *name, char *buffer, const char *defaultText, DWORD size)
{
    DWORD length = size;

    if (GetRegValue(subkey, name, buffer, &length)) {
        /* The type is not tested, so the bytes need not end in a zero: one is
         * added where there is room, and a text that fills the whole buffer
         * without one does not fit. */
        if (HoldsTerminator(buffer, length))
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

    if (!SettingsPath(path, sizeof path, subkey))
        return;
    RegDeleteKeyA(GetRegRoot(), path);
}

void DeleteRegValue(const char *subkey, const char *name)
{
    char path[SettingsPathSize];
    HKEY key;

    if (!SettingsPath(path, sizeof path, subkey))
        return;
    if (RegOpenKeyExA(GetRegRoot(), path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
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
    LONG result = RegOpenKeyExA(GetRegRoot(), path, options, KEY_ALL_ACCESS, key);

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

/* 1 when the key opened at key still has a subkey. */
static int HasSubkey(HKEY key)
{
    char name[KeyNameSize];
    DWORD length = sizeof name;
    LONG result = RegEnumKeyExA(key, 0, name, &length, NULL, NULL, NULL, NULL);

    return result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
}

/* What the passes of one tree deletion share. */
struct TreeDeletion {
    DWORD options;          /* how keys are opened: links as themselves */
    int subkeysBlockDelete; /* the platform refuses a key with subkeys */
    int deleted;            /* keys the pass under way has deleted */
};

/* 1 when a subkey certainly stays below a key whose children the pass has
 * just visited (kept of them stayed, deleted went; end is the result that
 * ended the enumeration). Deleting a child moves the next sibling back to
 * the index just visited, so the next visit passes over it: after two
 * deletions one sibling certainly stays, after a single one only a look
 * tells. */
static int SubkeyStays(HKEY key, LONG end, int kept, int deleted)
{
    if (kept > 0 || end == ERROR_MORE_DATA || deleted >= 2)
        return 1;
    return deleted == 1 && end == ERROR_NO_MORE_ITEMS && HasSubkey(key);
}

/* One pass over the tree at path: children depth first, then the key. A
 * pass visits every second sibling (see SubkeyStays); the caller repeats
 * passes until one deletes nothing. Returns 1 when the key itself was
 * deleted. */
static int DeleteTreePass(struct TreeDeletion *tree, const char *path)
{
    char name[KeyNameSize];
    char child[KeyPathSize];
    DWORD index, length;
    HKEY key;
    LONG result;
    int kept = 0;
    int deleted = 0;
    int keep;

    if (RegOpenKeyExA(GetRegRoot(), path, tree->options, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    for (index = 0;; index++) {
        length = sizeof name;
        /* Fails at the end, and on a name of 200 characters or more. */
        result = RegEnumKeyExA(key, index, name, &length, NULL, NULL, NULL, NULL);
        if (result != ERROR_SUCCESS)
            break;
        /* A child path that does not fit is not touched: a shortened path
         * would name another key. */
        if (FormatText(child, sizeof child, "%s\\%s", path, name) && DeleteTreePass(tree, child))
            deleted++;
        else
            kept++;
    }
    /* On the NT family a key with subkeys cannot be deleted: the attempt,
     * certain to fail, is spared. The Windows 95 family deletes the key with
     * its subkeys, so there it is always made. A registry link, opened as
     * itself, shows no subkeys; deleting it by its path would delete the key
     * it leads to, so it stays, and its parents with it. */
    keep = (tree->subkeysBlockDelete && SubkeyStays(key, result, kept, deleted)) ||
           (tree->options != 0 && index == 0 && IsLinkKey(key));
    deleted = !keep && RegDeleteKeyA(GetRegRoot(), path) == ERROR_SUCCESS;
    tree->deleted += deleted;
    RegCloseKey(key);
    return deleted;
}

void DeleteKeyTree(const char *path)
{
    struct TreeDeletion tree;

    TreePasses = 0;
    /* Refused: a path that does not fit, and "" (the root key itself, which
     * a pass would empty). */
    if (strlen(path) >= KeyPathSize || !NamesKeyBelowRoot(path))
        return;
    tree.options = LinkOptions();
    tree.subkeysBlockDelete = GetPlatformId() == VER_PLATFORM_WIN32_NT;
    do {
        tree.deleted = 0;
        TreePasses++;
        DeleteTreePass(&tree, path);
    } while (tree.deleted != 0);
}

int DeleteKeyTreePasses(void)
{
    return TreePasses;
}
