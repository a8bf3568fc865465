/* The cleanup script and the hand-off to it: a running program cannot
 * delete its own executable nor its current directory, so a batch script in
 * the temporary directory finishes the uninstall after the process ends. */
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include "base/messages.h"
#include "base/platform.h"
#include "base/text.h"
#include "remove/listtext.h"
#include "remove/remove.h"
#include "remove/safedelete.h"
#include "remove/script.h"

static const char ScriptName[] = "Uninstall.Qel.Bat";

enum { CommandLineSize = 512 };

/* Where the script goes and how the interpreter is started on it. */
struct HandOff {
    int win9x;
    char tempDir[PathSize];
    char scriptPath[PathSize];
    /* The installation directory, the current one, without a trailing
     * backslash. */
    char installDir[PathSize];
    char interpreter[PathSize]; /* COMSPEC */
    char commandLine[CommandLineSize];
    /* The script as the command line names it: scriptPath or its bare
     * name, for an interpreter started in tempDir. */
    const char *scriptArgument;
    /* The temporary directory held open while the script is made, on
     * every Windows but the Windows 95 family. */
    int byHandle;
    struct DeletionRoot temp;
};

/* The script's three pieces. */
struct Script {
    char head[ScriptPieceSize];
    char block[ScriptPieceSize];
    char tail[ScriptPieceSize];
};

/* A temporary directory the script can work from: a full path (a relative
 * one would be taken from whatever directory is current), and neither the
 * installation directory nor below it, which the script removes. */
static int IsUsableTempDir(const char *tempDir, const char *installDir)
{
    char resolved[PathSize];
    char below[PathSize];
    size_t n = strlen(installDir);

    if (!LengthFits(GetFullPathNameA(tempDir, sizeof resolved, resolved, NULL), sizeof resolved) ||
        !IsSameDirectory(resolved, tempDir))
        return 0;
    if (!FormatText(below, sizeof below, n > 0 && installDir[n - 1] == '\\' ? "%s" : "%s\\", installDir))
        return 0;
    return !IsSameDirectory(resolved, installDir) && !IsInsideDirectory(resolved, below);
}

/* The paths and the command line of the hand-off; 0 when one of them does
 * not fit or the temporary directory cannot take the script. */
static int ComposeHandOff(struct HandOff *handOff)
{
    char *interpreter = handOff->interpreter;
    DWORD n;

    handOff->win9x = GetPlatformId() == VER_PLATFORM_WIN32_WINDOWS;
    if (!LengthFits(GetTempPathA(sizeof handOff->tempDir, handOff->tempDir), sizeof handOff->tempDir))
        return 0;
    if (!FormatText(handOff->scriptPath, sizeof handOff->scriptPath, "%s%s", handOff->tempDir, ScriptName))
        return 0;
    if (!LengthFits(GetCurrentDirectoryA(sizeof handOff->installDir, handOff->installDir),
                    sizeof handOff->installDir))
        return 0;
    if (!IsUsableTempDir(handOff->tempDir, handOff->installDir))
        return 0;
    /* An unset variable leaves the interpreter empty: the start then fails
     * and the process ends all the same. One too long for the buffer is a
     * path that does not fit. */
    interpreter[0] = '\0';
    n = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof handOff->interpreter);
    if (n >= sizeof handOff->interpreter)
        return 0;
    handOff->scriptArgument = ScriptArgument(handOff->win9x, handOff->scriptPath, handOff->installDir);
    return FormatScriptCommand(handOff->commandLine, sizeof handOff->commandLine, handOff->win9x, interpreter,
                               handOff->scriptArgument);
}

/* The pieces, with every path as the interpreter reads it from a batch
 * file. */
static int ComposeScript(struct Script *script, const struct HandOff *handOff, const char *modulePath)
{
    char module[PathSize];
    char dir[PathSize];
    char self[PathSize];

    return GetBatchPath(module, sizeof module, modulePath) &&
           GetBatchPath(dir, sizeof dir, handOff->installDir) &&
           GetBatchPath(self, sizeof self, handOff->scriptPath) &&
           FormatScriptHead(script->head, sizeof script->head, handOff->win9x, module) &&
           FormatScriptBlock(script->block, sizeof script->block, module, dir) &&
           FormatScriptTail(script->tail, sizeof script->tail, QuietRun, module, self);
}

/* A leftover of the script's name in the temporary directory goes first:
 * the script is written only into a file this run creates, never through
 * a link or into a file someone else laid there. A link, a directory or a
 * file that cannot be deleted keeps its place, and there is no script. */
static int ClearScriptName(struct HandOff *handOff)
{
    DWORD attributes = GetFileAttributesA(handOff->scriptPath);

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 1;
    if (!handOff->byHandle)
        return DeleteFileA(handOff->scriptPath);
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           DeleteItemBelow(&handOff->temp, handOff->scriptPath, DeleteFilesOnly);
}

/* The script file, new, as a stream for binary writes; NULL when it cannot
 * be made. */
static FILE *CreateScriptFile(struct HandOff *handOff)
{
    HANDLE created;
    int descriptor;
    FILE *file;

    handOff->byHandle = LookUpDeletionCalls(&handOff->temp);
    if (handOff->byHandle && !OpenDeletionRoot(&handOff->temp, handOff->tempDir))
        return NULL;
    if (!ClearScriptName(handOff))
        return NULL;
    created = CreateFileA(handOff->scriptPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (created == INVALID_HANDLE_VALUE)
        return NULL;
    descriptor = _open_osfhandle((intptr_t)created, _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(created);
        return NULL;
    }
    file = _fdopen(descriptor, "wb");
    if (!file)
        _close(descriptor);
    return file;
}

/* 1 when the whole script was written and closed. Otherwise no script is
 * left: half a script (a full disk) must never reach the interpreter. */
static int WriteScript(struct HandOff *handOff, const char *modulePath)
{
    /* Not on the stack, where every frame stays below a page (the build
     * leaves out stack probes). */
    static struct Script script;
    FILE *file = CreateScriptFile(handOff);
    int written;
    int i;

    if (!file)
        return 0;
    /* Composed only now: the script's own short path exists from here on. */
    written = ComposeScript(&script, handOff, modulePath) && WriteText(file, script.head);
    for (i = 0; written && i < ScriptBlockCount; i++)
        written = WriteText(file, script.block);
    written = written && WriteText(file, script.tail);
    return CloseWrittenFile(file, handOff->scriptPath, written);
}

/* Starts the interpreter on the script, hidden, and does not wait for it;
 * 0 when it does not start. */
static int StartInterpreter(struct HandOff *handOff)
{
    BOOL started;
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    HANDLE nul = INVALID_HANDLE_VALUE;

    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (handOff->win9x) {
        /* Detached, with the null device for all three standard handles. */
        startup.dwFlags = STARTF_USESTDHANDLES;
        nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
        startup.hStdInput = nul;
        startup.hStdOutput = nul;
        startup.hStdError = nul;
    } else {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    /* Neither this process nor the interpreter may hold the installation
     * directory as current directory, or "rd" fails. The interpreter
     * inherits the parent, or starts in the temporary directory when it is
     * to find the script there by its bare name. */
    SetCurrentDirectoryA("..");
    /* Its handles are not used: the process ends right after. On the NT
     * family the interpreter is named as the program to start, so that no
     * other program stands in for it whatever COMSPEC holds (a blank in it
     * would let C:\Program.exe do so); the Windows 95 family's is a short
     * path. */
    started = CreateProcessA(handOff->win9x ? NULL : handOff->interpreter, handOff->commandLine, NULL, NULL, TRUE,
                             handOff->win9x ? DETACHED_PROCESS : 0, NULL,
                             handOff->scriptArgument == handOff->scriptPath ? NULL : handOff->tempDir, &startup,
                             &process);
    if (handOff->win9x)
        CloseHandle(nul);
    return started;
}

void StartCleanupScript(const char *modulePath, int exitCode)
{
    struct HandOff handOff;

    handOff.byHandle = 0;
    if (ComposeHandOff(&handOff) && WriteScript(&handOff, modulePath)) {
        if (StartInterpreter(&handOff))
            ExitProcess((UINT)exitCode);
        /* Nothing will run it. */
        DeleteFileA(handOff.scriptPath);
    }
    if (handOff.byHandle)
        CloseDeletionRoot(&handOff.temp);
    /* The executable and its directory stay: the user is told so, as the
     * script would have told. */
    ShowDeleteManually(modulePath);
}
