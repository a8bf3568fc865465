/* Text work of the uninstall list that needs no platform call. */
#ifndef QEL_REMOVE_LISTTEXT_H
#define QEL_REMOVE_LISTTEXT_H

/* Cuts trailing control characters, blanks and 0x7F in place. */
void TrimTrailing(char *line);

#endif
