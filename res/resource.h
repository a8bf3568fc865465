/* The numbers of the string table, named once for the resource script and
 * the code alike (the resource compiler reads #define, not enum). */
#ifndef QEL_RES_RESOURCE_H
#define QEL_RES_RESOURCE_H

#define MsgCaption 200        /* "Uninstall QEL" */
#define MsgCompleted 201      /* "Uninstall completed" */
#define MsgDeleteManually 202 /* "You should delete %s manually" */
#define MsgConfirm 203        /* "Continue with uninstall QEL" */
#define MsgCannotOpenList 204 /* "Cannot open list file" */

#endif
