// Laying out installations for the uninstall tests and looking at them
// afterwards: files with attributes, whole trees read back (bytes and
// attributes), registry trees, environment variables for started programs,
// the command interpreter stand-in that records the cleanup script it is
// handed, the script it must be handed, an uninstall run answered Yes, and
// directory names beyond the test's own code page with the locales that
// give a started program other code pages.
#ifndef QEL_TESTS_LAYOUT_H
#define QEL_TESTS_LAYOUT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"

namespace bench {

// A sample installation as an installer leaves it, and what an uninstall
// must leave of it.
struct Layout {
    std::string list;                         // the bytes of Uninstall.lst
    std::vector<std::string> gone;            // listed items that must go
    std::map<std::string, std::string> kept;  // what must stay, as ReadTree gives it
};

// Lays out below dir: nested directories listed directory-first and
// contents-first, read-only and hidden files, entries with trailing blanks,
// tabs and CR LF, blank lines, a name with a leading blank, a missing entry,
// a name ending in a byte of 0x80 or above and, when withUnlisted, unlisted
// files beside listed ones at several levels (their directories then stay,
// although listed). Writes the list file too; the executable is not part of
// the layout.
Layout LayOutSampleInstallation(const std::string &dir, bool withUnlisted);

// Writes a file (making its directories) and then sets its attributes.
void LayFile(const std::string &path, const std::string &bytes, DWORD attributes = 0);

// Everything below dir, keyed by the path relative to it: a file maps to its
// bytes, a directory ("sub\\dir\\", with the trailing backslash) to "".
std::map<std::string, std::string> ReadTree(const std::string &dir);

// Waits (polling) until the path exists, or until it is gone.
bool WaitForPath(const std::string &path, DWORD timeoutMs = 20000);
bool WaitUntilGone(const std::string &path, DWORD timeoutMs = 20000);

// Waits until a box the robot found has closed, so that the next box of the
// same caption is not mistaken for it.
bool WaitForBoxClosed(const Box &box, DWORD timeoutMs = 10000);

// A key below root/path for each of siblings names at each of depth levels,
// every key with one string value: siblings + siblings^2 + ... keys.
void MakeKeyTree(HKEY root, const std::string &path, int depth, int siblings);

// An environment variable of this process, and so of the programs it starts,
// set for a scope and restored after.
class ScopedEnv {
public:
    ScopedEnv(const std::string &name, const std::string &value);
    // A value the test's own code page may lack.
    ScopedEnv(const std::string &name, const std::wstring &value);
    // Removes the variable for the scope.
    explicit ScopedEnv(const std::string &name);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_;
};

// The cleanup script's path in the temporary directory.
std::string CleanupScriptPath();

// Points COMSPEC at the stand-in program (tests/comspec_standin.cpp) for
// its lifetime. The stand-in runs nothing: it copies the script named on its
// command line aside and records how it was started.
class InterpreterStandin {
public:
    InterpreterStandin();
    // Waits for the stand-in to have finished its records.
    bool Wait(DWORD timeoutMs = 20000) const;
    std::string Exe() const;
    std::string Script() const { return ReadFile(out_ / "script.bat"); }
    std::string CommandLine() const { return ReadFile(out_ / "command-line.txt"); }
    // The path of the program that ran: the stand-in, or a copy of it.
    std::string Image() const { return ReadFile(out_ / "image.txt"); }
    // The command line the uninstall starts interpreter (the stand-in by
    // default) with: quoted on the NT family, as it is on the Windows 95
    // family, then " /c " and the script as argument names it.
    std::string ExpectedCommandLine(const std::string &argument, const std::string &interpreter = "") const;
    std::string CurrentDir() const { return ReadFile(out_ / "current-dir.txt"); }
    // "flags=<hex> show=<decimal>" of the start-up record it was given.
    std::string Startup() const { return ReadFile(out_ / "startup.txt"); }

private:
    ScratchDir out_{"standin records"};
    ScopedEnv comspec_;
    ScopedEnv out_env_;
};

// The attributes of everything below dir, keyed as ReadTree keys it.
std::map<std::string, DWORD> ReadAttributes(const std::string &dir);

// A tree's bytes and attributes at one moment, to show later that nothing
// in it changed.
struct TreeState {
    std::map<std::string, std::string> bytes;
    std::map<std::string, DWORD> attributes;
    bool operator==(const TreeState &other) const
    {
        return bytes == other.bytes && attributes == other.attributes;
    }
};
TreeState ReadTreeState(const std::string &dir);

// The cleanup script expected for an executable, its directory and the
// script's own path: 19 lines, every '%' of a path doubled; a quiet
// uninstall's without the warning run.
std::string ExpectedCleanupScript(bool win9x, const std::string &exePath, const std::string &dirPath,
                                  const std::string &scriptPath, bool quiet = false);

// Everything below a registry key, one sorted line per subkey and per value
// (name, type and bytes), read with plain registry calls; {"missing"} when
// the key does not exist.
std::vector<std::string> ReadRegTree(HKEY root, const std::string &key);

// Links as a user or an attacker can leave them in and around an
// installation. Each is made when constructed (Made() tells) and removed
// when destroyed, never through a Windows call on the link: that would act
// on what the link leads to.
//
// A Unix symbolic link below drive_c, made with ln -s and removed with rm,
// Unix programs that Wine starts for a Windows program. Wine shows one to a
// directory as a reparse point (attributes 0x410) and one to a file as a
// plain file. Both paths are Windows paths; the target must exist.
class UnixLink {
public:
    UnixLink(const std::string &link, const std::string &target);
    ~UnixLink();
    UnixLink(const UnixLink &) = delete;
    UnixLink &operator=(const UnixLink &) = delete;
    bool Made() const { return made_; }

protected:
    UnixLink() = default;
    // Makes unixLink lead to unixTarget; probe is a Windows path that can be
    // read through once it does.
    void Make(const std::string &unixLink, const std::string &unixTarget, const std::string &probe);

private:
    std::string unixLink_;
    std::string probe_;
    bool made_ = false;
};

// A drive letter of the prefix ("Q:") for a directory, through a link in
// the prefix's dosdevices.
class MappedDrive : public UnixLink {
public:
    MappedDrive(char letter, const std::string &dir);
    std::string Root() const { return root_; }  // "Q:\\"

private:
    std::string root_;
};

// The name under which the platform's link targets reach a key:
// "\Registry\User\<SID>\..." for HKEY_CURRENT_USER, "\Registry\Machine\..."
// for HKEY_LOCAL_MACHINE. A 32-bit program sees HKEY_LOCAL_MACHINE\Software
// elsewhere (Wow6432Node), so a key there has no name that holds for both.
std::string RegistryNtName(HKEY root, const std::string &key);

// A registry link root\path (REG_OPTION_CREATE_LINK) whose
// "SymbolicLinkValue" names the key targetRoot\target; deleted as itself.
class RegLink {
public:
    RegLink(HKEY root, const std::string &path, HKEY targetRoot, const std::string &target);
    ~RegLink();
    RegLink(const RegLink &) = delete;
    RegLink &operator=(const RegLink &) = delete;
    bool Made() const { return made_; }

private:
    HKEY root_;
    std::string path_;
    bool made_ = false;
};

// Whether root\path is a registry link, looked at as itself.
bool RegLinkExists(HKEY root, const std::string &path);

// Answers the confirmation box of a started uninstall (of exe) Yes and waits
// for the end without any further box but the warnings to delete the
// paths in warned by hand, in that order, each answered. Returns the exit
// code, or -1; afterYesMs, when given, gets the time from the answer to the
// end.
long AnswerConfirmation(Process &run, const std::string &exe, DWORD *afterYesMs = nullptr,
                        const std::vector<std::string> &warned = {});

// Starts the uninstall of exe in currentDir as the test's family and
// answers it as AnswerConfirmation does. Returns the exit code (-1 when it
// did not start or end).
long UninstallAnsweringYes(const std::string &exe, const std::string &currentDir,
                           const std::vector<std::string> &warned = {});

// ---------------------------------------------------------------------------
// Names beyond the test's own code page (C.UTF-8: 1252 and 437).

// Under Wine a program takes its ANSI and OEM code pages from LC_ALL, and
// its file names convert right only where the C library has a locale of
// that name (the build tree's LOCPATH folder provides the ones below).
struct Locale {
    const char *name;  // the value of LC_ALL
    UINT ansi;
    UINT oem;
};
extern const Locale Western;   // C.UTF-8: 1252 and 437, the tests' own
extern const Locale German;    // de_DE.UTF-8: 1252 and 850
extern const Locale Russian;   // ru_RU.UTF-8: 1251 and 866
extern const Locale Japanese;  // ja_JP.UTF-8: 932 for both

// text in codePage. *exact, when asked for, tells whether every character
// has its own byte(s) there (no '?' and no look-alike in its place).
std::string Encode(const std::wstring &text, UINT codePage, bool *exact = nullptr);
std::wstring Widen(const std::string &ascii);
// The short form of an existing path (all ASCII under Wine); "" when none.
std::wstring ShortPath(const std::wstring &path);

// How the NT family's command line names the cleanup script.
enum class ScriptArgumentForm {
    Quoted,        // cmd /c "<script>"
    DoubleQuoted,  // cmd /c ""<script>"": a name cmd would split
    BareName,      // cmd /c "Uninstall.Qel.Bat" from the temporary directory: a '%'
};

// An installation directory and a temporary directory below the scratch
// root, and the locale an uninstall or registration runs under.
struct NameCase {
    const char *name;
    const Locale *locale;
    const wchar_t *installLeaf;
    const wchar_t *tempLeaf;
    // The OEM code page lacks a character of the name: a batch file names
    // the short form.
    bool installShort;
    bool tempShort;
    ScriptArgumentForm argument;
};
extern const std::vector<NameCase> NameCases;

// A scratch directory "C:\qel tests\<leaf>" whose leaf may hold any
// character: made with the wide platform calls, named by its short form
// for the narrow helpers, removed with everything in it at the end.
class WideScratchDir {
public:
    explicit WideScratchDir(const std::wstring &leaf);
    ~WideScratchDir();
    WideScratchDir(const WideScratchDir &) = delete;
    WideScratchDir &operator=(const WideScratchDir &) = delete;

    const std::wstring &Path() const { return path_; }
    const std::string &Short() const { return short_; }
    std::string operator/(const std::string &relative) const { return short_ + "\\" + relative; }
    // Copies Uninstall.exe into it; returns its wide path.
    std::wstring Install() const;

private:
    std::wstring path_;
    std::string short_;
};

// Start() under locale, for paths the test's code page may lack: the
// command line is the quoted exePath followed by tail, the Windows
// environment this program's own. Wine takes a program's code pages from
// the Unix environment of its parent, not from the Windows environment it
// is given, so the locale runner (tests/locale_runner.cpp), started
// through wine64 with LC_ALL, starts it. A wine64 that ends before the
// runner answers (its launcher failed) is started once more.
Process StartUnderLocale(const Locale &locale, const std::wstring &exePath, const std::wstring &tail,
                         const std::wstring &currentDir, Family family);

// Whether a program running under locale sees a file of dir by the name's
// bytes in the locale's ANSI code page and can read it; the stand-in
// interpreter is that program. Checked before a result under that locale is
// trusted: without the C library's locale Wine turns the name into other
// bytes.
testing::AssertionResult NameArrivesInAnsi(const Locale &locale, const std::wstring &dir);

// UninstallAnsweringYes() under locale.
long UninstallAnsweringYes(const Locale &locale, const std::wstring &exe, const std::wstring &currentDir);

}  // namespace bench

#endif
