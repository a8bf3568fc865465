// The icon probe DLL. An icon handle belongs to the process that loaded it:
// from outside, the box's icon can be neither drawn nor compared with the
// system's. So the robot hooks the box's thread with this DLL, and the hook,
// now running inside the box's process, compares the handle the icon static
// holds with the system icons that process has loaded (LoadIcon with no
// module returns one shared handle per icon in a process).
#include <windows.h>

#include "iconprobe.h"

static HWND FindIconStatic(HWND box)
{
    char className[16];
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!GetClassNameA(child, className, sizeof className) || lstrcmpiA(className, "Static") != 0)
            continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    }
    return NULL;
}

static UINT NameIcon(HICON icon)
{
    static const struct {
        LPCSTR resource;
        UINT style;
    } SystemIcons[] = {
        {IDI_HAND, MB_ICONHAND},
        {IDI_QUESTION, MB_ICONQUESTION},
        {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
        {IDI_ASTERISK, MB_ICONASTERISK},
    };
    if (!icon)
        return 0;
    for (const auto &known : SystemIcons)
        if (icon == LoadIconA(NULL, known.resource))
            return known.style;
    return MB_USERICON;
}

static void AnswerProbe(HWND box, WPARAM ticket)
{
    // Windows runs the hook of a 64-bit DLL for a 32-bit box in the
    // installing process instead, where the handles cannot be compared.
    DWORD owner = 0;
    GetWindowThreadProcessId(box, &owner);
    if (owner != GetCurrentProcessId())
        return;
    HWND control = FindIconStatic(box);
    // Same thread: the message goes straight to the static's procedure.
    HICON icon = control ? (HICON)SendMessageA(control, STM_GETICON, 0, 0) : NULL;
    ULONG_PTR answer = ((ULONG_PTR)(ticket & 0xFFFF) << 8) | NameIcon(icon);
    SetPropA(box, ICONPROBE_PROPERTY, (HANDLE)answer);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK IconProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPSTRUCT *call = (const CWPSTRUCT *)lParam;
        if (call->message >= 0xC000 && call->message == RegisterWindowMessageA(ICONPROBE_MESSAGE))
            AnswerProbe(call->hwnd, call->wParam);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
