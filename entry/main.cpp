/* Process start-up and the mode dispatch, with the two small modes that the
 * cleanup script uses ("wait" and "warning"). */
#include <windows.h>

#include "base/messages.h"
#include "base/platform.h"
#include "base/text.h"
#include "register/register.h"
#include "remove/remove.h"

enum { WaitMilliseconds = 1000 };

static void ShowWarning(void)
{
    char path[PathSize];

    if (GetModulePath(path, sizeof path))
        ShowDeleteManually(path);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    int registered;

    AppInstance = instance;
    switch (SelectMode(tail)) {
    case ModeRegister:
        CreateLauncherFiles();
        registered = WriteRegistration(tail + RegisterWordLength);
        WriteHighlightDefaults();
        return registered ? ExitDone : ExitFailed;
    case ModeWarning:
        ShowWarning();
        break;
    case ModeWait:
        Sleep(WaitMilliseconds);
        break;
    case ModeQuietUninstall:
        QuietRun = 1;
        return RunUninstall();
    case ModeUninstall:
        return RunUninstall();
    }
    return ExitDone;
}

/* The entry point. MinGW's own start-up forms the tail by another rule
 * (it toggles quotes and swallows everything up to a blank), so the
 * program forms it from the raw command line itself. */
extern "C" void QelStartup(void)
{
    const char *tail = CommandTail(GetCommandLineA());

    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)tail, SW_SHOWDEFAULT));
}
