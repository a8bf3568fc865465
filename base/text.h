/* Text work that needs no platform call: the bounded formatter every
 * composed path goes through, the sizes of paths, the command tail, the
 * choice of mode and the doubling of '%' in a path written into a batch
 * file.
 * Compiles without windows.h so that tests and fuzzers reach it directly. */
#ifndef QEL_BASE_TEXT_H
#define QEL_BASE_TEXT_H

#include <stddef.h>

/* Formats into dst of size bytes. Returns 1 when the whole text fit with its
 * terminator; otherwise returns 0 and leaves dst empty (size > 0), so that a
 * shortened path never reaches the file system. */
int FormatText(char *dst, size_t size, const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 3, 4)))
#endif
    ;

/* 1 when the first n bytes of a and b match, ASCII letters compared
 * without regard to case; a shorter text fails at its terminator. */
int SameStartNoCase(const char *a, const char *b, size_t n);

/* The command-line tail: what follows the program's own name, with the
 * blanks and tabs after it skipped and trailing blanks kept. */
const char *CommandTail(const char *commandLine);

enum Mode { ModeRegister, ModeWarning, ModeWait, ModeQuietUninstall, ModeUninstall };

/* The first test that holds decides; letter case is ignored. "/S" is the
 * quiet uninstall that deployment tools start. */
enum Mode SelectMode(const char *tail);

/* What a run tells whoever started it: Windows Installer's codes, which
 * deployment tools already read. */
enum ExitCode {
    ExitDone = 0,
    ExitDeclined = 1602,       /* the user said No */
    ExitFailed = 1603,         /* work left undone */
    ExitNothingInstalled = 1605 /* no list file: nothing to uninstall */
};

/* Length of the registration word; the group text follows it. */
enum { RegisterWordLength = 8 };

/* The platform's path limit; every path buffer has this size. */
enum { PathSize = 260 };

/* Room for a path of the platform's limit with every byte doubled. */
enum { EscapedPathSize = 2 * PathSize };

/* Whether a length the platform reports for text it wrote into a buffer of
 * size bytes stands for the whole text: 0 is a failure, and so is a length
 * that fills the buffer, since the text may then have been cut (or, on older
 * systems, left without its terminator). */
int LengthFits(unsigned long length, size_t size);

/* path with every '%' doubled, as a batch file must hold it: the command
 * interpreter expands %...% there even between double quotes. 0 and dst
 * empty when it does not fit. */
int EscapePercent(char *dst, size_t size, const char *path);

#endif
