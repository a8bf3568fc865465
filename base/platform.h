/* Platform facts every mode asks for: the executable's path, a path as a
 * batch file must name it, the OS family, and files written whole or not
 * at all. */
#ifndef QEL_BASE_PLATFORM_H
#define QEL_BASE_PLATFORM_H

#include <windows.h>
#include <stdio.h>

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

/* The native call of that name, looked up at run time; NULL where there
 * is none (the Windows 95 family). */
FARPROC GetNativeCall(const char *name);

/* Writes text (without its terminator) to file; 1 when all of it went. */
int WriteText(FILE *file, const char *text);

/* Closes a file opened for writing at path and keeps it only when written
 * says every write succeeded and the close does too; otherwise deletes it,
 * so that no half-written file is left for anyone to run. Returns whether
 * it was kept. */
int CloseWrittenFile(FILE *file, const char *path, int written);

#endif
