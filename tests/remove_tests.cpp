// The removal's parts called in-process: the trimming of list lines, the
// containment test of entries, the deletion passes over a real list and real
// files, the cleanup script's text, the paths it names in the OEM code
// page, the interpreter's command line, and a script that cannot be written
// whole.
#include <windows.h>
#include <winternl.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/platform.h"
#include "base/text.h"
#include "bench.h"
#include "imports.h"
#include "layout.h"
#include "progman.h"
#include "remove/listtext.h"
#include "remove/remove.h"
#include "remove/script.h"

using namespace bench;

namespace {


// A text in a buffer of 64 bytes with the marker after its terminator, for
// the functions that work in place.
struct MarkedCopy {
    char buffer[64];
    size_t length;

    explicit MarkedCopy(const char *text) : length(strlen(text))
    {
        memset(buffer, Marker, sizeof buffer);
        memcpy(buffer, text, length + 1);
    }
    // Nothing written past the text's own terminator.
    bool MarkersIntact() const
    {
        for (size_t i = length + 1; i < sizeof buffer; i++)
            if (buffer[i] != Marker)
                return false;
        return true;
    }
};

struct TrimCase {
    const char *name;
    const char *line;
    const char *trimmed;
};

const TrimCase TrimCases[] = {
    {"empty stays empty", "", ""},
    {"nothing to cut", "readme.txt", "readme.txt"},
    {"blanks, a tab and CR LF", "readme.txt  \t \r\n", "readme.txt"},
    {"blanks only", "     ", ""},
    {"line end only", "\r\n", ""},
    {"every control byte and 0x7F", "a\x01\x02\x1F\x7F\x0B\x0C", "a"},
    {"a leading blank belongs to the entry", " readme.txt \n", " readme.txt"},
    {"inner blanks stay", "Read Me.txt\t\n", "Read Me.txt"},
    {"0x80 and above are never cut", "caf\xE9", "caf\xE9"},
    {"0xA0 (no-break blank in many code pages) stays", "name\xA0", "name\xA0"},
    {"0xFF stays", "name\xFF \r\n", "name\xFF"},
    {"0x80 stays", "\x80", "\x80"},
    {"cut stops at the first kept byte", "a \x7F b\x7F \r\n", "a \x7F b"},
    {"0x21 is kept", "a!", "a!"},
    {"a single control byte", "\x01", ""},
};

TEST(TrimTrailing, CutsTrailingControlBytesBlanksAnd7FOnly)
{
    for (const TrimCase &c : TrimCases) {
        MarkedCopy line(c.line);
        TrimTrailing(line.buffer);
        EXPECT_STREQ(c.trimmed, line.buffer) << c.name;
        EXPECT_TRUE(line.MarkersIntact()) << c.name;
    }
}

// Both containment tests on the same inputs: IsInsideDirectory on full
// paths as GetFullPathNameA spells them (the directory ends in a
// backslash), IsInsideFinalPath on final paths as GetFinalPathNameByHandleA
// gives them (a "\\?\" prefix, a directory without its backslash).
struct InsideCase {
    const char *name;
    const char *path;
    const char *directory;
    int inside;
    int insideFinal;
};

const InsideCase InsideCases[] = {
    {"a file directly inside", "C:\\Qel\\a.txt", "C:\\Qel\\", 1, 1},
    {"deeper inside", "C:\\Qel\\Plugins\\X\\a.dll", "C:\\Qel\\", 1, 1},
    {"letter case ignored", "c:\\qEL\\a.txt", "C:\\Qel\\", 1, 1},
    {"case ignored at both ends of the alphabet", "C:\\Qel az\\a.txt", "C:\\Qel AZ\\", 1, 1},
    {"the directory itself is not inside", "C:\\Qel\\", "C:\\Qel\\", 0, 0},
    {"the directory without its backslash", "C:\\Qel", "C:\\Qel\\", 0, 0},
    {"the parent", "C:\\", "C:\\Qel\\", 0, 0},
    {"a file beside the directory", "C:\\other.txt", "C:\\Qel\\", 0, 0},
    {"a sibling sharing the name's start", "C:\\Qel2\\a.txt", "C:\\Qel\\", 0, 0},
    {"a sibling sharing the name and a blank", "C:\\Qel x\\a.txt", "C:\\Qel\\", 0, 0},
    {"another drive", "D:\\Qel\\a.txt", "C:\\Qel\\", 0, 0},
    {"a device path", "\\\\.\\NUL", "C:\\Qel\\", 0, 0},
    {"a directory without its backslash", "C:\\Qel\\a.txt", "C:\\Qel", 0, 1},
    {"an empty directory refuses everything", "C:\\Qel\\a.txt", "", 0, 0},
    {"bytes of 0x80 and above compared as they are", "C:\\Caf\xE9\\a", "C:\\Caf\xC9\\", 0, 0},
    {"final paths with their prefix", "\\\\?\\C:\\Qel\\a.txt", "\\\\?\\C:\\Qel", 0, 1},
    {"a prefix on one side only", "\\\\?\\C:\\Qel\\a.txt", "C:\\Qel\\", 0, 1},
    {"a final path leading to a sibling", "\\\\?\\C:\\Qel2\\a.txt", "\\\\?\\C:\\Qel", 0, 0},
    {"a final path leading to another drive", "\\\\?\\Z:\\tmp\\a.txt", "\\\\?\\C:\\Qel", 0, 0},
    {"a drive root keeps its backslash", "\\\\?\\Q:\\a.txt", "\\\\?\\Q:\\", 1, 1},
    {"the final path of the directory itself", "\\\\?\\C:\\Qel", "\\\\?\\C:\\Qel", 0, 0},
    {"a share", "\\\\?\\UNC\\srv\\share\\Qel\\a", "\\\\?\\UNC\\srv\\share\\Qel", 0, 1},
    {"the final-path prefix alone names no directory", "\\\\?\\C:\\a", "\\\\?\\", 1, 0},
};

TEST(IsInsideDirectory, HoldsOnlyStrictlyBelowOnAComponentBoundary)
{
    for (const InsideCase &c : InsideCases) {
        EXPECT_EQ(c.inside, IsInsideDirectory(c.path, c.directory)) << c.name;
        EXPECT_EQ(c.insideFinal, IsInsideFinalPath(c.path, c.directory)) << c.name << " (final paths)";
    }
}

// The installation directory from the module path, and whether the
// current directory read back after entering it is that directory.
struct EnterCase {
    const char *name;
    const char *modulePath;
    const char *directory;  // what CutToDirectory leaves; "" when it refuses
    const char *current;    // the current directory as read back
    int same;
};

const EnterCase EnterCases[] = {
    {"a directory", "C:\\Qel\\Uninstall.exe", "C:\\Qel", "C:\\Qel", 1},
    {"letter case ignored", "C:\\QEL\\Uninstall.exe", "C:\\QEL", "c:\\qel", 1},
    {"case ignored at both ends of the alphabet", "C:\\AZ\\Uninstall.exe", "C:\\AZ", "C:\\az", 1},
    {"a drive root keeps its backslash", "Q:\\Uninstall.exe", "Q:\\", "Q:\\", 1},
    {"the drive's remembered directory", "Q:\\Uninstall.exe", "Q:\\", "Q:\\work", 0},
    {"a drive without its root", "Q:\\Uninstall.exe", "Q:\\", "Q:", 0},
    {"a name ending in a blank entered without it", "C:\\Qel \\Uninstall.exe", "C:\\Qel ", "C:\\Qel", 0},
    {"the parent", "C:\\Qel\\sub\\Uninstall.exe", "C:\\Qel\\sub", "C:\\Qel", 0},
    {"a share root read back with its backslash", "\\\\srv\\share\\Uninstall.exe", "\\\\srv\\share",
     "\\\\srv\\share\\", 1},
    {"bytes of 0x80 and above compared as they are", "C:\\Caf\xE9\\Uninstall.exe", "C:\\Caf\xE9",
     "C:\\Caf\xC9", 0},
    {"no backslash", "Uninstall.exe", "", "C:\\", 0},
    {"nothing before the backslash", "\\Uninstall.exe", "", "C:\\", 0},
};

TEST(CutToDirectory, LeavesTheDirectoryThatIsEnteredAndReadBack)
{
    for (const EnterCase &c : EnterCases) {
        MarkedCopy path(c.modulePath);
        size_t left = CutToDirectory(path.buffer);
        EXPECT_EQ(strlen(c.directory), left) << c.name;
        EXPECT_TRUE(path.MarkersIntact()) << c.name;
        if (left) {
            EXPECT_STREQ(c.directory, path.buffer) << c.name;
            EXPECT_EQ(c.same, IsSameDirectory(c.current, c.directory)) << c.name;
            EXPECT_EQ(c.same, IsSameDirectory(c.directory, c.current)) << c.name << " (swapped)";
        }
    }
}

// The deletion passes over a real list file and real files.
class ListPasses : public testing::Test {
protected:
    // Writes the list beside the installation and runs the passes over it.
    int Passes(const std::string &list)
    {
        WriteFile(dir_ / "Uninstall.lst", list);
        FILE *stream = fopen((dir_ / "Uninstall.lst").c_str(), "rb");
        if (!stream) {
            ADD_FAILURE() << "cannot open the list";
            return -1;
        }
        int passes = DeleteListedItems(stream, (dir_.Path() + "\\").c_str(), &left_);
        fclose(stream);
        return passes;
    }
    // After the passes: whether they left work that the list names.
    int WorkLeft() const { return left_; }
    bool Exists(const std::string &relative)
    {
        return GetFileAttributesA((dir_ / relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    ScratchDir dir_{"list passes"};
    int left_ = -1;
};

// Nested directories L1 to L<depth>, each listed before its contents, and
// a file in the deepest.
std::string NestedList(int depth, std::string *file)
{
    std::string list, path;
    for (int level = 1; level <= depth; level++) {
        path += (level > 1 ? "\\L" : "L") + std::to_string(level);
        list += path + "\r\n";
    }
    *file = path + "\\f.txt";
    return list + *file + "\r\n";
}

TEST_F(ListPasses, DirectoryListedBeforeItsContentsGoesInThePassThatEmptiesIt)
{
    // A listed directory that stays when met is tried again, in the same
    // pass, once the entries below it have been met; the second pass finds
    // nothing. A pass remembers 8 such directories, nested: deeper ones
    // wait for a later pass.
    std::string deepFile;
    const std::string deep = NestedList(10, &deepFile);
    const struct {
        const char *about;
        std::vector<std::string> files;
        std::string list;
        int passes;
    } cases[] = {
        {"one directory in another", {"Plugins\\X\\a.dll"}, "Plugins\r\nPlugins\\X\r\nPlugins\\X\\a.dll\r\n", 2},
        {"siblings, the last one's parent after it",
         {"A\\f1.txt", "A\\B\\f2.txt", "A\\C\\f3.txt", "D\\f4.txt"},
         "A\r\nA\\f1.txt\r\nA\\B\r\nA\\B\\f2.txt\r\nA\\C\r\nA\\C\\f3.txt\r\nD\r\nD\\f4.txt\r\n",
         2},
        {"spelled in other cases", {"Plugins\\X\\a.dll"}, "plugins\r\nPLUGINS\\x\r\nPlugins\\X\\A.DLL\r\n", 2},
        // Pass 1 the file, pass 2 L10, pass 3 L9 and then L8 to L1.
        {"ten levels", {deepFile}, deep, 4},
    };
    for (const auto &c : cases) {
        for (const std::string &file : c.files)
            LayFile(dir_ / file, "listed");
        EXPECT_EQ(c.passes, Passes(c.list)) << c.about;
        EXPECT_EQ(1u, ReadTree(dir_.Path()).size()) << c.about << ": only the list is left";
        EXPECT_EQ(0, WorkLeft()) << c.about;
    }
}

TEST_F(ListPasses, ContentsListedFirstGoInOnePassFollowedByAnEmptyOne)
{
    LayFile(dir_ / "Plugins\\X\\a.dll", "dll");
    EXPECT_EQ(2, Passes("Plugins\\X\\a.dll\r\nPlugins\\X\r\nPlugins\r\n"));
    EXPECT_FALSE(Exists("Plugins"));
}

TEST_F(ListPasses, ListThatDeletesNothingIsReadExactlyOnce)
{
    LayFile(dir_ / "keep.txt", "keep");
    EXPECT_EQ(1, Passes("missing.txt\r\nno\\such\\dir\r\nmissing dir\\\r\n")) << "only failing entries";
    EXPECT_EQ(1, Passes("")) << "empty list";
    EXPECT_EQ(1, Passes("\r\n   \r\n\t\r\n\r\n \x7F\n")) << "blank lines only";
    EXPECT_EQ("keep", ReadFile(dir_ / "keep.txt"));
}

TEST_F(ListPasses, FileHeldOpenElsewhereSurvivesEveryPassAndTheLoopEnds)
{
    // Held without FILE_SHARE_DELETE its deletion fails: pass 1 deletes
    // other.txt only, pass 2 nothing. Held with it, Wine reports the file
    // deleted in every pass while it stays: the passes end after one more
    // than the three entries.
    const struct {
        DWORD share;
        int passes;
    } holds[] = {{FILE_SHARE_READ, 2}, {FILE_SHARE_READ | FILE_SHARE_DELETE, 4}};
    for (const auto &hold : holds) {
        LayFile(dir_ / "Data\\held.txt", "held");
        LayFile(dir_ / "other.txt", "other");
        HANDLE held = CreateFileA((dir_ / "Data\\held.txt").c_str(), GENERIC_READ, hold.share, NULL,
                                  OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        int passes = Passes("Data\\held.txt\r\nData\r\nother.txt\r\n");
        EXPECT_EQ("held", ReadFile(dir_ / "Data\\held.txt")) << "share " << hold.share;
        CloseHandle(held);
        EXPECT_EQ(hold.passes, passes) << "share " << hold.share;
        EXPECT_EQ(1, WorkLeft()) << "share " << hold.share;
        EXPECT_FALSE(Exists("other.txt"));
    }
}

TEST_F(ListPasses, ReadOnlyHiddenAndSystemItemsGoBecauseAttributesAreClearedFirst)
{
    LayFile(dir_ / "readonly.txt", "r", FILE_ATTRIBUTE_READONLY);
    LayFile(dir_ / "hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
    LayFile(dir_ / "system.txt", "s", FILE_ATTRIBUTE_SYSTEM);
    LayFile(dir_ / "all.txt", "a", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeDirs(dir_ / "Locked");
    ASSERT_TRUE(
        SetFileAttributesA((dir_ / "Locked").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(2, Passes("readonly.txt\r\nhidden.txt\r\nsystem.txt\r\nall.txt\r\nLocked\r\n"));
    EXPECT_TRUE(ReadTree(dir_.Path()).count("Uninstall.lst"));
    EXPECT_EQ(1u, ReadTree(dir_.Path()).size()) << "only the list is left";
}

TEST_F(ListPasses, ListedDirectoryHoldingAnUnlistedFileStaysWithItsParents)
{
    LayFile(dir_ / "A\\B\\listed.txt", "listed");
    LayFile(dir_ / "A\\B\\unlisted.txt", "unlisted");
    EXPECT_EQ(2, Passes("A\r\nA\\B\r\nA\\B\\listed.txt\r\n"));
    EXPECT_EQ(0, WorkLeft()) << "what holds the user's own files stays by intent";
    EXPECT_FALSE(Exists("A\\B\\listed.txt"));
    EXPECT_EQ("unlisted", ReadFile(dir_ / "A\\B\\unlisted.txt"));
}

TEST_F(ListPasses, EntriesAreTrimmedAtTheEndOnlyAndKeepHighBytes)
{
    for (const char *name : {"readme.txt", " readme.txt", "name", "name\xE9", "tail.txt", "last.txt"})
        LayFile(dir_ / name, name);
    EXPECT_EQ(2, Passes("readme.txt  \t \r\n"
                        "\r\n"
                        "     \r\n"
                        "name\xE9\r\n"
                        "not there.txt\r\n"
                        "tail.txt\x7F\x01\r\n"
                        "last.txt"));  // the last line needs no line end
    EXPECT_FALSE(Exists("readme.txt"));
    EXPECT_EQ(" readme.txt", ReadFile(dir_ / " readme.txt")) << "a leading blank names another file";
    EXPECT_FALSE(Exists("name\xE9"));
    EXPECT_EQ("name", ReadFile(dir_ / "name")) << "the byte 0xE9 was cut";
    EXPECT_FALSE(Exists("tail.txt"));
    EXPECT_FALSE(Exists("last.txt"));

    // The leading-blank name as an entry of its own.
    EXPECT_EQ(2, Passes(" readme.txt\r\n"));
    EXPECT_FALSE(Exists(" readme.txt"));
    EXPECT_EQ("name", ReadFile(dir_ / "name"));
}

TEST_F(ListPasses, LineLongerThan519BytesIsReadInPiecesEachAnEntry)
{
    LayFile(dir_ / "piece.txt", "piece");
    LayFile(dir_ / "whole.txt", "whole");
    // The first 519 bytes are one entry (no such file), the rest another.
    std::string line = std::string(519, 'q') + "piece.txt\r\n";
    EXPECT_EQ(2, Passes(line + "x" + std::string(600, ' ') + "whole.txt\r\n"));
    EXPECT_FALSE(Exists("piece.txt"));
    // Its 519-byte head "x" + 518 blanks is trimmed to "x"; the tail
    // (82 blanks and whole.txt) names a file with leading blanks.
    EXPECT_EQ("whole", ReadFile(dir_ / "whole.txt"));
}

TEST_F(ListPasses, TargetPathAtTheLimitGoesAndOneBytePastItIsSkippedNotCut)
{
    // installation directory + name = 259 bytes: the longest path that fits.
    std::string name(259 - (dir_.Path().size() + 1), 'n');
    LayFile(dir_ / name, "limit");
    ASSERT_EQ("limit", ReadFile(dir_ / name));
    // One byte more would, if cut, name the file above.
    EXPECT_EQ(1, Passes(name + "x\r\n" + name + "\\tail\r\n"));
    EXPECT_EQ("limit", ReadFile(dir_ / name));
    EXPECT_EQ(2, Passes(name + "\r\n"));
    EXPECT_FALSE(Exists(name));
}

TEST_F(ListPasses, EntryResolvingOutsideTheInstallationIsNeverDeletedNorCounted)
{
    ScratchDir outside("list passes outside");
    LayFile(outside / "victim.txt", "victim");
    MakeDirs(outside / "empty");
    LayFile(dir_ / "sub\\keep.txt", "keep");
    const char *escapes[] = {
        "..\\list passes outside\\victim.txt",
        "../list passes outside/victim.txt",
        "sub\\..\\..\\list passes outside\\victim.txt",
        "sub/../../list passes outside\\victim.txt",
        "..\\..\\qel tests\\list passes outside\\victim.txt",
        ".\\..\\list passes outside\\victim.txt",
        "..\\list passes outside\\empty",
        "..\\list passes outside",
        "..",
        "..\\",
        "sub\\..",
        ".",
    };
    std::string list;
    for (const char *entry : escapes)
        list += std::string(entry) + "\r\n";
    EXPECT_EQ(1, Passes(list));
    EXPECT_EQ("victim", ReadFile(outside / "victim.txt"));
    EXPECT_TRUE(DirExists(outside / "empty"));
    EXPECT_EQ("keep", ReadFile(dir_ / "sub\\keep.txt"));
    EXPECT_TRUE(DirExists(dir_.Path()));
}

TEST_F(ListPasses, EntryWithDotsThatStaysInsideBehavesAsBefore)
{
    LayFile(dir_ / "a.txt", "a");
    LayFile(dir_ / "b.txt", "b");
    LayFile(dir_ / "c.txt", "c");
    MakeDirs(dir_ / "sub");
    EXPECT_EQ(2, Passes("sub\\..\\a.txt\r\n"
                        "..\\LIST PASSES\\b.txt\r\n"  // back into the same directory, another case
                        "sub/./../c.txt\r\n"));
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_FALSE(Exists("b.txt"));
    EXPECT_FALSE(Exists("c.txt"));
}

// StartCleanupScript called in-process: the interpreter's start fails and
// is recorded, the box is answered, and a hand-off, which would end this
// program, ends it loudly.
std::vector<std::string> started;
std::vector<UINT> boxes;

int WINAPI RecordedBox(HWND, LPCSTR, LPCSTR, UINT style)
{
    boxes.push_back(style);
    return IDOK;
}

BOOL WINAPI RecordedCreateProcess(LPCSTR, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                  DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION)
{
    started.push_back(commandLine);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
// The same for the interpreter only: the test starts Unix programs meanwhile.
BOOL WINAPI RecordedInterpreterStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                     LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                     LPCSTR directory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION information)
{
    if (strstr(commandLine, " /c "))
        return RecordedCreateProcess(application, commandLine, process, thread, inherit, flags, environment,
                                     directory, startup, information);
    auto real = (decltype(&CreateProcessA))GetProcAddress(GetModuleHandleA("KERNEL32"), "CreateProcessA");
    return real(application, commandLine, process, thread, inherit, flags, environment, directory, startup,
                information);
}

void WINAPI HandOffEndsTheTests(UINT code)
{
    fprintf(stderr, "StartCleanupScript handed over and ended the process (%u)\n", code);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

// The deletion's platform calls as the product's code in this program makes
// them, through this program's import slots and through what its run-time
// lookups are given: each counted while the passes run, the deleting ones
// recorded, and between any two the test may act as another user would.
enum class Lookup {
    Everything,
    WithoutFinalPaths,  // before Windows Vista
    WithoutNativeCalls  // the Windows 95 family: deletion by path
};

struct Calls {
    Lookup lookup = Lookup::Everything;
    bool counting = false;
    int count = 0;
    int actAt = 0;  // the call before which act runs; 0: none
    std::function<void()> act;
    std::map<std::string, DWORD> readFailures;  // full path -> error of GetFileAttributesA
    std::string finalPathFails;                 // an item's name whose final path cannot be read
    std::vector<std::string> changes;           // "open|clear|dispose <name>", "set|delete|remove <path>"
    // Windows' sharing rule, which Wine does not enforce for directories:
    // what a handle holds without FILE_SHARE_DELETE nobody deletes or
    // renames, nor a directory with anything open below it.
    bool windowsSharing = false;
    std::set<std::string> links;  // full paths, upper case, of links Wine shows as plain files
};
Calls calls;

// What Windows tells of a handle that Wine does not: opened on a link with
// FILE_OPEN_REPARSE_POINT, the handle is the link's own (its attributes
// show it, its final path is where it lies); and what it holds against
// deletion.
struct Opened {
    std::string name;  // as opened, relative to its directory
    std::string path;  // full path, upper case, of what it is a handle of
    ULONG share;
    bool link;
};
std::map<HANDLE, Opened> opened;
const NTSTATUS SharingViolation = (NTSTATUS)0xC0000043L;

bool Tick()
{
    if (!calls.counting)
        return false;
    if (++calls.count == calls.actAt) {
        calls.counting = false;
        calls.act();
        calls.counting = true;
    }
    return true;
}

void Record(const std::string &change)
{
    if (Tick())
        calls.changes.push_back(change);
}

decltype(&GetProcAddress) realGetProcAddress;
decltype(&GetFileAttributesA) realGetAttributes;
decltype(&GetFileAttributesW) realGetAttributesW;
decltype(&GetFullPathNameA) realGetFullPath;
decltype(&CreateFileA) realCreateFile;
decltype(&CloseHandle) realCloseHandle;
decltype(&SetFileAttributesA) realSetAttributes;
decltype(&DeleteFileA) realDeleteFile;
decltype(&RemoveDirectoryA) realRemoveDirectory;
decltype(&MoveFileExA) realMove;
NTSTATUS(NTAPI *realOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
NTSTATUS(NTAPI *realQueryInformation)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
NTSTATUS(NTAPI *realSetInformation)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
DWORD(WINAPI *realFinalPath)(HANDLE, LPSTR, DWORD, DWORD);
DWORD(WINAPI *realFinalPathW)(HANDLE, LPWSTR, DWORD, DWORD);

std::string Upper(std::string text)
{
    CharUpperBuffA(&text[0], (DWORD)text.size());
    return text;
}

// Where a handle leads, upper case, without the "\\?\" prefix; "" when
// unknown.
std::string FinalPathOf(HANDLE item)
{
    auto known = opened.find(item);
    if (known != opened.end())
        return known->second.path;
    char final[MAX_PATH + 8];
    DWORD n = realFinalPath(item, final, sizeof final, 0);
    if (n == 0 || n >= sizeof final)
        return "";
    return Upper(std::string(final + (strncmp(final, "\\\\?\\", 4) == 0 ? 4 : 0), final + n));
}

bool IsBelow(const std::string &path, const std::string &dir)
{
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '\\';
}

// Whether Windows would refuse to delete path (or, with whole, to rename
// it) because of a handle other than except.
bool HeldAgainstDeletion(const std::string &path, HANDLE except, bool whole)
{
    if (!calls.windowsSharing || path.empty())
        return false;
    for (const auto &held : opened)
        if (held.first != except &&
            ((held.second.path == path && !(held.second.share & FILE_SHARE_DELETE)) ||
             (whole && IsBelow(held.second.path, path))))
            return true;
    return false;
}

// A path as Windows resolves it, upper case; "" when it does not fit.
std::string FullPath(LPCSTR path)
{
    char full[MAX_PATH];
    DWORD n = realGetFullPath(path, sizeof full, full, NULL);
    return n > 0 && n < sizeof full ? Upper(full) : "";
}

DWORD WINAPI AnsweredGetAttributes(LPCSTR path)
{
    Tick();
    auto failure = calls.readFailures.find(path);
    if (failure == calls.readFailures.end())
        return realGetAttributes(path);
    SetLastError(failure->second);
    return INVALID_FILE_ATTRIBUTES;
}
DWORD WINAPI CountedGetAttributesW(LPCWSTR path)
{
    Tick();
    return realGetAttributesW(path);
}
NTSTATUS NTAPI CountedQueryInformation(HANDLE item, PIO_STATUS_BLOCK status, PVOID info, ULONG size,
                                       FILE_INFORMATION_CLASS kind)
{
    Tick();
    NTSTATUS result = realQueryInformation(item, status, info, size, kind);
    auto known = opened.find(item);
    if (result >= 0 && kind == FileBasicInformation && known != opened.end() && known->second.link)
        ((FILE_BASIC_INFORMATION *)info)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return result;
}
DWORD WINAPI CountedGetFullPath(LPCSTR path, DWORD size, LPSTR buffer, LPSTR *name)
{
    Tick();
    return realGetFullPath(path, size, buffer, name);
}
HANDLE WINAPI CountedCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model)
{
    Tick();
    HANDLE item = realCreateFile(path, access, share, security, disposition, flags, model);
    // Directories only: a file's handle goes to the C library, which closes
    // it through an import of its own.
    if (item != INVALID_HANDLE_VALUE && (flags & FILE_FLAG_BACKUP_SEMANTICS))
        opened[item] = {path, FinalPathOf(item), share, false};
    return item;
}
BOOL WINAPI CountedCloseHandle(HANDLE item)
{
    Tick();
    opened.erase(item);
    return realCloseHandle(item);
}
BOOL WINAPI RecordedSetAttributes(LPCSTR path, DWORD attributes)
{
    Record(std::string("set ") + path);
    return realSetAttributes(path, attributes);
}
BOOL WINAPI RecordedDeleteFile(LPCSTR path)
{
    Record(std::string("delete ") + path);
    if (HeldAgainstDeletion(FullPath(path), NULL, false)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    // Windows deletes a link to a file, Wine what it leads to; the test
    // removes its links itself.
    if (calls.links.count(FullPath(path)))
        return TRUE;
    return realDeleteFile(path);
}
BOOL WINAPI RecordedRemoveDirectory(LPCSTR path)
{
    Record(std::string("remove ") + path);
    if (HeldAgainstDeletion(FullPath(path), NULL, false)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return realRemoveDirectory(path);
}
// Another party's rename, held to the same rule.
BOOL WINAPI SharingMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (HeldAgainstDeletion(FullPath(from), NULL, true)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return realMove(from, to, flags);
}
NTSTATUS NTAPI RecordedOpenFile(PHANDLE item, ACCESS_MASK access, POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK status,
                                ULONG share, ULONG options)
{
    std::string name = Encode(std::wstring(object->ObjectName->Buffer, object->ObjectName->Length / sizeof(WCHAR)),
                              CP_ACP);
    Record("open " + name);
    NTSTATUS result = realOpenFile(item, access, object, status, share, options);
    if (result < 0)
        return result;
    std::string own = FinalPathOf(object->RootDirectory) + "\\" + Upper(name);
    DWORD attributes = realGetAttributes(own.c_str());
    bool link = (options & FILE_OPEN_REPARSE_POINT) &&
                (calls.links.count(own) ||
                 (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)));
    Opened entry = {name, link ? own : FinalPathOf(*item), share, link};
    if ((access & DELETE) && HeldAgainstDeletion(entry.path, *item, false)) {
        realCloseHandle(*item);
        *item = NULL;
        return SharingViolation;
    }
    opened[*item] = entry;
    return result;
}
NTSTATUS NTAPI RecordedSetInformation(HANDLE item, PIO_STATUS_BLOCK status, PVOID info, ULONG size,
                                      FILE_INFORMATION_CLASS kind)
{
    auto known = opened.find(item);
    Record(std::string(kind == FileDispositionInformation ? "dispose " : "clear ") +
           (known == opened.end() ? "a handle not open" : known->second.name));
    return realSetInformation(item, status, info, size, kind);
}
DWORD WINAPI CountedFinalPath(HANDLE item, LPWSTR path, DWORD size, DWORD flags)
{
    Tick();
    auto known = opened.find(item);
    if (known == opened.end())
        return realFinalPathW(item, path, size, flags);
    if (!calls.finalPathFails.empty() && known->second.name == calls.finalPathFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (!known->second.link)
        return realFinalPathW(item, path, size, flags);
    std::string narrow = "\\\\?\\" + known->second.path;
    std::wstring own(narrow.size(), L'\0');
    own.resize(MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), (int)narrow.size(), &own[0], (int)own.size()));
    if (own.size() >= size)
        return (DWORD)own.size() + 1;
    memcpy(path, own.c_str(), (own.size() + 1) * sizeof(WCHAR));
    return (DWORD)own.size();
}

FARPROC WINAPI LookedUp(HMODULE module, LPCSTR name)
{
    FARPROC real = realGetProcAddress(module, name);
    if (HIWORD((ULONG_PTR)name) == 0 || !real)
        return real;
    std::string wanted = name;
    if (wanted == "GetFinalPathNameByHandleW") {
        realFinalPathW = (decltype(realFinalPathW))real;
        return calls.lookup == Lookup::Everything ? (FARPROC)&CountedFinalPath : NULL;
    }
    if (wanted == "NtOpenFile") {
        realOpenFile = (decltype(realOpenFile))real;
        return calls.lookup == Lookup::WithoutNativeCalls ? NULL : (FARPROC)&RecordedOpenFile;
    }
    if (wanted == "NtQueryInformationFile") {
        realQueryInformation = (decltype(realQueryInformation))real;
        return calls.lookup == Lookup::WithoutNativeCalls ? NULL : (FARPROC)&CountedQueryInformation;
    }
    if (wanted == "NtSetInformationFile") {
        realSetInformation = (decltype(realSetInformation))real;
        return calls.lookup == Lookup::WithoutNativeCalls ? NULL : (FARPROC)&RecordedSetInformation;
    }
    return real;
}

// The current directory for a test's lifetime.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string &dir)
    {
        GetCurrentDirectoryA(sizeof previous_, previous_);
        SetCurrentDirectoryA(dir.c_str());
    }
    ~ScopedCurrentDirectory() { SetCurrentDirectoryA(previous_); }

private:
    char previous_[MAX_PATH] = "";
};

// The "Group" value as registration stores it, and the group's folder
// removed after the test.
class ScopedGroup {
public:
    explicit ScopedGroup(const std::string &name) : folder_(ProgramsFolder() + "\\" + name)
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) !=
            ERROR_SUCCESS)
            return;
        RegSetValueExA(key, "Group", 0, REG_SZ, (const BYTE *)name.c_str(), (DWORD)name.size() + 1);
        RegCloseKey(key);
    }
    ~ScopedGroup()
    {
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        RemoveTree(folder_);
    }

private:
    std::string folder_;
};

// The passes under each lookup the product may meet.
class ListPassesObserved : public ListPasses, public testing::WithParamInterface<Lookup> {
protected:
    void SetUp() override
    {
        calls = Calls();
        calls.lookup = GetParam();
        started.clear();
        boxes.clear();
        opened.clear();
        realGetProcAddress = lookup_.Original<decltype(realGetProcAddress)>();
        realFinalPath = (decltype(realFinalPath))realGetProcAddress(GetModuleHandleA("KERNEL32"),
                                                                    "GetFinalPathNameByHandleA");
        realFinalPathW = (decltype(realFinalPathW))realGetProcAddress(GetModuleHandleA("KERNEL32"),
                                                                      "GetFinalPathNameByHandleW");
        realMove = move_.Original<decltype(realMove)>();
        realGetAttributes = read_.Original<decltype(realGetAttributes)>();
        realGetAttributesW = readWide_.Original<decltype(realGetAttributesW)>();
        realGetFullPath = fullPath_.Original<decltype(realGetFullPath)>();
        realCreateFile = create_.Original<decltype(realCreateFile)>();
        realCloseHandle = close_.Original<decltype(realCloseHandle)>();
        realSetAttributes = set_.Original<decltype(realSetAttributes)>();
        realDeleteFile = delete_.Original<decltype(realDeleteFile)>();
        realRemoveDirectory = remove_.Original<decltype(realRemoveDirectory)>();
        ASSERT_TRUE(lookup_.Installed() && read_.Installed() && readWide_.Installed() && fullPath_.Installed() &&
                    create_.Installed() &&
                    close_.Installed() && set_.Installed() && delete_.Installed() && remove_.Installed() &&
                    move_.Installed());
    }
    // Runs run with its calls counted and the changing ones recorded.
    void Observe(const std::function<void()> &run)
    {
        calls.count = 0;
        calls.changes.clear();
        calls.counting = true;
        run();
        calls.counting = false;
    }
    int Observed(const std::string &list)
    {
        int passes = 0;
        Observe([&] { passes = Passes(list); });
        return passes;
    }

    // A step of the uninstall and the place it works below: the directory
    // whose items it deletes, or the script's name in the temporary
    // directory. lay makes the place anew.
    struct Step {
        const char *about;
        std::string place;
        bool file;  // the script's name, not a directory
        std::function<void()> lay;
        std::function<void()> run;
    };
    std::vector<Step> Steps()
    {
        auto layTwo = [](const std::string &dir) {
            LayFile(dir + "\\file.txt", "inside");
            LayFile(dir + "\\ro.txt", "inside", FILE_ATTRIBUTE_READONLY);
        };
        std::string group = ProgramsFolder() + "\\QEL Swap";
        std::string script = temp_ / "Uninstall.Qel.Bat";
        return {
            {"the list", dir_ / "sub", false, [=] { layTwo(dir_ / "sub"); },
             [this] { Passes("sub\\file.txt\r\nsub\\ro.txt\r\nsub\r\n"); }},
            {"the group", group, false, [=] { layTwo(group); }, [] { RemoveProgramGroup(); }},
            {"the script", script, true, [=] { LayFile(script, "leftover"); },
             [this] {
                 ImportHook start("KERNEL32.dll", "CreateProcessA", (void *)&RecordedInterpreterStart);
                 ImportHook exit("KERNEL32.dll", "ExitProcess", (void *)&HandOffEndsTheTests);
                 ImportHook box("USER32.dll", "MessageBoxA", (void *)&RecordedBox);
                 // The hand-off leaves it for the parent.
                 SetCurrentDirectoryA(dir_.Path().c_str());
                 StartCleanupScript((dir_ / "Uninstall.exe").c_str(), 0);
             }},
        };
    }
    // Runs step once to count its calls, then once for each of them with act
    // run just before it; after each run, check, and the place is cleared.
    void BeforeEachCall(const Step &step, const std::function<void()> &act,
                        const std::function<void(const std::string &)> &check)
    {
        RemoveTree(step.place);
        step.lay();
        calls.actAt = 0;
        Observe(step.run);
        const int total = calls.count;
        calls.act = act;
        for (int at = 1; at <= total; at++) {
            RemoveTree(step.place);
            step.lay();
            calls.actAt = at;
            Observe(step.run);
            std::string where = std::string(step.about) + ", before call " + std::to_string(at) + " of " +
                                std::to_string(total);
            for (const std::string &change : calls.changes)
                EXPECT_EQ(std::string::npos, change.find("a handle not open")) << change << ", " << where;
            check(where);
            RemoveTree(step.place + ".away");
            RemoveTree(step.place);
        }
        calls.actAt = 0;
    }

    bool ByHandle() const { return GetParam() != Lookup::WithoutNativeCalls; }
    std::string Full(const std::string &relative) { return dir_ / relative; }

    // Made before the hooks, which answer only from SetUp on.
    ScratchDir temp_{"observed temp"};
    ScopedEnv tmp_{"TMP", temp_.Path()};
    ScopedEnv tempVar_{"TEMP", temp_.Path()};
    ScopedCurrentDirectory current_{dir_.Path()};
    ScopedGroup group_{"QEL Swap"};
    ImportHook lookup_{"KERNEL32.dll", "GetProcAddress", (void *)&LookedUp};
    ImportHook read_{"KERNEL32.dll", "GetFileAttributesA", (void *)&AnsweredGetAttributes};
    ImportHook readWide_{"KERNEL32.dll", "GetFileAttributesW", (void *)&CountedGetAttributesW};
    ImportHook fullPath_{"KERNEL32.dll", "GetFullPathNameA", (void *)&CountedGetFullPath};
    ImportHook create_{"KERNEL32.dll", "CreateFileA", (void *)&CountedCreateFile};
    ImportHook close_{"KERNEL32.dll", "CloseHandle", (void *)&CountedCloseHandle};
    ImportHook set_{"KERNEL32.dll", "SetFileAttributesA", (void *)&RecordedSetAttributes};
    ImportHook delete_{"KERNEL32.dll", "DeleteFileA", (void *)&RecordedDeleteFile};
    ImportHook remove_{"KERNEL32.dll", "RemoveDirectoryA", (void *)&RecordedRemoveDirectory};
    ImportHook move_{"KERNEL32.dll", "MoveFileExA", (void *)&SharingMove};
};

std::string LookupName(const testing::TestParamInfo<Lookup> &info)
{
    const char *names[] = {"Everything", "WithoutFinalPaths", "WithoutNativeCalls"};
    return names[(int)info.param];
}

INSTANTIATE_TEST_SUITE_P(Lookups, ListPassesObserved,
                         testing::Values(Lookup::Everything, Lookup::WithoutFinalPaths, Lookup::WithoutNativeCalls),
                         LookupName);

TEST_P(ListPassesObserved, AnAttributeReadFailingForAnotherReasonThanAbsenceStillClearsAndDeletes)
{
    const DWORD errors[] = {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_INVALID_NAME,
                            ERROR_NOT_READY,     ERROR_BAD_NETPATH,       ERROR_CANT_RESOLVE_FILENAME};
    const std::string locked = Full("locked.txt");
    for (DWORD error : errors) {
        LayFile(locked, "locked", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        calls.readFailures = {{locked, error}};
        EXPECT_EQ(2, Observed("locked.txt\r\n")) << "error " << error;
        EXPECT_FALSE(Exists("locked.txt")) << "error " << error;
        EXPECT_EQ(ByHandle() ? std::vector<std::string>({"open locked.txt", "clear locked.txt",
                                                         "dispose locked.txt", "open locked.txt"})
                             : std::vector<std::string>({"set " + locked, "delete " + locked, "set " + locked,
                                                         "delete " + locked}),
                  calls.changes)
            << "error " << error << ": both passes try it";
    }
}

TEST_P(ListPassesObserved, AnEntryThatIsNotThereCostsOneReadAndIsNeitherOpenedNorDeleted)
{
    LayFile(dir_ / "present.txt", "present");
    MakeDirs(dir_ / "Dir");
    EXPECT_EQ(2, Observed("present.txt\r\nmissing.txt\r\nNo Dir\\file.txt\r\nDir\r\n"));
    EXPECT_EQ(ByHandle() ? std::vector<std::string>({"open present.txt", "dispose present.txt", "open Dir",
                                                     "dispose Dir"})
                         : std::vector<std::string>({"set " + Full("present.txt"), "delete " + Full("present.txt"),
                                                     "set " + Full("Dir"), "remove " + Full("Dir")}),
              calls.changes)
        << "the second pass finds nothing there and changes nothing";
}

TEST_P(ListPassesObserved, ANameWithWildcardsReadAsAbsentIsStillTriedAsWrittenAndExpandsNothing)
{
    LayFile(dir_ / "w1.txt", "w1");
    LayFile(dir_ / "w2.txt", "w2");
    calls.readFailures = {{Full("w*.txt"), ERROR_FILE_NOT_FOUND}, {Full("w?.txt"), ERROR_PATH_NOT_FOUND}};
    EXPECT_EQ(1, Observed("w*.txt\r\nw?.txt\r\n"));
    EXPECT_EQ(ByHandle() ? std::vector<std::string>({"open w*.txt", "open w?.txt"})
                         : std::vector<std::string>({"set " + Full("w*.txt"), "delete " + Full("w*.txt"),
                                                     "set " + Full("w?.txt"), "delete " + Full("w?.txt")}),
              calls.changes);
    EXPECT_EQ("w1", ReadFile(dir_ / "w1.txt")) << "nothing is expanded";
    EXPECT_EQ("w2", ReadFile(dir_ / "w2.txt"));
}

TEST_P(ListPassesObserved, EntryResolvingOutsideTheInstallationIsNeverOpened)
{
    ScratchDir outside("list passes outside");
    LayFile(outside / "victim.txt", "victim");
    EXPECT_EQ(1, Observed("..\\list passes outside\\victim.txt\r\nsub\\..\\..\\list passes outside\r\n..\r\n.\r\n"));
    EXPECT_TRUE(calls.changes.empty()) << calls.changes[0];
    EXPECT_EQ("victim", ReadFile(outside / "victim.txt"));
}

// Links one and two directories above an entry, one above two directories
// leading elsewhere in the installation, and an item whose final path
// cannot be read: each is left with what it leads to.
TEST_P(ListPassesObserved, LinksAboveAnEntryAndUnreadableFinalPathsKeepWhatTheyLeadTo)
{
    if (!ByHandle())
        GTEST_SKIP() << "the Windows 95 family has no links";
    ScratchDir outside("list passes outside");
    LayFile(outside / "secret.txt", "secret");
    LayFile(outside / "sub\\deep.txt", "deep", FILE_ATTRIBUTE_READONLY);
    LayFile(dir_ / "own.txt", "own");
    LayFile(dir_ / "unread.txt", "unread");
    const TreeState before = ReadTreeState(outside.Path());
    LayFile(dir_ / "Real\\B\\kept.txt", "kept");
    UnixLink link(dir_ / "Plugins", outside.Path());
    UnixLink inner(dir_ / "Inner", dir_ / "Real");
    ASSERT_TRUE(link.Made() && inner.Made());
    if (GetParam() == Lookup::Everything)
        calls.finalPathFails = "unread.txt";

    EXPECT_EQ(2, Observed("Plugins\\secret.txt\r\nPlugins\\sub\\deep.txt\r\nPlugins\\sub\r\nPlugins\r\n"
                          "Inner\\B\\kept.txt\r\nown.txt\r\nunread.txt\r\n"));
    EXPECT_TRUE(before == ReadTreeState(outside.Path())) << "the tree the link leads to changed";
    EXPECT_EQ("kept", ReadFile(dir_ / "Real\\B\\kept.txt"));
    EXPECT_TRUE(Exists("Plugins\\secret.txt")) << "the link went";
    EXPECT_FALSE(Exists("own.txt"));
    EXPECT_EQ(GetParam() == Lookup::Everything, Exists("unread.txt"));
}

// Another user swaps the place a step works below (a directory on the
// entries' way, the group folder, the script's name) for a link to an
// outside directory or file of the same names, or lays the link where the
// step removed the place, before each of the step's platform calls in turn,
// Wine letting any of them be renamed: whenever it happens, nothing outside
// changes.
TEST_P(ListPassesObserved, PlaceSwappedForALinkBeforeAnyCallChangesNothingOutside)
{
    if (!ByHandle())
        GTEST_SKIP() << "the Windows 95 family has no links";
    ScratchDir outside("swap outside");
    // Laid anew after each run, so that each position shows its own harm.
    auto layOutside = [&] {
        RemoveTree(outside / "file.txt");
        RemoveTree(outside / "ro.txt");
        LayFile(outside / "file.txt", "outside");
        LayFile(outside / "ro.txt", "outside", FILE_ATTRIBUTE_READONLY);
    };
    layOutside();
    const TreeState before = ReadTreeState(outside.Path());
    for (const Step &step : Steps()) {
        std::unique_ptr<UnixLink> link;
        // Where the place can be neither renamed nor found gone, there is
        // nothing to swap.
        BeforeEachCall(step,
                       [&] {
                           MoveFileExA(step.place.c_str(), (step.place + ".away").c_str(), 0);
                           if (GetFileAttributesA(step.place.c_str()) != INVALID_FILE_ATTRIBUTES)
                               return;
                           link.reset(new UnixLink(step.place, step.file ? outside / "file.txt" : outside.Path()));
                           calls.links.insert(Upper(step.place));
                       },
                       [&](const std::string &where) {
                           EXPECT_TRUE(!link || link->Made()) << where;
                           link.reset();
                           calls.links.clear();
                           EXPECT_TRUE(before == ReadTreeState(outside.Path())) << where;
                           layOutside();
                       });
    }
}

// Under Windows' sharing rule, another party moves the checked directory
// out of the installation or the Programs folder before each call: it goes
// only when nothing holds it, and then nothing is deleted at its new place.
TEST_P(ListPassesObserved, CheckedDirectoryMovedAwayIsNeverEmptiedAtItsNewPlace)
{
    ScratchDir outside("moved outside");
    const std::string moved = outside / "moved";
    calls.windowsSharing = true;
    for (const Step &step : Steps()) {
        if (step.file)
            continue;
        TreeState atMove;
        BeforeEachCall(step,
                       [&] {
                           if (MoveFileExA(step.place.c_str(), moved.c_str(), 0))
                               atMove = ReadTreeState(moved);
                       },
                       [&](const std::string &where) {
                           if (DirExists(moved))
                               EXPECT_TRUE(atMove == ReadTreeState(moved)) << where;
                           RemoveTree(moved);
                       });
    }
}

// Under Windows' sharing rule, the group folder goes only once the step has
// let go of it.
TEST_P(ListPassesObserved, GroupFolderHeldByTheStepIsLetGoBeforeItsDeletion)
{
    calls.windowsSharing = true;
    const Step group = Steps()[1];
    group.lay();
    ASSERT_TRUE(SetFileAttributesA((group.place + "\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    group.run();
    EXPECT_FALSE(DirExists(group.place));
}

// Under Windows' sharing rule, a listed empty directory that another
// program holds stays, and is work left.
TEST_P(ListPassesObserved, ListedEmptyDirectoryHeldElsewhereIsWorkLeft)
{
    calls.windowsSharing = true;
    MakeDirs(dir_ / "Empty");
    HANDLE held = CreateFileA((dir_ / "Empty").c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(1, Passes("Empty\r\n"));
    EXPECT_EQ(1, WorkLeft());
    CloseHandle(held);
    EXPECT_TRUE(DirExists(dir_ / "Empty"));
}

// A link that Wine shows as a plain file and Windows reports through the
// handle opened on it: a listed one, and one at the script's name, keep
// their place and what they lead to; then there is no script, and the user
// is told.
TEST_P(ListPassesObserved, LinkReportedOnlyThroughItsHandleIsLeftWithWhatItLeadsTo)
{
    if (!ByHandle())
        GTEST_SKIP() << "the Windows 95 family has no links";
    ScratchDir outside("handle link outside");
    for (const Step &step : {Step{"the list", dir_ / "linked.txt", true, nullptr, [this] { Passes("linked.txt\r\n"); }},
                             Steps()[2]}) {
        SCOPED_TRACE(step.about);
        LayFile(outside / "secret.txt", "secret");
        const TreeState before = ReadTreeState(outside.Path());
        UnixLink link(step.place, outside / "secret.txt");
        ASSERT_TRUE(link.Made());
        calls.links = {Upper(step.place)};
        step.run();
        EXPECT_TRUE(before == ReadTreeState(outside.Path()));
        EXPECT_TRUE(FileExists(step.place)) << "the link went";
    }
    EXPECT_TRUE(started.empty()) << started[0];
    EXPECT_EQ(std::vector<UINT>{MB_SETFOREGROUND | MB_ICONINFORMATION}, boxes) << "the warning, once";
}

// The cleanup script for C:\Program Files\Qel\Uninstall.exe on the NT family
// with the temporary directory C:\TEMP\, byte for byte.
const char ExampleScript[] =
    "\"C:\\Program Files\\Qel\\Uninstall.exe\" wait\r\n"
    "del \"C:\\Program Files\\Qel\\Uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Qel\"\r\n"
    "if not exist \"C:\\Program Files\\Qel\\Uninstall.exe\" goto done\r\n"
    "del \"C:\\Program Files\\Qel\\Uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Qel\"\r\n"
    "if not exist \"C:\\Program Files\\Qel\\Uninstall.exe\" goto done\r\n"
    "del \"C:\\Program Files\\Qel\\Uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Qel\"\r\n"
    "if not exist \"C:\\Program Files\\Qel\\Uninstall.exe\" goto done\r\n"
    "del \"C:\\Program Files\\Qel\\Uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Qel\"\r\n"
    "if not exist \"C:\\Program Files\\Qel\\Uninstall.exe\" goto done\r\n"
    "del \"C:\\Program Files\\Qel\\Uninstall.exe\"\r\n"
    "rd \"C:\\Program Files\\Qel\"\r\n"
    "if not exist \"C:\\Program Files\\Qel\\Uninstall.exe\" goto done\r\n"
    ":done\r\n"
    "if exist \"C:\\Program Files\\Qel\\Uninstall.exe\" \"C:\\Program Files\\Qel\\Uninstall.exe\" Warning\r\n"
    "del \"C:\\TEMP\\Uninstall.Qel.Bat\"";

// The three pieces composed in buffers one byte larger than the size given,
// the extra byte holding the marker.
struct Pieces {
    char head[ScriptPieceSize + 1];
    char block[ScriptPieceSize + 1];
    char tail[ScriptPieceSize + 1];
    int headOk, blockOk, tailOk;

    Pieces(int win9x, const char *module, const char *dir, const char *script, int quiet = 0)
    {
        memset(this, Marker, sizeof *this);
        headOk = FormatScriptHead(head, ScriptPieceSize, win9x, module);
        blockOk = FormatScriptBlock(block, ScriptPieceSize, module, dir);
        tailOk = FormatScriptTail(tail, ScriptPieceSize, quiet, module, script);
    }
    std::string Script() const
    {
        std::string text = head;
        for (int i = 0; i < ScriptBlockCount; i++)
            text += block;
        return text + tail;
    }
    bool MarkersIntact() const
    {
        return head[ScriptPieceSize] == Marker && block[ScriptPieceSize] == Marker &&
               tail[ScriptPieceSize] == Marker;
    }
};

TEST(CleanupScript, NineteenLinesByteForByteWithCrLfAfterAllButTheLast)
{
    Pieces pieces(0, "C:\\Program Files\\Qel\\Uninstall.exe", "C:\\Program Files\\Qel",
                  "C:\\TEMP\\Uninstall.Qel.Bat");
    ASSERT_TRUE(pieces.headOk && pieces.blockOk && pieces.tailOk);
    std::string script = pieces.Script();
    EXPECT_EQ(std::string(ExampleScript), script);
    EXPECT_EQ(18, std::count(script.begin(), script.end(), '\n'));
    EXPECT_TRUE(pieces.MarkersIntact());

    // A quiet uninstall's script leaves out the warning run, nothing else.
    Pieces quiet(0, "C:\\Program Files\\Qel\\Uninstall.exe", "C:\\Program Files\\Qel", "C:\\TEMP\\Uninstall.Qel.Bat", 1);
    std::string expected = ExampleScript;
    size_t warning = expected.find("if exist");
    expected.erase(warning, expected.find('\n', warning) + 1 - warning);
    EXPECT_EQ(expected, quiet.Script());
    EXPECT_TRUE(quiet.MarkersIntact());
}

TEST(CleanupScript, Windows95FamilyStartsTheWaitRunWithPathAndWordInOneQuote)
{
    Pieces pieces(1, "C:\\Program Files\\Qel\\Uninstall.exe", "C:\\Program Files\\Qel",
                  "C:\\TEMP\\Uninstall.Qel.Bat");
    ASSERT_TRUE(pieces.headOk && pieces.blockOk && pieces.tailOk);
    EXPECT_STREQ("start /wait \"C:\\Program Files\\Qel\\Uninstall.exe wait\"\r\n", pieces.head);
    // Everything after line 1 is the same on both families.
    std::string nt = ExampleScript;
    std::string script = pieces.Script();
    EXPECT_EQ(nt.substr(nt.find('\n') + 1), script.substr(script.find('\n') + 1));
}

TEST(CleanupScript, EveryPercentOfEveryPathIsDoubled)
{
    Pieces pieces(0, "C:\\a%b%c\\Uninstall.exe", "C:\\a%b%c", "C:\\T%EMP%\\Uninstall.Qel.Bat");
    ASSERT_TRUE(pieces.headOk && pieces.blockOk && pieces.tailOk);
    EXPECT_STREQ("\"C:\\a%%b%%c\\Uninstall.exe\" wait\r\n", pieces.head);
    EXPECT_STREQ("del \"C:\\a%%b%%c\\Uninstall.exe\"\r\n"
                 "rd \"C:\\a%%b%%c\"\r\n"
                 "if not exist \"C:\\a%%b%%c\\Uninstall.exe\" goto done\r\n",
                 pieces.block);
    EXPECT_STREQ(":done\r\n"
                 "if exist \"C:\\a%%b%%c\\Uninstall.exe\" \"C:\\a%%b%%c\\Uninstall.exe\" Warning\r\n"
                 "del \"C:\\T%%EMP%%\\Uninstall.Qel.Bat\"",
                 pieces.tail);
    Pieces quiet(0, "C:\\a%b%c\\Uninstall.exe", "C:\\a%b%c", "C:\\T%EMP%\\Uninstall.Qel.Bat", 1);
    EXPECT_STREQ(":done\r\ndel \"C:\\T%%EMP%%\\Uninstall.Qel.Bat\"", quiet.tail);
    Pieces win9x(1, "C:\\a%b%c\\Uninstall.exe", "C:\\a%b%c", "C:\\TEMP\\Uninstall.Qel.Bat");
    EXPECT_STREQ("start /wait \"C:\\a%%b%%c\\Uninstall.exe wait\"\r\n", win9x.head);
}

TEST(CleanupScript, LongestPathsWithoutPercentFit)
{
    std::string dir = "C:\\" + std::string(242, 'd');
    std::string module = dir + "\\Uninstall.exe";  // 259 bytes
    std::string script = "C:\\" + std::string(238, 't') + "\\Uninstall.Qel.Bat";
    ASSERT_EQ(259u, module.size());
    ASSERT_EQ(259u, script.size());
    Pieces pieces(1, module.c_str(), dir.c_str(), script.c_str());
    EXPECT_TRUE(pieces.headOk && pieces.blockOk && pieces.tailOk);
    EXPECT_TRUE(pieces.MarkersIntact());
}

TEST(CleanupScript, PieceThatDoesNotFitIsRefusedAndLeftEmpty)
{
    // Doubled, each path needs 518 bytes: a block of three no longer fits.
    std::string percents(259, '%');
    Pieces pieces(0, percents.c_str(), percents.c_str(), percents.c_str());
    EXPECT_TRUE(pieces.headOk);
    EXPECT_FALSE(pieces.blockOk);
    EXPECT_FALSE(pieces.tailOk);
    EXPECT_STREQ("", pieces.block);
    EXPECT_STREQ("", pieces.tail);
    EXPECT_TRUE(pieces.MarkersIntact());

    // A path longer than the platform allows, doubled, does not fit at all.
    std::string tooLong(300, '%');
    Pieces refused(1, tooLong.c_str(), "C:\\Qel", "C:\\TEMP\\Uninstall.Qel.Bat");
    EXPECT_FALSE(refused.headOk || refused.blockOk || refused.tailOk);
    EXPECT_STREQ("", refused.head);
    EXPECT_TRUE(refused.MarkersIntact());
}

struct EscapeCase {
    const char *name;
    const char *path;
    size_t size;
    const char *escaped;  // nullptr: refused
};

const EscapeCase EscapeCases[] = {
    {"no percent", "C:\\Qel", 7, "C:\\Qel"},
    {"no percent, one byte short", "C:\\Qel", 6, nullptr},
    {"one percent doubled", "C:\\a%b", 8, "C:\\a%%b"},
    {"doubled percent at the limit", "a%", 4, "a%%"},
    {"doubled percent one byte past the limit", "a%", 3, nullptr},
    {"a pair becomes four", "%%", 5, "%%%%"},
    {"empty path", "", 1, ""},
    {"no room at all", "", 0, nullptr},
};

TEST(EscapePercent, DoublesEveryPercentWithinTheBuffer)
{
    for (const EscapeCase &c : EscapeCases) {
        char buffer[16];
        memset(buffer, Marker, sizeof buffer);
        int ok = EscapePercent(buffer, c.size, c.path);
        EXPECT_EQ(c.escaped != nullptr, ok != 0) << c.name;
        if (c.escaped)
            EXPECT_STREQ(c.escaped, buffer) << c.name;
        else if (c.size > 0)
            EXPECT_EQ('\0', buffer[0]) << c.name;
        EXPECT_EQ(Marker, buffer[c.size]) << c.name;
    }
}

struct CommandCase {
    const char *name;
    int win9x;
    const char *scriptPath;
    const char *installDir;
    const char *commandLine;
    bool bareName;  // started in the script's directory
};

const CommandCase CommandCases[] = {
    {"plain path in one pair of quotes", 0, "C:\\TEMP\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"C:\\TEMP\\Uninstall.Qel.Bat\"", false},
    {"blanks alone keep one pair", 0, "C:\\Documents and Settings\\Jo\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"C:\\Documents and Settings\\Jo\\Uninstall.Qel.Bat\"", false},
    {"ampersand and parentheses get a second pair", 0, "C:\\John (Work) & Co\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"\"C:\\John (Work) & Co\\Uninstall.Qel.Bat\"\"", false},
    {"a comma gets a second pair", 0, "C:\\Smith, John\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"\"C:\\Smith, John\\Uninstall.Qel.Bat\"\"", false},
    {"a semicolon gets a second pair", 0, "C:\\t;x\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"\"C:\\t;x\\Uninstall.Qel.Bat\"\"", false},
    {"an equals sign gets a second pair", 0, "C:\\t=x\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"\"C:\\t=x\\Uninstall.Qel.Bat\"\"", false},
    {"bytes above 0x7F change nothing", 0, "C:\\J\xFCrgen\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"C:\\J\xFCrgen\\Uninstall.Qel.Bat\"", false},
    {"a percent pair: the bare name", 0, "C:\\a%USERNAME%b\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"Uninstall.Qel.Bat\"", true},
    {"one percent: the bare name", 0, "C:\\100%\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"Uninstall.Qel.Bat\"", true},
    {"percent and comma: the bare name needs one pair", 0, "C:\\a%b, c\\Uninstall.Qel.Bat", "C:\\Qel",
     "\"C:\\cmd.exe\" /c \"Uninstall.Qel.Bat\"", true},
    {"percent in a directory above the installation", 0, "C:\\T%\\Uninstall.Qel.Bat", "C:\\T%\\Qel",
     "\"C:\\cmd.exe\" /c \"Uninstall.Qel.Bat\"", true},
    {"percent, but the script lies in the installation directory", 0, "C:\\Qel %x\\Uninstall.Qel.Bat",
     "C:\\Qel %x", "\"C:\\cmd.exe\" /c \"C:\\Qel %x\\Uninstall.Qel.Bat\"", false},
    {"the same directory in other letter case", 0, "C:\\QEL %X\\Uninstall.Qel.Bat", "c:\\qel %x",
     "\"C:\\cmd.exe\" /c \"C:\\QEL %X\\Uninstall.Qel.Bat\"", false},
    {"Windows 95 family: one pair for a comma", 1, "C:\\Smith, John\\Uninstall.Qel.Bat", "C:\\Qel",
     "C:\\cmd.exe /c \"C:\\Smith, John\\Uninstall.Qel.Bat\"", false},
    {"Windows 95 family: the path with its percent", 1, "C:\\a%b%\\Uninstall.Qel.Bat", "C:\\Qel",
     "C:\\cmd.exe /c \"C:\\a%b%\\Uninstall.Qel.Bat\"", false},
};

TEST(ScriptCommand, NamesTheScriptSoThatTheInterpreterSplitsNothingAndExpandsNothing)
{
    for (const CommandCase &c : CommandCases) {
        const char *argument = ScriptArgument(c.win9x, c.scriptPath, c.installDir);
        EXPECT_EQ(c.bareName ? c.scriptPath + strlen(c.scriptPath) - strlen("Uninstall.Qel.Bat") : c.scriptPath,
                  argument)
            << c.name;
        char line[512 + 1];
        memset(line, Marker, sizeof line);
        EXPECT_TRUE(FormatScriptCommand(line, 512, c.win9x, "C:\\cmd.exe", argument)) << c.name;
        EXPECT_STREQ(c.commandLine, line) << c.name;
        EXPECT_EQ(Marker, line[512]) << c.name;
    }
}

TEST(ScriptCommand, CommandLineOf511BytesFitsAndOneMoreIsRefused)
{
    const std::string script = "C:\\t,x\\Uninstall.Qel.Bat";
    for (int win9x : {0, 1}) {
        // interpreter + " /c " + the quoted script: 511 bytes; the NT
        // family quotes the interpreter and this script twice.
        size_t quotes = win9x ? 2 : 6;
        std::string interpreter(511 - 4 - quotes - script.size(), 'c');
        for (size_t extra : {0u, 1u}) {
            std::string longer = interpreter + std::string(extra, 'c');
            char line[512 + 1];
            memset(line, Marker, sizeof line);
            int fit = FormatScriptCommand(line, 512, win9x, longer.c_str(), script.c_str());
            EXPECT_EQ(extra == 0, fit != 0) << win9x << " " << extra;
            EXPECT_EQ(extra == 0 ? 511u : 0u, strlen(line)) << win9x << " " << extra;
            EXPECT_EQ(Marker, line[512]);
        }
    }
}

// GetBatchPath under the test's own code pages (1252 and 437), with the
// product's short-path query answered by the platform or by the test.
enum class ShortForm { Platform, Fails, IsTheLongPath };
enum class BatchForm { AsItIs, Oem, Short };

struct BatchPathCase {
    const char *name;
    const wchar_t *leaf;  // below the scratch root
    bool exists;
    ShortForm shortForm;
    BatchForm expected;
};

const BatchPathCase BatchPathCases[] = {
    {"ASCII stays as it is", L"batch plain", true, ShortForm::Platform, BatchForm::AsItIs},
    {"an accent that 437 holds at another byte", L"batch caf\u00e9", true, ShortForm::Platform, BatchForm::Oem},
    {"a letter that 437 lacks: the short form", L"batch \u0160koda", true, ShortForm::Platform, BatchForm::Short},
    {"a letter that 437 lacks, nothing on the disk: as it is", L"batch \u0160koda gone", false,
     ShortForm::Platform, BatchForm::AsItIs},
    {"a letter that 437 lacks, no short form: as it is", L"batch \u0160koda", true, ShortForm::Fails,
     BatchForm::AsItIs},
    {"a letter that 437 lacks, short names off: as it is", L"batch \u0160koda", true, ShortForm::IsTheLongPath,
     BatchForm::AsItIs},
};

decltype(&GetShortPathNameA) realGetShortPath;
ShortForm shortForm;

DWORD WINAPI AnsweredGetShortPath(LPCSTR path, LPSTR buffer, DWORD size)
{
    switch (shortForm) {
    case ShortForm::Fails:
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    case ShortForm::IsTheLongPath:
        if (strlen(path) >= size)
            return (DWORD)strlen(path) + 1;
        strcpy(buffer, path);
        return (DWORD)strlen(path);
    default:
        return realGetShortPath(path, buffer, size);
    }
}

TEST(BatchPath, OemCodePageWhereItHoldsThePathElseTheShortFormElseThePathAsItIs)
{
    ASSERT_EQ(1252u, GetACP());
    ASSERT_EQ(437u, GetOEMCP());
    ImportHook hook("KERNEL32.dll", "GetShortPathNameA", (void *)&AnsweredGetShortPath);
    ASSERT_TRUE(hook.Installed());
    realGetShortPath = hook.Original<decltype(realGetShortPath)>();
    for (const BatchPathCase &c : BatchPathCases) {
        std::unique_ptr<WideScratchDir> dir;
        std::wstring path = std::wstring(L"C:\\qel tests\\") + c.leaf;
        if (c.exists)
            dir.reset(new WideScratchDir(c.leaf));
        std::string ansi = Encode(path, 1252);
        std::string expected = c.expected == BatchForm::AsItIs ? ansi
                               : c.expected == BatchForm::Oem  ? Encode(path, 437)
                                                               : Encode(ShortPath(path), 437);
        if (c.expected != BatchForm::AsItIs)
            EXPECT_NE(ansi, expected) << c.name << ": the case shows nothing";
        shortForm = c.shortForm;
        char buffer[MAX_PATH + 1];
        memset(buffer, Marker, sizeof buffer);
        EXPECT_EQ(1, GetBatchPath(buffer, MAX_PATH, ansi.c_str())) << c.name;
        EXPECT_EQ(expected, std::string(buffer)) << c.name;
        EXPECT_EQ(Marker, buffer[MAX_PATH]) << c.name;
    }
}

TEST(BatchPath, PathThatFillsTheBufferExactlyFitsAndOneByteLessIsRefused)
{
    // The last has a short form that would fit: a path without room is
    // refused all the same, never named another way.
    WideScratchDir longer(L"a directory with a long name");
    std::string existing = "C:\\qel tests\\a directory with a long name";
    for (const std::string &path : {std::string("C:\\Qel\\Uninstall.exe"), std::string("C:\\Caf\xE9\\Uninstall.exe"),
                                    std::string("C:\\\x8Akoda gone"), existing}) {
        size_t room = path.size() + 1;
        for (size_t size : {room, room - 1}) {
            char buffer[64];
            memset(buffer, Marker, sizeof buffer);
            EXPECT_EQ(size == room, GetBatchPath(buffer, (DWORD)size, path.c_str()) != 0) << path << " " << size;
            EXPECT_EQ(size == room ? room - 1 : 0u, strlen(buffer)) << path << " " << size;
            EXPECT_EQ(Marker, buffer[size]) << path << " " << size;
        }
    }
}

// StartCleanupScript on a disk that fills up: it must tell the user that
// the executable is left and return, with no script left and no
// interpreter started.
class CleanupScriptOnAFullDisk : public testing::Test {
protected:
    void SetUp() override
    {
        started.clear();
        boxes.clear();
        ASSERT_TRUE(create_.Installed() && exit_.Installed() && box_.Installed());
        GetCurrentDirectoryA(sizeof previous_, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(install_.Path().c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(previous_); }

    ScratchDir install_{"full disk install"};
    ScratchDir temp_{"full disk temp"};
    ScopedEnv tmp_{"TMP", temp_.Path()};
    ScopedEnv tempVar_{"TEMP", temp_.Path()};
    ImportHook create_{"KERNEL32.dll", "CreateProcessA", (void *)&RecordedCreateProcess};
    ImportHook exit_{"KERNEL32.dll", "ExitProcess", (void *)&HandOffEndsTheTests};
    ImportHook box_{"USER32.dll", "MessageBoxA", (void *)&RecordedBox};
    char previous_[MAX_PATH] = "";
};

TEST_F(CleanupScriptOnAFullDisk, FailedWriteOrCloseLeavesNoScriptStartsNothingAndTellsTheUser)
{
    // Writes 1 to 7: the head, the five blocks, the tail; 0: the close.
    for (int failing = 0; failing <= 7; failing++) {
        SCOPED_TRACE(failing ? "write " + std::to_string(failing) : std::string("close"));
        {
            FullDisk disk(failing, failing == 0);
            ASSERT_TRUE(disk.Installed());
            StartCleanupScript((install_ / "Uninstall.exe").c_str(), 0);
            EXPECT_EQ(failing ? failing : 7, disk.Writes()) << "writes after the failure";
        }
        EXPECT_FALSE(FileExists(temp_ / "Uninstall.Qel.Bat")) << "a partial script is left";
        EXPECT_TRUE(started.empty()) << started[0];
        EXPECT_EQ(std::vector<UINT>{MB_SETFOREGROUND | MB_ICONINFORMATION}, boxes) << "the warning, once";
        boxes.clear();
        char current[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof current, current);
        EXPECT_EQ(install_.Path(), current);
    }
}

}  // namespace
