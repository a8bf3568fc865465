// Installation layouts and the interpreter stand-in, with plain platform
// calls only.
#include "layout.h"

#include <sddl.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>

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

std::string InterpreterStandin::ExpectedCommandLine(const std::string &argument, const std::string &interpreter) const
{
    std::string exe = interpreter.empty() ? Exe() : interpreter;
    return (Is9x() ? exe : "\"" + exe + "\"") + " /c " + argument;
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
                                  const std::string &scriptPath, bool quiet)
{
    std::string exe = DoublePercents(exePath), dir = DoublePercents(dirPath);
    std::string text = win9x ? "start /wait \"" + exe + " wait\"\r\n" : "\"" + exe + "\" wait\r\n";
    for (int i = 0; i < 5; i++) {
        text += "del \"" + exe + "\"\r\n";
        text += "rd \"" + dir + "\"\r\n";
        text += "if not exist \"" + exe + "\" goto done\r\n";
    }
    text += ":done\r\n";
    if (!quiet)
        text += "if exist \"" + exe + "\" \"" + exe + "\" Warning\r\n";
    text += "del \"" + DoublePercents(scriptPath) + "\"";
    return text;
}

long AnswerConfirmation(Process &run, const std::string &exe, DWORD *afterYesMs,
                        const std::vector<std::string> &warned)
{
    if (!run.Started())
        return -1;
    Box box;
    if (!WaitForBox(Caption, &box, 20000, run.Id())) {
        ADD_FAILURE() << "no confirmation box from " << exe;
        return run.Wait(0);
    }
    EXPECT_EQ("Continue with uninstall QEL", box.text);
    DWORD yes = GetTickCount();
    AnswerBox(box, IDYES);
    EXPECT_TRUE(WaitForBoxClosed(box));
    std::vector<std::string> texts;
    for (const std::string &path : warned)
        texts.push_back(WarningText(path));
    EXPECT_FALSE(BoxAppearedUntilExit(run, Caption, 60000, texts));
    long code = run.Wait(0);
    if (afterYesMs)
        *afterYesMs = GetTickCount() - yes;
    return code;
}

long UninstallAnsweringYes(const std::string &exe, const std::string &currentDir,
                           const std::vector<std::string> &warned)
{
    Process run = StartWithTail(exe, "", currentDir, TestFamily());
    return AnswerConfirmation(run, exe, nullptr, warned);
}

}  // namespace bench

namespace bench {

ScopedEnv::ScopedEnv(const std::string &name, const std::wstring &value) : name_(name)
{
    had_ = GetEnv(name, &old_);
    SetEnvironmentVariableW(Widen(name).c_str(), value.c_str());
}

const Locale Western = {"C.UTF-8", 1252, 437};
const Locale German = {"de_DE.UTF-8", 1252, 850};
const Locale Russian = {"ru_RU.UTF-8", 1251, 866};
const Locale Japanese = {"ja_JP.UTF-8", 932, 932};

const std::vector<NameCase> NameCases = {
    {"ASCII names keep every byte", &Western, L"ascii install", L"ascii temp", false, false,
     ScriptArgumentForm::Quoted},
    {"German umlauts", &German, L"QEL M\u00fcller", L"Temp J\u00fcrgen", false, false,
     ScriptArgumentForm::Quoted},
    {"Cyrillic", &Russian, L"QEL \u0418\u0432\u0430\u043d", L"Temp \u0418\u0432\u0430\u043d", false, false,
     ScriptArgumentForm::Quoted},
    {"Japanese, one code page for both", &Japanese, L"QEL \u65e5\u672c", L"Temp \u65e5\u672c", false, false,
     ScriptArgumentForm::Quoted},
    {"an accent that code page 437 holds at another byte", &Western, L"QEL Caf\u00e9", L"Temp Caf\u00e9",
     false, false, ScriptArgumentForm::Quoted},
    {"letters of 1252 that 850 lacks", &German, L"QEL \u0160koda \u20ac", L"Temp \u0152uvre", true, true,
     ScriptArgumentForm::Quoted},
    {"Serbian letters of 1251 that 866 lacks", &Russian, L"QEL \u0402\u043e\u0440\u0452\u0435",
     L"Temp \u0402", true, true, ScriptArgumentForm::Quoted},
    {"temporary directory with & and parentheses", &Western, L"ascii install", L"temp & (work)", false, false,
     ScriptArgumentForm::DoubleQuoted},
    {"temporary directory with a comma", &Western, L"ascii install", L"t,x", false, false,
     ScriptArgumentForm::DoubleQuoted},
    {"profile name with a comma", &Western, L"ascii install", L"Smith, John", false, false,
     ScriptArgumentForm::DoubleQuoted},
    {"temporary directory with ; and =", &Western, L"ascii install", L"a;b=c", false, false,
     ScriptArgumentForm::DoubleQuoted},
    {"Cyrillic temporary directory with a comma", &Russian, L"QEL \u0418\u0432\u0430\u043d",
     L"\u0418\u0432\u0430\u043d, \u041f\u0451\u0442\u0440", false, false, ScriptArgumentForm::DoubleQuoted},
    {"temporary directory with a variable between percents", &Western, L"ascii install", L"a%QELVAR%b", false,
     false, ScriptArgumentForm::BareName},
    {"temporary directory with one percent", &Western, L"ascii install", L"100% temp", false, false,
     ScriptArgumentForm::BareName},
    {"German temporary directory with a variable between percents", &German, L"QEL M\u00fcller",
     L"Temp J\u00fcrgen %QELVAR%", false, false, ScriptArgumentForm::BareName},
};

std::string Encode(const std::wstring &text, UINT codePage, bool *exact)
{
    BOOL usedDefault = FALSE;
    DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
    int n = WideCharToMultiByte(codePage, flags, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes(n, '\0');
    WideCharToMultiByte(codePage, flags, text.c_str(), (int)text.size(), &bytes[0], n, NULL,
                        exact ? &usedDefault : NULL);
    if (exact)
        *exact = !usedDefault;
    return bytes;
}

std::wstring Widen(const std::string &ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

std::wstring ShortPath(const std::wstring &path)
{
    wchar_t buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(buffer, n);
}

static const wchar_t WideScratchRoot[] = L"C:\\qel tests";

WideScratchDir::WideScratchDir(const std::wstring &leaf) : path_(std::wstring(WideScratchRoot) + L"\\" + leaf)
{
    CreateDirectoryW(WideScratchRoot, NULL);
    // What an earlier run left.
    if (GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES)
        RemoveTree(Encode(ShortPath(path_), CP_ACP));
    if (!CreateDirectoryW(path_.c_str(), NULL))
        ADD_FAILURE() << "cannot make the directory " << Encode(path_, CP_UTF8) << ": error " << GetLastError();
    bool exact = false;
    short_ = Encode(ShortPath(path_), CP_ACP, &exact);
    if (short_.empty() || !exact)
        ADD_FAILURE() << "no short form in the test's code page for " << Encode(path_, CP_UTF8) << ": '" << short_ << "'";
}

WideScratchDir::~WideScratchDir()
{
    // A command interpreter that ran a script from here may still hold it
    // as its current directory for a moment after the script is gone.
    DWORD start = GetTickCount();
    RemoveTree(short_);
    while (GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 5000) {
        Sleep(50);
        RemoveTree(short_);
    }
    RemoveDirectoryW(WideScratchRoot);  // only when no other scratch dir is left
}

std::wstring WideScratchDir::Install() const
{
    std::wstring target = path_ + L"\\Uninstall.exe";
    if (!CopyFileA(ProductExe().c_str(), (short_ + "\\Uninstall.exe").c_str(), FALSE))
        ADD_FAILURE() << "cannot copy " << ProductExe() << " to " << short_;
    return target;
}

static std::string LocaleRunner()
{
    const char *value = getenv("QEL_LOCALE_RUNNER");
    return value ? WindowsPath(value) : std::string();
}

static std::string UnixName(const std::string &path);

// The runner's start: wine64 itself, through a shell that records wine64's
// exit status in "<request>.ended" once it ends. Wine hands back no process
// handle for a Unix program, and wine64 can end without the runner ever
// running (its launcher fails with ERROR_INTERNAL_ERROR under load); the
// status file is what tells that apart from a runner still on its way.
static bool StartRunner(const std::string &request)
{
    std::wstring line = L"sh -c \"/usr/lib/wine/wine64 \\\"$1\\\" \\\"$2\\\"; { echo $? >\\\"$3\\\"; } 2>/dev/null\" sh \"" +
                        Widen(LocaleRunner()) + L"\" \"" + Widen(request) + L"\" \"" +
                        Widen(UnixName(request + ".ended")) + L"\"";
    STARTUPINFOW startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    ZeroMemory(&info, sizeof info);
    // Its own start is tried once more after ERROR_INTERNAL_ERROR, as every
    // start of the bench's is.
    std::wstring shell = Widen(HostProgram("sh"));
    BOOL started = CreateProcessW(shell.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info);
    if (!started && GetLastError() == ERROR_INTERNAL_ERROR) {
        printf("[ bench    ] starting the locale runner failed with error 1359 (ERROR_INTERNAL_ERROR); trying once "
               "more\n");
        started = CreateProcessW(shell.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info);
    }
    if (!started) {
        ADD_FAILURE() << "cannot start the locale runner: error " << GetLastError();
        return false;
    }
    if (info.hProcess)
        CloseHandle(info.hProcess);
    if (info.hThread)
        CloseHandle(info.hThread);
    return true;
}

// Waits for the runner's answer; false, with the wine64 exit status, when
// wine64 ended without one.
static bool WaitForAnswer(const std::string &request, std::string *ended)
{
    DWORD start = GetTickCount();
    while (!FileExists(request + ".answer")) {
        if (FileExists(request + ".ended")) {
            Sleep(200);  // the runner writes its answer before it ends
            if (FileExists(request + ".answer"))
                break;
            *ended = ReadFile(request + ".ended");
            while (!ended->empty() && (ended->back() == '\n' || ended->back() == '\r'))
                ended->pop_back();
            return false;
        }
        if (GetTickCount() - start > 20000) {
            *ended = "";
            return false;
        }
        Sleep(20);
    }
    return true;
}

Process StartUnderLocale(const Locale &locale, const std::wstring &exePath, const std::wstring &tail,
                         const std::wstring &currentDir, Family family)
{
    SetAppFamily(Encode(exePath.substr(exePath.find_last_of(L'\\') + 1), CP_ACP), family);
    ScratchDir dir("locale runner");
    // A name of its own for each start: the shell of an earlier one may
    // still write its status file after that one's answer was read.
    static unsigned starts = 0;
    std::string request = dir / ("request " + std::to_string(++starts));
    ScopedEnv lcAll("LC_ALL", locale.name);

    std::wstring text = std::to_wstring(GetCurrentProcessId()) + L'\0' + exePath + L'\0' + L"\"" + exePath +
                        L"\"" + tail + L'\0' + currentDir + L'\0';
    wchar_t *environment = GetEnvironmentStringsW();
    const wchar_t *end = environment;
    while (*end)
        end += wcslen(end) + 1;
    text.append(environment, (size_t)(end - environment));
    FreeEnvironmentStringsW(environment);
    WriteFile(request, std::string((const char *)text.data(), text.size() * sizeof(wchar_t)));

    if (!StartRunner(request))
        return Process();
    std::string ended;
    if (!WaitForAnswer(request, &ended) && !ended.empty()) {
        // wine64 ended first: the runner never ran, so nothing was started.
        printf("[ bench    ] the locale runner ended without an answer (wine64 exit status %s); trying once more\n",
               ended.c_str());
        DeleteFileA((request + ".ended").c_str());
        if (StartRunner(request))
            WaitForAnswer(request, &ended);
    }
    if (!FileExists(request + ".answer")) {
        if (ended.empty())
            ADD_FAILURE() << "the locale runner did not answer";
        else
            ADD_FAILURE() << "the locale runner ended without an answer: wine64 exit status " << ended;
        return Process();
    }
    std::string answer = ReadFile(request + ".answer");
    unsigned long long handle = 0;
    unsigned long id = 0;
    if (sscanf(answer.c_str(), "%llu %lu", &handle, &id) != 2) {
        ADD_FAILURE() << "cannot start " << Encode(exePath, CP_UTF8) << " under " << locale.name << ": "
                      << answer;
        return Process();
    }
    if (answer.find(" retried") != std::string::npos)
        printf("[ bench    ] starting %s under %s failed with error 1359 (ERROR_INTERNAL_ERROR); tried once more\n",
               Encode(exePath, CP_UTF8).c_str(), locale.name);
    return Process((HANDLE)(ULONG_PTR)handle, id);
}

long UninstallAnsweringYes(const Locale &locale, const std::wstring &exe, const std::wstring &currentDir)
{
    Process run = StartUnderLocale(locale, exe, L"", currentDir, TestFamily());
    return AnswerConfirmation(run, Encode(exe, CP_UTF8));
}

testing::AssertionResult NameArrivesInAnsi(const Locale &locale, const std::wstring &dir)
{
    const char probe[] = "probe of the locale";
    std::wstring path = dir + L"\\probe.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ::WriteFile(file, probe, sizeof probe - 1, &written, NULL);
        CloseHandle(file);
    }
    std::string expected = " /c \"" + Encode(path, locale.ansi) + "\"";
    std::string line, copy;
    {
        InterpreterStandin standin;
        Process run = StartUnderLocale(locale, Widen(standin.Exe()), L" /c \"" + path + L"\"", L"", TestFamily());
        if (!standin.Wait())
            return testing::AssertionFailure() << "the stand-in did not run under " << locale.name;
        run.Wait();
        line = standin.CommandLine();
        copy = standin.Script();
    }
    DeleteFileW(path.c_str());
    if (line.size() < expected.size() || line.compare(line.size() - expected.size(), expected.size(), expected))
        return testing::AssertionFailure() << "under " << locale.name << " the name arrived as '" << line
                                           << "', not as '" << expected << "'";
    if (copy != probe)
        return testing::AssertionFailure() << "under " << locale.name
                                           << " a program cannot read a file by that name: is the C library's "
                                              "locale there (LOCPATH)?";
    return testing::AssertionSuccess();
}

static void ListRegTree(HKEY root, const std::string &key, const std::string &relative,
                        std::vector<std::string> *lines)
{
    for (const std::string &name : RegValueNames(root, key)) {
        RegValue value = ReadRegValue(root, key, name);
        lines->push_back("value " + relative + " : " + name + " type " + std::to_string(value.type) +
                         (value.exists ? " = " + value.data : " unreadable"));
    }
    for (const std::string &name : RegSubkeys(root, key)) {
        std::string child = relative.empty() ? name : relative + "\\" + name;
        lines->push_back("key " + child);
        ListRegTree(root, key + "\\" + name, child, lines);
    }
}

std::vector<std::string> ReadRegTree(HKEY root, const std::string &key)
{
    std::vector<std::string> lines;
    if (!RegKeyExists(root, key))
        return {"missing"};
    ListRegTree(root, key, "", &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The Unix name of a Windows path (Wine's own export); "" when there is none.
static std::string UnixName(const std::string &path)
{
    typedef char *(CDECL * UnixNameCall)(LPCWSTR);
    UnixNameCall call =
        (UnixNameCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!call)
        return "";
    std::wstring wide(path.begin(), path.end());
    char *name = call(wide.c_str());
    if (!name)
        return "";
    std::string text = name;
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Starts a host program (sh, ln, rm; HostProgram) with quoted
// arguments. Wine hands back no process
// handle to wait on for one, so callers watch for its effect.
static bool RunUnix(const std::string &program, const std::vector<std::string> &arguments)
{
    std::string line = program;
    for (const std::string &argument : arguments)
        line += " \"" + argument + "\"";
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessRetrying(HostProgram(program).c_str(), &line[0], FALSE, 0, NULL, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << program << ": error " << GetLastError();
        return false;
    }
    if (info.hProcess)
        CloseHandle(info.hProcess);
    return true;
}

// Waits until the path can (or can no longer) be read through.
static bool WaitForPresence(const std::string &path, bool present)
{
    return present ? WaitForPath(path, 10000) : WaitUntilGone(path, 10000);
}

void UnixLink::Make(const std::string &unixLink, const std::string &unixTarget, const std::string &probe)
{
    unixLink_ = unixLink;
    probe_ = probe;
    made_ = RunUnix("ln", {"-s", "--", unixTarget, unixLink}) && WaitForPresence(probe, true);
    if (!made_)
        ADD_FAILURE() << "ln -s did not make " << unixLink;
}

UnixLink::UnixLink(const std::string &link, const std::string &target)
{
    size_t slash = link.find_last_of('\\');
    std::string parent = UnixName(link.substr(0, slash));
    std::string unixTarget = UnixName(target);
    // Asked with the wide call: a target may lie past the ANSI calls' reach.
    std::wstring wideTarget = L"\\\\?\\" + std::wstring(target.begin(), target.end());
    if (parent.empty() || unixTarget.empty() || GetFileAttributesW(wideTarget.c_str()) == INVALID_FILE_ATTRIBUTES)
        ADD_FAILURE() << "cannot link " << link << " to " << target;
    else
        Make(parent + "/" + link.substr(slash + 1), unixTarget, link);
}

UnixLink::~UnixLink()
{
    if (unixLink_.empty())
        return;
    // A link whose target went is not seen through; the wait ends at once.
    if (!RunUnix("rm", {"-f", "--", unixLink_}) || !WaitForPresence(probe_, false))
        ADD_FAILURE() << "rm did not remove " << unixLink_;
}

MappedDrive::MappedDrive(char letter, const std::string &dir) : root_(std::string(1, letter) + ":\\")
{
    // The Unix name of C:\ ends in "dosdevices/c:/".
    std::string devices = UnixName("C:\\");
    std::string unixDir = UnixName(dir);
    if (devices.size() < 3 || unixDir.empty() || DirExists(root_))
        ADD_FAILURE() << "cannot map " << root_ << " to " << dir;
    else
        Make(devices.substr(0, devices.size() - 3) + (char)tolower(letter) + ":", unixDir, root_);
}

std::string RegistryNtName(HKEY root, const std::string &key)
{
    if (root == HKEY_LOCAL_MACHINE)
        return "\\Registry\\Machine\\" + key;
    std::string sid;
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        BYTE buffer[256];
        DWORD size = 0;
        char *text = NULL;
        if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
            ConvertSidToStringSidA(((TOKEN_USER *)buffer)->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
        CloseHandle(token);
    }
    EXPECT_NE("", sid) << "no user SID";
    return "\\Registry\\User\\" + sid + "\\" + key;
}

RegLink::RegLink(HKEY root, const std::string &path, HKEY targetRoot, const std::string &target)
    : root_(root), path_(path)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create the link " << path;
        return;
    }
    made_ = true;
    // The target's name as UTF-16 without a terminator.
    std::string name = RegistryNtName(targetRoot, target);
    std::wstring wide(name.begin(), name.end());
    if (RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)wide.data(),
                       (DWORD)(wide.size() * sizeof(wchar_t))) != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot point the link " << path << " at " << name;
    RegCloseKey(key);
}

RegLink::~RegLink()
{
    typedef LONG(WINAPI * DeleteKeyCall)(HANDLE);
    DeleteKeyCall deleteKey = (DeleteKeyCall)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey");
    HKEY key;
    if (!made_)
        return;
    // Deleted by a handle to the link itself; a deletion by path would
    // delete the key it leads to.
    if (!deleteKey ||
        RegOpenKeyExA(root_, path_.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the link " << path_ << " to delete it";
        return;
    }
    if (deleteKey(key) != 0)
        ADD_FAILURE() << "cannot delete the link " << path_;
    RegCloseKey(key);
}

bool RegLinkExists(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    bool link = RegQueryValueExA(key, "SymbolicLinkValue", NULL, &type, NULL, NULL) == ERROR_SUCCESS &&
                type == REG_LINK;
    RegCloseKey(key);
    return link;
}

}  // namespace bench
