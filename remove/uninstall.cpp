/* The uninstall driver. */
#include <windows.h>
#include <string.h>

#include "remove.h"
#include "../entry/entry.h"

void RunUninstall(void)
{
    char modulePath[PathSize];
    char installDir[PathSize];
    char *slash;
    const char *caption;

    if (!GetModulePath(modulePath, sizeof modulePath))
        return;
    lstrcpyA(installDir, modulePath);
    slash = strrchr(installDir, '\\');
    if (!slash)
        return;
    *slash = '\0';
    SetCurrentDirectoryA(installDir);
    /* The caption is fetched first, then the text. */
    caption = MsgText(MsgCaption);
    if (MessageBoxA(NULL, MsgText(MsgConfirm), caption,
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return;
}
