// The checks that guard names before they reach the file system or the
// registry: entry templates, key paths, group folder names, containment.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "remove/groupname.h"
#include "remove/listtext.h"
#include "settings/keypath.h"

static char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string rest((const char *)data, size);
    size_t cut = rest.find('\n');
    std::string a = rest.substr(0, cut).c_str();
    std::string b = cut == std::string::npos ? "" : rest.substr(cut + 1).c_str();

    // An accepted template formats one number safely (the sanitizers watch
    // the call) and names exactly one place for it.
    if (IsEntryTemplate(a.c_str())) {
        char out[256];
        snprintf(out, sizeof out, a.c_str(), -2147483647 - 1);
        snprintf(out, sizeof out, a.c_str(), 7);
    }

    if (KeyPathsOverlap(a.c_str(), b.c_str()) != KeyPathsOverlap(b.c_str(), a.c_str()))
        abort();
    if (NamesKeyBelowRoot(a.c_str()) && !KeyPathsOverlap(a.c_str(), a.c_str()))
        abort();
    if (!NamesKeyBelowRoot(a.c_str()) && a.find_first_not_of('\\') != std::string::npos)
        abort();

    if (IsGroupFolderName(a.c_str())) {
        if (a.empty() || a[0] == '\\' || a[0] == '/' || a.find(':') != std::string::npos)
            abort();
        // No component of dots and blanks only.
        size_t start = 0;
        while (start <= a.size()) {
            size_t end = a.find_first_of("\\/", start);
            std::string part = a.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!part.empty() && part.find_first_not_of(". ") == std::string::npos)
                abort();
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }

    if (IsInsideDirectory(a.c_str(), b.c_str())) {
        if (b.empty() || b.back() != '\\' || a.size() <= b.size())
            abort();
        for (size_t i = 0; i < b.size(); i++)
            if (Lower(a[i]) != Lower(b[i]))
                abort();
    }
    return 0;
}
