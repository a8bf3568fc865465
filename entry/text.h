/* Text work that needs no platform call: the bounded formatter every
 * composed path goes through, the command tail, the choice of mode and the
 * doubling of '%' in a path written into a batch file.
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

/* Room for a path of the platform's limit with every byte doubled. */
enum { EscapedPathSize = 2 * 260 };

/* path with every '%' doubled, as a batch file must hold it: the command
 * interpreter expands %...% there even between double quotes. 0 and dst
 * empty when it does not fit. */
int EscapePercent(char *dst, size_t size, const char *path);

#endif
