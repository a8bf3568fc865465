/* The cleanup script's text, composed from the module path, the
 * installation directory and the script's own path, and the command line
 * that hands it to the interpreter. No platform calls. */
#ifndef QEL_REMOVE_SCRIPT_H
#define QEL_REMOVE_SCRIPT_H

#include <stddef.h>

enum {
    ScriptPieceSize = 1024, /* one write to the script: head, block or tail */
    ScriptBlockCount = 5    /* attempts to delete the executable */
};

/* Each returns 1 when the whole piece fit with its terminator; otherwise 0
 * with dst left empty. Paths come as the batch file must hold them (in the
 * OEM code page); every '%' of a path is written as "%%" (EscapePercent). */

/* Line 1, with its CR LF: runs the program with "wait". The Windows 95
 * family's form puts path and word inside one pair of quotes for "start". */
int FormatScriptHead(char *dst, size_t size, int win9x, const char *modulePath);

/* Lines 2 to 4, each with its CR LF: delete the executable, remove the
 * directory, leave as soon as the executable is gone. */
int FormatScriptBlock(char *dst, size_t size, const char *modulePath, const char *installDir);

/* Lines 17 to 19, the last without a line end: the warning run when the
 * executable survived, then the script deletes itself. A quiet uninstall's
 * script runs no warning: nobody may be there to answer it. */
int FormatScriptTail(char *dst, size_t size, int quiet, const char *modulePath, const char *scriptPath);

/* The script as the interpreter's command line names it: its path; but the
 * NT family's cmd expands %NAME% on its command line even between quotes,
 * where no escape helps, so there a path holding '%' is named by its bare
 * file name (a pointer into scriptPath), for an interpreter started in the
 * script's own directory. Not when that directory is installDir (no
 * trailing backslash): the interpreter must never hold that one. */
const char *ScriptArgument(int win9x, const char *scriptPath, const char *installDir);

/* The interpreter's command line: interpreter /c "script", the
 * interpreter in quotes on the NT family, where it may lie below a folder
 * with a blank in its name (the Windows 95 family's is a short path that
 * its command.com is given as it is). The NT family's
 * cmd drops the outer quotes of a /c argument that holds one of &<>()@^|
 * and would then split the path at it (a temporary directory such as
 * C:\Users\John (Work)\Temp); it splits at ',', ';' and '=' as well (a
 * profile "Smith, John"). So there such a path gets a second pair, which
 * cmd drops instead. 0 and dst empty when it does not fit. */
int FormatScriptCommand(char *dst, size_t size, int win9x, const char *interpreter, const char *scriptArgument);

#endif
