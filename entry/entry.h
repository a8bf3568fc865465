/* What the entry subsystem offers the rest of the program: the instance
 * handle, the message ring and the platform facts every mode asks for. */
#ifndef QEL_ENTRY_ENTRY_H
#define QEL_ENTRY_ENTRY_H

#include <windows.h>

/* Message numbers of the string table. */
enum {
    MsgCaption = 200,       /* "Uninstall QEL" */
    MsgCompleted = 201,     /* "Uninstall completed" */
    MsgDeleteManually = 202,/* "You should delete %s manually" */
    MsgConfirm = 203,       /* "Continue with uninstall QEL" */
    MsgCannotOpenList = 204 /* "Cannot open list file" */
};

/* The platform's path limit; every path buffer has this size. */
enum { PathSize = 260 };

/* The module handle given to WinMain; message texts are loaded from it. */
extern HINSTANCE AppInstance;

/* One of five rotating 200-byte slots holding text number id, or "" when
 * there is none. Valid until five further calls. */
const char *MsgText(UINT id);

/* The executable's full path. Returns 0 (and an empty buffer) when the
 * platform gives no path or one that filled the whole buffer. */
int GetModulePath(char *path, DWORD size);

/* path as a batch file must name it: the command interpreter reads batch
 * files in the OEM code page, so the path is converted to it. A path with a
 * character the OEM code page lacks (the conversion does not give the same
 * bytes back) is named by its short form, converted the same way, where
 * that form exists and converts back; otherwise it stays as it is. ASCII
 * stays as it is in every case. 0 and dst empty when it does not fit. */
int GetBatchPath(char *dst, DWORD size, const char *path);

/* The platform identifier of GetVersionExA; 0 when the query fails. */
DWORD GetPlatformId(void);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show);

#endif
