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

/* The script's pieces, all composed before the file is created, so that a
 * path that does not fit leaves no script at all. */
struct Script {
    char head[ScriptPieceSize];
    char block[ScriptPieceSize];
    char tail[ScriptPieceSize];
};

static void WritePiece(FILE *file, const char *piece)
{
    fwrite(piece, 1, strlen(piece), file);
}

/* 1 when the whole script was written. */
static int WriteScript(const char *scriptPath, const struct Script *script)
{
    FILE *file = fopen(scriptPath, "wb");
    int i;

    if (!file)
        return 0;
    WritePiece(file, script->head);
    for (i = 0; i < ScriptBlockCount; i++)
        WritePiece(file, script->block);
    WritePiece(file, script->tail);
    fclose(file);
    return 1;
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
    struct Script script;
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
    if (!FormatScriptHead(script.head, sizeof script.head, win9x, modulePath) ||
        !FormatScriptBlock(script.block, sizeof script.block, modulePath, currentDir) ||
        !FormatScriptTail(script.tail, sizeof script.tail, modulePath, scriptPath))
        return;
    /* An unset variable leaves the interpreter empty: the start then fails
     * and the process ends all the same. One too long for the buffer is a
     * path that does not fit. */
    interpreter[0] = '\0';
    n = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter);
    if (n >= sizeof interpreter)
        return;
    if (!FormatScriptCommand(commandLine, sizeof commandLine, win9x, interpreter, scriptPath))
        return;
    if (!WriteScript(scriptPath, &script))
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
    /* Neither this process nor the interpreter, which inherits it, may hold
     * the installation directory as current directory, or "rd" fails. */
    SetCurrentDirectoryA("..");
    /* Not waited for, and its handles are not used: the process ends now. */
    CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, win9x ? DETACHED_PROCESS : 0, NULL, NULL, &startup,
                   &process);
    if (win9x)
        CloseHandle(nul);
    ExitProcess(0);
}
