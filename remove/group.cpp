/* Removal of the Start-menu program group: its folder under the user's
 * Programs folder and the Program Manager group of the same name. */
#include "remove.h"

#include <shlobj.h>

#include "groupname.h"
#include "../entry/entry.h"
#include "../entry/text.h"
#include "../settings/settings.h"

/* Registration stores the group name under this value of the settings key. */
static const char GroupValueName[] = "Group";
/* Service and topic of the Program Manager. */
static const char ProgmanName[] = "PROGMAN";

enum {
    DdeCommandSize = 512,
    DdeTimeout = 5000 /* milliseconds */
};

/* The user's Start-menu Programs folder into path (PathSize bytes); 0 and
 * "" when the shell cannot name it. */
static int GetProgramsFolder(char *path)
{
    LPITEMIDLIST list;
    IMalloc *shellMalloc;
    int found;

    path[0] = '\0';
    if (SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &list) != NOERROR || !list)
        return 0;
    found = SHGetPathFromIDListA(list, path) && path[0] != '\0';
    /* The item list belongs to the shell's allocator; taking it from SHELL32
     * spares an import of OLE32. */
    if (SHGetMalloc(&shellMalloc) == NOERROR) {
        shellMalloc->Free(list);
        shellMalloc->Release();
    }
    if (!found)
        path[0] = '\0';
    return found;
}

/* Deletes the files directly in the group folder, then the folder if that
 * left it empty. Read-only files and subfolders stay, and so does the
 * folder then. */
static void RemoveGroupFolder(const char *group)
{
    char programs[PathSize];
    char folder[PathSize];
    char pattern[PathSize];
    char item[PathSize];
    WIN32_FIND_DATAA found;
    HANDLE search;

    if (!GetProgramsFolder(programs))
        return;
    if (!FormatText(folder, sizeof folder, "%s\\%s", programs, group))
        return;
    if (FormatText(pattern, sizeof pattern, "%s\\*.*", folder)) {
        search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) {
            /* "." and ".." and subfolders are passed too; their deletion
             * fails and changes nothing. */
            do {
                if (FormatText(item, sizeof item, "%s\\%s", folder, found.cFileName))
                    DeleteFileA(item);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
    }
    /* Fails unless the folder is empty now; that is how it should be. */
    RemoveDirectoryA(folder);
}

/* Asks the Program Manager over DDE to delete the group of that name. */
static void DeleteProgmanGroup(const char *group)
{
    char command[DdeCommandSize];
    DWORD instance = 0;
    HSZ service, topic;
    HCONV conversation;

    if (DdeInitializeA(&instance, DdeClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return;
    service = DdeCreateStringHandleA(instance, ProgmanName, CP_WINANSI);
    topic = DdeCreateStringHandleA(instance, ProgmanName, CP_WINANSI);
    conversation = DdeConnect(instance, service, topic, NULL);
    DdeFreeStringHandle(instance, service);
    DdeFreeStringHandle(instance, topic);
    /* The connect is not tested: without a Program Manager there is no
     * conversation, and the transaction and the disconnect fail harmlessly.
     * The name goes in as stored, the terminating zero is sent too, and the
     * answer does not matter. */
    if (FormatText(command, sizeof command, "[DeleteGroup(%s)]", group))
        DdeClientTransaction((LPBYTE)command, lstrlenA(command) + 1, conversation, NULL, 0, XTYP_EXECUTE,
                             DdeTimeout, NULL);
    DdeDisconnect(conversation);
    DdeUninitialize(instance);
}

void RemoveProgramGroup(void)
{
    char group[PathSize];

    GetRegString("", GroupValueName, group, "", sizeof group);
    if (group[0] == '\0')
        return;
    /* A name that would lead out of the Programs folder (or onto it) gets
     * no folder work; the Program Manager still hears it as stored. */
    if (IsGroupFolderName(group))
        RemoveGroupFolder(group);
    DeleteProgmanGroup(group);
}

/* A client-only instance is offered no conversations: nothing to answer. */
HDDEDATA CALLBACK DdeClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return 0;
}
