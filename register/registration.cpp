/* Registration: the uninstall entry, the group name and the FTP host. */
#include "register.h"

void WriteRegistration(const char *)
{
}
