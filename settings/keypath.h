/* Text checks on registry key paths and entry templates, done before any
 * key is touched. Compiles without windows.h so that tests and fuzzers
 * reach it directly. */
#ifndef QEL_SETTINGS_KEYPATH_H
#define QEL_SETTINGS_KEYPATH_H

/* 1 when path names a key below the root: it holds a character other than a
 * backslash. "" (or "\") would name the root key itself. */
int NamesKeyBelowRoot(const char *path);

/* 1 when the two key paths name the same key or one lies inside the other.
 * Compared component by component, ASCII letters without regard to case,
 * empty components ignored; two bytes of 0x80 and above are taken to match,
 * since their case rules belong to the code page. */
int KeyPathsOverlap(const char *a, const char *b);

/* 1 when entryTemplate is a safe format for one entry number: exactly one
 * conversion %d or %i, with at most the flags "-+ 0" and a width of one or
 * two digits, and no other conversion but "%%". */
int IsEntryTemplate(const char *entryTemplate);

#endif
