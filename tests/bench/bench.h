// The test bench: the OS family a test program runs as, scratch
// installations, a runner for Uninstall.exe with an exact command line, and
// a robot that finds, reads and answers message boxes.
#ifndef QEL_TESTS_BENCH_H
#define QEL_TESTS_BENCH_H

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// What the product fixes and the tests look for, named once for them all:
// the caption of every box, the settings key, the uninstall entry (under
// HKEY_LOCAL_MACHINE), and the root below which scratch installations live.
const char Caption[] = "Uninstall QEL";
const char SettingsKey[] = "Software\\Qel";
const char UninstallEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEL manager";
const char ScratchRoot[] = "C:\\qel tests";
// Output buffers are filled with this byte before a call: finding it just
// past a limit shows that nothing was written there.
const char Marker = (char)0xBD;

enum class Family { NT, Win9x };

// The family this test program runs as (QEL_FAMILY: "nt" or "9x"); the
// test main has already made the platform report it.
Family TestFamily();
const char *FamilyName(Family family);
bool Is9x();

// Registry value "Version" of HKCU\Software\Wine\AppDefaults\<exeName>,
// read by Wine when a program of that file name starts.
void SetAppFamily(const std::string &exeName, Family family);
void ClearAppFamily(const std::string &exeName);

// A Unix path of the drive folder as Windows programs under Wine see it; ""
// where no drive of the prefix reaches it.
std::string WindowsPath(const std::string &unixPath);
// Wine's own name of a Unix path: through a drive where one reaches it,
// else in Wine's Unix namespace (\\?\unix\...), which no drive leads to: a
// test prefix's drives reach nothing of the host's.
std::string HostPath(const std::string &unixPath);
// A host program (sh, ln, rm) of /bin, by HostPath.
std::string HostProgram(const std::string &name);
// The freshly built Uninstall.exe of this build tree (i686 or x86-64, as
// the test program).
std::string ProductExe();
// The robot's icon probe DLL, built with the tests.
std::string IconProbeDll();

// File helpers that go through the platform, not the code under test.
bool FileExists(const std::string &path);
bool DirExists(const std::string &path);
bool FileExists(const std::wstring &path);
bool DirExists(const std::wstring &path);
std::string ReadFile(const std::string &path);  // "" when missing
void WriteFile(const std::string &path, const std::string &bytes);
void MakeDirs(const std::string &path);
// Removes a tree, clearing attributes first; quiet about what is missing.
void RemoveTree(const std::string &path);
std::string TempDir();  // GetTempPathA, with its trailing backslash

// A scratch installation directory under the prefix whose name holds a
// blank ("C:\qel tests\install <n>"), removed with everything in it at the
// end of the test. Install() copies Uninstall.exe into it. Another root
// (one without a blank, say) may be given; it is removed when left empty.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &leaf = "", const std::string &root = ScratchRoot);
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &Path() const { return path_; }
    std::string operator/(const std::string &relative) const { return path_ + "\\" + relative; }
    std::string Install(const std::string &exeName = "Uninstall.exe") const;

private:
    std::string root_;
    std::string path_;
};

// A started program. The destructor kills it if it is still running.
class Process {
public:
    Process() = default;
    Process(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}
    ~Process();
    Process(Process &&other) noexcept;
    Process &operator=(Process &&other) noexcept;

    HANDLE Handle() const { return handle_; }
    DWORD Id() const { return id_; }
    bool Started() const { return handle_ != NULL; }
    bool Running() const;
    // Waits for the end; returns the exit code, or -1 (and kills the
    // process) when it is still running after timeoutMs.
    long Wait(DWORD timeoutMs = 20000);

private:
    HANDLE handle_ = NULL;
    DWORD id_ = 0;
};

// CreateProcessA, tried once more when Wine fails it with
// ERROR_INTERNAL_ERROR (1359: the new process died while starting, seen
// under load); the retry is noted in the test output.
BOOL CreateProcessRetrying(const char *exePath, char *commandLine, BOOL inheritHandles, DWORD flags,
                           const char *currentDir, STARTUPINFOA *startup, PROCESS_INFORMATION *info);

// Starts exePath with exactly commandLine (CreateProcessA's second
// argument, as an installer would pass it) in currentDir, after making Wine
// report family to programs of that file name.
Process Start(const std::string &exePath, const std::string &commandLine,
              const std::string &currentDir, Family family);
// Start() with the command line "\"<exePath>\"" + tail.
Process StartWithTail(const std::string &exePath, const std::string &tail,
                      const std::string &currentDir, Family family);

// The test program's job. The test main puts the program in it, and with
// the program every process it starts and every process those start, each
// detached or not: all of them end when the program ends
// (JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE), so that none keeps the test's output
// open. A program relaunched as the Windows 95 family joins its parent's.
// Returns false, with the reason, when there is no job.
bool EnterJob(std::string *error);

// A running process of the job that the running test started, directly or
// through another process.
struct StartedProcess {
    DWORD id = 0;
    std::string image;        // the executable's path
    std::string commandLine;  // "?" when the platform does not tell it
};

// How long a test's processes may go on after its end before they count as
// left behind: the cleanup script's run after the uninstall included.
const DWORD StartedProcessesGraceMs = 20000;

// Notes the processes of the job as the test begins (the test main does
// this before each test); later ones are the test's.
void NoteProcessesAtTestStart();
// The test's processes still running.
std::vector<StartedProcess> StartedProcesses();
// Waits up to timeoutMs for every process of the test to end. Those still
// running then fail the test, each named by its image and command line, and
// are ended. True when none was left. The test main calls it after each
// test; a test that runs the real interpreter more than once calls it before
// each next run, since a cmd still running reads on in its script file at
// its old offset whatever is written there next.
bool ExpectStartedProcessesEnd(DWORD timeoutMs = StartedProcessesGraceMs);

// Whether Wine draws the icon of a message box in the programs this build
// tree makes: not in 32-bit ones (wow64 mode), so the icon of a box is
// checked on the 64-bit build only. A test that asks must be one of the
// icon tests that QEL_ICON_TESTS names (a GoogleTest filter; the 64-bit
// build runs only those of most programs), or it fails.
bool BoxIconsDrawn();

// Box::icon when the robot could not learn the icon (the box's thread did
// not answer in time, or the box went away).
const UINT UnreadIcon = 0xFFFFFFFF;

// What the robot saw of a message box.
struct Box {
    HWND window = NULL;
    DWORD processId = 0;
    std::string caption;
    std::string text;
    bool hasIcon = false;
    // The icon as a MessageBox style: MB_ICONINFORMATION (= MB_ICONASTERISK),
    // MB_ICONQUESTION, MB_ICONHAND (= MB_ICONSTOP, MB_ICONERROR),
    // MB_ICONEXCLAMATION (= MB_ICONWARNING), MB_USERICON for any other icon,
    // 0 for none; or UnreadIcon.
    UINT icon = 0;
    std::vector<int> buttons;  // control ids (IDOK, IDYES, ...) in window order
    int defaultButton = 0;     // id of the button with BS_DEFPUSHBUTTON
};

// Waits up to timeoutMs for a visible box with this caption (optionally of
// one process) and reads it, its icon included (a box that does not tell
// its icon within a few seconds is a test failure). Returns false when none
// came.
bool WaitForBox(const std::string &caption, Box *box, DWORD timeoutMs = 10000, DWORD processId = 0);
// Answers it with a button id (IDYES, IDNO, IDOK).
void AnswerBox(const Box &box, int id);
// Waits for the process to end and reports whether a box of the caption
// appeared meanwhile (any box is answered with IDOK/IDNO so the run ends).
// An empty caption stands for any visible window of the process.
bool BoxAppearedUntilExit(Process &process, const std::string &caption, DWORD timeoutMs = 20000,
                          const std::vector<std::string> &expected = {});
// The text of the box that asks the user to delete path by hand.
std::string WarningText(const std::string &path);

// Registry helpers for assertions, reading with plain registry calls.
struct RegValue {
    bool exists = false;
    DWORD type = 0;
    std::string data;  // raw bytes as stored
};
RegValue ReadRegValue(HKEY root, const std::string &key, const std::string &name);
bool RegKeyExists(HKEY root, const std::string &key);
// Creates a key (and its missing parents) with plain registry calls; true on
// success. WriteRegValue creates the key too and stores the bytes as given.
bool MakeRegKey(HKEY root, const std::string &key);
bool WriteRegValue(HKEY root, const std::string &key, const std::string &name, DWORD type,
                   const std::string &data);
// Deletes a key and everything below it (RegDeleteTreeA); quiet when absent.
void RegDeleteTreeQuiet(HKEY root, const std::string &key);
// Subkey names and value names directly under a key, in enumeration order.
std::vector<std::string> RegSubkeys(HKEY root, const std::string &key);
std::vector<std::string> RegValueNames(HKEY root, const std::string &key);

std::string Dword(DWORD value);  // the 4 little-endian bytes
std::string Sz(const std::string &text);  // text + its terminator

}  // namespace bench

#endif
