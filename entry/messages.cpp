/* The message ring: texts of the string table fetched by number. */
#include "entry/messages.h"

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
