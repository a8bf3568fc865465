// Starts a program under another locale for the tests. Wine gives a process
// the code pages of the locale that its Unix environment names (LC_ALL),
// and a program started by a Windows program inherits the Unix environment
// of its parent, whatever Windows environment it is given. So the bench
// starts this runner through wine64 itself, whose Unix environment is the
// Windows environment handed to it, LC_ALL included. The runner then starts
// what its request file names and hands the process handle back.
//
// Request (UTF-16, each field ending in a zero): the test program's
// process id, the program's path, its command line, its current directory
// (empty: the runner's), then its Windows environment block. Answer, in
// "<request>.answer": "<handle in the test program> <process id>" (and
// " retried" when the start took a second try), or
// "error <code>". The program joins the test program's job (named in
// QEL_JOB of that environment) before it runs, so that it and all it starts
// end with the test program and count as the running test's processes.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

static void Answer(const std::wstring &request, const char *text)
{
    std::wstring partial = request + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
    MoveFileExW(partial.c_str(), (request + L".answer").c_str(), MOVEFILE_REPLACE_EXISTING);
}

static std::wstring ReadRequest(const std::wstring &path)
{
    std::wstring text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    wchar_t chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        text.append(chunk, got / sizeof(wchar_t));
    CloseHandle(file);
    return text;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 2;
    std::wstring request = argv[1];
    std::wstring text = ReadRequest(request);

    // The four fields, then the environment block to the end.
    const wchar_t *field[4];
    size_t at = 0;
    for (const wchar_t *&f : field) {
        size_t end = text.find(L'\0', at);
        if (end == std::wstring::npos) {
            Answer(request, "error request");
            return 1;
        }
        f = text.c_str() + at;
        at = end + 1;
    }
    std::wstring environment = text.substr(at) + std::wstring(2, L'\0');
    std::wstring commandLine = field[2];
    HANDLE job = NULL;
    for (size_t i = 0; i < environment.size() && environment[i]; i += wcslen(&environment[i]) + 1)
        if (!wcsncmp(&environment[i], L"QEL_JOB=", 8))
            job = OpenJobObjectW(JOB_OBJECT_ASSIGN_PROCESS, FALSE, &environment[i + 8]);

    STARTUPINFOW startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    char reply[64];
    // Wine's CreateProcess now and then fails with ERROR_INTERNAL_ERROR
    // under load: tried once more, as the bench's runner does, and the
    // answer says so.
    bool retried = false;
    BOOL started;
    while (!(started = CreateProcessW(field[1], &commandLine[0], NULL, NULL, FALSE,
                                      CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, &environment[0],
                                      *field[3] ? field[3] : NULL, &startup, &info)) &&
           GetLastError() == ERROR_INTERNAL_ERROR && !retried)
        retried = true;
    if (!started) {
        snprintf(reply, sizeof reply, "error %lu", GetLastError());
        Answer(request, reply);
        return 1;
    }
    if (job && !AssignProcessToJobObject(job, info.hProcess)) {
        snprintf(reply, sizeof reply, "error %lu joining the job", GetLastError());
        TerminateProcess(info.hProcess, 99);
        Answer(request, reply);
        return 1;
    }
    ResumeThread(info.hThread);
    HANDLE test = OpenProcess(PROCESS_DUP_HANDLE, FALSE, wcstoul(field[0], NULL, 10));
    HANDLE handle = NULL;
    if (!test || !DuplicateHandle(GetCurrentProcess(), info.hProcess, test, &handle, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS)) {
        snprintf(reply, sizeof reply, "error %lu", GetLastError());
        TerminateProcess(info.hProcess, 99);
        Answer(request, reply);
        return 1;
    }
    snprintf(reply, sizeof reply, "%llu %lu%s", (unsigned long long)(ULONG_PTR)handle, info.dwProcessId,
             retried ? " retried" : "");
    Answer(request, reply);
    CloseHandle(test);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}
