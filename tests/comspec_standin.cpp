// Stands in for the command interpreter in the uninstall tests. Started as
// "<this> /c "<script>"", it copies the script into the directory that
// QEL_STANDIN_OUT names, records its command line, its own path, current
// directory and start-up record there, writes "done" last, and runs
// nothing. A copy planted where another program would be started in its
// place tells, by its path, which of them ran.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

static bool Record(const std::string &path, const std::string &text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
    return written == text.size();
}

int main()
{
    const char *out = getenv("QEL_STANDIN_OUT");
    if (!out)
        return 2;
    std::string dir = out;
    std::string line = GetCommandLineA();
    bool ok = Record(dir + "\\command-line.txt", line);
    char image[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, image, sizeof image);
    ok = Record(dir + "\\image.txt", std::string(image, length < sizeof image ? length : 0)) && ok;

    size_t start = line.find(" /c \"");
    if (start != std::string::npos) {
        start += 5;
        // A path that the NT family's cmd would split comes in two pairs.
        if (line.compare(start, 1, "\"") == 0)
            start++;
        size_t end = line.find('"', start);
        std::string script = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        ok = CopyFileA(script.c_str(), (dir + "\\script.bat").c_str(), FALSE) && ok;
    }

    char current[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    ok = Record(dir + "\\current-dir.txt", std::string(current, n < sizeof current ? n : 0)) && ok;

    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    char text[64];
    snprintf(text, sizeof text, "flags=%#lx show=%u", startup.dwFlags, startup.wShowWindow);
    ok = Record(dir + "\\startup.txt", text) && ok;

    Record(dir + "\\done", ok ? "ok" : "failed");
    return ok ? 0 : 1;
}
