// Long and hostile inputs to the uninstall, end to end through the real
// executable: an installation path at the platform's limit, list lines of
// 519 bytes and longer, stored group names of 259 and 260 characters,
// installation directories whose names hold '%', '&', '^' and blanks,
// installation and temporary directories named beyond ASCII or with
// characters cmd misreads on its command line, and no "COMSPEC" at all.
// Each gives the outcome the README and the product's headers state, or is
// refused, and nothing beside the installation changes.
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "imports.h"
#include "layout.h"
#include "progman.h"
#include "remove/remove.h"

using namespace bench;

namespace {

const char OutsideLeaf[] = "hostile outside";
// "\Uninstall.exe" after the installation directory.
const size_t ExeNameLength = 14;
// The longest path the platform hands back in 260 bytes with its terminator.
const size_t LongestPath = 259;

// The longest line read at once.
const size_t LinePiece = 519;

class Hostile : public testing::Test {
protected:
    void SetUp() override
    {
        CleanRegistry();
        DeleteFileA(CleanupScriptPath().c_str());
        LayFile(outside_ / "victim.txt", "victim");
        LayFile(outside_ / "read-only.txt", "read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        LayFile(outside_ / "sub\\deep.txt", "deep");
        MakeDirs(outside_ / "empty");
        outsideBefore_ = ReadTreeState(outside_.Path());
    }

    void TearDown() override
    {
        EXPECT_TRUE(outsideBefore_ == ReadTreeState(outside_.Path())) << "the tree beside the installation changed";
        CleanRegistry();
        DeleteFileA(CleanupScriptPath().c_str());
    }

    static void CleanRegistry()
    {
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, SettingsKey);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, UninstallEntry);
    }

    // Files below dir, each listed or not, and the list naming the listed
    // ones.
    static void LayOut(const ScratchDir &dir, const std::vector<std::string> &listed,
                       const std::vector<std::string> &unlisted, const std::string &moreLines = "")
    {
        std::string list;
        for (const std::string &item : listed) {
            LayFile(dir / item, "listed " + item);
            list += item + "\r\n";
        }
        for (const std::string &item : unlisted)
            LayFile(dir / item, "unlisted " + item);
        WriteFile(dir / "Uninstall.lst", list + moreLines);
    }

    ScratchDir outside_{OutsideLeaf};
    TreeState outsideBefore_;
};

// A leaf name that makes "C:\qel tests\<leaf>\Uninstall.exe" exactly length
// bytes long, beginning with prefix and padded with 'p'.
std::string LeafForExePath(const std::string &prefix, size_t length)
{
    return prefix + std::string(length - (strlen(ScratchRoot) + 1) - ExeNameLength - prefix.size(), 'p');
}

TEST_F(Hostile, LongestInstallationPathUninstallsAndEntriesPastTheLimitAreSkippedNotCut)
{
    ScratchDir dir(LeafForExePath("longest path ", LongestPath));
    std::string exe = dir.Install();
    ASSERT_EQ(LongestPath, exe.size());
    ASSERT_TRUE(FileExists(exe));
    // The installation directory with its backslash leaves 13 bytes for an
    // entry: a 13-byte name goes, a 14-byte one is skipped. If it were cut
    // instead, "keep12345.txtx" and "keep12345.txt\x" would name the kept
    // file.
    size_t room = LongestPath - (dir.Path().size() + 1);
    ASSERT_EQ(13u, room);
    LayOut(dir, {"a.txt", "s\\b.txt", "thirteen.char"}, {"keep12345.txt"},
           "s\r\nkeep12345.txtx\r\nkeep12345.txt\\x\r\n");
    InterpreterStandin standin;

    EXPECT_EQ(0, UninstallAnsweringYes(exe, ScratchRoot));

    std::map<std::string, std::string> left = ReadTree(dir.Path());
    EXPECT_EQ(1u, left.erase("Uninstall.exe")) << "the script has not run yet";
    EXPECT_EQ((std::map<std::string, std::string>{{"keep12345.txt", "unlisted keep12345.txt"}}), left);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    ASSERT_TRUE(standin.Wait()) << "the interpreter was not started";
    EXPECT_EQ(ExpectedCleanupScript(Is9x(), exe, dir.Path(), CleanupScriptPath()), standin.Script());
    EXPECT_EQ(standin.ExpectedCommandLine("\"" + CleanupScriptPath() + "\""), standin.CommandLine());
}

// One byte more than the longest module path: Wine starts no program from
// there at all.
TEST_F(Hostile, InstallationPathOneBytePastTheLimitDoesNothing)
{
    ScratchDir dir(LeafForExePath("too long ", LongestPath + 1));
    std::string exe = dir / "Uninstall.exe";
    ASSERT_EQ(LongestPath + 1, exe.size());
    std::wstring wide(exe.begin(), exe.end());
    std::string product = ProductExe();
    std::wstring source(product.begin(), product.end());
    ASSERT_TRUE(CopyFileW(source.c_str(), (L"\\\\?\\" + wide).c_str(), FALSE)) << GetLastError();

    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::string line = "\"" + exe + "\"";
    SetAppFamily("Uninstall.exe", TestFamily());
    BOOL started = CreateProcessA(exe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info);
    DWORD error = GetLastError();
    if (started) {
        // Where a platform starts it, the program must not act on a module
        // path it could not hold: no box, the list untouched, and an exit
        // code that says the uninstall did not happen.
        Process run(info.hProcess, info.dwProcessId);
        CloseHandle(info.hThread);
        EXPECT_FALSE(BoxAppearedUntilExit(run, ""));
        EXPECT_EQ(1603, run.Wait());
    }
    DeleteFileW((L"\\\\?\\" + wide).c_str());
    if (!started)
        GTEST_SKIP() << "the platform starts no program from a path of " << exe.size() << " bytes (error "
                     << error << ")";
}

// The same rule where the platform does hand over such a path: a module path
// that fills the buffer to its last byte (cut, its terminator in that byte,
// the buffer's size returned) is a failure. The uninstall runs in this
// program, with the platform's answers replaced.
std::string longModule;
decltype(&GetModuleFileNameA) realModuleFileName;
int boxesShown;

DWORD WINAPI FilledModuleFileName(HMODULE module, LPSTR path, DWORD size)
{
    if (module || size == 0)
        return realModuleFileName(module, path, size);
    lstrcpynA(path, longModule.c_str(), (int)size);
    return size;
}

// A box, should one come, is counted and answered No.
int WINAPI CountedBox(HWND, LPCSTR, LPCSTR, UINT)
{
    boxesShown++;
    return IDNO;
}

TEST_F(Hostile, ModulePathFillingItsWholeBufferShowsNoBoxAndDeletesNothing)
{
    ScratchDir dir("full buffer");
    LayOut(dir, {"listed.txt"}, {});
    // Cut inside its last name, so that the directory left is this one.
    longModule = dir / std::string(400, 'x');
    ImportHook module("KERNEL32.dll", "GetModuleFileNameA", (void *)&FilledModuleFileName);
    ImportHook box("USER32.dll", "MessageBoxA", (void *)&CountedBox);
    ASSERT_TRUE(module.Installed() && box.Installed());
    realModuleFileName = module.Original<decltype(realModuleFileName)>();
    char current[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof current, current));
    boxesShown = 0;

    RunUninstall();
    SetCurrentDirectoryA(current);

    EXPECT_EQ(0, boxesShown);
    EXPECT_EQ("listed listed.txt", ReadFile(dir / "listed.txt"));
    EXPECT_TRUE(FileExists(dir / "Uninstall.lst"));
}

// Wine's cmd waits forever on the Windows 95 family's first line, so the
// real interpreter runs the script only on the NT family.
TEST_F(Hostile, LongestInstallationPathIsRemovedByTheRealInterpreter)
{
    if (Is9x())
        GTEST_SKIP() << "the Windows 95 family's script runs under the stand-in only";
    ScratchDir dir(LeafForExePath("longest path ", LongestPath));
    std::string exe = dir.Install();
    LayOut(dir, {"a.txt", "thirteen.char"}, {});

    EXPECT_EQ(0, UninstallAnsweringYes(exe, dir.Path()));

    EXPECT_TRUE(WaitUntilGone(dir.Path(), 30000)) << "the installation directory is still there";
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000)) << "the script did not delete itself";
    Box box;
    EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
}

class LongLines : public Hostile {
protected:
    // These cases are about the list: the script goes to the stand-in, and
    // no interpreter is still at work when the fixture removes the
    // installation or the next case writes its script.
    InterpreterStandin standin_;
    ScratchDir dir_{"long lines"};
    std::string exe_ = dir_.Install();
    // The longest name whose target path still fits: a cut target path of a
    // longer entry that begins with it would name it.
    std::string limitName_ = std::string(LongestPath - (dir_.Path().size() + 1), 'n');
};

TEST_F(LongLines, LineOf519BytesIsOneEntryAndItsLineEndIsAnEmptyPiece)
{
    auto padded = [](const std::string &entry, size_t length) { return entry + std::string(length - entry.size(), ' '); };
    // 519 bytes: the whole line in one read, the line end in the next.
    std::string list = padded("first.txt", LinePiece) + "\r\n" + "second.txt\r\n";
    // 518 bytes: the carriage return ends the first read, the line feed is
    // the next one.
    list += padded("third.txt", LinePiece - 1) + "\r\n" + "fourth.txt\r\n";
    // 519 bytes of a path too long for the platform, whose first 259 bytes
    // would name the kept file.
    std::string tooLong = limitName_ + "\\";
    list += tooLong + std::string(LinePiece - tooLong.size(), 'y') + "\r\n";
    LayOut(dir_, {}, {"first.txt", "second.txt", "third.txt", "fourth.txt", limitName_}, list);
    ASSERT_EQ("unlisted " + limitName_, ReadFile(dir_ / limitName_));

    EXPECT_EQ(0, UninstallAnsweringYes(exe_, dir_.Path()));

    std::map<std::string, std::string> left = ReadTree(dir_.Path());
    for (const char *gone : {"first.txt", "second.txt", "third.txt", "fourth.txt"})
        EXPECT_FALSE(left.count(gone)) << gone;
    EXPECT_EQ("unlisted " + limitName_, left[limitName_]);
    EXPECT_TRUE(standin_.Wait());
}

TEST_F(LongLines, LongerLineIsReadInPiecesOfWhichNoneReachesOutsideOrIsCut)
{
    const std::string head(LinePiece, 'x');
    const std::string victim = std::string(OutsideLeaf) + "\\victim.txt";
    std::string list;
    // Tails that would lead out of the installation.
    list += head + "..\\" + victim + "\r\n";
    list += head + "\\..\\" + victim + "\r\n";
    list += head + "../" + OutsideLeaf + "/empty\r\n";
    list += head + "..\\" + OutsideLeaf + "\r\n";
    list += head + ScratchRoot + "\\" + victim + "\r\n";
    // A first piece too long for the platform whose cut would name the kept
    // file, then a way out.
    std::string first = limitName_ + "\\";
    list += first + std::string(LinePiece - first.size(), 'y') + "..\\" + victim + "\r\n";
    // Each piece inside is an entry of its own: the second and the third
    // piece of these lines name files of the installation.
    list += head + "piece.txt\r\n";
    list += head + head + "third piece.txt\r\n";
    list += head + "last piece.txt";  // no line end
    LayOut(dir_, {}, {"piece.txt", "third piece.txt", "last piece.txt", limitName_}, list);

    EXPECT_EQ(0, UninstallAnsweringYes(exe_, dir_.Path()));

    std::map<std::string, std::string> left = ReadTree(dir_.Path());
    for (const char *gone : {"piece.txt", "third piece.txt", "last piece.txt"})
        EXPECT_FALSE(left.count(gone)) << gone;
    EXPECT_EQ("unlisted " + limitName_, left[limitName_]);
    EXPECT_TRUE(standin_.Wait());
}

// The "Group" value as registration leaves it, or as bytes of another
// writer, and what the Program Manager hears at the uninstall.
class StoredGroup : public Hostile {
protected:
    void SetUp() override
    {
        Hostile::SetUp();
        programs_ = ProgramsFolder();
        ASSERT_FALSE(programs_.empty()) << "the shell names no Programs folder";
        // Doubled backslashes collapse when the platform resolves a path, so
        // the long names below spell this folder: a cut folder path would
        // reach it.
        tools_ = programs_ + "\\Tools";
        LayFile(tools_ + "\\QEL.lnk", "[InternetShortcut]\r\n");
    }
    void TearDown() override
    {
        RemoveTree(tools_);
        Hostile::TearDown();
    }

    // Registers the group through the real executable as the installer does.
    void Register(const std::string &exe, const std::string &name)
    {
        Process run = StartWithTail(exe, " register " + name, ScratchRoot, TestFamily());
        ASSERT_TRUE(run.Started());
        EXPECT_FALSE(BoxAppearedUntilExit(run, ""));
        EXPECT_EQ(0, run.Wait());
    }

    // Uninstalls with a recorder serving "PROGMAN" and returns what it
    // received.
    std::vector<std::string> UninstallRecording(const std::string &exe, int *connects)
    {
        ProgmanRecorder progman;
        EXPECT_TRUE(progman.Ready());
        InterpreterStandin standin;
        EXPECT_EQ(0, UninstallAnsweringYes(exe, ScratchRoot));
        EXPECT_TRUE(standin.Wait());
        *connects = progman.Connects();
        return progman.Executes();
    }

    std::string programs_;
    std::string tools_;
};

std::string ToolsSpelledWith(size_t length)
{
    return "Tools" + std::string(length - 5, '\\');
}

TEST_F(StoredGroup, NameOf259CharactersRegisteredIsSentWholeAndItsFolderLeftAlone)
{
    ScratchDir dir;
    std::string exe = dir.Install();
    LayOut(dir, {"a.txt"}, {});
    std::string name = ToolsSpelledWith(259);
    Register(exe, name);
    ASSERT_EQ(Sz(name), ReadRegValue(HKEY_CURRENT_USER, SettingsKey, "Group").data);

    int connects = 0;
    std::vector<std::string> executes = UninstallRecording(exe, &connects);

    EXPECT_EQ(1, connects);
    ASSERT_EQ(1u, executes.size());
    EXPECT_EQ(Sz("[DeleteGroup(" + name + ")]"), executes[0]);
    EXPECT_EQ(275u, executes[0].size());
    // The group folder path does not fit: no folder work.
    EXPECT_TRUE(FileExists(tools_ + "\\QEL.lnk"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, SettingsKey));
}

TEST_F(StoredGroup, NameOf259CharactersWithTheCommandsSyntaxIsSentQuotedWhole)
{
    ScratchDir dir;
    std::string exe = dir.Install();
    LayOut(dir, {"a.txt"}, {});
    // "Tools)" spelled out to 259 characters: a folder below the Programs
    // folder whose path is too long for the folder work.
    std::string name = "Tools)" + std::string(253, '\\');
    Register(exe, name);
    ASSERT_EQ(Sz(name), ReadRegValue(HKEY_CURRENT_USER, SettingsKey, "Group").data);

    int connects = 0;
    std::vector<std::string> executes = UninstallRecording(exe, &connects);

    ASSERT_EQ(1u, executes.size());
    EXPECT_EQ(Sz("[DeleteGroup(\"" + name + "\")]"), executes[0]);
    EXPECT_EQ(277u, executes[0].size());
    EXPECT_TRUE(FileExists(tools_ + "\\QEL.lnk"));
}

TEST_F(StoredGroup, NameOf260CharactersRegisteredReadsAsNoGroup)
{
    ScratchDir dir;
    std::string exe = dir.Install();
    LayOut(dir, {"a.txt"}, {});
    std::string name = ToolsSpelledWith(260);
    Register(exe, name);
    ASSERT_EQ(Sz(name), ReadRegValue(HKEY_CURRENT_USER, SettingsKey, "Group").data);

    int connects = 0;
    std::vector<std::string> executes = UninstallRecording(exe, &connects);

    EXPECT_EQ(0, connects);
    EXPECT_TRUE(executes.empty());
    EXPECT_TRUE(FileExists(tools_ + "\\QEL.lnk"));
    EXPECT_FALSE(FileExists(dir / "a.txt"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, SettingsKey));
}

TEST_F(StoredGroup, NameStoredWithoutItsTerminatorIsSentUpTo259CharactersOnly)
{
    for (size_t length : {259u, 260u}) {
        SCOPED_TRACE(length);
        ScratchDir dir;
        std::string exe = dir.Install();
        LayOut(dir, {"a.txt"}, {});
        std::string name = ToolsSpelledWith(length);
        ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, SettingsKey, "Group", REG_SZ, name));

        int connects = 0;
        std::vector<std::string> executes = UninstallRecording(exe, &connects);

        if (length == 259) {
            ASSERT_EQ(1u, executes.size());
            EXPECT_EQ(Sz("[DeleteGroup(" + name + ")]"), executes[0]);
        } else {
            EXPECT_EQ(0, connects);
            EXPECT_TRUE(executes.empty());
        }
        EXPECT_TRUE(FileExists(tools_ + "\\QEL.lnk"));
        CleanRegistry();
    }
}

// Installation directory names that the command interpreter would read as
// syntax outside double quotes or without the doubled '%', each with the
// decoy a misreading would delete: the script runs from the scratch root.
struct HostileName {
    const char *leaf;
    const char *decoy;  // relative to the scratch root; nullptr: none
};

const HostileName HostileNames[] = {
    {"amp & del decoy.txt", "decoy.txt"},
    {"caret^x", "caretx\\Uninstall.exe"},
    {"pct %QELVAR% 100%", "pct expanded 100\\Uninstall.exe"},
    {"  (paren) ; , = ! & ^ %% blanks", nullptr},
};

class HostileDirectoryNames : public Hostile {
protected:
    void SetUp() override
    {
        Hostile::SetUp();
        for (const HostileName &name : HostileNames) {
            if (!name.decoy)
                continue;
            std::string decoy = std::string(ScratchRoot) + "\\" + name.decoy;
            LayFile(decoy, "decoy");
            decoys_.push_back(decoy);
        }
    }
    void TearDown() override
    {
        for (const std::string &decoy : decoys_) {
            EXPECT_EQ("decoy", ReadFile(decoy)) << decoy;
            RemoveTree(decoy);
            std::string parent = decoy.substr(0, decoy.find_last_of('\\'));
            if (parent != ScratchRoot)
                RemoveDirectoryA(parent.c_str());
        }
        Hostile::TearDown();
    }

    ScopedEnv variable_{"QELVAR", "expanded"};
    std::vector<std::string> decoys_;
};

TEST_F(HostileDirectoryNames, ScriptOfTheWindows95FamilyQuotesAndDoublesThemByteForByte)
{
    if (!Is9x())
        GTEST_SKIP() << "the NT family's script runs under the real interpreter below";
    for (const HostileName &name : HostileNames) {
        SCOPED_TRACE(name.leaf);
        ScratchDir dir(name.leaf);
        std::string exe = dir.Install();
        LayOut(dir, {"listed & 50%.txt"}, {});
        InterpreterStandin standin;

        EXPECT_EQ(0, UninstallAnsweringYes(exe, dir.Path()));

        EXPECT_FALSE(FileExists(dir / "listed & 50%.txt"));
        ASSERT_TRUE(standin.Wait());
        EXPECT_EQ(ExpectedCleanupScript(true, exe, dir.Path(), CleanupScriptPath()), standin.Script());
    }
}

TEST_F(HostileDirectoryNames, RealInterpreterRemovesTheExecutableAndTheDirectory)
{
    if (Is9x())
        GTEST_SKIP() << "the Windows 95 family's script runs under the stand-in only";
    for (const HostileName &name : HostileNames) {
        SCOPED_TRACE(name.leaf);
        ScratchDir dir(name.leaf);
        std::string exe = dir.Install();
        LayOut(dir, {"listed & 50%.txt"}, {});

        EXPECT_EQ(0, UninstallAnsweringYes(exe, dir.Path()));

        EXPECT_TRUE(WaitUntilGone(dir.Path(), 30000)) << "the installation directory is still there";
        EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000)) << "the script did not delete itself";
        Box box;
        EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
        // The next name's script goes where this one was.
        EXPECT_TRUE(ExpectStartedProcessesEnd());
    }
}

// The installation and temporary directories of NameCases, each under its
// locale: names that the ANSI and the OEM code page write differently, and
// temporary directories that the NT family's cmd would misread on its
// command line (split at '&', ',', ';' or '=', or expand between '%').
class Names : public Hostile {
protected:
    // One case laid out: the installation with a listed file, and the
    // temporary directory the uninstall and everything it starts sees.
    struct Run {
        explicit Run(const NameCase &c)
            : install(c.installLeaf), temp(c.tempLeaf), tmp("TMP", temp.Path()), tempVar("TEMP", temp.Path())
        {
            LayFile(install / "listed.txt", "listed");
            WriteFile(install / "Uninstall.lst", "listed.txt\r\n");
        }
        WideScratchDir install;
        WideScratchDir temp;
        std::wstring exe = install.Install();
        std::wstring script = temp.Path() + L"\\Uninstall.Qel.Bat";
        std::string shortScript = temp / "Uninstall.Qel.Bat";
        ScopedEnv tmp;
        ScopedEnv tempVar;
    };

    // Whether both names reach a program under the case's locale as they
    // should; nothing else is trusted otherwise. Asked once per case.
    static testing::AssertionResult NamesArrive(const NameCase &c)
    {
        static std::set<const NameCase *> arrived;
        if (arrived.count(&c))
            return testing::AssertionSuccess();
        WideScratchDir install(c.installLeaf), temp(c.tempLeaf);
        testing::AssertionResult result = NameArrivesInAnsi(*c.locale, install.Path());
        if (result)
            result = NameArrivesInAnsi(*c.locale, temp.Path());
        if (result)
            arrived.insert(&c);
        return result;
    }

    // path as a batch file under the case's locale must hold it: in the OEM
    // code page, or by its short form where that code page lacks a
    // character.
    static std::string BatchBytes(const NameCase &c, const std::wstring &path, bool shortForm)
    {
        bool exact = false;
        std::string oem = Encode(path, c.locale->oem, &exact);
        EXPECT_NE(shortForm, exact) << "code page " << c.locale->oem << " and '" << oem << "'";
        return shortForm ? Encode(ShortPath(path), c.locale->oem) : oem;
    }

    ScopedEnv variable_{"QELVAR", "expanded"};
};

TEST_F(Names, ScriptHoldsEveryPathInTheOemCodePageAndTheCommandLineNamesItWhole)
{
    for (const NameCase &c : NameCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(NamesArrive(c));
        Run run(c);
        InterpreterStandin standin;

        EXPECT_EQ(0, UninstallAnsweringYes(*c.locale, run.exe, run.install.Path()));

        ASSERT_TRUE(standin.Wait()) << "the interpreter was not started";
        EXPECT_FALSE(FileExists(run.install / "listed.txt"));
        EXPECT_EQ(ExpectedCleanupScript(Is9x(), BatchBytes(c, run.exe, c.installShort),
                                        BatchBytes(c, run.install.Path(), c.installShort),
                                        BatchBytes(c, run.script, c.tempShort)),
                  standin.Script());
        std::string script = Encode(run.script, c.locale->ansi);
        std::string argument = "\"" + script + "\"";
        std::string currentDir = ScratchRoot;
        switch (Is9x() ? ScriptArgumentForm::Quoted : c.argument) {
        case ScriptArgumentForm::Quoted:
            break;
        case ScriptArgumentForm::DoubleQuoted:
            argument = "\"" + argument + "\"";
            break;
        case ScriptArgumentForm::BareName:
            argument = "\"Uninstall.Qel.Bat\"";
            currentDir = Encode(run.temp.Path(), c.locale->ansi);
            break;
        }
        EXPECT_EQ(standin.ExpectedCommandLine(argument), standin.CommandLine());
        EXPECT_EQ(currentDir, standin.CurrentDir());
    }
}

// Wine's cmd waits forever on the Windows 95 family's first line, so the
// real interpreter runs the script only on the NT family. Each case waits
// until its script is gone and its processes have ended, so that no
// interpreter of one case reads on in the next case's script.
class NamesWithInterpreter : public Names {
protected:
    void SetUp() override
    {
        if (Is9x())
            GTEST_SKIP() << "the Windows 95 family's script runs under the stand-in only";
        Names::SetUp();
    }
};

TEST_F(NamesWithInterpreter, RemovesTheExecutableTheDirectoryAndTheScriptWithoutAWarning)
{
    for (const NameCase &c : NameCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(NamesArrive(c));
        Run run(c);
        ASSERT_TRUE(DirExists(run.install.Short()));

        EXPECT_EQ(0, UninstallAnsweringYes(*c.locale, run.exe, run.install.Path()));

        EXPECT_TRUE(WaitUntilGone(run.install.Short(), 30000)) << "the installation directory is still there";
        EXPECT_TRUE(WaitUntilGone(run.shortScript, 30000)) << "the script did not delete itself";
        Box box;
        EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
        EXPECT_TRUE(ExpectStartedProcessesEnd());
    }
}

TEST_F(NamesWithInterpreter, ExecutableKeptInUseIsNamedInTheWarning)
{
    for (const NameCase &c : NameCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(NamesArrive(c));
        Run run(c);
        // Open without FILE_SHARE_DELETE: the script's "del" fails every time.
        HANDLE held = CreateFileW(run.exe.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);

        EXPECT_EQ(0, UninstallAnsweringYes(*c.locale, run.exe, run.install.Path()));

        Box box;
        bool warned = WaitForBox(Caption, &box, 30000);
        if (warned) {
            // The box's own text, not the test's code page's view of it.
            wchar_t text[1024] = L"";
            GetDlgItemTextW(box.window, 0xFFFF, text, 1024);
            auto warning = [](const std::wstring &exe) {
                return Encode(L"Uninstall completed\nYou should delete " + exe + L" manually", CP_UTF8);
            };
            // A program that the script had to start by its short form
            // may learn either form of its own path: Wine gives the long
            // one.
            std::string shown = Encode(text, CP_UTF8);
            if (c.installShort && shown != warning(run.exe))
                EXPECT_EQ(warning(ShortPath(run.exe)), shown);
            else
                EXPECT_EQ(warning(run.exe), shown);
            AnswerBox(box, IDOK);
        }
        EXPECT_TRUE(WaitUntilGone(run.shortScript, 30000)) << "the script did not delete itself";
        CloseHandle(held);
        EXPECT_TRUE(warned) << "no warning box";
        EXPECT_TRUE(ExpectStartedProcessesEnd());
    }
}

TEST_F(Hostile, WithoutComspecTheUserIsToldTheExecutableStaysAndNoScriptIsLeft)
{
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "COMSPEC empty" : "COMSPEC unset");
        ScratchDir dir;
        std::string exe = dir.Install();
        LayOut(dir, {"listed.txt"}, {"unlisted.txt"});
        std::unique_ptr<ScopedEnv> comspec(empty ? new ScopedEnv("COMSPEC", "") : new ScopedEnv("COMSPEC"));

        EXPECT_EQ(1603, UninstallAnsweringYes(exe, dir.Path(), {exe}));

        EXPECT_FALSE(FileExists(dir / "listed.txt"));
        EXPECT_FALSE(FileExists(dir / "Uninstall.lst"));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
        EXPECT_FALSE(FileExists(CleanupScriptPath())) << "a script nothing will run";
        EXPECT_TRUE(FileExists(exe));
        EXPECT_EQ("unlisted unlisted.txt", ReadFile(dir / "unlisted.txt"));
    }
}

}  // namespace
