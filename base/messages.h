/* The message texts and the boxes that show them: the string table's
 * numbers, the ring that hands the texts out, and the one place that
 * decides whether a box is shown at all. */
#ifndef QEL_BASE_MESSAGES_H
#define QEL_BASE_MESSAGES_H

#include <windows.h>

#include "res/resource.h"

/* The module handle given to WinMain; message texts are loaded from it. */
extern HINSTANCE AppInstance;

/* Set for a quiet uninstall: no box is shown, since nobody may be there to
 * answer one (a deployment tool under the system account has no desktop). */
extern int QuietRun;

/* One of five rotating 200-byte slots holding text number id, or "" when
 * there is none. Valid until five further calls. */
const char *MsgText(UINT id);

/* A box with text, captioned "Uninstall QEL", in style; returns the answer.
 * In a quiet run nothing is shown and 0 is returned. */
int ShowBox(const char *text, UINT style);

/* The box that tells the user the uninstall is over but path is left:
 * "Uninstall completed", a new line, "You should delete <path> manually". */
void ShowDeleteManually(const char *path);

#endif
