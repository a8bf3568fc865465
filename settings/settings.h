/* The settings key store: values and key trees under "Software\Qel",
 * addressed under the current root key. */
#ifndef QEL_SETTINGS_SETTINGS_H
#define QEL_SETTINGS_SETTINGS_H

#include <windows.h>

/* The settings key's own path, relative to the root. */
#define SettingsKeyPath "Software\\Qel"

/* The root key every operation addresses its keys under; HKEY_CURRENT_USER
 * from process start. */
void SetRegRoot(HKEY root);
HKEY GetRegRoot(void);

HKEY CreateRegKey(const char *subkey);
HKEY OpenRegKey(const char *subkey);

void SetRegString(const char *subkey, const char *name, const char *text);
void SetRegDword(const char *subkey, const char *name, DWORD value);
void SetRegBinary(const char *subkey, const char *name, const void *data, DWORD size);

int GetRegString(const char *subkey, const char *name, char *buffer, const char *defaultText,
                 DWORD size);
int GetRegDword(const char *subkey, const char *name, DWORD *value, DWORD defaultValue);
DWORD GetRegDword(const char *subkey, const char *name, DWORD defaultValue);
int GetRegBinary(const char *subkey, const char *name, void *buffer, const void *defaultData,
                 DWORD size);

int CheckRegKey(const char *subkey);
void DeleteRegKey(const char *subkey);
void DeleteRegValue(const char *subkey, const char *name);

/* Deletes the key at path (relative to the root, no prefix added) with
 * everything below it, in whole passes until one deletes nothing. */
void DeleteKeyTree(const char *path);

/* Replaces the tree at destination by a copy of the tree at source (both
 * full paths). 1 when the source was opened and the destination created. */
int CopyKeyTree(const char *source, const char *destination);

/* Numbered entries "Software\Qel\<entryTemplate>" with the template's one
 * %d taking the entry number. DeleteNumberedKey removes entry number and
 * moves the later ones down by one; InsertNumberedKey moves the entries
 * number .. top-1 up by one and leaves entry number absent. */
void DeleteNumberedKey(const char *entryTemplate, int number);
void InsertNumberedKey(const char *entryTemplate, int number, int top);

#endif
