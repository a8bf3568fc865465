/* The uninstall driver: confirmation, the deletion passes over the list
 * file, then the group, the registry and the hand-off. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "remove.h"
#include "listtext.h"
#include "../entry/entry.h"
#include "../entry/text.h"
#include "../settings/settings.h"

/* Written by the installer beside the executable; opened by this relative
 * name while the installation directory is the current directory. */
static const char ListFileName[] = "Uninstall.lst";

static const char UninstallEntryKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEL manager";

enum { ErrorTextSize = 200 };

static int IsAbsent(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

/* Deletes one entry; returns 1 when something was deleted. An entry whose
 * path does not fit, or that resolves outside the installation directory
 * (through ".." in any spelling), is skipped. */
static int DeleteListedItem(const char *line, const char *installDir, const char *resolvedDir)
{
    char target[PathSize];
    char resolved[PathSize];
    DWORD n, attributes;

    if (!FormatText(target, sizeof target, "%s%s", installDir, line))
        return 0;
    n = GetFullPathNameA(target, sizeof resolved, resolved, NULL);
    if (n == 0 || n >= sizeof resolved || !IsInsideDirectory(resolved, resolvedDir))
        return 0;
    attributes = GetFileAttributesA(target);
    /* Nothing at that path (gone in an earlier pass, or never installed):
     * clearing and deleting it would fail alike, so both calls are spared.
     * Any other failed read keeps them, and so does a name with wildcards,
     * which no call here is meant to expand. */
    if (attributes == INVALID_FILE_ATTRIBUTES && IsAbsent(GetLastError()) && !strpbrk(target, "*?"))
        return 0;
    /* Cleared whatever the read gave, so that read-only, hidden and system
     * items can go. */
    SetFileAttributesA(target, 0);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryA(target) ? 1 : 0;
    return DeleteFileA(target) ? 1 : 0;
}

int DeleteListedItems(FILE *list, const char *installDir)
{
    char resolvedDir[PathSize];
    char line[ListLineSize];
    DWORD n;
    int passes = 0;
    int deleted;

    /* The directory as the platform spells it resolved, to compare the
     * entries' resolved paths with. Without it nothing can be checked. */
    n = GetFullPathNameA(installDir, sizeof resolvedDir, resolvedDir, NULL);
    if (n == 0 || n >= sizeof resolvedDir)
        return 0;
    /* A directory listed before its contents goes in a later pass, so passes
     * repeat until one deletes nothing. */
    do {
        passes++;
        deleted = 0;
        fseek(list, 0, SEEK_SET);
        while (ReadListEntry(list, line))
            deleted += DeleteListedItem(line, installDir, resolvedDir);
    } while (deleted != 0);
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

void RunUninstall(void)
{
    char modulePath[PathSize];
    char installDir[PathSize];
    char errorText[ErrorTextSize];
    char *slash;
    const char *caption;
    FILE *list;

    if (!GetModulePath(modulePath, sizeof modulePath))
        return;
    lstrcpyA(installDir, modulePath);
    slash = strrchr(installDir, '\\');
    if (!slash)
        return;
    *slash = '\0';
    SetCurrentDirectoryA(installDir);
    /* The backslash comes back: entries are joined to it by concatenation. */
    slash[0] = '\\';
    slash[1] = '\0';
    /* The caption is fetched first, then the text. */
    caption = MsgText(MsgCaption);
    if (MessageBoxA(NULL, MsgText(MsgConfirm), caption,
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return;
    list = fopen(ListFileName, "rb");
    if (!list) {
        if (FormatText(errorText, sizeof errorText, "%s %s", MsgText(MsgCannotOpenList), ListFileName))
            MessageBoxA(NULL, errorText, MsgText(MsgCaption), MB_ICONHAND | MB_SETFOREGROUND);
        return;
    }
    DeleteListedItems(list, installDir);
    fclose(list);
    DeleteFileA(ListFileName);
    /* Reads the group name under HKEY_CURRENT_USER, before the settings go. */
    RemoveProgramGroup();
    DeleteSettings();
    StartCleanupScript(modulePath);
}
