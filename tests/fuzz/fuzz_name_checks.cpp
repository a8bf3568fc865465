// The checks that guard names before they reach the file system or the
// registry: entry templates, key paths, group folder names and the Program
// Manager's command for them, containment of full and final paths, the
// installation directory and its read-back.
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

    if (IsGroupFolderName(a.c_str(), nullptr)) {
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

    // The lead-byte ranges of a double-byte code page come from b; as in
    // every code page, lead bytes lie above 0x7F. No trail byte lies below
    // 0x40, so the characters Windows refuses there (':' among them) refuse
    // the name in any code page.
    unsigned char ranges[LeadByteRangesSize] = {0};
    for (size_t i = 0; i < sizeof ranges && i < b.size(); i++)
        ranges[i] = b[i] ? (unsigned char)(b[i] | 0x80) : 0;
    if (IsGroupFolderName(a.c_str(), ranges) && a.find_first_of(":*?\"<>\t") != std::string::npos)
        abort();

    // And the other way: one component of double-byte characters (a lead
    // byte of the ranges, as read here, and a trail byte from 0x40, 0x5C and
    // 0x7C among them), letters, and dots and blanks after the first
    // character is a folder name, accepted whole.
    std::string component;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char c = (unsigned char)a[i];
        bool lead = false;
        for (size_t r = 0; r + 1 < sizeof ranges && ranges[r] != 0; r += 2)
            lead = lead || (c >= ranges[r] && c <= ranges[r + 1]);
        if (lead && i + 1 < a.size()) {
            component += (char)c;
            component += (char)(a[++i] | 0x40);
        } else if ((c == '.' || c == ' ') && !component.empty()) {
            component += (char)c;
        } else {
            component += (char)('a' + c % 26);
        }
    }
    if (!component.empty() && (!IsGroupFolderName(component.c_str(), ranges) ||
                               GroupFolderNameLength(component.c_str(), ranges) != component.size()))
        abort();

    // What the folder's own name leaves out are trailing separators only.
    for (const unsigned char *lead : {(const unsigned char *)nullptr, (const unsigned char *)ranges}) {
        size_t length = GroupFolderNameLength(a.c_str(), lead);
        if (length > a.size() || a.find_first_not_of("\\/", length) != std::string::npos)
            abort();
    }

    // The command holds the name whole, bare or in quotes; quotes only
    // around a name holding the command's syntax, and no name holding a
    // quote is sent. Sized one byte short, it is refused and left empty.
    for (const unsigned char *lead : {(const unsigned char *)nullptr, (const unsigned char *)ranges}) {
        std::string command(a.size() + 32, '\xBD');
        if (!FormatDeleteGroupCommand(&command[0], command.size(), a.c_str(), lead)) {
            if (a.find('"') == std::string::npos || command[0] != '\0')
                abort();
            continue;
        }
        command.resize(strlen(command.c_str()));
        bool quoted = command == "[DeleteGroup(\"" + a + "\")]";
        if (!quoted && command != "[DeleteGroup(" + a + ")]")
            abort();
        if (quoted && a.find_first_of(",()[]") == std::string::npos)
            abort();
        if (!lead && (quoted != (a.find_first_of(",()[]") != std::string::npos) || a.find('"') != std::string::npos))
            abort();
        std::string exact(command.size() + 1, '\xBD');
        if (!FormatDeleteGroupCommand(&exact[0], exact.size(), a.c_str(), lead) || exact.c_str() != command)
            abort();
        std::string shorter(command.size(), '\xBD');
        if (FormatDeleteGroupCommand(&shorter[0], shorter.size(), a.c_str(), lead) || shorter[0] != '\0')
            abort();
    }

    if (IsInsideDirectory(a.c_str(), b.c_str())) {
        if (b.empty() || b.back() != '\\' || a.size() <= b.size())
            abort();
        for (size_t i = 0; i < b.size(); i++)
            if (Lower(a[i]) != Lower(b[i]))
                abort();
    }

    // Inside a final path: the directory's text without a "\\?\" prefix and
    // a trailing backslash starts the path's text without its prefix, which
    // goes on with a backslash and something after it.
    if (IsInsideFinalPath(a.c_str(), b.c_str())) {
        std::string path = a.compare(0, 4, "\\\\?\\") == 0 ? a.substr(4) : a;
        std::string dir = b.compare(0, 4, "\\\\?\\") == 0 ? b.substr(4) : b;
        if (!dir.empty() && dir.back() == '\\')
            dir.pop_back();
        if (dir.empty() || path.size() < dir.size() + 2 || path[dir.size()] != '\\')
            abort();
        for (size_t i = 0; i < dir.size(); i++)
            if (Lower(path[i]) != Lower(dir[i]))
                abort();
    }

    if (IsSameDirectory(a.c_str(), b.c_str()) != IsSameDirectory(b.c_str(), a.c_str()))
        abort();
    if (IsSameDirectory(a.c_str(), b.c_str()) && (a.empty() || !IsSameDirectory(a.c_str(), a.c_str())))
        abort();

    // The directory left is a leading part of the module path, ending just
    // before its last backslash, or just after it for a drive root.
    std::string directory = a;
    size_t left = CutToDirectory(&directory[0]);
    size_t slash = a.rfind('\\');
    if (left != 0) {
        if (slash == std::string::npos || slash == 0 || left != strlen(directory.c_str()) ||
            a.compare(0, left, directory.c_str()) != 0)
            abort();
        if (left != (a[slash - 1] == ':' ? slash + 1 : slash))
            abort();
    } else if (slash != std::string::npos && slash != 0) {
        abort();
    }
    return 0;
}
