// Quoting for a batch file line: quotes exactly when the rule says, in
// place, never a byte past length + 3. The line of "Qel.bat": every '%'
// doubled, quoted by the same rule, CR LF, whole or refused within its room.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "register/quote.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string name((const char *)data, size);
    name = name.c_str();
    bool needs = !name.empty() && (name[0] == '-' || name[0] == '^');
    needs = needs || name.find(' ') != std::string::npos || name.find('&') != std::string::npos;

    std::string buffer = name + '\0' + std::string(2 + 16, (char)0xBD);
    char *result = QuoteFileName(&buffer[0]);
    if (result != &buffer[0])
        abort();
    std::string expected = needs ? "\"" + name + "\"" : name;
    if (strcmp(buffer.c_str(), expected.c_str()) != 0)
        abort();
    if (FileNameNeedsQuotes(name.c_str()) != (int)needs)
        abort();
    // The room register/quote.h asks for is length + 3; an unquoted name is
    // not touched.
    size_t untouched = needs ? name.size() + 3 : name.size() + 1;
    for (size_t i = untouched; i < buffer.size(); i++)
        if ((unsigned char)buffer[i] != 0xBD)
            abort();

    // Paths as the platform hands them: at most 259 bytes.
    std::string program = name.substr(0, 259);
    std::string doubled;
    for (char c : program)
        doubled += c == '%' ? std::string("%%") : std::string(1, c);
    bool quoted = !doubled.empty() && (doubled[0] == '-' || doubled[0] == '^');
    quoted = quoted || doubled.find(' ') != std::string::npos || doubled.find('&') != std::string::npos;
    std::string line = (quoted ? "\"" + doubled + "\"" : doubled) + "\r\n";
    size_t room = size ? data[0] % 600 : 0;
    std::string out(room + 16, (char)0xBD);
    int fit = FormatLauncherLine(&out[0], room, program.c_str());
    if (fit != (line.size() < room))
        abort();
    if (fit ? strcmp(out.c_str(), line.c_str()) != 0 : room > 0 && out[0] != '\0')
        abort();
    for (size_t i = room; i < out.size(); i++)
        if ((unsigned char)out[i] != 0xBD)
            abort();
    return 0;
}
