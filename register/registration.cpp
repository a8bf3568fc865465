/* Registration: the uninstall entry in the system's list of programs, the
 * Start-menu group's name and the FTP plug-in's default host. */
#include "register/register.h"

#include <stdio.h>
#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "remove/listtext.h"
#include "settings/settings.h"

static const char DisplayName[] = "QEL file manager";
static const char EstimatedSizeName[] = "EstimatedSize";
static const DWORD One = 1;

/* The default host is added only while the user has no host list at all. */
static const char HostsSubkey[] = "Plugins\\FTP\\Hosts";
static const char DefaultHost[] = "ftp://ftp.example.org/pub/qel";
static const char HostDescription[] = "Latest QEL";

enum {
    /* A settings subkey holds at most 66 characters. */
    SubkeySize = 67,
    /* The path in quotes, a blank and "/S". */
    CommandSize = PathSize + 5
};

/* One value of the entry: a string, or the DWORD data points at. 1 when it
 * was written. */
static int SetEntryValue(HKEY key, const char *name, DWORD type, const void *data)
{
    DWORD size = type == REG_SZ ? (DWORD)strlen((const char *)data) + 1 : sizeof(DWORD);

    return RegSetValueExA(key, name, 0, type, (const BYTE *)data, size) == ERROR_SUCCESS;
}

/* KiB of the files the list beside the executable names, each rounded up
 * to whole KiB (path is the executable's, directory the length of its
 * directory part, backslash included). 0 when there is no list to read. */
static int GetListedKib(const char *path, size_t directory, DWORD *kib)
{
    char item[PathSize];
    char line[ListLineSize];
    WIN32_FIND_DATAA found;
    HANDLE search;
    FILE *list;

    if (!FormatText(item, sizeof item, "%.*s%s", (int)directory, path, ListFileName))
        return 0;
    list = fopen(item, "rb");
    if (!list)
        return 0;
    *kib = 0;
    while (ReadListEntry(list, line, sizeof line)) {
        /* A wildcard would count what the list does not name; an entry
         * too long to join counts nothing. */
        if (strpbrk(line, "*?") || !FormatText(item, sizeof item, "%.*s%s", (int)directory, path, line))
            continue;
        search = FindFirstFileA(item, &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        FindClose(search);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            *kib += (found.nFileSizeHigh << 22) + (found.nFileSizeLow >> 10) + ((found.nFileSizeLow & 1023) != 0);
    }
    fclose(list);
    return 1;
}

/* The entry's values; 1 when every one was written. */
static int WriteEntryValues(HKEY key, const char *path)
{
    char uninstall[CommandSize];
    char quiet[CommandSize];
    char location[PathSize];
    DWORD kib;
    int written;

    /* Quoted, so that a path with blanks ("C:\Program Files\QEL") cannot
     * be read as "C:\Program.exe" with arguments by whatever runs it. */
    if (!FormatText(uninstall, sizeof uninstall, "\"%s\"", path) ||
        !FormatText(quiet, sizeof quiet, "\"%s\" /S", path) || !FormatText(location, sizeof location, "%s", path) ||
        CutToDirectory(location) == 0)
        return 0;
    written = SetEntryValue(key, "DisplayName", REG_SZ, DisplayName) &
              SetEntryValue(key, "UninstallString", REG_SZ, uninstall) &
              SetEntryValue(key, "QuietUninstallString", REG_SZ, quiet) &
              SetEntryValue(key, "InstallLocation", REG_SZ, location) &
              SetEntryValue(key, "DisplayIcon", REG_SZ, path) & SetEntryValue(key, "NoModify", REG_DWORD, &One) &
              SetEntryValue(key, "NoRepair", REG_DWORD, &One);
    /* Without a list there is no size to tell, nor may an earlier one stay. */
    if (GetListedKib(path, (size_t)(strrchr(path, '\\') - path) + 1, &kib))
        return written & SetEntryValue(key, EstimatedSizeName, REG_DWORD, &kib);
    RegDeleteValueA(key, EstimatedSizeName);
    return written;
}

int WriteRegistration(const char *groupText)
{
    char path[PathSize];
    char hostSubkey[SubkeySize];
    HKEY key;
    int written;

    /* No path, or a cut one, would make an entry that runs nothing: treat
     * it as an entry that cannot be written. */
    if (!GetModulePath(path, sizeof path))
        return 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallEntryKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return 0;
    written = WriteEntryValues(key, path);
    RegCloseKey(key);

    /* Only blanks: a tab or a quote belongs to the name. */
    while (*groupText == ' ')
        groupText++;
    SetRegString("", GroupValueName, groupText);

    if (!CheckRegKey(HostsSubkey) && FormatText(hostSubkey, sizeof hostSubkey, "%s\\%s", HostsSubkey, DefaultHost))
        SetRegString(hostSubkey, "Description", HostDescription);
    return written;
}
