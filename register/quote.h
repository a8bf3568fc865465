/* Quoting of a file name for a batch file line. No platform calls. */
#ifndef QEL_REGISTER_QUOTE_H
#define QEL_REGISTER_QUOTE_H

/* 1 when the command interpreter would split or misread name as a command:
 * it starts with '-' or '^', or holds a blank or an '&' anywhere. */
int FileNameNeedsQuotes(const char *name);

/* Encloses name in double quotes, in place, when FileNameNeedsQuotes says
 * so; quotes already present change nothing. The buffer must hold two more
 * characters than the string, plus its terminator. Returns name. */
char *QuoteFileName(char *name);

#endif
