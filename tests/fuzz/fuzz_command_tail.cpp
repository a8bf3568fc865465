// The command tail and the mode choice over arbitrary command lines.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string line((const char *)data, size);
    line = line.c_str();  // the platform hands over a zero-terminated line
    const char *start = line.c_str();
    const char *tail = CommandTail(start);

    // The tail lies inside the line and never starts with a blank or tab.
    if (tail < start || tail > start + line.size())
        abort();
    if (*tail == ' ' || *tail == '\t')
        abort();
    // Trailing blanks stay: the tail is a suffix of the line.
    if (strcmp(tail, start + (tail - start)) != 0)
        abort();

    Mode mode = SelectMode(tail);
    size_t n = strlen(tail);
    if (mode == ModeWait && n != 4)
        abort();
    if (mode == ModeWarning && n != 7)
        abort();
    if (mode == ModeRegister && (n < 8 || strncasecmp(tail, "register", 8) != 0))
        abort();
    return 0;
}
