// The uninstall end to end, through the real executable: confirmation, the
// list file and its passes, the registry, and the hand-off to the cleanup
// script, whose bytes a stand-in interpreter records and which, on the NT
// family, Wine's own cmd also runs; the program group on the way.
#include <windows.h>

#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "layout.h"
#include "progman.h"

using namespace bench;

namespace {

// Keys whose names begin like the settings key's; they are not the product's.
const char NeighbourKey[] = "Software\\Qel Neighbour";
// With a blank, as an installer's group names often are.
const char GroupName[] = "QEL File Manager";

class Uninstall : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(CleanupScriptPath().c_str());
        MakeRegistry();
    }

    // The settings trees under both roots, keys beside them and the
    // uninstall entry, as an installation leaves them.
    void MakeRegistry()
    {
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

    // Starts the uninstall in currentDir, answers Yes, and expects the
    // error box of a list file that cannot be opened, and the end with
    // code; a quiet one (" /S") shows no window at all.
    void RunExpectingListError(const std::string &exe, const std::string &currentDir, long code, bool quiet = false)
    {
        Process run = StartWithTail(exe, quiet ? " /S" : "", currentDir, TestFamily());
        ASSERT_TRUE(run.Started());
        if (quiet) {
            EXPECT_FALSE(BoxAppearedUntilExit(run, ""));
            EXPECT_EQ(code, run.Wait());
            return;
        }
        Confirm(run, IDYES);
        Box box;
        ASSERT_TRUE(WaitForBox(Caption, &box, 10000, run.Id())) << "no error box";
        EXPECT_EQ("Cannot open list file Uninstall.lst", box.text);
        if (BoxIconsDrawn())
            EXPECT_TRUE(box.hasIcon);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        AnswerBox(box, IDOK);
        EXPECT_EQ(code, run.Wait());
    }

    // Starts the uninstall in currentDir, answers Yes, and waits for its end
    // without any further box but the warnings to delete the paths in
    // warned by hand; a quiet one asks nothing and shows no window at all.
    // Returns the exit code.
    long RunConfirmed(const std::string &exe, const std::string &currentDir,
                      const std::vector<std::string> &warned = {}, bool quiet = false)
    {
        Process run = StartWithTail(exe, quiet ? " /S" : "", currentDir, TestFamily());
        EXPECT_TRUE(run.Started());
        if (quiet) {
            EXPECT_FALSE(BoxAppearedUntilExit(run, ""));
            return run.Wait();
        }
        Confirm(run, IDYES);
        std::vector<std::string> texts;
        for (const std::string &path : warned)
            texts.push_back(WarningText(path));
        EXPECT_FALSE(BoxAppearedUntilExit(run, Caption, 20000, texts));
        return run.Wait();
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
    EXPECT_EQ(1602, run.Wait());

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

    // No list is nothing to uninstall (1605); one that cannot be read (a
    // folder of its name here) leaves whatever it lists undone (1603). The
    // same for whoever asks in either mode.
    for (bool unreadable : {false, true}) {
        if (unreadable)
            MakeDirs(dir_ / "Uninstall.lst");
        std::map<std::string, std::string> before = ReadTree(dir_.Path());
        for (bool quiet : {false, true}) {
            SCOPED_TRACE(std::string(unreadable ? "unreadable" : "missing") + (quiet ? ", quiet" : ", asked"));
            RunExpectingListError(exe_, dir_.Path(), unreadable ? 1603 : 1605, quiet);

            EXPECT_EQ(before, ReadTree(dir_.Path()));
            ExpectRegistryUntouched();
            EXPECT_FALSE(FileExists(CleanupScriptPath()));
            EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
        }
    }
}

TEST_F(Uninstall, FullUninstallDeletesWhatIsListedKeepsTheRestAndHandsOverToTheScript)
{
    // Asked and answered Yes, or quiet (" /S", as deployment tools start
    // it): the same result, and the quiet one shows no window at all.
    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "asked");
        ScratchDir dir(quiet ? "full quiet" : "full asked");
        std::string exe = dir.Install();
        Layout layout = LayOutSampleInstallation(dir.Path(), true);
        const std::vector<std::string> shortcuts = {"QEL.lnk", "QEL Editor.lnk", "Uninstall QEL.lnk"};
        MakeRegistry();
        MakeProgramGroup(shortcuts);
        InterpreterStandin standin;
        std::vector<std::string> executes;
        {
            // Serves until the program has ended.
            ProgmanRecorder progman;
            ASSERT_TRUE(progman.Ready());
            EXPECT_EQ(0, RunConfirmed(exe, dir.Path(), {}, quiet));
            executes = progman.Executes();
        }

        // Everything listed is gone, every unlisted file is there with its
        // bytes and so are its directories; the list file is gone.
        std::map<std::string, std::string> tree = ReadTree(dir.Path());
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

        // The interpreter, named whole (its path may hold a blank): the
        // script in the temporary directory, byte for byte, started from the
        // installation directory's parent.
        ASSERT_TRUE(standin.Wait()) << "the interpreter was not started";
        EXPECT_EQ(ExpectedCleanupScript(Is9x(), exe, dir.Path(), CleanupScriptPath(), quiet), standin.Script());
        EXPECT_EQ(standin.ExpectedCommandLine("\"" + CleanupScriptPath() + "\""), standin.CommandLine());
        EXPECT_EQ(ScratchRoot, standin.CurrentDir());
        if (Is9x())
            EXPECT_EQ("flags=0x100 show=0", standin.Startup()) << "detached, with the null device as std handles";
        else
            EXPECT_EQ("flags=0x1 show=0", standin.Startup()) << "hidden";
    }
}

TEST_F(Uninstall, StartedFromAnotherDirectoryUsesTheListBesideTheExecutable)
{
    ScratchDir elsewhere("elsewhere");
    LayFile(elsewhere / "decoy.txt", "decoy");
    LayFile(elsewhere / "Uninstall.lst", "decoy.txt\r\n");
    LayFile(dir_ / "listed.txt", "listed");
    LayFile(dir_ / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    EXPECT_EQ(0, RunConfirmed(exe_, elsewhere.Path()));

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
    EXPECT_EQ(0, RunConfirmed(exe_, dir_.Path()));

    EXPECT_EQ("victim", ReadFile(outside / "victim.txt"));
    EXPECT_TRUE(DirExists(outside / "empty"));
    EXPECT_FALSE(FileExists(dir_ / "inside.txt"));
    EXPECT_FALSE(DirExists(dir_ / "sub"));
    ASSERT_TRUE(standin.Wait());
}

// Links in the installation, as a user or an attacker can leave them: what
// they lead to comes through the uninstall unchanged, byte for byte, the
// links stay, and the ordinary listed items still go.
struct FileLink {
    const char *link;    // in the installation
    const char *target;  // in the outside tree; with '=' in front, in the installation
};

// Below the settings key of HKEY_CURRENT_USER, which a user can write to
// without rights over what the link leads to.
struct KeyLink {
    const char *link;
    HKEY victimRoot;
};

struct LinkLayout {
    const char *name;
    std::vector<std::string> files;  // ordinary files laid in the installation
    std::vector<FileLink> links;
    std::vector<KeyLink> keyLinks;
    const char *list;
    std::vector<std::string> gone;  // what the uninstall takes
    std::vector<std::string> kept;  // ordinary files it leaves
    // A link in the Programs folder to the outside tree, and the stored
    // group name that passes through it.
    const char *groupLink = nullptr;
    const char *group = nullptr;
    // A link laid at the cleanup script's name, to this file of the outside
    // tree: no script can be written, and the user is told.
    const char *scriptLink = nullptr;
};

const LinkLayout LinkLayouts[] = {
    {"a directory link listed with what lies behind it",
     {"own.txt"},
     {{"Plugins", "docs"}},
     {},
     "Plugins\\a.txt\r\nPlugins\\sub\\b.txt\r\nPlugins\\sub\r\nPlugins\r\nown.txt\r\n",
     {"own.txt"},
     {}},
    {"a directory link to an empty directory, listed itself", {}, {{"Cache", "empty"}}, {}, "Cache\r\n", {}, {}},
    // Wine shows these as plain files: only their final paths tell.
    {"file links, one of them in a listed directory",
     {"own.txt", "bin\\own.dll"},
     {{"readme.txt", "secret.txt"}, {"bin\\tool.dll", "docs\\sub\\b.txt"}},
     {},
     "readme.txt\r\nbin\\tool.dll\r\nbin\\own.dll\r\nbin\r\nown.txt\r\n",
     {"own.txt", "bin\\own.dll"},
     {}},
    {"a link below a listed directory, which stays",
     {"Data\\keep.txt"},
     {{"Data\\Cache", "docs"}},
     {},
     "Data\\Cache\\a.txt\r\nData\\Cache\r\nData\\keep.txt\r\nData\r\n",
     {"Data\\keep.txt"},
     {}},
    {"a link to a directory of the installation",
     {"Real\\r.txt", "Real\\s.txt"},
     {{"Alias", "=Real"}},
     {},
     "Alias\\r.txt\r\nAlias\r\nReal\\s.txt\r\n",
     {"Real\\s.txt"},
     {"Real\\r.txt"}},
    {"registry links below the settings key, to the user's and the machine's keys",
     {"own.txt"},
     {},
     {{"Key1\\Link", HKEY_CURRENT_USER}, {"Link", HKEY_LOCAL_MACHINE}},
     "own.txt\r\n",
     {"own.txt"},
     {}},
    {"a link in the middle of the stored group name", {"own.txt"}, {}, {}, "own.txt\r\n", {"own.txt"}, {},
     "Tools", "Tools\\docs"},
    {"a link planted at the cleanup script's name",
     {"own.txt"},
     {},
     {},
     "own.txt\r\n",
     {"own.txt"},
     {},
     nullptr,
     nullptr,
     "secret.txt"},
};

// Trees the product does not own that registry links lead to. Under
// HKEY_LOCAL_MACHINE outside Software, which a 32-bit program sees
// elsewhere.
const char UserVictim[] = "Software\\Qel Victim";
const char MachineVictim[] = "System\\Qel Victim";

const char *VictimOf(HKEY root)
{
    return root == HKEY_CURRENT_USER ? UserVictim : MachineVictim;
}

// The path with links resolved, or "" when it cannot be opened.
std::string FinalPath(const std::string &path)
{
    HANDLE item = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (item == INVALID_HANDLE_VALUE)
        return "";
    char final[1024];
    DWORD n = GetFinalPathNameByHandleA(item, final, sizeof final, 0);
    CloseHandle(item);
    return n > 0 && n < sizeof final ? std::string(final, n) : "";
}

TEST_F(Uninstall, NothingBeyondALinkInTheInstallationIsDeletedAndTheLinkStays)
{
    ScratchDir outside("links outside");
    LayFile(outside / "secret.txt", "secret");
    LayFile(outside / "docs\\a.txt", "a");
    LayFile(outside / "docs\\sub\\b.txt", "b", FILE_ATTRIBUTE_READONLY);
    MakeDirs(outside / "empty");
    const TreeState outsideBefore = ReadTreeState(outside.Path());
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        ASSERT_TRUE(WriteRegValue(root, VictimOf(root), "Keep", REG_SZ, Sz("victim")));
        ASSERT_TRUE(WriteRegValue(root, std::string(VictimOf(root)) + "\\Child", "Deep", REG_DWORD, Dword(7)));
    }
    const std::vector<std::string> userVictim = ReadRegTree(HKEY_CURRENT_USER, UserVictim);
    const std::vector<std::string> machineVictim = ReadRegTree(HKEY_LOCAL_MACHINE, MachineVictim);

    for (const LinkLayout &layout : LinkLayouts) {
        SCOPED_TRACE(layout.name);
        // The stand-in leaves each script it records.
        DeleteFileA(CleanupScriptPath().c_str());
        ScratchDir dir("links");
        std::string exe = dir.Install();
        for (const std::string &file : layout.files)
            LayFile(dir / file, file);
        LayFile(dir / "Uninstall.lst", layout.list);
        std::vector<std::unique_ptr<UnixLink>> links;
        for (const FileLink &link : layout.links) {
            std::string target = link.target[0] == '=' ? dir / (link.target + 1) : outside / link.target;
            MakeDirs((dir / link.link).substr(0, (dir / link.link).find_last_of('\\')));
            links.emplace_back(new UnixLink(dir / link.link, target));
            ASSERT_TRUE(links.back()->Made());
            ASSERT_EQ(FinalPath(target), FinalPath(dir / link.link));
        }
        // The Windows 95 family has no registry links; its calls stay as
        // they are, so none is laid there.
        bool keyLinks = !layout.keyLinks.empty() && !Is9x();
        std::vector<std::unique_ptr<RegLink>> keys;
        MakeRegistry();
        for (const KeyLink &key : keyLinks ? layout.keyLinks : std::vector<KeyLink>()) {
            keys.emplace_back(new RegLink(HKEY_CURRENT_USER, std::string("Software\\Qel\\") + key.link,
                                          key.victimRoot, VictimOf(key.victimRoot)));
            ASSERT_TRUE(keys.back()->Made());
        }
        std::unique_ptr<UnixLink> groupLink, scriptLink;
        if (layout.groupLink) {
            groupLink.reset(new UnixLink(ProgramsFolder() + "\\" + layout.groupLink, outside.Path()));
            ASSERT_TRUE(groupLink->Made());
            ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, "Software\\Qel", "Group", REG_SZ, Sz(layout.group)));
        }
        if (layout.scriptLink) {
            scriptLink.reset(new UnixLink(CleanupScriptPath(), outside / layout.scriptLink));
            ASSERT_TRUE(scriptLink->Made());
        }
        // A link kept in the installation is work left undone, and so is an
        // executable that no script will delete.
        std::vector<std::string> warned;
        if (!layout.links.empty())
            warned.push_back(dir.Path() + "\\");
        if (layout.scriptLink)
            warned.push_back(exe);
        InterpreterStandin standin;
        EXPECT_EQ(warned.empty() ? 0 : 1603, RunConfirmed(exe, dir.Path(), warned));

        EXPECT_TRUE(outsideBefore == ReadTreeState(outside.Path())) << "the tree the links lead to changed";
        if (layout.scriptLink)
            EXPECT_EQ(FinalPath(outside / layout.scriptLink), FinalPath(CleanupScriptPath()));
        for (const FileLink &link : layout.links) {
            std::string target = link.target[0] == '=' ? dir / (link.target + 1) : outside / link.target;
            EXPECT_EQ(FinalPath(target), FinalPath(dir / link.link)) << link.link << " is no longer the link";
        }
        for (const std::string &item : layout.gone)
            EXPECT_FALSE(FileExists(dir / item)) << item;
        for (const std::string &item : layout.kept)
            EXPECT_EQ(item, ReadFile(dir / item));
        EXPECT_FALSE(FileExists(dir / "Uninstall.lst"));
        EXPECT_EQ(userVictim, ReadRegTree(HKEY_CURRENT_USER, UserVictim));
        EXPECT_EQ(machineVictim, ReadRegTree(HKEY_LOCAL_MACHINE, MachineVictim));
        if (keyLinks) {
            // The links stay with their parents; everything else goes.
            EXPECT_EQ(std::vector<std::string>({"Key1", "Link"}), RegSubkeys(HKEY_CURRENT_USER, "Software\\Qel"));
            EXPECT_EQ(std::vector<std::string>({"Link"}), RegSubkeys(HKEY_CURRENT_USER, "Software\\Qel\\Key1"));
            for (const KeyLink &key : layout.keyLinks)
                EXPECT_TRUE(RegLinkExists(HKEY_CURRENT_USER, std::string("Software\\Qel\\") + key.link)) << key.link;
            EXPECT_TRUE(RegValueNames(HKEY_CURRENT_USER, "Software\\Qel").empty());
            EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Qel"));
            EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
        } else {
            ExpectRegistryCleaned();
        }
        if (layout.scriptLink)
            EXPECT_FALSE(standin.Wait(3000)) << "an interpreter was started";
        else
            ASSERT_TRUE(standin.Wait());
    }
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        RegDeleteTreeQuiet(root, VictimOf(root));
}

TEST_F(Uninstall, DriveRootInstallationTakesTheListAtTheRootWhereverItStarts)
{
    ScratchDir mapped("drive root");
    MappedDrive drive('Q', mapped.Path());
    ASSERT_TRUE(drive.Made());
    std::string exe = drive.Root() + "Uninstall.exe";
    ASSERT_TRUE(CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE));
    LayFile(drive.Root() + "listed.txt", "listed");
    LayFile(drive.Root() + "decoy.txt", "decoy");
    LayFile(drive.Root() + "Uninstall.lst", "listed.txt\r\n");
    // Started from here, "Q:" alone names this directory.
    const std::string work = drive.Root() + "work";
    LayFile(work + "\\listed.txt", "work");
    LayFile(work + "\\Uninstall.lst", "decoy.txt\r\n");
    const TreeState workBefore = ReadTreeState(work);
    InterpreterStandin standin;
    EXPECT_EQ(0, RunConfirmed(exe, work));

    EXPECT_FALSE(FileExists(drive.Root() + "listed.txt"));
    EXPECT_FALSE(FileExists(drive.Root() + "Uninstall.lst"));
    EXPECT_EQ("decoy", ReadFile(drive.Root() + "decoy.txt"));
    EXPECT_TRUE(workBefore == ReadTreeState(work)) << "the directory the program started from changed";
    ExpectRegistryCleaned();
    ASSERT_TRUE(standin.Wait());
}

// A directory whose name ends in a blank, made and removed with the wide
// calls and the "\\?\" prefix: the ANSI calls would name it without the blank.
class BlankEndedDir {
public:
    explicit BlankEndedDir(const std::string &path) : path_(path)
    {
        made_ = CreateDirectoryW(Long().c_str(), NULL) != 0;
    }
    ~BlankEndedDir()
    {
        // Items below it are reached by ANSI paths as well: only the last
        // component of a path loses its trailing blanks.
        RemoveTree(path_ + "\\Uninstall.exe");
        RemoveTree(path_ + "\\listed.txt");
        RemoveTree(path_ + "\\Uninstall.lst");
        RemoveDirectoryW(Long().c_str());
    }
    BlankEndedDir(const BlankEndedDir &) = delete;
    BlankEndedDir &operator=(const BlankEndedDir &) = delete;
    bool Made() const { return made_; }
    std::string operator/(const std::string &relative) const { return path_ + "\\" + relative; }

private:
    std::wstring Long() const { return L"\\\\?\\" + std::wstring(path_.begin(), path_.end()); }
    std::string path_;
    bool made_ = false;
};

TEST_F(Uninstall, DirectoryEnteredAsAnotherShowsTheListErrorAndChangesNothing)
{
    // "Qel " is entered as "Qel", whose list would be taken.
    ScratchDir other("Qel");
    LayFile(other / "decoy.txt", "decoy");
    LayFile(other / "Uninstall.lst", "decoy.txt\r\n");
    BlankEndedDir blank(std::string(ScratchRoot) + "\\Qel ");
    ASSERT_TRUE(blank.Made());
    std::string exe = blank / "Uninstall.exe";
    ASSERT_TRUE(CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE));
    LayFile(blank / "listed.txt", "listed");
    LayFile(blank / "Uninstall.lst", "listed.txt\r\n");
    const TreeState otherBefore = ReadTreeState(other.Path());
    InterpreterStandin standin;
    RunExpectingListError(exe, ScratchRoot, 1603);

    EXPECT_TRUE(otherBefore == ReadTreeState(other.Path()));
    EXPECT_EQ("listed", ReadFile(blank / "listed.txt"));
    EXPECT_EQ("listed.txt\r\n", ReadFile(blank / "Uninstall.lst"));
    ExpectRegistryUntouched();
    EXPECT_FALSE(FileExists(CleanupScriptPath()));
    EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
}

// Directories below base down to a full path past the ANSI calls' reach,
// made and removed (with what is in them) through the wide calls.
class LongDir {
public:
    explicit LongDir(const std::string &base) : top_(base + "\\" + std::string(60, 'd')), path_(top_)
    {
        while (path_.size() < 300)
            path_ += "\\" + std::string(60, 'd');
        for (size_t i = base.size() + 1; i <= path_.size(); i++)
            if (i == path_.size() || path_[i] == '\\')
                CreateDirectoryW(Long(path_.substr(0, i)).c_str(), NULL);
    }
    ~LongDir() { Remove(Long(top_)); }
    LongDir(const LongDir &) = delete;
    LongDir &operator=(const LongDir &) = delete;
    const std::string &Path() const { return path_; }

private:
    static std::wstring Long(const std::string &path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }
    static void Remove(const std::wstring &path)
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(path + L"\\" + name);
                else
                    DeleteFileW((path + L"\\" + name).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::string top_;
    std::string path_;
};

TEST_F(Uninstall, InstallationReachedThroughALinkGoesWhereItsFinalPathFitsAndStopsWhereNot)
{
    // The program sees the installation at the link; every entry is held
    // against the final path of the directory the link leads to. Where that
    // path does not fit, nothing can be checked and the uninstall stops as
    // when the list cannot be opened.
    const std::string installation = std::string(ScratchRoot) + "\\through link";
    for (bool deep : {true, false}) {
        SCOPED_TRACE(deep ? "a final path too long" : "a final path that fits");
        ScratchDir target("link target");
        std::unique_ptr<LongDir> longDir(deep ? new LongDir(target.Path()) : nullptr);
        UnixLink link(installation, deep ? longDir->Path() : target.Path());
        ASSERT_TRUE(link.Made());
        std::string exe = installation + "\\Uninstall.exe";
        ASSERT_TRUE(CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE));
        LayFile(installation + "\\listed.txt", "listed");
        LayFile(installation + "\\Uninstall.lst", "listed.txt\r\n");
        MakeRegistry();
        InterpreterStandin standin;
        if (deep) {
            RunExpectingListError(exe, ScratchRoot, 1603);
            EXPECT_EQ("listed", ReadFile(installation + "\\listed.txt"));
            EXPECT_EQ("listed.txt\r\n", ReadFile(installation + "\\Uninstall.lst"));
            ExpectRegistryUntouched();
            EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
        } else {
            EXPECT_EQ(0, RunConfirmed(exe, ScratchRoot));
            EXPECT_FALSE(FileExists(installation + "\\listed.txt"));
            EXPECT_FALSE(FileExists(installation + "\\Uninstall.lst"));
            ExpectRegistryCleaned();
            EXPECT_TRUE(standin.Wait());
        }
    }
}

TEST_F(Uninstall, FileHeldOpenWithShareDeleteStaysAndTheUninstallStillEnds)
{
    // Wine reports its deletion done in every pass while it stays; since
    // it stays, the user is told.
    LayFile(dir_ / "held.txt", "held");
    LayFile(dir_ / "other.txt", "other");
    LayFile(dir_ / "Uninstall.lst", "held.txt\r\nother.txt\r\n");
    HANDLE held = CreateFileA((dir_ / "held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    InterpreterStandin standin;
    EXPECT_EQ(1603, RunConfirmed(exe_, dir_.Path(), {dir_.Path() + "\\"}));
    CloseHandle(held);

    EXPECT_FALSE(FileExists(dir_ / "other.txt"));
    EXPECT_FALSE(FileExists(dir_ / "Uninstall.lst"));
    ExpectRegistryCleaned();
    EXPECT_TRUE(standin.Wait());
}

TEST_F(Uninstall, PercentInTheInstallationPathIsDoubledInTheScript)
{
    ScratchDir percent("install 50%b%c");
    std::string exe = percent.Install();
    LayFile(percent / "listed.txt", "listed");
    LayFile(percent / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    EXPECT_EQ(0, RunConfirmed(exe, percent.Path()));

    EXPECT_FALSE(FileExists(percent / "listed.txt"));
    ASSERT_TRUE(standin.Wait());
    std::string script = standin.Script();
    EXPECT_EQ(ExpectedCleanupScript(Is9x(), exe, percent.Path(), CleanupScriptPath()), script);
    EXPECT_NE(std::string::npos, script.find("rd \"C:\\qel tests\\install 50%%b%%c\"\r\n"));
}

// A copy of the interpreter stand-in planted at C:\Program.exe, as whoever
// may write to the drive's root can lay it: a path "C:\Program Files\..."
// that is started without quotes starts it instead, with the rest of the
// path as its arguments. It records that it ran, by its own path.
class PlantedProgram {
public:
    explicit PlantedProgram(const std::string &standin) : made_(CopyFileA(standin.c_str(), Path, TRUE) != FALSE) {}
    ~PlantedProgram()
    {
        if (made_)
            DeleteFileA(Path);
    }
    bool Made() const { return made_; }
    static constexpr const char *Path = "C:\\Program.exe";

private:
    bool made_;
};

TEST_F(Uninstall, ListOfProgramsStartsTheUninstallerNotAProgramPlantedOnTheWayToIt)
{
    // Registered from below "C:\Program Files", as installers place it;
    // Wine's own list of programs then removes the entry as a user would.
    ScratchDir install("QEL", "C:\\Program Files\\QEL tests");
    std::string exe = install.Install();
    LayFile(install / "Uninstall.lst", "\r\n");
    Process registration = StartWithTail(exe, " register Tools", install.Path(), TestFamily());
    EXPECT_EQ(0, registration.Wait());
    InterpreterStandin standin;
    PlantedProgram planted(standin.Exe());
    ASSERT_TRUE(planted.Made());

    char system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    Process list = Start(std::string(system) + "\\uninstaller.exe", "uninstaller.exe --remove \"QEL manager\"",
                         ScratchRoot, TestFamily());
    Box box;
    bool asked = WaitForBox(Caption, &box, 30000);
    if (asked) {
        EXPECT_EQ("Continue with uninstall QEL", box.text);
        AnswerBox(box, IDNO);
    }
    EXPECT_NE(-1, list.Wait(30000));
    EXPECT_TRUE(asked) << "the uninstaller was not started";
    EXPECT_FALSE(standin.Wait(0)) << "the list of programs started " << standin.Image();
    EXPECT_TRUE(FileExists(exe));
}

TEST_F(Uninstall, InterpreterBelowAFolderWithABlankIsStartedItselfNotAProgramPlantedOnTheWay)
{
    LayFile(dir_ / "listed.txt", "listed");
    LayFile(dir_ / "Uninstall.lst", "listed.txt\r\n");
    InterpreterStandin standin;
    ScratchDir folder("QEL cmd", "C:\\Program Files\\QEL tests");
    std::string interpreter = folder / "cmd.exe";
    ASSERT_TRUE(CopyFileA(standin.Exe().c_str(), interpreter.c_str(), FALSE));
    PlantedProgram planted(standin.Exe());
    ASSERT_TRUE(planted.Made());
    // The Windows 95 family's COMSPEC is a short path, given as it is.
    if (Is9x())
        interpreter = Encode(ShortPath(Widen(interpreter)), CP_ACP);
    ScopedEnv comspec("COMSPEC", interpreter);

    EXPECT_EQ(0, RunConfirmed(exe_, dir_.Path()));

    ASSERT_TRUE(standin.Wait());
    // This copy ran, not the one at C:\Program.exe nor the stand-in itself.
    std::string image = standin.Image();
    EXPECT_EQ(0, _stricmp(image.substr(image.rfind('\\') + 1).c_str(), "cmd.exe")) << image;
    EXPECT_EQ(standin.ExpectedCommandLine("\"" + CleanupScriptPath() + "\"", interpreter), standin.CommandLine());
    EXPECT_FALSE(FileExists(dir_ / "listed.txt"));
}

// Where the uninstall leaves work undone it says so, once: a listed item
// it could not delete (the installation directory is named, and the
// hand-off goes on), or a hand-off that cannot happen (the executable is
// named; no script is left anywhere). Its exit code says so too (1603),
// the only word of a quiet uninstall, which shows no box.
struct LeftWork {
    const char *name;
    std::string leaf;     // the installation directory's name; "": the usual one
    const char *temp;     // TMP and TEMP; "=" the installation directory; nullptr: as they are
    std::string comspec;  // "": the stand-in
    bool listedHeldOpen;  // by another program, without sharing its deletion
    bool listedLink;      // a link to a folder holding a file is listed too
    bool quiet;           // started with " /S"
};

const LeftWork LeftWorks[] = {
    {"a listed file held open by another program", "", nullptr, "", true},
    {"a listed link to a folder that holds a file", "", nullptr, "", false, true},
    // Doubled, 200 '%' make a script line outgrow its buffer.
    {"a script too long for its buffers", std::string(200, '%'), nullptr, "", false},
    {"an interpreter path too long for its buffer", "", nullptr, "C:\\" + std::string(300, 'c') + ".exe", false},
    {"no interpreter where COMSPEC points", "", nullptr, "C:\\qel tests\\no such cmd.exe", false},
    {"a temporary directory that does not exist", "", "C:\\qel tests\\no such temp", "", false},
    {"a relative temporary directory", "", "tmp", "", false},
    {"the installation directory as the temporary directory", "", "=", "", false},
    {"quiet: a listed file held open by another program", "", nullptr, "", true, false, true},
    {"quiet: no interpreter where COMSPEC points", "", nullptr, "C:\\qel tests\\no such cmd.exe", false, false,
     true},
};

TEST_F(Uninstall, WorkLeftUndoneIsToldOnceNamingWhatIsLeft)
{
    for (const LeftWork &c : LeftWorks) {
        SCOPED_TRACE(c.name);
        ScratchDir dir(c.leaf.empty() ? "left work" : c.leaf);
        std::string exe = dir.Install();
        LayFile(dir / "listed.txt", "listed");
        LayFile(dir / "Uninstall.lst", c.listedLink ? "listed.txt\r\nLinked\r\n" : "listed.txt\r\n");
        MakeDirs(dir / "tmp");
        ScratchDir linkTarget("left work target");
        LayFile(linkTarget / "kept.txt", "kept");
        std::unique_ptr<UnixLink> link(c.listedLink ? new UnixLink(dir / "Linked", linkTarget.Path()) : nullptr);
        const bool workLeft = c.listedHeldOpen || c.listedLink;
        MakeRegistry();
        InterpreterStandin standin;
        std::unique_ptr<ScopedEnv> comspec(c.comspec.empty() ? nullptr : new ScopedEnv("COMSPEC", c.comspec));
        std::string temp = c.temp && std::string(c.temp) == "=" ? dir.Path() : c.temp ? c.temp : "";
        std::unique_ptr<ScopedEnv> tmp(c.temp ? new ScopedEnv("TMP", temp) : nullptr);
        std::unique_ptr<ScopedEnv> tempVar(c.temp ? new ScopedEnv("TEMP", temp) : nullptr);
        HANDLE held = c.listedHeldOpen ? CreateFileA((dir / "listed.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     NULL, OPEN_EXISTING, 0, NULL)
                                       : INVALID_HANDLE_VALUE;
        std::vector<std::string> warned;
        if (!c.quiet)
            warned.push_back(workLeft ? dir.Path() + "\\" : exe);
        EXPECT_EQ(1603, RunConfirmed(exe, dir.Path(), warned, c.quiet));
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);

        ExpectRegistryCleaned();
        EXPECT_FALSE(FileExists(dir / "Uninstall.lst"));
        EXPECT_EQ(c.listedHeldOpen, FileExists(dir / "listed.txt"));
        EXPECT_EQ("kept", ReadFile(linkTarget / "kept.txt"));
        if (workLeft) {
            ASSERT_TRUE(standin.Wait()) << "the hand-off goes on";
            continue;
        }
        EXPECT_FALSE(standin.Wait(0)) << "an interpreter was started";
        EXPECT_TRUE(FileExists(exe));
        for (const std::string &script : {CleanupScriptPath(), dir / "Uninstall.Qel.Bat", dir / "tmp\\Uninstall.Qel.Bat"})
            EXPECT_FALSE(FileExists(script)) << script;
    }
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
    EXPECT_EQ(0, RunConfirmed(exe_, dir_.Path()));

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
    EXPECT_EQ(0, RunConfirmed(exe_, dir_.Path()));

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
    EXPECT_EQ(0, RunConfirmed(exe_, dir_.Path()));

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

TEST_F(UninstallWithInterpreter, QuietUninstallsScriptLeavesAnExecutableItCannotDeleteWithoutABox)
{
    LayOutSampleInstallation(dir_.Path(), false);
    HANDLE held = CreateFileA(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, RunConfirmed(exe_, dir_.Path(), {}, true));

    // The script would show the warning before it deletes itself, and wait
    // for it to be answered.
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000)) << "the script did not delete itself";
    Box box;
    EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
    CloseHandle(held);
    EXPECT_TRUE(FileExists(exe_));
}

TEST_F(UninstallWithInterpreter, PercentInTheInstallationPathStillLetsTheScriptRemoveIt)
{
    ScratchDir percent("install 50%b%c");
    std::string exe = percent.Install();
    LayFile(percent / "Uninstall.lst", "\r\n");
    EXPECT_EQ(0, RunConfirmed(exe, percent.Path()));

    EXPECT_TRUE(WaitUntilGone(percent.Path(), 30000)) << "the installation directory is still there";
    EXPECT_TRUE(WaitUntilGone(CleanupScriptPath(), 30000));
    Box box;
    EXPECT_FALSE(WaitForBox(Caption, &box, 0)) << box.text;
}

}  // namespace
