// A helper for the bench's own tests: shows one message box of a chosen
// style, or a box-like window whose thread never answers.
//   showbox <style> <caption>   MessageBoxIndirect; MB_USERICON shows BOXICON
//   showbox hung <caption>      a visible dialog window, then no message loop
#include <windows.h>

#include <stdlib.h>
#include <string.h>

static int ShowBox(UINT style, const char *caption)
{
    MSGBOXPARAMSA params;
    ZeroMemory(&params, sizeof params);
    params.cbSize = sizeof params;
    params.hInstance = GetModuleHandleA(NULL);
    params.lpszText = "Which icon does this box show?";
    params.lpszCaption = caption;
    params.dwStyle = style;
    params.lpszIcon = "BOXICON";
    return MessageBoxIndirectA(&params);
}

// Looks like a box to the robot (a visible dialog-class window with an icon
// static) but never reads its messages, as a hung program would.
static int ShowHungBox(const char *caption)
{
    HWND window = CreateWindowExA(0, "#32770", caption, WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 300, 120,
                                  NULL, NULL, NULL, NULL);
    if (!window)
        return 2;
    HWND icon = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_ICON, 10, 10, 32, 32, window, NULL,
                                NULL, NULL);
    if (!icon)
        return 2;
    SendMessageA(icon, STM_SETICON, (WPARAM)LoadIconA(NULL, IDI_QUESTION), 0);
    Sleep(60000);
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc != 3)
        return 2;
    if (strcmp(__argv[1], "hung") == 0)
        return ShowHungBox(__argv[2]);
    return ShowBox((UINT)strtoul(__argv[1], NULL, 0), __argv[2]);
}
