/* Registration mode: the uninstall entry, the group, the first-run
 * defaults and the Windows 95 family's launcher files. */
#ifndef QEL_REGISTER_REGISTER_H
#define QEL_REGISTER_REGISTER_H

void CreateLauncherFiles(void);
void WriteRegistration(const char *groupText);
void WriteHighlightDefaults(void);

#endif
