// Reading list entries: lines, or pieces of 519 bytes of longer ones, each
// trimmed at its end, empty ones skipped; compared with a model of the rule.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "remove/listtext.h"

static std::vector<std::string> Model(const std::string &bytes)
{
    std::vector<std::string> entries;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = at;
        while (end < bytes.size() && end - at < 519) {
            if (bytes[end++] == '\n')
                break;
        }
        std::string piece = bytes.substr(at, end - at).c_str();  // stops at a zero byte
        at = end;
        while (!piece.empty() && (((unsigned char)piece.back() >= 1 && (unsigned char)piece.back() <= 0x20) ||
                                  piece.back() == 0x7F))
            piece.pop_back();
        if (!piece.empty())
            entries.push_back(piece);
    }
    return entries;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes((const char *)data, size);
    FILE *list = fmemopen(size ? (void *)data : (void *)"", size, "rb");
    if (!list)
        return 0;
    std::vector<std::string> entries;
    char line[ListLineSize + 16];
    memset(line, 0xBD, sizeof line);
    while (ReadListEntry(list, line, ListLineSize)) {
        for (size_t i = ListLineSize; i < sizeof line; i++)
            if ((unsigned char)line[i] != 0xBD)
                abort();  // written past the line buffer
        size_t n = strlen(line);
        if (n == 0 || n > 519)
            abort();
        entries.push_back(line);
    }
    fclose(list);
    if (entries != Model(bytes))
        abort();
    return 0;
}
