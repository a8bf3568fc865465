// Laying out installations for the uninstall tests and looking at them
// afterwards: files with attributes, whole trees read back (bytes and
// attributes), registry trees, environment variables for started programs,
// the command interpreter stand-in that records the cleanup script it is
// handed, the script it must be handed, and an uninstall run answered Yes.
#ifndef QEL_TESTS_LAYOUT_H
#define QEL_TESTS_LAYOUT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

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
// script's own path: 19 lines, every '%' of a path doubled.
std::string ExpectedCleanupScript(bool win9x, const std::string &exePath, const std::string &dirPath,
                                  const std::string &scriptPath);

// Starts the uninstall of exe in currentDir as the test's family, answers
// the confirmation box Yes and waits for the end without any further box.
// Returns the exit code (-1 when it did not start or end).
long UninstallAnsweringYes(const std::string &exe, const std::string &currentDir);

}  // namespace bench

#endif
