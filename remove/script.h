/* The cleanup script's text. No platform calls. */
#ifndef QEL_REMOVE_SCRIPT_H
#define QEL_REMOVE_SCRIPT_H

#endif
