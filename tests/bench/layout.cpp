// Installation layouts and the interpreter stand-in, with plain platform
// calls only.
#include "layout.h"

#include <stdlib.h>

#include <gtest/gtest.h>

namespace bench {

void LayFile(const std::string &path, const std::string &bytes, DWORD attributes)
{
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos)
        MakeDirs(path.substr(0, slash));
    WriteFile(path, bytes);
    if (attributes)
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
}

Layout LayOutSampleInstallation(const std::string &dir, bool withUnlisted)
{
    struct Line {
        const char *item;  // the item it names, relative; a directory ends in
                           // a backslash; nullptr: names nothing that exists
        const char *text;  // the line as the list holds it
        DWORD attributes;
    };
    const Line lines[] = {
        {nullptr, "\r\n", 0},
        // Directory first: goes one level per pass.
        {"Plugins\\", "Plugins\r\n", 0},
        {"Plugins\\FTP\\", "Plugins\\FTP\r\n", 0},
        {"Plugins\\FTP\\ftp.dll", "Plugins\\FTP\\ftp.dll\r\n", 0},
        {"Plugins\\FTP\\hosts.dat", "Plugins\\FTP\\hosts.dat \t \r\n",
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
        // Contents first: goes in one pass.
        {"Help\\en\\qel.hlp", "Help\\en\\qel.hlp\n", FILE_ATTRIBUTE_READONLY},
        {"Help\\en\\index.txt", "Help\\en\\index.txt\t\n", 0},
        {"Help\\en\\", "Help\\en\r\n", FILE_ATTRIBUTE_HIDDEN},
        {"Help\\", "Help   \r\n", 0},
        {nullptr, "   \r\n\t\r\n", 0},
        {nullptr, "Missing.dll\r\n", 0},
        {"Qel.exe", "Qel.exe   \t\r\n", FILE_ATTRIBUTE_READONLY},
        {"Qel.ini", "Qel.ini\r\n", FILE_ATTRIBUTE_HIDDEN},
        {" Leading.txt", " Leading.txt\r\n", 0},
        {"Caf\xE9.txt", "Caf\xE9.txt\r\n", 0},
        {"Caf\xE9", "Caf\xE9\r\n", 0},
        // Directories that keep an unlisted file, when there is one.
        {"Docs\\manual.txt", "Docs\\manual.txt\r\n", 0},
        {"Docs\\", "Docs\r\n", 0},
        {"Skins\\", "Skins\r\n", 0},
        {"Skins\\Dark\\", "Skins\\Dark\r\n", FILE_ATTRIBUTE_READONLY},
        {"Skins\\Dark\\dark.skin", "Skins\\Dark\\dark.skin", FILE_ATTRIBUTE_SYSTEM},  // no line end
    };
    const char *unlisted[] = {
        "Leading.txt",  // the leading-blank entry must not take it
        "Caf",          // nor the entry ending in 0xE9
        "user.cfg",
        "Docs\\notes.txt",
        "Skins\\Dark\\my.skin",
    };

    Layout layout;
    for (const Line &line : lines) {
        layout.list += line.text;
        if (!line.item)
            continue;
        std::string path = dir + "\\" + line.item;
        if (path.back() == '\\')
            MakeDirs(path.substr(0, path.size() - 1));
        else
            LayFile(path, std::string("bytes of ") + line.item);
    }
    if (withUnlisted) {
        for (const char *item : unlisted) {
            std::string bytes = std::string("user data in ") + item;
            LayFile(dir + "\\" + item, bytes);
            std::string relative = item;
            layout.kept[relative] = bytes;
            for (size_t slash = relative.find('\\'); slash != std::string::npos;
                 slash = relative.find('\\', slash + 1))
                layout.kept[relative.substr(0, slash + 1)] = "";
        }
    }
    // Attributes once the contents are in place.
    for (const Line &line : lines)
        if (line.item && line.attributes)
            SetFileAttributesA((dir + "\\" + line.item).c_str(), line.attributes);
    WriteFile(dir + "\\Uninstall.lst", layout.list);
    for (const Line &line : lines)
        if (line.item && !layout.kept.count(line.item))
            layout.gone.push_back(line.item);
    return layout;
}

// Calls visit(key, path, isDirectory) for everything below dir, a
// directory before its contents; key is the path relative to dir, a
// directory's with a trailing backslash.
template <class Visit> static void WalkTree(const std::string &dir, const std::string &relative, Visit visit)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\" + relative + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "\\" + relative + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            visit(relative + name + "\\", path, true);
            WalkTree(dir, relative + name + "\\", visit);
        } else {
            visit(relative + name, path, false);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::map<std::string, std::string> ReadTree(const std::string &dir)
{
    std::map<std::string, std::string> tree;
    WalkTree(dir, "", [&](const std::string &key, const std::string &path, bool isDirectory) {
        tree[key] = isDirectory ? "" : ReadFile(path);
    });
    return tree;
}

static bool WaitFor(const std::string &path, bool present, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present)
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

bool WaitForPath(const std::string &path, DWORD timeoutMs)
{
    return WaitFor(path, true, timeoutMs);
}

bool WaitUntilGone(const std::string &path, DWORD timeoutMs)
{
    return WaitFor(path, false, timeoutMs);
}

bool WaitForBoxClosed(const Box &box, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(box.window)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

void MakeKeyTree(HKEY root, const std::string &path, int depth, int siblings)
{
    if (depth == 0)
        return;
    for (int i = 0; i < siblings; i++) {
        std::string child = path + "\\Key" + std::to_string(i);
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, child.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                                 &key, NULL))
            << child;
        RegSetValueExA(key, "Name", 0, REG_SZ, (const BYTE *)child.c_str(), (DWORD)child.size() + 1);
        RegCloseKey(key);
        MakeKeyTree(root, child, depth - 1, siblings);
    }
}

static bool GetEnv(const std::string &name, std::string *value)
{
    char buffer[32768];
    DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return false;
    *value = std::string(buffer, n);
    return true;
}

ScopedEnv::ScopedEnv(const std::string &name, const std::string &value) : name_(name)
{
    had_ = GetEnv(name, &old_);
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ScopedEnv::ScopedEnv(const std::string &name) : name_(name)
{
    had_ = GetEnv(name, &old_);
    SetEnvironmentVariableA(name.c_str(), NULL);
}

ScopedEnv::~ScopedEnv()
{
    SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : NULL);
}

std::string CleanupScriptPath()
{
    return TempDir() + "Uninstall.Qel.Bat";
}

static std::string StandinPath()
{
    const char *value = getenv("QEL_STANDIN");
    return value ? WindowsPath(value) : std::string();
}

InterpreterStandin::InterpreterStandin()
    : comspec_("COMSPEC", StandinPath()), out_env_("QEL_STANDIN_OUT", out_.Path())
{
    if (!FileExists(StandinPath()))
        ADD_FAILURE() << "no interpreter stand-in at '" << StandinPath() << "'";
}

bool InterpreterStandin::Wait(DWORD timeoutMs) const
{
    return WaitForPath(out_ / "done", timeoutMs);
}

std::string InterpreterStandin::Exe() const
{
    return StandinPath();
}

std::map<std::string, DWORD> ReadAttributes(const std::string &dir)
{
    std::map<std::string, DWORD> attributes;
    WalkTree(dir, "", [&](const std::string &key, const std::string &path, bool) {
        attributes[key] = GetFileAttributesA(path.c_str());
    });
    return attributes;
}

TreeState ReadTreeState(const std::string &dir)
{
    TreeState state;
    state.bytes = ReadTree(dir);
    state.attributes = ReadAttributes(dir);
    return state;
}

static std::string DoublePercents(const std::string &path)
{
    std::string text;
    for (char c : path) {
        text += c;
        if (c == '%')
            text += '%';
    }
    return text;
}

std::string ExpectedCleanupScript(bool win9x, const std::string &exePath, const std::string &dirPath,
                                  const std::string &scriptPath)
{
    std::string exe = DoublePercents(exePath), dir = DoublePercents(dirPath);
    std::string text = win9x ? "start /wait \"" + exe + " wait\"\r\n" : "\"" + exe + "\" wait\r\n";
    for (int i = 0; i < 5; i++) {
        text += "del \"" + exe + "\"\r\n";
        text += "rd \"" + dir + "\"\r\n";
        text += "if not exist \"" + exe + "\" goto done\r\n";
    }
    text += ":done\r\n";
    text += "if exist \"" + exe + "\" \"" + exe + "\" Warning\r\n";
    text += "del \"" + DoublePercents(scriptPath) + "\"";
    return text;
}

long UninstallAnsweringYes(const std::string &exe, const std::string &currentDir)
{
    const char caption[] = "Uninstall QEL";
    Process run = StartWithTail(exe, "", currentDir, TestFamily());
    if (!run.Started())
        return -1;
    Box box;
    if (!WaitForBox(caption, &box, 10000, run.Id())) {
        ADD_FAILURE() << "no confirmation box from " << exe;
        return run.Wait(0);
    }
    EXPECT_EQ("Continue with uninstall QEL", box.text);
    AnswerBox(box, IDYES);
    EXPECT_TRUE(WaitForBoxClosed(box));
    EXPECT_FALSE(BoxAppearedUntilExit(run, caption));
    return run.Wait();
}

}  // namespace bench
