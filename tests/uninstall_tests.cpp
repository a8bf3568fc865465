// The uninstall end to end, through the real executable: confirmation, the
// list file and its passes, the registry, and the hand-off to the cleanup
// script, whose bytes a stand-in interpreter records and which, on the NT
// family, Wine's own cmd also runs; the program group on the way.
#include <windows.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "layout.h"
#include "progman.h"

using namespace bench;

namespace {

const char Caption[] = "Uninstall QEL";
const char UninstallEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEL manager";
// Keys whose names begin like the settings key's; they are not the product's.
const char NeighbourKey[] = "Software\\Qel Neighbour";
const char ScratchRoot[] = "C:\\qel tests";
// With a blank, as an installer's group names often are.
const char GroupName[] = "QEL File Manager";

class Uninstall : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(CleanupScriptPath().c_str());
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            MakeKeyTree(root, "Software\\Qel", 3, 3);
            MakeKeyTree(root, NeighbourKey, 1, 1);
        }
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallEntry, 0, NULL, 0,
                                                 KEY_ALL_ACCESS, NULL, &key, NULL));
        RegSetValueExA(key, "DisplayName", 0, REG_SZ, (const BYTE *)"QEL file manager", 17);
        RegSetValueExA(key, "UninstallString", 0, REG_SZ, (const BYTE *)exe_.c_str(), (DWORD)exe_.size() + 1);
        RegCloseKey(key);
    }

    void TearDown() override
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeQuiet(root, "Software\\Qel");
            RegDeleteTreeQuiet(root, NeighbourKey);
        }
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, UninstallEntry);
        DeleteFileA(CleanupScriptPath().c_str());
        if (!group_.empty())
            RemoveTree(group_);
    }

    // The program group as the installer leaves it: its folder of
    // shortcuts and, as registration stores it, its name.
    void MakeProgramGroup(const std::vector<std::string> &shortcuts)
    {
        ASSERT_NE("", ProgramsFolder());
        group_ = ProgramsFolder() + "\\" + GroupName;
        MakeDirs(group_);
        for (const std::string &name : shortcuts)
            WriteFile(group_ + "\\" + name, "[InternetShortcut]\r\n");
        ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, "Software\\Qel", "Group", REG_SZ, Sz(GroupName)));
    }

    void ExpectRegistryUntouched()
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            EXPECT_EQ(3u, RegSubkeys(root, "Software\\Qel").size());
            EXPECT_EQ(3u, RegSubkeys(root, "Software\\Qel\\Key2\\Key1").size());
            EXPECT_TRUE(RegKeyExists(root, NeighbourKey));
        }
        EXPECT_EQ(Sz(exe_), ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "UninstallString").data);
    }

    void ExpectRegistryCleaned()
    {
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Qel"));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Qel"));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
        EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, NeighbourKey));
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, NeighbourKey));
        EXPECT_TRUE(
            RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    }

    // Answers the confirmation box of run and waits for it to close.
    void Confirm(const Process &run, int answer)
    {
        Box box;
        ASSERT_TRUE(WaitForBox(Caption, &box, 10000, run.Id())) << "no confirmation box";
        EXPECT_EQ("Continue with uninstall QEL", box.text);
        EXPECT_EQ(IDYES, box.defaultButton);
        AnswerBox(box, answer);
        ASSERT_TRUE(WaitForBoxClosed(box));
    }

    // Starts the uninstall in currentDir, answers Yes, and waits for its end
    // without any further box.
    void RunConfirmed(const std::string &exe, const std::string &currentDir)
    {
        Process run = StartWithTail(exe, "", currentDir, TestFamily());
        ASSERT_TRUE(run.Started());
        Confirm(run, IDYES);
        EXPECT_FALSE(BoxAppearedUntilExit(run, Caption));
        EXPECT_EQ(0, run.Wait());
    }

    ScratchDir dir_;
    std::string exe_ = dir_.Install();
    std::string group_;
};

TEST_F(Uninstall, AnswerNoChangesNothing)
{
    LayOutSampleInstallation(dir_.Path(), true);
    InterpreterStandin standin;
    std::map<std::string, std::string> before = ReadTree(dir_.Path());

    Process run = StartWithTail(exe_, "", dir_.Path(), TestFamily());
    Confirm(run, IDNO);
    EXPECT_FALSE(BoxAppearedUntilExit(run, Caption));
    EXPECT_EQ(0, run.Wait());

    EXPECT_EQ(before, ReadTree(dir_.Path()));
    ExpectRegistryUntouched();
    EXPECT_FALSE(FileExists(CleanupScriptPath()));
    EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
}

TEST_F(Uninstall, MissingListShowsTheErrorBoxWithOkOnlyAndChangesNothing)
{
    LayOutSampleInstallation(dir_.Path(), true);
    ASSERT_TRUE(DeleteFileA((dir_ / "Uninstall.lst").c_str()));
    InterpreterStandin standin;
    std::map<std::string, std::string> before = ReadTree(dir_.Path());

    Process run = StartWithTail(exe_, "", dir_.Path(), TestFamily());
    Confirm(run, IDYES);
    Box box;
    ASSERT_TRUE(WaitForBox(Caption, &box, 10000, run.Id())) << "no error box";
    EXPECT_EQ("Cannot open list file Uninstall.lst", box.text);
    if (BoxIconsDrawn())
        EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    AnswerBox(box, IDOK);
    EXPECT_EQ(0, run.Wait());

    EXPECT_EQ(before, ReadTree(dir_.Path()));
    ExpectRegistryUntouched();
    EXPECT_FALSE(FileExists(CleanupScriptPath()));
    EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
}

TEST_F(Uninstall, FullUninstallDeletesWhatIsListedKeepsTheRestAndHandsOverToTheScript)
{
    Layout layout = LayOutSampleInstallation(dir_.Path(), true);
    const std::vector<std::string> shortcuts = {"QEL.lnk", "QEL Editor.lnk", "Uninstall QEL.lnk"};
    MakeProgramGroup(shortcuts);
    InterpreterStandin standin;
    std::vector<std::string> executes;
    {
        // Serves until the program has ended.
        ProgmanRecorder progman;
        ASSERT_TRUE(progman.Ready());
        RunConfirmed(exe_, dir_.Path());
        executes = progman.Executes();
    }

    // Everything listed is gone, every unlisted file is there with its bytes
    // and so are its directories; the list file is gone.
    std::map<std::string, std::string> tree = ReadTree(dir_.Path());
    for (const std::string &item : layout.gone)
        EXPECT_FALSE(tree.count(item)) << item << " is still there";
    EXPECT_TRUE(tree.count("Uninstall.exe")) << "the script has not run yet";
    tree.erase("Uninstall.exe");
    EXPECT_EQ(layout.kept, tree);
    ExpectRegistryCleaned();

    // The group: its folder and shortcuts gone, the Program Manager asked
    // to delete it, zero included.
    for (const std::string &name : shortcuts)
        EXPECT_FALSE(FileExists(group_ + "\\" + name)) << name;
    EXPECT_FALSE(DirExists(group_));
    ASSERT_EQ(1u, executes.size());
    EXPECT_EQ(std::string("[DeleteGroup(QEL File Manager)]\0", 32), executes[0]);
    EXPECT_EQ(strlen(GroupName) + 16, executes[0].size());

    // The interpreter: the script in the temporary directory, byte for byte,
    // started from the installation directory's parent.
    ASSERT_TRUE(standin.Wait()) << "the interpreter was not started";
    EXPECT_EQ(ExpectedCleanupScript(Is9x(), exe_, dir_.Path(), CleanupScriptPath()), standin.Script());
    EXPECT_EQ(standin.Exe() + " /c \"" + CleanupScriptPath() + "\"", standin.CommandLine());
    EXPECT_EQ(ScratchRoot, standin.CurrentDir());
    if (Is9x())
        EXPECT_EQ("flags=0x100 show=0", standin.Startup()) << "detached, with the null device as std handles";
    else
        EXPECT_EQ("flags=0x1 show=0", standin.Startup()) << "hidden";
}

TEST_F(Uninstall, StartedFromAnotherDirectoryUsesTheListBesideTheExecutable)
{
    ScratchDir elsewhere("elsewhere");
    LayFile(elsewhere / "decoy.txt", "decoy");
    LayFile(elsewhere / "Uninstall.lst", "decoy.txt\r\n");
    LayFile(dir_ / "listed.txt", "listed");
    LayFile(dir_ / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    RunConfirmed(exe_, elsewhere.Path());

    EXPECT_FALSE(FileExists(dir_ / "listed.txt"));
    EXPECT_FALSE(FileExists(dir_ / "Uninstall.lst"));
    EXPECT_EQ("decoy", ReadFile(elsewhere / "decoy.txt"));
    EXPECT_EQ("decoy.txt\r\n", ReadFile(elsewhere / "Uninstall.lst"));
    ExpectRegistryCleaned();
    ASSERT_TRUE(standin.Wait());
    EXPECT_EQ(ScratchRoot, standin.CurrentDir());
}

TEST_F(Uninstall, ListEntryReachingOutsideTheInstallationLeavesThatFileAlone)
{
    ScratchDir outside("outside");
    LayFile(outside / "victim.txt", "victim");
    MakeDirs(outside / "empty");
    LayFile(dir_ / "inside.txt", "inside");
    LayFile(dir_ / "sub\\inside.txt", "inside");
    LayFile(dir_ / "Uninstall.lst",
            "..\\outside\\victim.txt\r\n"
            "../outside/victim.txt\r\n"
            "sub\\..\\..\\outside\\victim.txt\r\n"
            "sub/../../outside/victim.txt\r\n"
            "..\\outside\\empty\r\n"
            "..\\outside\r\n"
            "inside.txt\r\n"
            "sub\\inside.txt\r\n"
            "sub\r\n");
    InterpreterStandin standin;
    RunConfirmed(exe_, dir_.Path());

    EXPECT_EQ("victim", ReadFile(outside / "victim.txt"));
    EXPECT_TRUE(DirExists(outside / "empty"));
    EXPECT_FALSE(FileExists(dir_ / "inside.txt"));
    EXPECT_FALSE(DirExists(dir_ / "sub"));
    ASSERT_TRUE(standin.Wait());
}

TEST_F(Uninstall, PercentInTheInstallationPathIsDoubledInTheScript)
{
    ScratchDir percent("install 50%b%c");
    std::string exe = percent.Install();
    LayFile(percent / "listed.txt", "listed");
    LayFile(percent / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    RunConfirmed(exe, percent.Path());

    EXPECT_FALSE(FileExists(percent / "listed.txt"));
    ASSERT_TRUE(standin.Wait());
    std::string script = standin.Script();
    EXPECT_EQ(ExpectedCleanupScript(Is9x(), exe, percent.Path(), CleanupScriptPath()), script);
    EXPECT_NE(std::string::npos, script.find("rd \"C:\\qel tests\\install 50%%b%%c\"\r\n"));
}

TEST_F(Uninstall, ScriptThatWouldNotFitItsBufferIsNotWrittenAndTheProgramEnds)
{
    // 200 '%' in the directory's name: doubled, a script line outgrows its
    // buffer. The uninstall does the rest and ends as when the script
    // cannot be created.
    ScratchDir percents(std::string(200, '%'));
    std::string exe = percents.Install();
    LayFile(percents / "listed.txt", "listed");
    LayFile(percents / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    RunConfirmed(exe, percents.Path());

    EXPECT_FALSE(FileExists(percents / "listed.txt"));
    EXPECT_FALSE(FileExists(percents / "Uninstall.lst"));
    ExpectRegistryCleaned();
    EXPECT_FALSE(FileExists(CleanupScriptPath()));
    EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
    EXPECT_TRUE(FileExists(exe));
}

TEST_F(Uninstall, InterpreterPathTooLongForItsBufferStartsNothing)
{
    LayFile(dir_ / "listed.txt", "listed");
    LayFile(dir_ / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    ScopedEnv comspec("COMSPEC", "C:\\" + std::string(300, 'c') + ".exe");
    RunConfirmed(exe_, dir_.Path());

    EXPECT_FALSE(FileExists(dir_ / "listed.txt"));
    ExpectRegistryCleaned();
    EXPECT_FALSE(FileExists(CleanupScriptPath()));
    EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
    EXPECT_TRUE(FileExists(exe_));
}

// Wine's cmd reads the Windows 95 family's first line ("start /wait" with
// one quoted argument) as a window title and then waits forever, so the
// script runs for real only on the NT family here.
class UninstallWithInterpreter : public Uninstall {
protected:
    void SetUp() override
    {
        if (Is9x())
            GTEST_SKIP() << "the Windows 95 family's script runs under the stand-in only";
        char comspec[MAX_PATH] = "";
        GetEnvironmentVariableA("COMSPEC", comspec, sizeof comspec);
        ASSERT_NE(std::string(), comspec) << "no command interpreter";
        Uninstall::SetUp();
    }
};

TEST_F(UninstallWithInterpreter, ScriptRemovesTheExecutableTheDirectoryAndItself)
{
    LayOutSampleInstallation(dir_.Path(), false);
    RunConfirmed(exe_, dir_.Path());

    EXPECT_TRUE(WaitUntilGone(dir_.Path(), 30000)) << "the installation directory is still there";
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000)) << "the script did not delete itself";
    EXPECT_FALSE(FileExists(exe_));
    ExpectRegistryCleaned();
    Box box;
    EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
}

TEST_F(UninstallWithInterpreter, DirectoryWithAnUnlistedFileStaysWithoutWarning)
{
    Layout layout = LayOutSampleInstallation(dir_.Path(), true);
    RunConfirmed(exe_, dir_.Path());

    EXPECT_TRUE(WaitUntilGone(exe_, 30000)) << "the executable is still there";
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000)) << "the script did not delete itself";
    Box box;
    EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
    EXPECT_EQ(layout.kept, ReadTree(dir_.Path()));
}

TEST_F(UninstallWithInterpreter, ExecutableThatCannotBeDeletedIsNamedInTheWarning)
{
    LayOutSampleInstallation(dir_.Path(), false);
    // Open without FILE_SHARE_DELETE: the script's "del" fails every time.
    HANDLE held = CreateFileA(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    RunConfirmed(exe_, dir_.Path());

    Box box;
    bool warned = WaitForBox(Caption, &box, 30000);
    if (warned) {
        EXPECT_EQ("Uninstall completed\nYou should delete " + exe_ + " manually", box.text);
        if (BoxIconsDrawn())
            EXPECT_TRUE(box.hasIcon);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        AnswerBox(box, IDOK);
    }
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000)) << "the script did not delete itself";
    CloseHandle(held);
    EXPECT_TRUE(warned) << "no warning box";
    EXPECT_TRUE(FileExists(exe_));
}

TEST_F(UninstallWithInterpreter, PercentInTheInstallationPathStillLetsTheScriptRemoveIt)
{
    ScratchDir percent("install 50%b%c");
    std::string exe = percent.Install();
    LayFile(percent / "Uninstall.lst", "\r\n");
    RunConfirmed(exe, percent.Path());

    EXPECT_TRUE(WaitUntilGone(percent.Path(), 30000)) << "the installation directory is still there";
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000));
    Box box;
    EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
}

}  // namespace
