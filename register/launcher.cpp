/* The Windows 95 family's launcher files beside the executable. */
#include "register.h"

void CreateLauncherFiles(void)
{
}
