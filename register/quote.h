/* Quoting of a file name for a batch file line, and the line of "Qel.bat".
 * No platform calls. */
#ifndef QEL_REGISTER_QUOTE_H
#define QEL_REGISTER_QUOTE_H

#include <stddef.h>

/* 1 when the command interpreter would split or misread name as a command:
 * it starts with '-' or '^', or holds a blank or an '&' anywhere. */
int FileNameNeedsQuotes(const char *name);

/* Encloses name in double quotes, in place, when FileNameNeedsQuotes says
 * so; quotes already present change nothing. The buffer must hold two more
 * characters than the string, plus its terminator. Returns name. */
char *QuoteFileName(char *name);

/* The one line of "Qel.bat": programPath (as the batch file must hold it)
 * with every '%' doubled, quoted by QuoteFileName, then CR LF. 0 and dst
 * empty when it does not fit. */
int FormatLauncherLine(char *dst, size_t size, const char *programPath);

#endif
