// The test bench's helpers. They use plain platform calls only, never the
// code under test, so that what they report can be trusted.
#include "bench.h"
#include "iconprobe.h"

#include <winternl.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include <gtest/gtest.h>

namespace bench {

static const char AppDefaults[] = "Software\\Wine\\AppDefaults\\";

Family TestFamily()
{
    const char *family = getenv("QEL_FAMILY");
    return (family && strcmp(family, "9x") == 0) ? Family::Win9x : Family::NT;
}

const char *FamilyName(Family family)
{
    return family == Family::Win9x ? "9x" : "nt";
}

bool Is9x()
{
    return TestFamily() == Family::Win9x;
}

void SetAppFamily(const std::string &exeName, Family family)
{
    HKEY key;
    std::string path = AppDefaults + exeName;
    const char *version = family == Family::Win9x ? "win98" : "win10";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)version, (DWORD)strlen(version) + 1);
    RegCloseKey(key);
}

void ClearAppFamily(const std::string &exeName)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, (AppDefaults + exeName).c_str());
}

std::string HostPath(const std::string &unixPath)
{
    typedef WCHAR *(CDECL * DosNameCall)(LPCSTR);
    DosNameCall call =
        (DosNameCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    WCHAR *name = call && unixPath.compare(0, 1, "/") == 0 ? call(unixPath.c_str()) : NULL;
    if (!name)
        return "";
    std::string path;
    for (const WCHAR *c = name; *c; c++)
        path += (char)*c;
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

std::string WindowsPath(const std::string &unixPath)
{
    std::string path = HostPath(unixPath);
    return path.compare(0, 4, "\\\\?\\") == 0 ? "" : path;
}

std::string HostProgram(const std::string &name)
{
    return HostPath("/bin/" + name);
}

static std::string EnvPath(const char *name)
{
    const char *value = getenv(name);
    return value ? WindowsPath(value) : std::string();
}

std::string ProductExe()
{
    return EnvPath("QEL_EXE");
}

std::string IconProbeDll()
{
    return EnvPath("QEL_ICONPROBE");
}

// Whether attributes, as read, are those of something there that is a
// directory (or, when directory is false, a file).
static bool IsThere(DWORD attributes, bool directory)
{
    return attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}

bool FileExists(const std::string &path)
{
    return IsThere(GetFileAttributesA(path.c_str()), false);
}

bool DirExists(const std::string &path)
{
    return IsThere(GetFileAttributesA(path.c_str()), true);
}

bool FileExists(const std::wstring &path)
{
    return IsThere(GetFileAttributesW(path.c_str()), false);
}

bool DirExists(const std::wstring &path)
{
    return IsThere(GetFileAttributesW(path.c_str()), true);
}

std::string ReadFile(const std::string &path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got;
    while (::ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written) << path;
}

void MakeDirs(const std::string &path)
{
    for (size_t i = 3; i <= path.size(); i++)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
}

void RemoveTree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::string TempDir()
{
    char buffer[MAX_PATH];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    return std::string(buffer, n);
}

ScratchDir::ScratchDir(const std::string &leaf, const std::string &root)
{
    static int counter;
    root_ = root;
    path_ = root_ + "\\" + (leaf.empty() ? "install " + std::to_string(++counter) : leaf);
    RemoveTree(path_);
    MakeDirs(path_);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
    RemoveDirectoryA(root_.c_str());  // only when no other scratch dir is left
}

std::string ScratchDir::Install(const std::string &exeName) const
{
    std::string target = path_ + "\\" + exeName;
    if (!CopyFileA(ProductExe().c_str(), target.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy " << ProductExe() << " to " << target;
    return target;
}

Process::~Process()
{
    if (handle_) {
        if (Running())
            TerminateProcess(handle_, 99);
        CloseHandle(handle_);
    }
}

Process::Process(Process &&other) noexcept : handle_(other.handle_), id_(other.id_)
{
    other.handle_ = NULL;
}

Process &Process::operator=(Process &&other) noexcept
{
    std::swap(handle_, other.handle_);
    std::swap(id_, other.id_);
    return *this;
}

bool Process::Running() const
{
    return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

long Process::Wait(DWORD timeoutMs)
{
    if (!handle_)
        return -1;
    if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(handle_, 99);
        WaitForSingleObject(handle_, 5000);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return (long)code;
}

static std::string FileName(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

BOOL CreateProcessRetrying(const char *exePath, char *commandLine, BOOL inheritHandles, DWORD flags,
                           const char *currentDir, STARTUPINFOA *startup, PROCESS_INFORMATION *info)
{
    for (int attempt = 1;; attempt++) {
        if (CreateProcessA(exePath, commandLine, NULL, NULL, inheritHandles, flags, NULL, currentDir, startup, info))
            return TRUE;
        DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 2) {
            SetLastError(error);
            return FALSE;
        }
        printf("[ bench    ] starting %s failed with error 1359 (ERROR_INTERNAL_ERROR); trying once more\n",
               exePath ? exePath : commandLine);
        fflush(stdout);
    }
}

Process Start(const std::string &exePath, const std::string &commandLine,
              const std::string &currentDir, Family family)
{
    SetAppFamily(FileName(exePath), family);
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessRetrying(exePath.c_str(), line.data(), FALSE, 0,
                               currentDir.empty() ? NULL : currentDir.c_str(), &startup, &info)) {
        ADD_FAILURE() << "cannot start " << exePath << ": error " << GetLastError();
        return Process();
    }
    CloseHandle(info.hThread);
    return Process(info.hProcess, info.dwProcessId);
}

Process StartWithTail(const std::string &exePath, const std::string &tail,
                      const std::string &currentDir, Family family)
{
    return Start(exePath, "\"" + exePath + "\"" + tail, currentDir, family);
}

// The job's name. A program relaunched as the Windows 95 family finds it in
// its environment and opens the job for each look, so that the job stays
// open only by its creator's handle and ends with it.
static const char JobVariable[] = "QEL_JOB";
static std::string jobName;

bool EnterJob(std::string *error)
{
    char name[64];
    DWORD n = GetEnvironmentVariableA(JobVariable, name, sizeof name);
    if (n > 0 && n < sizeof name) {
        BOOL inJob = FALSE;
        if (!IsProcessInJob(GetCurrentProcess(), NULL, &inJob) || !inJob) {
            *error = std::string("not in the job ") + name + " that " + JobVariable + " names";
            return false;
        }
        jobName.assign(name, n);
        return true;
    }
    snprintf(name, sizeof name, "qel bench job %lu", GetCurrentProcessId());
    // Not inheritable: a child holding the handle would keep the job open.
    HANDLE job = CreateJobObjectA(NULL, name);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, GetCurrentProcess())) {
        *error = "cannot put the test program in a job: error " + std::to_string(GetLastError());
        return false;
    }
    // The handle stays open until the program ends; its closing ends the rest.
    SetEnvironmentVariableA(JobVariable, name);
    jobName = name;
    return true;
}

static std::vector<DWORD> JobProcessIds()
{
    std::vector<DWORD> ids;
    HANDLE job = jobName.empty() ? NULL : OpenJobObjectA(JOB_OBJECT_QUERY, FALSE, jobName.c_str());
    if (!job) {
        ADD_FAILURE() << "cannot open the test program's job \"" << jobName << "\": error " << GetLastError();
        return ids;
    }
    const size_t head = offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList);
    std::vector<ULONG_PTR> buffer(256);
    for (;;) {
        JOBOBJECT_BASIC_PROCESS_ID_LIST *list = (JOBOBJECT_BASIC_PROCESS_ID_LIST *)buffer.data();
        DWORD size = (DWORD)(buffer.size() * sizeof(ULONG_PTR));
        ZeroMemory(list, head);
        if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, size, NULL) &&
            GetLastError() != ERROR_MORE_DATA)
            break;
        if (list->NumberOfAssignedProcesses > list->NumberOfProcessIdsInList) {
            buffer.resize(head / sizeof(ULONG_PTR) + 1 + list->NumberOfAssignedProcesses + 16);
            continue;
        }
        for (DWORD i = 0; i < list->NumberOfProcessIdsInList; i++)
            ids.push_back((DWORD)list->ProcessIdList[i]);
        break;
    }
    CloseHandle(job);
    return ids;
}

static std::vector<DWORD> idsAtTestStart;

void NoteProcessesAtTestStart()
{
    idsAtTestStart = JobProcessIds();
}

// The test's processes still running, as open handles.
static std::vector<HANDLE> OpenStartedProcesses(DWORD access)
{
    std::vector<HANDLE> processes;
    for (DWORD id : JobProcessIds()) {
        if (std::find(idsAtTestStart.begin(), idsAtTestStart.end(), id) != idsAtTestStart.end())
            continue;
        HANDLE process = OpenProcess(access | SYNCHRONIZE, FALSE, id);
        if (!process)
            continue;  // ended meanwhile
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
            processes.push_back(process);
        else
            CloseHandle(process);
    }
    return processes;
}

typedef NTSTATUS(NTAPI *QueryProcessProc)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

// The command line from the process's parameter block. A 32-bit program
// cannot reach a 64-bit process's block.
static std::string CommandLineOf(HANDLE process)
{
    static QueryProcessProc query =
        (QueryProcessProc)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic;
    PEB peb;
    RTL_USER_PROCESS_PARAMETERS parameters;
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, NULL) != 0 ||
        !basic.PebBaseAddress || !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, NULL) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, NULL))
        return "?";
    std::wstring wide(parameters.CommandLine.Length / sizeof(WCHAR), L'\0');
    if (!wide.empty() &&
        !ReadProcessMemory(process, parameters.CommandLine.Buffer, &wide[0], wide.size() * sizeof(WCHAR), NULL))
        return "?";
    std::string line(wide.size() * 2 + 1, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)wide.size(), &line[0], (int)line.size(), NULL, NULL);
    line.resize(n > 0 ? n : 0);
    return line;
}

std::vector<StartedProcess> StartedProcesses()
{
    std::vector<StartedProcess> started;
    for (HANDLE process : OpenStartedProcesses(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
        StartedProcess found;
        found.id = GetProcessId(process);
        char image[MAX_PATH];
        DWORD size = sizeof image;
        found.image = QueryFullProcessImageNameA(process, 0, image, &size) ? std::string(image, size) : "?";
        found.commandLine = CommandLineOf(process);
        started.push_back(found);
        CloseHandle(process);
    }
    return started;
}

// Ends the test's processes, again while ending one lets another start.
static void EndStartedProcesses()
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HANDLE> processes = OpenStartedProcesses(PROCESS_TERMINATE);
        if (processes.empty())
            return;
        for (HANDLE process : processes) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        if (GetTickCount() - start > 10000) {
            ADD_FAILURE() << processes.size() << " process(es) of the test would not end";
            return;
        }
    }
}

bool ExpectStartedProcessesEnd(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HANDLE> processes = OpenStartedProcesses(0);
        for (HANDLE process : processes)
            CloseHandle(process);
        if (processes.empty())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            break;
        Sleep(50);
    }
    std::vector<StartedProcess> left = StartedProcesses();
    if (left.empty())
        return true;
    std::string names;
    for (const StartedProcess &process : left)
        names += "\n  " + process.image + " (process " + std::to_string(process.id) + "): " + process.commandLine;
    ADD_FAILURE() << left.size() << " process(es) started by the test still running after " << timeoutMs
                  << " ms, now ended:" << names;
    EndStartedProcesses();
    return false;
}

// How long the robot waits for a box's thread to answer a message: a box
// in its modal loop answers at once.
static const DWORD BoxAnswerMs = 3000;

struct BoxSearch {
    const std::string *caption;
    DWORD processId;
    HWND found;
};

// Whether name matches pattern, where '*' stands for any characters and
// '?' for one, as in a GoogleTest filter.
static bool Matches(const char *pattern, const char *name)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    return *name && (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, name + 1);
}

bool BoxIconsDrawn()
{
    // The 64-bit build runs only the tests of a program that QEL_ICON_TESTS
    // names (tests/CMakeLists.txt): a test that asserts icons and is not
    // among them would check them nowhere.
    const char *iconTests = getenv("QEL_ICON_TESTS");
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    if (iconTests && test) {
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        bool listed = false;
        std::string filter = iconTests;
        for (size_t at = 0; at <= filter.size() && !listed;) {
            size_t colon = filter.find(':', at);
            if (colon == std::string::npos)
                colon = filter.size();
            listed = Matches(filter.substr(at, colon - at).c_str(), name.c_str());
            at = colon + 1;
        }
        if (!listed)
            ADD_FAILURE() << name << " asserts the icon of a box, which only the 64-bit build's run shows: add it "
                                     "to the ICON_TESTS of its program in tests/CMakeLists.txt";
    }
    // A box's process is built like the test program that starts it.
    return sizeof(void *) == 8;
}

static BOOL CALLBACK MatchBox(HWND window, LPARAM param)
{
    BoxSearch *search = (BoxSearch *)param;
    char text[512];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search->processId && pid != search->processId)
        return TRUE;
    // Visible means the dialog has finished its initialisation.
    if (!IsWindowVisible(window))
        return TRUE;
    GetWindowTextA(window, text, sizeof text);
    if (!search->caption->empty() && *search->caption != text)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND FindBox(const std::string &caption, DWORD processId)
{
    BoxSearch search = {&caption, processId, NULL};
    EnumWindows(MatchBox, (LPARAM)&search);
    return search.found;
}

static BOOL CALLBACK ReadControl(HWND control, LPARAM param)
{
    Box *box = (Box *)param;
    char className[64];
    GetClassNameA(control, className, sizeof className);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(className, "Button") == 0) {
        int id = GetDlgCtrlID(control);
        box->buttons.push_back(id);
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            box->defaultButton = id;
    } else if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutA(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, BoxAnswerMs, &icon))
            box->hasIcon = icon != 0;
        else
            box->icon = UnreadIcon;  // and the probe would wait in vain
    }
    return TRUE;
}

// Names the box's icon from inside its process (see iconprobe.cpp): hooks
// the box's thread with the probe DLL, sends the probe message with a fresh
// ticket, and reads the answer the hook left on the box. A box that goes
// away or stops answering costs at most BoxAnswerMs.
static UINT ProbeIcon(HWND window)
{
    static HMODULE probe = LoadLibraryA(IconProbeDll().c_str());
    static UINT message = RegisterWindowMessageA(ICONPROBE_MESSAGE);
    static WORD ticket;
    HOOKPROC proc = probe ? (HOOKPROC)GetProcAddress(probe, ICONPROBE_HOOK) : NULL;
    if (!proc) {
        ADD_FAILURE() << "cannot load the icon probe \"" << IconProbeDll() << "\" (QEL_ICONPROBE)";
        return UnreadIcon;
    }
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, proc, probe, thread);
    if (!hook)
        return UnreadIcon;  // the thread has ended
    if (++ticket == 0)
        ++ticket;
    DWORD_PTR ignored;
    LRESULT delivered = SendMessageTimeoutA(window, message, ticket, 0, SMTO_ABORTIFHUNG, BoxAnswerMs, &ignored);
    UnhookWindowsHookEx(hook);
    ULONG_PTR answer = (ULONG_PTR)GetPropA(window, ICONPROBE_PROPERTY);
    if (!delivered || answer >> 8 != ticket)
        return UnreadIcon;
    return (UINT)(answer & 0xFF);
}

static void ReadBox(HWND window, Box *box)
{
    char text[2048];
    *box = Box();
    box->window = window;
    GetWindowThreadProcessId(window, &box->processId);
    GetWindowTextA(window, text, sizeof text);
    box->caption = text;
    text[0] = '\0';
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    box->text = text;
    EnumChildWindows(window, ReadControl, (LPARAM)box);
    if (box->icon != UnreadIcon)
        box->icon = ProbeIcon(window);
    if (box->icon == UnreadIcon && IsWindow(window))
        ADD_FAILURE() << "box \"" << box->caption << "\" did not tell its icon within " << BoxAnswerMs << " ms";
}

bool WaitForBox(const std::string &caption, Box *box, DWORD timeoutMs, DWORD processId)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindBox(caption, processId);
        if (window) {
            ReadBox(window, box);
            return true;
        }
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

void AnswerBox(const Box &box, int id)
{
    PostMessageA(box.window, WM_COMMAND, id, 0);
}

static int HarmlessAnswer(const Box &box)
{
    for (int id : box.buttons)
        if (id == IDNO)
            return IDNO;
    return IDOK;
}

bool BoxAppearedUntilExit(Process &process, const std::string &caption, DWORD timeoutMs,
                          const std::vector<std::string> &expected)
{
    bool appeared = false;
    size_t next = 0;
    DWORD start = GetTickCount();
    while (process.Running()) {
        HWND window = FindBox(caption, process.Id());
        if (window) {
            Box box;
            ReadBox(window, &box);
            if (next < expected.size() && box.text == expected[next]) {
                next++;
                AnswerBox(box, IDOK);
                for (DWORD waited = 0; IsWindow(window) && waited < 10000; waited += 20)
                    Sleep(20);
                continue;
            }
            ADD_FAILURE() << "unexpected box \"" << box.caption << "\": " << box.text;
            appeared = true;
            AnswerBox(box, HarmlessAnswer(box));
        }
        if (GetTickCount() - start > timeoutMs) {
            ADD_FAILURE() << "process still running after " << timeoutMs << " ms";
            break;
        }
        Sleep(20);
    }
    for (; next < expected.size(); next++)
        ADD_FAILURE() << "no box: " << expected[next];
    return appeared;
}

std::string WarningText(const std::string &path)
{
    return "Uninstall completed\nYou should delete " + path + " manually";
}

RegValue ReadRegValue(HKEY root, const std::string &key, const std::string &name)
{
    RegValue value;
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(handle, name.c_str(), NULL, &value.type, NULL, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        if (RegQueryValueExA(handle, name.c_str(), NULL, &value.type,
                             (BYTE *)&value.data[0], &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            value.exists = true;
        }
    }
    RegCloseKey(handle);
    return value;
}

bool RegKeyExists(HKEY root, const std::string &key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

bool MakeRegKey(HKEY root, const std::string &key)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

bool WriteRegValue(HKEY root, const std::string &key, const std::string &name, DWORD type,
                   const std::string &data)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(handle, name.c_str(), 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

void RegDeleteTreeQuiet(HKEY root, const std::string &key)
{
    RegDeleteTreeA(root, key.c_str());
    RegDeleteKeyA(root, key.c_str());
}

// The names that enumerate(handle, index, name, &length) gives for index 0,
// 1, 2, ... until it fails.
template <typename Enumerate>
static std::vector<std::string> RegNames(HKEY root, const std::string &key, Enumerate enumerate)
{
    std::vector<std::string> names;
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return names;
    char name[1024];
    for (DWORD i = 0;; i++) {
        DWORD length = sizeof name;
        if (enumerate(handle, i, name, &length) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(handle);
    return names;
}

std::vector<std::string> RegSubkeys(HKEY root, const std::string &key)
{
    return RegNames(root, key, [](HKEY handle, DWORD i, char *name, DWORD *length) {
        return RegEnumKeyExA(handle, i, name, length, NULL, NULL, NULL, NULL);
    });
}

std::vector<std::string> RegValueNames(HKEY root, const std::string &key)
{
    return RegNames(root, key, [](HKEY handle, DWORD i, char *name, DWORD *length) {
        return RegEnumValueA(handle, i, name, length, NULL, NULL, NULL, NULL);
    });
}

std::string Dword(DWORD value)
{
    return std::string((const char *)&value, sizeof value);
}

std::string Sz(const std::string &text)
{
    return text + std::string(1, '\0');
}

}  // namespace bench
