/* Registration: the uninstall entry in the system's list of programs, the
 * Start-menu group's name and the FTP plug-in's default host. */
#include "register/register.h"

#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "settings/settings.h"

static const char DisplayName[] = "QEL file manager";

/* The default host is added only while the user has no host list at all. */
static const char HostsSubkey[] = "Plugins\\FTP\\Hosts";
static const char DefaultHost[] = "ftp://ftp.example.org/pub/qel";
static const char HostDescription[] = "Latest QEL";

/* A settings subkey holds at most 66 characters. */
enum { SubkeySize = 67 };

void WriteRegistration(const char *groupText)
{
    char path[PathSize];
    char hostSubkey[SubkeySize];
    HKEY key;

    /* No path, or a cut one, would make an entry that runs nothing: treat
     * it as an entry that cannot be written. */
    if (!GetModulePath(path, sizeof path))
        return;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallEntryKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    /* Unquoted even with blanks, and without arguments, so that the
     * system's list of programs starts the uninstall. Failed writes go
     * unnoticed. */
    RegSetValueExA(key, "DisplayName", 0, REG_SZ, (const BYTE *)DisplayName, sizeof DisplayName);
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, (const BYTE *)path, (DWORD)strlen(path) + 1);
    RegCloseKey(key);

    /* Only blanks: a tab or a quote belongs to the name. */
    while (*groupText == ' ')
        groupText++;
    SetRegString("", GroupValueName, groupText);

    if (CheckRegKey(HostsSubkey))
        return;
    if (!FormatText(hostSubkey, sizeof hostSubkey, "%s\\%s", HostsSubkey, DefaultHost))
        return;
    SetRegString(hostSubkey, "Description", HostDescription);
}
