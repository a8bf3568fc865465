/* Quoting of a file name for a batch file line. No platform calls. */
#ifndef QEL_REGISTER_QUOTE_H
#define QEL_REGISTER_QUOTE_H

/* Encloses name in double quotes, in place, when the command interpreter
 * would otherwise split or misread it. The buffer must hold two more
 * characters than the string. Returns name. */
char *QuoteFileName(char *name);

#endif
