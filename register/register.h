/* Registration mode: the uninstall entry, the group, the first-run
 * defaults and the Windows 95 family's launcher files. The names it writes
 * under are the ones the uninstall removes. */
#ifndef QEL_REGISTER_REGISTER_H
#define QEL_REGISTER_REGISTER_H

/* The entry in the system's list of programs, under HKEY_LOCAL_MACHINE
 * (not under the settings root). */
#define UninstallEntryKey "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEL manager"

/* The value of the settings key that holds the Start-menu group's name. */
#define GroupValueName "Group"

void CreateLauncherFiles(void);
/* 1 when the entry was written whole. */
int WriteRegistration(const char *groupText);
void WriteHighlightDefaults(void);

#endif
