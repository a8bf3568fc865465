/* The Windows 95 family's launcher files beside the executable: the empty
 * marker "$UseBat.$$$" and the one-line "Qel.bat" that starts "Qel.exe". */
#include "register.h"

#include <stdio.h>
#include <string.h>

#include "../entry/entry.h"
#include "../entry/text.h"
#include "quote.h"

static const char MarkerName[] = "$UseBat.$$$";
static const char LauncherName[] = "Qel.bat";
static const char ProgramName[] = "Qel.exe";

/* Puts name after the directory part (length bytes, up to and including
 * the last backslash) of path. 0 when the result does not fit. */
static int PutFileName(char *path, size_t length, const char *name)
{
    return FormatText(path + length, PathSize - length, "%s", name);
}

void CreateLauncherFiles(void)
{
    char path[PathSize];
    char command[PathSize];
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
    if (!PutFileName(path, directory, MarkerName))
        return;
    file = fopen(path, "wb");
    if (!file)
        return;
    fclose(file);

    /* An existing "Qel.bat", file or directory, may be the user's own. */
    if (!PutFileName(path, directory, LauncherName))
        return;
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return;

    /* The command line is made whole before the file exists, so that a
     * path with no room for its quotes leaves no empty launcher behind. */
    memcpy(command, path, directory);
    if (!PutFileName(command, directory, ProgramName))
        return;
    if (FileNameNeedsQuotes(command) && strlen(command) + 3 > sizeof command)
        return;
    QuoteFileName(command);

    file = fopen(path, "wb");
    if (!file)
        return;
    /* Binary mode: the line ends in exactly CR LF. */
    fputs(command, file);
    fputs("\r\n", file);
    fclose(file);
}
