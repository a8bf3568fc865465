// The bounded formatter: never a byte past the room, always terminated,
// a refused text leaves the buffer empty, an accepted one is whole.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t room = data[0] + ((data[1] & 1) << 8);  // 0 .. 511
    std::string rest((const char *)data + 2, size - 2);
    size_t cut = rest.find('\n');
    std::string first = rest.substr(0, cut).c_str();
    std::string second = cut == std::string::npos ? "" : rest.substr(cut + 1).c_str();

    const unsigned char marker = 0xBD;
    std::string buffer(room + 16, (char)marker);
    int fit = FormatText(&buffer[0], room, "%s\\%s", first.c_str(), second.c_str());
    std::string expected = first + "\\" + second;

    for (size_t i = room; i < buffer.size(); i++)
        if ((unsigned char)buffer[i] != marker)
            abort();  // written past the room
    if (fit != (expected.size() < room))
        abort();
    if (fit && strcmp(buffer.c_str(), expected.c_str()) != 0)
        abort();
    if (!fit && room > 0 && buffer[0] != '\0')
        abort();
    return 0;
}
