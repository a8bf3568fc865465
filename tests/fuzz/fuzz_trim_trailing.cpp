// Trimming of list lines: only trailing bytes of 0x01..0x20 and 0x7F go,
// nothing past the string is touched.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "remove/listtext.h"

static bool Trimmed(unsigned char c)
{
    return (c >= 0x01 && c <= 0x20) || c == 0x7F;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, size);
    input = input.c_str();
    std::string buffer = input + '\0' + std::string(16, (char)0xBD);
    TrimTrailing(&buffer[0]);

    size_t n = strlen(buffer.c_str());
    if (n > input.size() || input.compare(0, n, buffer, 0, n) != 0)
        abort();  // not a prefix of the input
    if (n > 0 && Trimmed((unsigned char)buffer[n - 1]))
        abort();  // a trailing byte of the set survived
    for (size_t i = n; i < input.size(); i++)
        if (!Trimmed((unsigned char)input[i]))
            abort();  // a byte outside the set was cut
    for (size_t i = input.size() + 1; i < buffer.size(); i++)
        if ((unsigned char)buffer[i] != 0xBD)
            abort();
    return 0;
}
