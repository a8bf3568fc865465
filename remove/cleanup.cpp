/* The cleanup script and the hand-off to it: a running program cannot
 * delete its own executable nor its current directory, so a batch script in
 * the temporary directory finishes the uninstall after the process ends. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "remove.h"
#include "script.h"
#include "../entry/entry.h"
#include "../entry/text.h"

static const char ScriptName[] = "Uninstall.Qel.Bat";

enum { CommandLineSize = 512 };

/* The script's three pieces. */
struct Script {
    char head[ScriptPieceSize];
    char block[ScriptPieceSize];
    char tail[ScriptPieceSize];
};

/* The pieces, with every path as the interpreter reads it from a batch
 * file. */
static int ComposeScript(struct Script *script, int win9x, const char *modulePath, const char *installDir,
                         const char *scriptPath)
{
    char module[PathSize];
    char dir[PathSize];
    char self[PathSize];

    return GetBatchPath(module, sizeof module, modulePath) && GetBatchPath(dir, sizeof dir, installDir) &&
           GetBatchPath(self, sizeof self, scriptPath) &&
           FormatScriptHead(script->head, sizeof script->head, win9x, module) &&
           FormatScriptBlock(script->block, sizeof script->block, module, dir) &&
           FormatScriptTail(script->tail, sizeof script->tail, module, self);
}

static int WritePiece(FILE *file, const char *piece)
{
    size_t length = strlen(piece);

    return fwrite(piece, 1, length, file) == length;
}

/* 1 when the whole script was written and closed. Otherwise no script is
 * left: half a script (a full disk) must never reach the interpreter. */
static int WriteScript(const char *scriptPath, int win9x, const char *modulePath, const char *installDir)
{
    struct Script script;
    FILE *file = fopen(scriptPath, "wb");
    int written;
    int i;

    if (!file)
        return 0;
    /* Composed only now: the script's own short path exists from here on. */
    written = ComposeScript(&script, win9x, modulePath, installDir, scriptPath) && WritePiece(file, script.head);
    for (i = 0; written && i < ScriptBlockCount; i++)
        written = WritePiece(file, script.block);
    written = written && WritePiece(file, script.tail);
    if (fclose(file) != 0)
        written = 0;
    if (!written)
        DeleteFileA(scriptPath);
    return written;
}

/* Length checks of the platform's answers: 0 or a full buffer is failure. */
static int Fits(DWORD n, DWORD size)
{
    return n != 0 && n < size;
}

void StartCleanupScript(const char *modulePath)
{
    char tempDir[PathSize];
    char scriptPath[PathSize];
    char currentDir[PathSize];
    char interpreter[PathSize];
    char commandLine[CommandLineSize];
    const char *scriptArgument;
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    HANDLE nul = INVALID_HANDLE_VALUE;
    DWORD n;
    int win9x = GetPlatformId() == VER_PLATFORM_WIN32_WINDOWS;

    if (!Fits(GetTempPathA(sizeof tempDir, tempDir), sizeof tempDir))
        return;
    if (!FormatText(scriptPath, sizeof scriptPath, "%s%s", tempDir, ScriptName))
        return;
    /* The installation directory, without a trailing backslash. */
    if (!Fits(GetCurrentDirectoryA(sizeof currentDir, currentDir), sizeof currentDir))
        return;
    /* An unset variable leaves the interpreter empty: the start then fails
     * and the process ends all the same. One too long for the buffer is a
     * path that does not fit. */
    interpreter[0] = '\0';
    n = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter);
    if (n >= sizeof interpreter)
        return;
    scriptArgument = ScriptArgument(win9x, scriptPath, currentDir);
    if (!FormatScriptCommand(commandLine, sizeof commandLine, win9x, interpreter, scriptArgument))
        return;
    if (!WriteScript(scriptPath, win9x, modulePath, currentDir))
        return;

    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (win9x) {
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
    /* Not waited for, and its handles are not used: the process ends now. */
    CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, win9x ? DETACHED_PROCESS : 0, NULL,
                   scriptArgument == scriptPath ? NULL : tempDir, &startup, &process);
    if (win9x)
        CloseHandle(nul);
    ExitProcess(0);
}
