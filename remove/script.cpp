/* The cleanup script's lines. */
#include "script.h"

#include <string.h>

#include "../entry/text.h"

/* Room for a path of the platform's limit with every byte doubled. */
enum { EscapedPathSize = 2 * 260 };

/* A piece that cannot be composed leaves the destination empty. */
static int Refuse(char *dst, size_t size)
{
    if (size > 0)
        dst[0] = '\0';
    return 0;
}

int EscapePercent(char *dst, size_t size, const char *path)
{
    size_t used = 0;

    if (size == 0)
        return 0;
    for (; *path; path++) {
        size_t need = *path == '%' ? 2 : 1;
        if (used + need >= size)
            return Refuse(dst, size);
        dst[used++] = *path;
        if (need == 2)
            dst[used++] = '%';
    }
    dst[used] = '\0';
    return 1;
}

int FormatScriptHead(char *dst, size_t size, int win9x, const char *modulePath)
{
    char module[EscapedPathSize];

    if (!EscapePercent(module, sizeof module, modulePath))
        return Refuse(dst, size);
    if (win9x)
        return FormatText(dst, size, "start /wait \"%s wait\"\r\n", module);
    return FormatText(dst, size, "\"%s\" wait\r\n", module);
}

int FormatScriptBlock(char *dst, size_t size, const char *modulePath, const char *installDir)
{
    char module[EscapedPathSize];
    char dir[EscapedPathSize];

    if (!EscapePercent(module, sizeof module, modulePath) ||
        !EscapePercent(dir, sizeof dir, installDir))
        return Refuse(dst, size);
    return FormatText(dst, size,
                      "del \"%s\"\r\n"
                      "rd \"%s\"\r\n"
                      "if not exist \"%s\" goto done\r\n",
                      module, dir, module);
}

int FormatScriptTail(char *dst, size_t size, const char *modulePath, const char *scriptPath)
{
    char module[EscapedPathSize];
    char script[EscapedPathSize];

    if (!EscapePercent(module, sizeof module, modulePath) ||
        !EscapePercent(script, sizeof script, scriptPath))
        return Refuse(dst, size);
    return FormatText(dst, size,
                      ":done\r\n"
                      "if exist \"%s\" \"%s\" Warning\r\n"
                      "del \"%s\"",
                      module, module, script);
}

int FormatScriptCommand(char *dst, size_t size, int win9x, const char *interpreter, const char *scriptPath)
{
    if (!win9x && strpbrk(scriptPath, "&<>()@^|"))
        return FormatText(dst, size, "%s /c \"\"%s\"\"", interpreter, scriptPath);
    return FormatText(dst, size, "%s /c \"%s\"", interpreter, scriptPath);
}
