/* Text work that needs no platform call: the bounded formatter every
 * composed path goes through, the command tail and the choice of mode.
 * Compiles without windows.h so that tests and fuzzers reach it directly. */
#ifndef QEL_ENTRY_TEXT_H
#define QEL_ENTRY_TEXT_H

#include <stddef.h>

/* Formats into dst of size bytes. Returns 1 when the whole text fit with its
 * terminator; otherwise returns 0 and leaves dst empty (size > 0), so that a
 * shortened path never reaches the file system. */
int FormatText(char *dst, size_t size, const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 3, 4)))
#endif
    ;

/* The command-line tail: what follows the program's own name, with the
 * blanks and tabs after it skipped and trailing blanks kept. */
const char *CommandTail(const char *commandLine);

enum Mode { ModeRegister, ModeWarning, ModeWait, ModeUninstall };

/* The first test that holds decides; letter case is ignored. */
enum Mode SelectMode(const char *tail);

/* Length of the registration word; the group text follows it. */
enum { RegisterWordLength = 8 };

#endif
