/* Deletion on the NT family that a link put in the way cannot lead
 * elsewhere: every item is opened below a directory held open, checked
 * through its own handle, and cleared and deleted through that handle. */
#ifndef QEL_REMOVE_SAFEDELETE_H
#define QEL_REMOVE_SAFEDELETE_H

#include <windows.h>
#include <winternl.h>

#include "base/text.h"

enum {
    /* A final path is a full path behind "\\?\" (or "\\?\UNC\" in place of
     * the leading "\\"): room for one of the platform's length and that. */
    FinalPathSize = PathSize + 8
};

/* GetFinalPathNameByHandleW, which exists from Windows Vista on. */
typedef DWORD(WINAPI *FinalPathCall)(HANDLE item, LPWSTR path, DWORD size, DWORD flags);
typedef NTSTATUS(NTAPI *OpenFileCall)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
typedef NTSTATUS(NTAPI *InformationCall)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);

/* A directory held open for as long as items below it are deleted. */
struct DeletionRoot {
    HANDLE dir;
    /* Its full path's length in UTF-16 units, with the backslash after it:
     * where the names of the items below it begin. */
    size_t prefix;
    FinalPathCall getFinalPath; /* NULL where the platform lacks it */
    char final[FinalPathSize];  /* its final path, where getFinalPath is known */
    OpenFileCall openFile;
    InformationCall queryInformation;
    InformationCall setInformation;
};

/* Looks up the platform's calls for deletion through handles into root;
 * 0 where it has none (the Windows 95 family, which has no links). */
int LookUpDeletionCalls(struct DeletionRoot *root);

/* Opens the directory at path (a full path ending in a backslash, links on
 * the way to it followed: it is what the items are held against) and notes
 * its final path. 0 when it cannot be opened or its final path read. */
int OpenDeletionRoot(struct DeletionRoot *root, const char *path);
void CloseDeletionRoot(struct DeletionRoot *root);

/* 1 when attributes read by GetFileAttributesA show a junction or a
 * symbolic link; not for a failed read. */
static inline int IsReparsePoint(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

/* 1 when a directory between root and path (a full path below it) is a
 * link by its name: a junction or a symbolic link, which the installer
 * never makes. */
int PassesLink(const struct DeletionRoot *root, const char *path);

enum DeleteHow {
    DeleteClearing = 1, /* clears read-only, hidden and system first */
    DeleteFilesOnly = 2 /* leaves a directory alone */
};

/* Deletes the item at path, a full path strictly below root's, opened below
 * root without following a link: it is left alone when it, or a directory
 * on the way, is a link (by its handle, or by its name), when its final
 * path lies outside root's, or when it cannot be opened for deletion. 1
 * when it was deleted. */
int DeleteItemBelow(const struct DeletionRoot *root, const char *path, int how);

/* Looks up the platform's calls for deletion through handles into root;
 * 0 where it has none (the Windows 95 family, which has no links). */
int LookUpDeletionCalls(struct DeletionRoot *root);

/* Opens the directory at path below parent as a root of its own, with the
 * checks of DeleteItemBelow. */
int OpenDeletionRootBelow(struct DeletionRoot *root, const struct DeletionRoot *parent, const char *path);

#endif
