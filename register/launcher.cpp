/* The Windows 95 family's launcher files beside the executable: the empty
 * marker "$UseBat.$$$" and the one-line "Qel.bat" that starts "Qel.exe". */
#include "register/register.h"

#include <stdio.h>
#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "register/quote.h"

static const char MarkerName[] = "$UseBat.$$$";
static const char LauncherName[] = "Qel.bat";
static const char ProgramName[] = "Qel.exe";

/* The program's path with every '%' doubled, two quotes and CR LF. */
enum { LauncherLineSize = EscapedPathSize + 4 };

/* Puts name after the directory part (length bytes, up to and including
 * the last backslash) of path, a buffer of size bytes. 0 when the result
 * does not fit. */
static int PutFileName(char *path, size_t size, size_t length, const char *name)
{
    return FormatText(path + length, size - length, "%s", name);
}

/* The line of "Qel.bat" for the program beside path, whose directory part
 * is length bytes: the directory as a batch file must name it (it exists;
 * "Qel.exe" may not yet, so it has no short form of its own). */
static int ComposeLauncherLine(char *line, size_t size, const char *path, size_t length)
{
    char dir[PathSize];
    char batchDir[PathSize];
    char program[PathSize];

    return FormatText(dir, sizeof dir, "%.*s", (int)length, path) && GetBatchPath(batchDir, sizeof batchDir, dir) &&
           FormatText(program, sizeof program, "%s%s", batchDir, ProgramName) &&
           FormatLauncherLine(line, size, program);
}

/* 1 when the whole line was written and closed. Otherwise no "Qel.bat" is
 * left: a cut line would start something else. */
static int WriteLauncher(const char *path, const char *line)
{
    FILE *file = fopen(path, "wb");

    if (!file)
        return 0;
    /* Binary mode: the line ends in exactly CR LF. */
    return CloseWrittenFile(file, path, WriteText(file, line));
}

void CreateLauncherFiles(void)
{
    char path[PathSize];
    char line[LauncherLineSize];
    const char *slash;
    size_t directory;
    FILE *file;

    if (!GetModulePath(path, sizeof path))
        return;
    slash = strrchr(path, '\\');
    if (!slash)
        return;
    directory = (size_t)(slash - path) + 1;
    /* A failed version query gives no platform id, so nothing is made. */
    if (GetPlatformId() != VER_PLATFORM_WIN32_WINDOWS)
        return;

    /* "wb" creates the marker or cuts an old one to nothing. Without the
     * marker, "Qel.bat" is not attempted either. */
    if (!PutFileName(path, sizeof path, directory, MarkerName))
        return;
    file = fopen(path, "wb");
    if (!file)
        return;
    fclose(file);

    /* An existing "Qel.bat", file or directory, may be the user's own. */
    if (!PutFileName(path, sizeof path, directory, LauncherName))
        return;
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return;
    /* The line is made whole before the file exists, so that a path that
     * does not fit leaves no empty launcher behind. */
    if (!ComposeLauncherLine(line, sizeof line, path, directory))
        return;
    WriteLauncher(path, line);
}
