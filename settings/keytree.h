/* What the settings store's tree operations share: the sizes of key paths
 * and names, keys opened without following registry links, and the pass
 * count of the last tree deletion, which the tests and the benchmark read. */
#ifndef QEL_SETTINGS_KEYTREE_H
#define QEL_SETTINGS_KEYTREE_H

#include <windows.h>

enum {
    KeyPathSize = 512, /* full and child key paths of up to 511 */
    KeyNameSize = 200  /* child key and value names of up to 199 */
};

/* Opens the key at path (relative to the root, no prefix added) with
 * KEY_ALL_ACCESS for a tree operation. On the NT family a registry link at
 * path is opened itself, not followed, and *isLink tells it; the Windows 95
 * family has no links. Returns the result of the open. */
LONG OpenTreeKey(const char *path, HKEY *key, int *isLink);
/* 1 when the key at path is a registry link; no call is made on the
 * Windows 95 family. */
int IsTreeLink(const char *path);

/* Number of passes the last DeleteKeyTree made. */
int DeleteKeyTreePasses(void);

#endif
