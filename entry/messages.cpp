/* The message ring: texts of the string table fetched by number. */
#include "entry/messages.h"

#include <string.h>

#include "base/text.h"

HINSTANCE AppInstance;

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

enum { WarningSize = 512 };

void ShowDeleteManually(const char *path)
{
    char message[WarningSize];
    const char *completed, *deleteManually, *caption;
    size_t used;

    /* Fetched in this order; the ring keeps all three alive at once. */
    completed = MsgText(MsgCompleted);
    deleteManually = MsgText(MsgDeleteManually);
    caption = MsgText(MsgCaption);
    if (!FormatText(message, sizeof message, "%s\n", completed))
        return;
    used = strlen(message);
    /* Message 202 is itself the format of the second line. */
    if (!FormatText(message + used, sizeof message - used, deleteManually, path))
        return;
    MessageBoxA(NULL, message, caption, MB_SETFOREGROUND | MB_ICONINFORMATION);
}
