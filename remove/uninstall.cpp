/* The uninstall driver: confirmation, the deletion passes over the list
 * file, then the group, the registry and the hand-off. */
#include <windows.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "entry/messages.h"
#include "entry/platform.h"
#include "entry/text.h"
#include "register/register.h"
#include "remove/listtext.h"
#include "remove/remove.h"
#include "settings/settings.h"

/* Written by the installer beside the executable; opened by this relative
 * name while the installation directory is the current directory. */
static const char ListFileName[] = "Uninstall.lst";

enum {
    ErrorTextSize = 200,
    /* A final path is a full path behind "\\?\" (or "\\?\UNC\" in place of
     * the leading "\\"): room for one of the platform's length and that. */
    FinalPathSize = PathSize + 8
};

/* GetFinalPathNameByHandleA, which exists from Windows Vista on. */
typedef DWORD(WINAPI *FinalPathCall)(HANDLE item, LPSTR path, DWORD size, DWORD flags);

/* What every entry is held against, fixed before the first pass: the
 * installation directory as the platform resolves its spelling (ends in a
 * backslash) and, where the platform can tell, its final path with links
 * resolved. */
struct InstallRoots {
    char resolved[PathSize];
    FinalPathCall getFinalPath; /* NULL where the platform lacks it */
    char final[FinalPathSize];
};

static int IsAbsent(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

static int IsReparsePoint(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

/* The final path of an item (links resolved) into final (size bytes).
 * Returns -1 when the item cannot be opened at all, 0 when it was opened
 * but its final path could not be had, 1 when final holds it. */
static int GetFinalPath(FinalPathCall getFinalPath, const char *path, char *final, DWORD size)
{
    HANDLE item;
    DWORD n;

    /* Attribute access only, so that no share mode of another opener gets
     * in the way; backup semantics so that a directory opens too. */
    item = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (item == INVALID_HANDLE_VALUE)
        return -1;
    n = getFinalPath(item, final, size, 0);
    CloseHandle(item);
    return LengthFits(n, size);
}

/* 1 when a directory between the installation directory (installResolved,
 * ending in a backslash) and the entry at resolved, a full path below it,
 * is a reparse point: a junction or a symbolic link, which would lead the
 * deletion elsewhere. */
static int PassesReparsePoint(char *resolved, const char *installResolved)
{
    size_t i;
    int found = 0;

    for (i = strlen(installResolved); resolved[i] != '\0' && !found; i++) {
        if (resolved[i] != '\\')
            continue;
        resolved[i] = '\0';
        found = IsReparsePoint(GetFileAttributesA(resolved));
        resolved[i] = '\\';
    }
    return found;
}

/* 1 when the item's final path (links resolved) shows that a deletion
 * would land outside the installation directory, or cannot be had for an
 * item that opens. An item that cannot be opened even for its attributes
 * cannot be deleted either, so the other checks suffice for it; so they do
 * where the platform cannot tell final paths. */
static int LeadsOutside(const char *target, const struct InstallRoots *roots)
{
    char final[FinalPathSize];
    int got;

    if (!roots->getFinalPath)
        return 0;
    got = GetFinalPath(roots->getFinalPath, target, final, sizeof final);
    if (got < 0)
        return 0;
    return !got || !IsInsideFinalPath(final, roots->final);
}

/* Deletes one entry; returns 1 when something was deleted. An entry is
 * skipped when its path does not fit, when it resolves outside the
 * installation directory (through ".." in any spelling), when it or a
 * directory on the way to it is a reparse point, or when its final path
 * lies outside the installation directory's own: nothing beyond a link is
 * deleted, and the link stays. */
static int DeleteListedItem(const char *line, const char *installDir, const struct InstallRoots *roots)
{
    char target[PathSize];
    char resolved[PathSize];
    DWORD n, attributes;

    if (!FormatText(target, sizeof target, "%s%s", installDir, line))
        return 0;
    n = GetFullPathNameA(target, sizeof resolved, resolved, NULL);
    if (!LengthFits(n, sizeof resolved) || !IsInsideDirectory(resolved, roots->resolved))
        return 0;
    attributes = GetFileAttributesA(target);
    /* Nothing at that path (gone in an earlier pass, or never installed):
     * clearing and deleting it would fail alike, so both calls are spared.
     * Any other failed read keeps them, and so does a name with wildcards,
     * which no call here is meant to expand. */
    if (attributes == INVALID_FILE_ATTRIBUTES && IsAbsent(GetLastError()) && !strpbrk(target, "*?"))
        return 0;
    if (IsReparsePoint(attributes) || PassesReparsePoint(resolved, roots->resolved) ||
        LeadsOutside(target, roots))
        return 0;
    /* Cleared whatever the read gave, so that read-only, hidden and system
     * items can go. */
    SetFileAttributesA(target, 0);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryA(target) ? 1 : 0;
    return DeleteFileA(target) ? 1 : 0;
}

/* Fixes what the entries are held against; 0 when the installation
 * directory cannot be resolved, and then nothing can be checked. */
static int ResolveInstallRoots(const char *installDir, struct InstallRoots *roots)
{
    DWORD n = GetFullPathNameA(installDir, sizeof roots->resolved, roots->resolved, NULL);

    if (!LengthFits(n, sizeof roots->resolved))
        return 0;
    /* Looked up here: a direct import would keep the program from loading
     * before Windows Vista. */
    roots->getFinalPath =
        (FinalPathCall)(void *)GetProcAddress(GetModuleHandleA("KERNEL32"), "GetFinalPathNameByHandleA");
    return !roots->getFinalPath ||
           GetFinalPath(roots->getFinalPath, installDir, roots->final, sizeof roots->final) == 1;
}

int DeleteListedItems(FILE *list, const char *installDir)
{
    struct InstallRoots roots;
    char line[ListLineSize];
    int entries = 0;
    int passes = 0;
    int deleted;

    if (!ResolveInstallRoots(installDir, &roots))
        return 0;
    /* A directory listed before its contents goes in a later pass, so passes
     * repeat until one deletes nothing. Each pass that deletes something
     * takes an entry that the passes before it left, so N entries need at
     * most N + 1 passes: the passes stop there whatever the counts say,
     * since a deletion can be reported for an item that stays (Wine does so
     * for one held open with FILE_SHARE_DELETE). */
    do {
        passes++;
        deleted = 0;
        fseek(list, 0, SEEK_SET);
        while (ReadListEntry(list, line, sizeof line)) {
            if (passes == 1 && entries < INT_MAX - 1)
                entries++;
            deleted += DeleteListedItem(line, installDir, &roots);
        }
    } while (deleted != 0 && passes <= entries);
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
        MessageBoxA(NULL, errorText, MsgText(MsgCaption), MB_ICONHAND | MB_SETFOREGROUND);
}

/* 1 when the process's current directory is dir. */
static int IsCurrentDirectory(const char *dir)
{
    char current[PathSize];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);

    return LengthFits(n, sizeof current) && IsSameDirectory(current, dir);
}

void RunUninstall(void)
{
    char modulePath[PathSize];
    char installDir[PathSize];
    const char *caption;
    size_t n;
    int entered;
    FILE *list;

    if (!GetModulePath(modulePath, sizeof modulePath))
        return;
    if (!FormatText(installDir, sizeof installDir, "%s", modulePath))
        return;
    n = CutToDirectory(installDir);
    if (n == 0)
        return;
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
    /* The caption is fetched first, then the text. */
    caption = MsgText(MsgCaption);
    if (MessageBoxA(NULL, MsgText(MsgConfirm), caption,
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return;
    list = entered ? fopen(ListFileName, "rb") : NULL;
    if (!list) {
        ShowListError();
        return;
    }
    /* No pass is made where the entries cannot be checked: the list, the
     * group and the registry then stay as they are. */
    if (DeleteListedItems(list, installDir) == 0) {
        fclose(list);
        ShowListError();
        return;
    }
    fclose(list);
    DeleteFileA(ListFileName);
    /* Reads the group name under HKEY_CURRENT_USER, before the settings go. */
    RemoveProgramGroup();
    DeleteSettings();
    StartCleanupScript(modulePath);
}
