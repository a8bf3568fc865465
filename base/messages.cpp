/* The message ring: texts of the string table fetched by number, and the
 * boxes. */
#include "base/messages.h"

#include <string.h>

#include "base/text.h"

HINSTANCE AppInstance;
int QuietRun;

enum { SlotCount = 5, SlotSize = 200 };

static char Slots[SlotCount][SlotSize];
static int SlotIndex;

const char *MsgText(UINT id)
{
    /* Advanced before use: the first call of a run fills slot 1. */
    if (++SlotIndex == SlotCount)
        SlotIndex = 0;
    Slots[SlotIndex][0] = '\0';
    LoadStringA(AppInstance, id, Slots[SlotIndex], SlotSize);
    return Slots[SlotIndex];
}

int ShowBox(const char *text, UINT style)
{
    if (QuietRun)
        return 0;
    return MessageBoxA(NULL, text, MsgText(MsgCaption), style);
}

enum { WarningSize = 512 };

void ShowDeleteManually(const char *path)
{
    char message[WarningSize];
    const char *completed, *deleteManually;
    size_t used;

    /* The ring keeps both alive, and the caption too. */
    completed = MsgText(MsgCompleted);
    deleteManually = MsgText(MsgDeleteManually);
    if (!FormatText(message, sizeof message, "%s\n", completed))
        return;
    used = strlen(message);
    /* Message 202 is itself the format of the second line. */
    if (!FormatText(message + used, sizeof message - used, deleteManually, path))
        return;
    ShowBox(message, MB_SETFOREGROUND | MB_ICONINFORMATION);
}
