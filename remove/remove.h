/* The uninstall: list passes, program group, registry and the hand-off to
 * the cleanup script. */
#ifndef QEL_REMOVE_REMOVE_H
#define QEL_REMOVE_REMOVE_H

#include <stdio.h>

/* The uninstall, with a box to confirm unless the run is quiet. Returns the
 * exit code when it stops before the hand-off (ExitCode). */
int RunUninstall(void);
void RemoveProgramGroup(void);
/* Hands the rest of the uninstall to the cleanup script and ends the
 * process with exitCode; returns only when there is no script to hand it. */
void StartCleanupScript(const char *modulePath, int exitCode);

/* Deletion passes over the open list until a pass deletes nothing, and at
 * most one pass more than the list has entries; entries are relative to
 * installDir, which ends in a backslash. Returns the number of passes made,
 * 0 when installDir cannot be resolved (then nothing is touched). *left
 * tells whether an entry of the list is still there afterwards inside the
 * installation directory, as a file, a link, or a directory left empty;
 * not for a directory that holds what the list does not name. */
int DeleteListedItems(FILE *list, const char *installDir, int *left);

#endif
