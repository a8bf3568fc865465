/* The message texts: the string table's numbers and the ring that hands
 * them out. */
#ifndef QEL_ENTRY_MESSAGES_H
#define QEL_ENTRY_MESSAGES_H

#include <windows.h>

#include "res/resource.h"

/* The module handle given to WinMain; message texts are loaded from it. */
extern HINSTANCE AppInstance;

/* One of five rotating 200-byte slots holding text number id, or "" when
 * there is none. Valid until five further calls. */
const char *MsgText(UINT id);

/* The box that tells the user the uninstall is over but path is left:
 * "Uninstall completed", a new line, "You should delete <path> manually". */
void ShowDeleteManually(const char *path);

#endif
