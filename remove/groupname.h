/* Text work on a stored group name: whether it may be used as a folder
 * below the Programs folder, and the command that asks the Program Manager
 * to delete it. Compiles without windows.h so that tests reach it directly. */
#ifndef QEL_REMOVE_GROUPNAME_H
#define QEL_REMOVE_GROUPNAME_H

#include <stddef.h>

/* The lead-byte ranges of the ANSI code page as the platform reports them
 * (CPINFO's LeadByte): pairs of first and last lead byte, ended by a pair
 * whose first byte is 0 or by the end of the LeadByteRangesSize bytes; a
 * null pointer or none for a single-byte code page. A lead byte and a trail
 * byte (0x40 and above) make one character, so a trail byte of 0x5C or 0x7C
 * is no backslash and no pipe. */
enum { LeadByteRangesSize = 12 };

/* 1 when "<Programs>\<name>" names a folder strictly below the Programs
 * folder however Windows resolves it; 0 for an empty name, an absolute or
 * drive path, a component of dots and blanks only ("..", "...", ". "), a
 * character no folder name can hold, or a lead byte without its trail byte. */
int IsGroupFolderName(const char *name, const unsigned char *leadRanges);

/* The length of name without its trailing separators: the part that names
 * the group folder itself. A folder that is a link shows as one only when
 * named without them. */
size_t GroupFolderNameLength(const char *name, const unsigned char *leadRanges);

/* The Program Manager's command that deletes the group, into command (size
 * bytes): "[DeleteGroup(<name>)]", with the name in double quotes when it
 * holds ',', '(', ')', '[' or ']', which the Program Manager would read as
 * syntax. Returns 0 and leaves command empty for a name holding '"', which
 * no quoting keeps whole, and for one that does not fit. */
int FormatDeleteGroupCommand(char *command, size_t size, const char *name, const unsigned char *leadRanges);

#endif
