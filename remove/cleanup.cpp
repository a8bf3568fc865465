/* The cleanup script and the hand-off to it. */
#include "remove.h"

void StartCleanupScript(const char *)
{
}
