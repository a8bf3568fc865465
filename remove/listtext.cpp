/* Text work of the uninstall list. */
#include "listtext.h"

void TrimTrailing(char *)
{
}
