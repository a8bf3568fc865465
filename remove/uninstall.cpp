/* The uninstall driver: confirmation, the deletion passes over the list
 * file, then the group, the registry and the hand-off. */
#include <windows.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "base/messages.h"
#include "base/platform.h"
#include "base/text.h"
#include "register/register.h"
#include "remove/listtext.h"
#include "remove/remove.h"
#include "remove/safedelete.h"
#include "settings/settings.h"

enum { ErrorTextSize = 200 };

/* What every entry is held against, fixed before the first pass: the
 * installation directory as the platform resolves its spelling (ends in a
 * backslash) and, on the NT family, that directory held open. */
struct InstallRoots {
    char resolved[PathSize];
    int byHandle; /* 0 on the Windows 95 family */
    struct DeletionRoot root;
};

static int IsAbsent(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

/* The entry's path as joined to the installation directory (target) and
 * as the platform resolves it (resolved), both PathSize bytes; 0 when it
 * does not fit or resolves outside resolvedDir, the installation directory
 * resolved (through ".." in any spelling). */
static int GetListedPaths(const char *line, const char *installDir, const char *resolvedDir, char *target,
                          char *resolved)
{
    DWORD n;

    if (!FormatText(target, PathSize, "%s%s", installDir, line))
        return 0;
    n = GetFullPathNameA(target, PathSize, resolved, NULL);
    return LengthFits(n, PathSize) && IsInsideDirectory(resolved, resolvedDir);
}

/* Deletes the listed item at target, as joined to the installation
 * directory, whose path as the platform resolves it (inside that directory)
 * is resolved; its attributes as read by path into *attributes. Returns 1
 * when it was deleted. It is left alone when it or a directory on the way
 * to it is a reparse point, or when its final path lies outside the
 * installation directory's own: nothing beyond a link is deleted, and the
 * link stays. */
static int DeleteListedItem(const struct InstallRoots *roots, const char *target, const char *resolved,
                            DWORD *attributes)
{
    *attributes = GetFileAttributesA(target);
    /* Nothing at that path (gone in an earlier pass, or never installed):
     * opening or deleting it would fail alike, so those calls are spared.
     * Any other failed read keeps them, and so does a name with wildcards,
     * which no call here is meant to expand. */
    if (*attributes == INVALID_FILE_ATTRIBUTES && IsAbsent(GetLastError()) && !strpbrk(target, "*?"))
        return 0;
    /* The Windows 95 family has no links: the path calls do. Cleared
     * whatever the read gave, so that read-only, hidden and system items
     * can go. */
    if (!roots->byHandle) {
        SetFileAttributesA(target, 0);
        if (*attributes != INVALID_FILE_ATTRIBUTES && (*attributes & FILE_ATTRIBUTE_DIRECTORY))
            return RemoveDirectoryA(target) ? 1 : 0;
        return DeleteFileA(target) ? 1 : 0;
    }
    if (IsReparsePoint(*attributes) || PassesLink(&roots->root, resolved))
        return 0;
    return DeleteItemBelow(&roots->root, resolved, DeleteClearing);
}

/* Listed directories that stayed when met in the pass under way, each
 * below the one before: what they hold comes later in the list. Each is
 * tried again once the entries below it have been met, as far as room
 * allows; the rest wait for the next pass. */
enum { PendingDirCount = 8 };

struct PendingDirs {
    int count;
    int deletedBefore[PendingDirCount]; /* the pass's deletions when it stayed */
    char resolved[PendingDirCount][PathSize];
};

/* Tries again, innermost first, the directories that resolved (the next
 * entry; "" at the end of the pass) does not lie below, where something
 * was deleted since they stayed: their listed contents have all been met.
 * Adds what goes to *deleted, the pass's count. */
static void DeletePendingDirs(const struct InstallRoots *roots, struct PendingDirs *pending, const char *resolved,
                              int *deleted)
{
    DWORD attributes;
    const char *dir;

    while (pending->count > 0 && !IsInsideFinalPath(resolved, dir = pending->resolved[pending->count - 1])) {
        pending->count--;
        if (*deleted > pending->deletedBefore[pending->count])
            *deleted += DeleteListedItem(roots, dir, dir, &attributes);
    }
}

/* Fixes what the entries are held against; 0 when the installation
 * directory cannot be resolved or held, and then nothing can be checked. */
static int OpenInstallRoots(const char *installDir, struct InstallRoots *roots)
{
    DWORD n = GetFullPathNameA(installDir, sizeof roots->resolved, roots->resolved, NULL);

    if (!LengthFits(n, sizeof roots->resolved))
        return 0;
    roots->byHandle = LookUpDeletionCalls(&roots->root);
    return !roots->byHandle || OpenDeletionRoot(&roots->root, roots->resolved);
}

static void CloseInstallRoots(struct InstallRoots *roots)
{
    if (roots->byHandle)
        CloseDeletionRoot(&roots->root);
}

/* 1 when dir holds nothing but "." and "..". */
static int IsEmptyDirectory(const char *dir)
{
    char pattern[PathSize];
    WIN32_FIND_DATAA found;
    HANDLE search;
    int empty = 1;

    if (!FormatText(pattern, sizeof pattern, "%s\\*", dir))
        return 0;
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const char *name = found.cFileName;
        if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))))
            empty = 0;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

int DeleteListedItems(FILE *list, const char *installDir, int *left)
{
    struct InstallRoots roots;
    /* Not on the stack, where every frame stays below a page (the build
     * leaves out stack probes). */
    static struct PendingDirs pending;
    char line[ListLineSize];
    char target[PathSize];
    char resolved[PathSize];
    DWORD attributes;
    int entries = 0;
    int passes = 0;
    int deleted, more;

    *left = 1;
    if (!OpenInstallRoots(installDir, &roots))
        return 0;
    /* A directory listed before its contents goes once the entries below it
     * have been met, and in a later pass where that cannot be told, so
     * passes repeat until one deletes nothing. Each pass that deletes
     * something takes an entry that the passes before it left, so N entries
     * need at most N + 1 passes: the passes stop there whatever the counts
     * say, since a deletion can be reported for an item that stays (Wine
     * does so for one held open with FILE_SHARE_DELETE). */
    do {
        passes++;
        deleted = 0;
        *left = 0;
        entries = 0;
        pending.count = 0;
        fseek(list, 0, SEEK_SET);
        do {
            more = ReadListEntry(list, line, sizeof line);
            if (more && entries < INT_MAX - 1)
                entries++;
            /* The end of the list takes every remembered directory out.
             * Skipped: a path that does not fit, or one that resolves
             * outside the installation directory (through ".." in any
             * spelling). */
            if (!more)
                resolved[0] = '\0';
            else if (!GetListedPaths(line, installDir, roots.resolved, target, resolved))
                continue;
            DeletePendingDirs(&roots, &pending, resolved, &deleted);
            if (!more)
                break;
            if (DeleteListedItem(&roots, target, resolved, &attributes)) {
                deleted++;
            } else if (attributes != INVALID_FILE_ATTRIBUTES) {
                /* What stays is left work, but for a listed directory that
                 * still holds what the list does not name (the user's own
                 * files): that stays by intent. Only the last pass, which
                 * deletes nothing, tells; directories are looked into only
                 * while the pass has deleted nothing. */
                if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                    FILE_ATTRIBUTE_DIRECTORY)
                    *left = 1;
                else if (deleted == 0 && IsEmptyDirectory(target))
                    *left = 1;
                else if (pending.count < PendingDirCount) {
                    pending.deletedBefore[pending.count] = deleted;
                    CopyMemory(pending.resolved[pending.count++], resolved, PathSize);
                }
            }
        } while (more);
    } while (deleted != 0 && passes <= entries);
    /* Passes stopped by their bound: what they reported deleted may stay. */
    if (deleted != 0)
        *left = 1;
    CloseInstallRoots(&roots);
    return passes;
}

static void DeleteSettings(void)
{
    SetRegRoot(HKEY_LOCAL_MACHINE);
    DeleteKeyTree(SettingsKeyPath);
    SetRegRoot(HKEY_CURRENT_USER);
    DeleteKeyTree(SettingsKeyPath);
    /* The entry holds values only; one delete suffices. */
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallEntryKey);
}

/* The one failure shown as such: nothing has been deleted. */
static void ShowListError(void)
{
    char errorText[ErrorTextSize];

    if (FormatText(errorText, sizeof errorText, "%s %s", MsgText(MsgCannotOpenList), ListFileName))
        ShowBox(errorText, MB_ICONHAND | MB_SETFOREGROUND);
}

/* 1 when the process's current directory is dir. */
static int IsCurrentDirectory(const char *dir)
{
    char current[PathSize];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);

    return LengthFits(n, sizeof current) && IsSameDirectory(current, dir);
}

int RunUninstall(void)
{
    char modulePath[PathSize];
    char installDir[PathSize];
    size_t n;
    int entered, left;
    FILE *list;

    if (!GetModulePath(modulePath, sizeof modulePath))
        return ExitFailed;
    if (!FormatText(installDir, sizeof installDir, "%s", modulePath))
        return ExitFailed;
    n = CutToDirectory(installDir);
    if (n == 0)
        return ExitFailed;
    SetCurrentDirectoryA(installDir);
    /* The list is opened by its relative name, so it is taken only where
     * the directory entered is the installation directory: one whose name
     * ends in a blank, say, is entered as another. */
    entered = IsCurrentDirectory(installDir);
    /* Entries are joined to the directory by concatenation, so it ends in a
     * backslash. The path was cut at a backslash, so this fits again. */
    if (installDir[n - 1] != '\\') {
        installDir[n] = '\\';
        installDir[n + 1] = '\0';
    }
    if (!QuietRun && ShowBox(MsgText(MsgConfirm), MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return ExitDeclined;
    list = entered ? fopen(ListFileName, "rb") : NULL;
    if (!list) {
        ShowListError();
        /* No list is nothing to uninstall; one that cannot be read is not. */
        return entered && GetFileAttributesA(ListFileName) == INVALID_FILE_ATTRIBUTES && IsAbsent(GetLastError())
                   ? ExitNothingInstalled
                   : ExitFailed;
    }
    /* No pass is made where the entries cannot be checked: the list, the
     * group and the registry then stay as they are. */
    if (DeleteListedItems(list, installDir, &left) == 0) {
        fclose(list);
        ShowListError();
        return ExitFailed;
    }
    fclose(list);
    DeleteFileA(ListFileName);
    /* What the passes could not delete is told once, before the rest goes
     * on as usual. */
    if (left)
        ShowDeleteManually(installDir);
    /* Reads the group name under HKEY_CURRENT_USER, before the settings go. */
    RemoveProgramGroup();
    DeleteSettings();
    /* Ends the process once the script has the rest; otherwise the
     * executable and its directory are left. */
    StartCleanupScript(modulePath, left ? ExitFailed : ExitDone);
    return ExitFailed;
}
