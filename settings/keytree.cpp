/* Key copy and numbered entries: whole key trees under the current root. */
#include "settings.h"

int CopyKeyTree(const char *, const char *)
{
    return 0;
}

void DeleteNumberedKey(const char *, int)
{
}

void InsertNumberedKey(const char *, int, int)
{
}
