// The cleanup script's pieces: every '%' doubled, no byte past the room,
// a refused piece leaves the buffer empty, an accepted one is whole. The
// interpreter's command line: the script by its bare name for a '%' on the
// NT family unless it lies in the installation directory, a second pair of
// quotes where cmd would split the path.
#include <ctype.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/text.h"
#include "remove/script.h"

static std::string Escaped(const std::string &path)
{
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

template <class Format> static void Check(size_t room, const std::string &expected, Format format)
{
    std::string buffer(room + 16, (char)0xBD);
    int fit = format(&buffer[0], room);
    for (size_t i = room; i < buffer.size(); i++)
        if ((unsigned char)buffer[i] != 0xBD)
            abort();
    if (fit != (expected.size() < room))
        abort();
    if (fit && strcmp(buffer.c_str(), expected.c_str()) != 0)
        abort();
    if (!fit && room > 0 && buffer[0] != '\0')
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    size_t room = ((size_t)data[0] | ((size_t)data[1] << 8)) % (ScriptPieceSize + 1);
    bool win9x = data[2] & 1;
    bool quiet = data[2] & 2;
    std::string rest((const char *)data + 3, size - 3);
    size_t a = rest.find('\n');
    size_t b = a == std::string::npos ? std::string::npos : rest.find('\n', a + 1);
    // Paths as the platform hands them: at most 259 bytes, no zero byte.
    std::string module = rest.substr(0, a).c_str();
    std::string dir = a == std::string::npos ? "" : rest.substr(a + 1, b - a - 1).c_str();
    std::string script = b == std::string::npos ? "" : rest.substr(b + 1).c_str();
    module.resize(std::min<size_t>(module.size(), 259));
    dir.resize(std::min<size_t>(dir.size(), 259));
    script.resize(std::min<size_t>(script.size(), 259));
    std::string m = Escaped(module), d = Escaped(dir), s = Escaped(script);

    Check(room, win9x ? "start /wait \"" + m + " wait\"\r\n" : "\"" + m + "\" wait\r\n",
          [&](char *dst, size_t n) { return FormatScriptHead(dst, n, win9x, module.c_str()); });
    Check(room, "del \"" + m + "\"\r\nrd \"" + d + "\"\r\nif not exist \"" + m + "\" goto done\r\n",
          [&](char *dst, size_t n) { return FormatScriptBlock(dst, n, module.c_str(), dir.c_str()); });
    Check(room, ":done\r\n" + (quiet ? "" : "if exist \"" + m + "\" \"" + m + "\" Warning\r\n") + "del \"" + s + "\"",
          [&](char *dst, size_t n) { return FormatScriptTail(dst, n, quiet, module.c_str(), script.c_str()); });
    // The NT family's cmd expands %NAME% on its command line: there a
    // script path holding '%' goes by its bare name, unless its directory is
    // the installation directory (dir here, letter case aside).
    size_t slash = script.rfind('\\');
    bool bare = !win9x && script.find('%') != std::string::npos && slash != std::string::npos;
    if (bare && slash == dir.size()) {
        bool same = true;
        for (size_t i = 0; i < slash; i++)
            same = same && tolower((unsigned char)script[i]) == tolower((unsigned char)dir[i]);
        bare = !same;
    }
    const char *argument = ScriptArgument(win9x, script.c_str(), dir.c_str());
    if (argument != script.c_str() + (bare ? slash + 1 : 0))
        abort();
    // The NT family's cmd drops the outer quotes when the path holds a
    // special character, or splits it at ',', ';' and '=': the path must
    // then still be quoted once.
    std::string named = argument;
    std::string quoted = "\"" + named + "\"";
    if (!win9x && named.find_first_of("&<>()@^|,;=") != std::string::npos)
        quoted = "\"" + quoted + "\"";
    // The NT family's interpreter in quotes: a blank in it must not split it.
    Check(room, (win9x ? dir : "\"" + dir + "\"") + " /c " + quoted, [&](char *dst, size_t n) {
        return FormatScriptCommand(dst, n, win9x, dir.c_str(), argument);
    });
    Check(room, m, [&](char *dst, size_t n) { return EscapePercent(dst, n, module.c_str()); });
    return 0;
}
