/* The cleanup script's lines and the interpreter's command line. */
#include "script.h"

#include <string.h>

#include "../entry/text.h"

/* A piece that cannot be composed leaves the destination empty. */
static int Refuse(char *dst, size_t size)
{
    if (size > 0)
        dst[0] = '\0';
    return 0;
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

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

/* 1 when the first length bytes of path name dir, letter case ignored. */
static int IsSameDirectory(const char *path, size_t length, const char *dir)
{
    size_t i;

    if (strlen(dir) != length)
        return 0;
    for (i = 0; i < length; i++)
        if (LowerAscii(path[i]) != LowerAscii(dir[i]))
            return 0;
    return 1;
}

const char *ScriptArgument(int win9x, const char *scriptPath, const char *installDir)
{
    const char *slash = strrchr(scriptPath, '\\');

    if (win9x || !strchr(scriptPath, '%') || !slash)
        return scriptPath;
    if (IsSameDirectory(scriptPath, (size_t)(slash - scriptPath), installDir))
        return scriptPath;
    return slash + 1;
}

int FormatScriptCommand(char *dst, size_t size, int win9x, const char *interpreter, const char *scriptArgument)
{
    if (!win9x && strpbrk(scriptArgument, "&<>()@^|,;="))
        return FormatText(dst, size, "%s /c \"\"%s\"\"", interpreter, scriptArgument);
    return FormatText(dst, size, "%s /c \"%s\"", interpreter, scriptArgument);
}
