/* Platform facts shared by the modes: the module path, a path as a batch
 * file must name it, the OS family, and files written whole. */
#include "base/platform.h"

#include <string.h>

#include "base/text.h"

int GetModulePath(char *path, DWORD size)
{
    if (!LengthFits(GetModuleFileNameA(NULL, path, size), size)) {
        if (size > 0)
            path[0] = '\0';
        return 0;
    }
    return 1;
}

/* text converted from one code page to another through Unicode; 0 when it
 * does not fit. */
static int ConvertCodePage(UINT from, UINT to, const char *text, char *dst, int size)
{
    WCHAR wide[PathSize];
    int n = MultiByteToWideChar(from, 0, text, -1, wide, PathSize);

    return n != 0 && WideCharToMultiByte(to, 0, wide, n, dst, size, NULL, NULL) != 0;
}

/* Not strcmp: each C library import costs room in an executable held to
 * 16 KiB. */
static int IsSameText(const char *a, const char *b)
{
    while (*a != '\0' && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

/* path in the OEM code page, when converting that back gives path again:
 * a character the OEM code page lacks comes out as '?' or a look-alike. */
static int ToOemExactly(char *dst, DWORD size, const char *path)
{
    char back[PathSize];

    return ConvertCodePage(CP_ACP, CP_OEMCP, path, dst, (int)size) &&
           ConvertCodePage(CP_OEMCP, CP_ACP, dst, back, sizeof back) && IsSameText(back, path);
}

int GetBatchPath(char *dst, DWORD size, const char *path)
{
    char shortPath[PathSize];

    /* The OEM form is as long as the path, a short form never longer: a
     * path without room is refused here, not replaced by its short form. */
    if (strlen(path) >= size) {
        if (size > 0)
            dst[0] = '\0';
        return 0;
    }
    if (ToOemExactly(dst, size, path))
        return 1;
    /* The short form exists only for what exists on the disk. */
    if (LengthFits(GetShortPathNameA(path, shortPath, sizeof shortPath), sizeof shortPath) &&
        ToOemExactly(dst, size, shortPath))
        return 1;
    return FormatText(dst, size, "%s", path);
}

FARPROC GetNativeCall(const char *name)
{
    HMODULE ntdll = GetModuleHandleA("NTDLL");

    return ntdll ? GetProcAddress(ntdll, name) : NULL;
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

int WriteText(FILE *file, const char *text)
{
    size_t length = strlen(text);

    return fwrite(text, 1, length, file) == length;
}

int CloseWrittenFile(FILE *file, const char *path, int written)
{
    /* The close writes what the stream still buffers: it can fail too. */
    if (fclose(file) != 0)
        written = 0;
    if (!written)
        DeleteFileA(path);
    return written;
}
