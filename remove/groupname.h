/* Whether a stored group name may be used as a folder below the Programs
 * folder. Compiles without windows.h so that tests reach it directly. */
#ifndef QEL_REMOVE_GROUPNAME_H
#define QEL_REMOVE_GROUPNAME_H

/* 1 when "<Programs>\<name>" names a folder strictly below the Programs
 * folder however Windows resolves it; 0 for an empty name, an absolute or
 * drive path, a component of dots and blanks only ("..", "...", ". "), or a
 * character no folder name can hold. */
int IsGroupFolderName(const char *name);

#endif
