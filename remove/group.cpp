/* Removal of the Start-menu program group: its folder under the user's
 * Programs folder and the Program Manager group of the same name. */
#include "remove/remove.h"

#include <windows.h>
#include <ddeml.h>
#include <shlobj.h>
#include <string.h>

#include "base/text.h"
#include "register/register.h"
#include "remove/groupname.h"
#include "remove/listtext.h"
#include "remove/safedelete.h"
#include "settings/settings.h"

/* Service and topic of the Program Manager. */
static const char ProgmanName[] = "PROGMAN";

static_assert(sizeof(CPINFO::LeadByte) == LeadByteRangesSize, "the lead-byte ranges as CPINFO holds them");

enum {
    DdeCommandSize = 512,
    DdeTimeout = 5000, /* milliseconds */
    /* How long the uninstall waits for the whole conversation: the
     * transaction's time-out and three seconds for the rest. */
    ProgmanWait = DdeTimeout + 3000
};

/* The user's Start-menu Programs folder into path (size bytes); 0 and ""
 * when the shell cannot name it or it does not fit. */
static int GetProgramsFolder(char *path, size_t size)
{
    char found[MAX_PATH]; /* the shell writes up to MAX_PATH bytes */
    LPITEMIDLIST list;
    IMalloc *shellMalloc;
    int named;

    if (size > 0)
        path[0] = '\0';
    if (SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &list) != NOERROR || !list)
        return 0;
    named = SHGetPathFromIDListA(list, found) && found[0] != '\0';
    /* The item list belongs to the shell's allocator; taking it from SHELL32
     * spares an import of OLE32. */
    if (SHGetMalloc(&shellMalloc) == NOERROR) {
        shellMalloc->Free(list);
        shellMalloc->Release();
    }
    return named && FormatText(path, size, "%s", found);
}

/* Deletes the files directly in the group folder, then the folder if that
 * left it empty. Read-only files and subfolders stay, and so does the
 * folder then. Where the platform deletes through handles (group is not
 * NULL), each file is opened below the folder held open (resolved names
 * it) and checked, so that nothing beyond it is deleted; elsewhere (the
 * Windows 95 family, which has no links) by path. Every path is formed from
 * the folder as named (folder) and refused, never cut, when it does not
 * fit. */
static void DeleteGroupFiles(const char *folder, const char *resolved, const struct DeletionRoot *group)
{
    char pattern[PathSize];
    char item[PathSize];
    WIN32_FIND_DATAA found;
    HANDLE search;

    if (!FormatText(pattern, sizeof pattern, "%s\\*.*", folder))
        return;
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    /* "." and ".." and subfolders are passed too; their deletion fails and
     * changes nothing. */
    do {
        if (!FormatText(item, sizeof item, "%s\\%s", folder, found.cFileName))
            continue;
        if (!group)
            DeleteFileA(item);
        else if (FormatText(item, sizeof item, "%s\\%s", resolved, found.cFileName))
            DeleteItemBelow(group, item, DeleteFilesOnly);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

/* Empties and removes the group folder. Returns 0 when the folder, or a
 * folder on the way to it below the Programs folder, is a junction or a
 * symbolic link, which the installer never makes: emptying it, and the
 * Program Manager's recursive delete, would reach whatever it points at. */
static int RemoveGroupFolder(const char *programs, const char *group, const unsigned char *leadRanges)
{
    struct DeletionRoot root, held;
    char below[PathSize];
    char folder[PathSize];
    char resolved[PathSize];
    int linked;

    if (!FormatText(below, sizeof below, "%s\\", programs) ||
        !FormatText(folder, sizeof folder, "%s%s", below, group))
        return 1;
    if (!LookUpDeletionCalls(&root)) {
        DeleteGroupFiles(folder, folder, NULL);
        /* Fails unless the folder is empty now; that is how it should be. */
        RemoveDirectoryA(folder);
        return 1;
    }
    /* Resolved as every call resolves it: separators, doubled ones and
     * trailing dots and blanks as Windows reads them; without a trailing
     * separator, with which Windows would report a link's target. */
    if (!LengthFits(GetFullPathNameA(folder, sizeof resolved, resolved, NULL), sizeof resolved))
        return 0;
    resolved[GroupFolderNameLength(resolved, leadRanges)] = '\0';
    if (!IsInsideDirectory(resolved, below) || !OpenDeletionRoot(&root, below))
        return 0;
    linked = IsReparsePoint(GetFileAttributesA(resolved)) || PassesLink(&root, resolved);
    if (!linked && OpenDeletionRootBelow(&held, &root, resolved)) {
        DeleteGroupFiles(folder, resolved, &held);
        /* Let go first: the folder is opened anew to be deleted. */
        CloseDeletionRoot(&held);
        DeleteItemBelow(&root, resolved, 0);
    }
    CloseDeletionRoot(&root);
    return !linked;
}

/* The command for the conversation's thread. Static, not on a stack: the
 * uninstall may go on without the thread, which then still reads it. */
static char ProgmanCommand[DdeCommandSize];

/* A client-only instance is offered no conversations: nothing to answer. */
static HDDEDATA CALLBACK DdeClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return 0;
}

/* The whole conversation with the Program Manager, on a thread of its own:
 * DDEML instances belong to the thread that made them, and DdeConnect asks
 * every top-level window in turn and waits for each, a hung one for as long
 * as it hangs. */
static DWORD WINAPI ConverseWithProgman(void *command)
{
    DWORD instance = 0;
    HSZ service, topic;
    HCONV conversation;

    if (DdeInitializeA(&instance, DdeClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return 0;
    service = DdeCreateStringHandleA(instance, ProgmanName, CP_WINANSI);
    topic = DdeCreateStringHandleA(instance, ProgmanName, CP_WINANSI);
    conversation = DdeConnect(instance, service, topic, NULL);
    DdeFreeStringHandle(instance, service);
    DdeFreeStringHandle(instance, topic);
    /* The connect is not tested: without a Program Manager there is no
     * conversation, and the transaction and the disconnect fail harmlessly.
     * The terminating zero is sent too, and the answer does not matter. */
    DdeClientTransaction((LPBYTE)command, (DWORD)strlen((const char *)command) + 1, conversation, NULL, 0,
                         XTYP_EXECUTE, DdeTimeout, NULL);
    DdeDisconnect(conversation);
    DdeUninitialize(instance);
    return 0;
}

/* Waits up to milliseconds for the thread to end. Meanwhile it delivers
 * what other threads send to this thread's windows: the conversation's
 * DdeConnect sends to every top-level window, and waits for this thread's
 * too. Posted messages stay queued. */
static void WaitDeliveringSentMessages(HANDLE thread, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    DWORD elapsed;
    MSG message;

    for (;;) {
        elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds - elapsed, QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1)
            return;
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    }
}

/* Asks the Program Manager over DDE to delete the group of that name, and
 * waits for the answer a little longer than the transaction may take. A
 * conversation still held up by a hung window is left behind: the process
 * ends soon after the uninstall. */
static void DeleteProgmanGroup(const char *group, const unsigned char *leadRanges)
{
    HANDLE thread;
    DWORD threadId; /* the Windows 95 family wants somewhere to put it */

    if (!FormatDeleteGroupCommand(ProgmanCommand, sizeof ProgmanCommand, group, leadRanges))
        return;
    thread = CreateThread(NULL, 0, ConverseWithProgman, ProgmanCommand, 0, &threadId);
    if (!thread)
        return;
    WaitDeliveringSentMessages(thread, ProgmanWait);
    CloseHandle(thread);
}

void RemoveProgramGroup(void)
{
    char group[PathSize];
    char programs[PathSize];
    CPINFO codePage;

    GetRegString("", GroupValueName, group, "", sizeof group);
    if (group[0] == '\0')
        return;
    /* The name is read in the ANSI code page, whose double-byte characters
     * may end in a byte that looks like a backslash. */
    if (!GetCPInfo(CP_ACP, &codePage))
        codePage.LeadByte[0] = 0;
    /* A name that would lead out of the Programs folder, or onto it, is no
     * group the installer made: neither its folder nor the Program Manager,
     * which deletes a group's folder with everything in it, hears of it. */
    if (!IsGroupFolderName(group, codePage.LeadByte))
        return;
    /* Without the Programs folder, or with a folder path too long, there is
     * no folder work; the Program Manager finds the group on its own. */
    if (GetProgramsFolder(programs, sizeof programs) && !RemoveGroupFolder(programs, group, codePage.LeadByte))
        return;
    DeleteProgmanGroup(group, codePage.LeadByte);
}
