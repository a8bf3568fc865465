/* Deletion through the handle that was checked. A path is read anew by each
 * call that takes one: between a check by path and a deletion by path,
 * whoever may create folders in the installation can put a link where a
 * checked directory was. So each item is opened relative to a directory
 * already held, without following a link at its end, checked through that
 * handle and deleted through it; a swap after the open can then only make
 * the deletion fail. */
#include "remove/safedelete.h"

#include "base/platform.h"
#include "remove/listtext.h"

#ifndef NT_SUCCESS
#define NT_SUCCESS(status) ((NTSTATUS)(status) >= 0)
#endif

/* What an item is opened for: deletion and its attributes. */
static const ACCESS_MASK DeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

/* Whether the first end units of wide name a link. Wine shows a Unix link
 * only so, never through a handle. */
static int IsLinkByName(WCHAR *wide, size_t end)
{
    WCHAR kept = wide[end];
    DWORD attributes;

    wide[end] = L'\0';
    attributes = GetFileAttributesW(wide);
    wide[end] = kept;
    return IsReparsePoint(attributes);
}

/* Its attributes through the handle. Not GetFileInformationByHandle: that
 * asks for the volume's serial number too, which costs more than the rest
 * of a deletion under Wine. */
static DWORD HandleAttributes(const struct DeletionRoot *root, HANDLE item)
{
    FILE_BASIC_INFORMATION basic;
    IO_STATUS_BLOCK status;

    if (!NT_SUCCESS(root->queryInformation(item, &status, &basic, sizeof basic, FileBasicInformation)))
        return INVALID_FILE_ATTRIBUTES;
    return basic.FileAttributes;
}

/* Opens length units of name relative to parent, a link at its end not
 * followed. Shared for reading and writing but not for deletion, so that
 * nobody renames or deletes it while it is held. */
static HANDLE OpenBelow(const struct DeletionRoot *root, HANDLE parent, WCHAR *name, size_t length,
                        ACCESS_MASK access, ULONG options)
{
    UNICODE_STRING text;
    OBJECT_ATTRIBUTES object;
    IO_STATUS_BLOCK status;
    HANDLE item;

    text.Buffer = name;
    text.Length = (USHORT)(length * sizeof(WCHAR));
    text.MaximumLength = text.Length;
    ZeroMemory(&object, sizeof object);
    object.Length = sizeof object;
    object.RootDirectory = parent;
    object.ObjectName = &text;
    object.Attributes = OBJ_CASE_INSENSITIVE;
    if (length == 0 || !NT_SUCCESS(root->openFile(&item, access, &object, &status, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT)))
        return INVALID_HANDLE_VALUE;
    return item;
}

/* The path in UTF-16, as the platform converts it; 0 when it does not fit or
 * does not lie below root. */
static size_t WidePath(const struct DeletionRoot *root, const char *path, WCHAR *wide)
{
    int n = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, PathSize);

    return n > 0 && (size_t)n - 1 > root->prefix ? (size_t)n - 1 : 0;
}

/* The final path of item into final (FinalPathSize bytes), as the narrow
 * call gives it: read through the wide call, which under Wine asks for the
 * name once where the narrow one asks twice. 0 when it cannot be read or
 * does not fit. */
static int GetFinalPath(const struct DeletionRoot *root, HANDLE item, char *final)
{
    WCHAR wide[FinalPathSize];

    return LengthFits(root->getFinalPath(item, wide, FinalPathSize, 0), FinalPathSize) &&
           WideCharToMultiByte(CP_ACP, 0, wide, -1, final, FinalPathSize, NULL, NULL) != 0;
}

static int IsInsideRoot(const struct DeletionRoot *root, HANDLE item)
{
    char final[FinalPathSize];

    return GetFinalPath(root, item, final) && IsInsideFinalPath(final, root->final);
}

/* Opens the item at path below root with access, checked; its attributes
 * into attributes. Where the final path tells where the item is, it alone
 * decides. Where it cannot be had (before Windows Vista), each directory on
 * the way is opened relative to the one before and checked, so that the
 * item is opened relative to a directory that is known to be no link. */
static HANDLE OpenItemBelow(const struct DeletionRoot *root, const char *path, ACCESS_MASK access,
                            DWORD *attributes)
{
    WCHAR wide[PathSize];
    HANDLE parent = root->dir;
    HANDLE item = INVALID_HANDLE_VALUE;
    size_t end = WidePath(root, path, wide);
    size_t start = root->prefix;
    size_t i;

    if (end == 0)
        return INVALID_HANDLE_VALUE;
    for (i = start; i < end && !root->getFinalPath; i++) {
        if (wide[i] != L'\\')
            continue;
        item = OpenBelow(root, parent, wide + start, i - start, FILE_READ_ATTRIBUTES, FILE_DIRECTORY_FILE);
        if (parent != root->dir)
            CloseHandle(parent);
        parent = item;
        /* By its name after the open as well: a swap before it shows there.
         * The directory is closed below, so no handle of it is returned. */
        if (item == INVALID_HANDLE_VALUE || IsReparsePoint(HandleAttributes(root, item)) || IsLinkByName(wide, i)) {
            item = INVALID_HANDLE_VALUE;
            goto done;
        }
        start = i + 1;
    }
    item = OpenBelow(root, parent, wide + start, end - start, access, 0);
    if (item == INVALID_HANDLE_VALUE)
        goto done;
    *attributes = HandleAttributes(root, item);
    if (*attributes == INVALID_FILE_ATTRIBUTES || IsReparsePoint(*attributes) ||
        (root->getFinalPath ? !IsInsideRoot(root, item) : IsLinkByName(wide, end))) {
        CloseHandle(item);
        item = INVALID_HANDLE_VALUE;
    }
done:
    if (parent != root->dir && parent != INVALID_HANDLE_VALUE)
        CloseHandle(parent);
    return item;
}

static int SetInformation(const struct DeletionRoot *root, HANDLE item, void *info, ULONG size,
                          FILE_INFORMATION_CLASS kind)
{
    IO_STATUS_BLOCK status;

    return NT_SUCCESS(root->setInformation(item, &status, info, size, kind));
}

/* Marks the item for deletion when its handle closes; the platform refuses
 * a directory that is not empty. */
static int MarkForDeletion(const struct DeletionRoot *root, HANDLE item)
{
    FILE_DISPOSITION_INFORMATION disposition;

    disposition.DoDeleteFile = TRUE;
    return SetInformation(root, item, &disposition, sizeof disposition, FileDispositionInformation);
}

int LookUpDeletionCalls(struct DeletionRoot *root)
{
    /* Looked up here: the final path exists only from Windows Vista on, and
     * a direct import would keep the program from loading before. The
     * native calls are on every NT, whatever family it reports to a program
     * run in a compatibility mode, and on no Windows 95. */
    root->getFinalPath =
        (FinalPathCall)(void *)GetProcAddress(GetModuleHandleA("KERNEL32"), "GetFinalPathNameByHandleW");
    root->openFile = (OpenFileCall)(void *)GetNativeCall("NtOpenFile");
    root->queryInformation = (InformationCall)(void *)GetNativeCall("NtQueryInformationFile");
    root->setInformation = (InformationCall)(void *)GetNativeCall("NtSetInformationFile");
    root->dir = INVALID_HANDLE_VALUE;
    return root->openFile && root->queryInformation && root->setInformation;
}

int OpenDeletionRoot(struct DeletionRoot *root, const char *path)
{
    WCHAR wide[PathSize];
    int n = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, PathSize);

    root->prefix = n > 0 ? (size_t)n - 1 : 0;
    if (n == 0)
        return 0;
    /* Links on the way to the root are followed: it is the directory that
     * was installed to, however it is reached. */
    root->dir = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (root->dir == INVALID_HANDLE_VALUE)
        return 0;
    if (root->getFinalPath && !GetFinalPath(root, root->dir, root->final)) {
        CloseDeletionRoot(root);
        return 0;
    }
    return 1;
}

void CloseDeletionRoot(struct DeletionRoot *root)
{
    if (root->dir != INVALID_HANDLE_VALUE)
        CloseHandle(root->dir);
    root->dir = INVALID_HANDLE_VALUE;
}

int PassesLink(const struct DeletionRoot *root, const char *path)
{
    WCHAR wide[PathSize];
    size_t end = WidePath(root, path, wide);
    size_t i;

    for (i = root->prefix; i < end; i++)
        if (wide[i] == L'\\' && IsLinkByName(wide, i))
            return 1;
    return 0;
}

int DeleteItemBelow(const struct DeletionRoot *root, const char *path, int how)
{
    FILE_BASIC_INFORMATION basic;
    DWORD attributes;
    int deleted = 0;
    HANDLE item = OpenItemBelow(root, path, DeleteAccess, &attributes);

    if (item == INVALID_HANDLE_VALUE)
        return 0;
    if (!(how & DeleteFilesOnly) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        /* Read-only items refuse deletion; hidden and system ones are
         * cleared too, as the path's attributes always were. */
        if ((how & DeleteClearing) &&
            (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
            ZeroMemory(&basic, sizeof basic); /* times of 0 stay as they are */
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            SetInformation(root, item, &basic, sizeof basic, FileBasicInformation);
        }
        deleted = MarkForDeletion(root, item);
    }
    CloseHandle(item);
    return deleted;
}

int OpenDeletionRootBelow(struct DeletionRoot *root, const struct DeletionRoot *parent, const char *path)
{
    WCHAR wide[PathSize];
    DWORD attributes;

    *root = *parent;
    /* Items below it follow its path and a backslash. */
    root->prefix = WidePath(parent, path, wide) + 1;
    /* Not for deletion: the platform's directory search shares no deletion
     * with it. */
    root->dir = OpenItemBelow(parent, path, FILE_READ_ATTRIBUTES, &attributes);
    if (root->dir == INVALID_HANDLE_VALUE)
        return 0;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (root->getFinalPath && !GetFinalPath(root, root->dir, root->final))) {
        CloseDeletionRoot(root);
        return 0;
    }
    return 1;
}
