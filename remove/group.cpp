/* Removal of the Start-menu program group: its folder and the Program
 * Manager group. */
#include "remove.h"

void RemoveProgramGroup(void)
{
}

HDDEDATA CALLBACK DdeClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return 0;
}
