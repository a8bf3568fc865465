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

/* NtDeleteKey: deletes the key that a handle holds, on every NT. */
typedef LONG(NTAPI *DeleteKeyCall)(HANDLE key);

/* What the passes of one tree deletion share. */
struct TreeDeletion {
    DWORD options;           /* how keys are opened: links as themselves */
    DeleteKeyCall deleteKey; /* NULL on the Windows 95 family */
    int deleted;             /* keys the pass under way has deleted */
};

/* Deletes the key held open at key, name below parent: on the NT family
 * through that handle, never by its name again; on the Windows 95 family,
 * which has no links, by its name. 1 when it went. */
static int DeleteOpenKey(const struct TreeDeletion *tree, HKEY parent, const char *name, HKEY key)
{
    if (tree->deleteKey)
        return tree->deleteKey(key) >= 0;
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

/* One pass over the key name below parent, whose path from the root has
 * length characters. The key is deleted at once where it can be: the NT
 * family refuses a key with subkeys, the Windows 95 family deletes it with
 * them. Otherwise its children go first, depth first, each opened below the
 * key held open, and then the key. Deleting a child moves its next sibling
 * to its index, so the index moves on only past a child that stays: no key
 * is passed over, and one pass deletes all that can go. Returns 1 when the
 * key itself was deleted. */
static int DeleteTreePass(struct TreeDeletion *tree, HKEY parent, const char *name, DWORD length)
{
    char child[KeyNameSize];
    DWORD index = 0;
    DWORD childLength;
    HKEY key;
    LONG result = ERROR_SUCCESS;
    int deleted = 0;

    if (RegOpenKeyExA(parent, name, tree->options, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    /* A registry link, opened as itself, is neither entered nor deleted:
     * below it lies the key it leads to. It stays, and its parents too. */
    if (tree->options == 0 || !IsLinkKey(key)) {
        /* Tried before its children are enumerated, and once more after. */
        for (;;) {
            deleted = DeleteOpenKey(tree, parent, name, key);
            if (deleted || result != ERROR_SUCCESS)
                break;
            do {
                childLength = sizeof child;
                /* Fails at the end, and on a name of 200 characters or more. */
                result = RegEnumKeyExA(key, index, child, &childLength, NULL, NULL, NULL, NULL);
                /* A child whose path would pass 511 characters is not
                 * touched, as when the paths were composed whole. */
                childLength += length + 1;
                if (result == ERROR_SUCCESS &&
                    (childLength >= KeyPathSize || !DeleteTreePass(tree, key, child, childLength)))
                    index++;
            } while (result == ERROR_SUCCESS);
            /* On the NT family the second attempt is spared while a subkey
             * stays (one kept, or one not read). */
            if (tree->options != 0 && (index != 0 || result != ERROR_NO_MORE_ITEMS))
                break;
        }
    }
    tree->deleted += deleted;
    RegCloseKey(key);
    return deleted;
}

void DeleteKeyTree(const char *path)
{
    struct TreeDeletion tree;
    size_t length = strlen(path);

    TreePasses = 0;
    /* Refused: a path that does not fit, and "" (the root key itself, which
     * a pass would empty). */
    if (length >= KeyPathSize || !NamesKeyBelowRoot(path))
        return;
    tree.options = LinkOptions();
    tree.deleteKey = tree.options ? (DeleteKeyCall)(void *)GetNativeCall("NtDeleteKey") : NULL;
    do {
        tree.deleted = 0;
        TreePasses++;
        DeleteTreePass(&tree, GetRegRoot(), path, (DWORD)length);
    } while (tree.deleted != 0);
}

int DeleteKeyTreePasses(void)
{
    return TreePasses;
}
