/* The cleanup script's lines and the interpreter's command line. */
#include "remove/script.h"

#include <string.h>

#include "base/text.h"

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

/* A piece whose format takes three paths, each with every '%' doubled. */
static int FormatWithPaths(char *dst, size_t size, const char *format, const char *first, const char *second,
                           const char *third)
{
    char escaped[3][EscapedPathSize];

    if (!EscapePercent(escaped[0], sizeof escaped[0], first) ||
        !EscapePercent(escaped[1], sizeof escaped[1], second) ||
        !EscapePercent(escaped[2], sizeof escaped[2], third))
        return Refuse(dst, size);
    return FormatText(dst, size, format, escaped[0], escaped[1], escaped[2]);
}

/* Lines 2 to 4: the executable, the directory, the executable. */
static const char BlockFormat[] = "del \"%s\"\r\n"
                                  "rd \"%s\"\r\n"
                                  "if not exist \"%s\" goto done\r\n";

/* Lines 17 to 19: the executable twice, then the script. The quiet form
 * takes the same three paths and uses only the last. */
static const char TailFormat[] = ":done\r\n"
                                 "if exist \"%s\" \"%s\" Warning\r\n"
                                 "del \"%s\"";
static const char QuietTailFormat[] = ":done\r\n"
                                      "%.0s%.0sdel \"%s\"";

int FormatScriptBlock(char *dst, size_t size, const char *modulePath, const char *installDir)
{
    return FormatWithPaths(dst, size, BlockFormat, modulePath, installDir, modulePath);
}

int FormatScriptTail(char *dst, size_t size, int quiet, const char *modulePath, const char *scriptPath)
{
    return FormatWithPaths(dst, size, quiet ? QuietTailFormat : TailFormat, modulePath, modulePath, scriptPath);
}

/* 1 when the first length bytes of path name dir, letter case ignored
 * (dir without a trailing backslash, as the current directory comes). */
static int PrefixNamesDirectory(const char *path, size_t length, const char *dir)
{
    return strlen(dir) == length && SameStartNoCase(path, dir, length);
}

const char *ScriptArgument(int win9x, const char *scriptPath, const char *installDir)
{
    const char *slash = strrchr(scriptPath, '\\');

    if (win9x || !strpbrk(scriptPath, "%") || !slash)
        return scriptPath;
    if (PrefixNamesDirectory(scriptPath, (size_t)(slash - scriptPath), installDir))
        return scriptPath;
    return slash + 1;
}

int FormatScriptCommand(char *dst, size_t size, int win9x, const char *interpreter, const char *scriptArgument)
{
    if (win9x)
        return FormatText(dst, size, "%s /c \"%s\"", interpreter, scriptArgument);
    if (strpbrk(scriptArgument, "&<>()@^|,;="))
        return FormatText(dst, size, "\"%s\" /c \"\"%s\"\"", interpreter, scriptArgument);
    return FormatText(dst, size, "\"%s\" /c \"%s\"", interpreter, scriptArgument);
}
