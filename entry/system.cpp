/* Platform facts shared by the modes: the module path and the OS family. */
#include "entry.h"

int GetModulePath(char *path, DWORD size)
{
    DWORD n = GetModuleFileNameA(NULL, path, size);

    /* A path that fills the buffer may have been cut (and, on older
     * systems, left without its terminator). */
    if (n == 0 || n >= size) {
        if (size > 0)
            path[0] = '\0';
        return 0;
    }
    return 1;
}

DWORD GetPlatformId(void)
{
    OSVERSIONINFOA info;

    ZeroMemory(&info, sizeof info);
    /* 148 bytes: the record as Windows 95 knows it. */
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return 0;
    return info.dwPlatformId;
}
