/* Quoting of a file name for a batch file line. */
#include "quote.h"

char *QuoteFileName(char *name)
{
    return name;
}
