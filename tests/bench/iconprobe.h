// What the message-box robot and the icon probe DLL agree on: the probe is a
// window-procedure hook that the robot installs on a box's thread; it names
// the box's icon from inside the box's process and leaves the answer in a
// window property of the box.
#ifndef QEL_TESTS_ICONPROBE_H
#define QEL_TESTS_ICONPROBE_H

// The robot sends this registered message to the box with a nonzero 16-bit
// ticket as wParam.
#define ICONPROBE_MESSAGE "QelBench.IconProbe"
// The hook's answer on the box window: (ticket << 8) | the MB_ICON* value of
// the icon shown (MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION or
// MB_ICONASTERISK), MB_USERICON for any other icon, 0 for none.
#define ICONPROBE_PROPERTY "QelBench.IconProbe"
// The exported WH_CALLWNDPROC procedure.
#define ICONPROBE_HOOK "IconProbeHook"

#endif
