/* First-run defaults for the highlighting of files. */
#include "register.h"

void WriteHighlightDefaults(void)
{
}
