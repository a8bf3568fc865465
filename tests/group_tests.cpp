// Removal of the Start-menu program group: the group folder under the real
// Programs folder of the prefix, and the command the Program Manager hears,
// recorded byte for byte by a DDE server of the test's own.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "progman.h"
#include "remove/groupname.h"
#include "remove/remove.h"

using namespace bench;

namespace {

const char SettingsKey[] = "Software\\Qel";

// The command the Program Manager must receive for a group, zero included.
std::string DeleteGroupCommand(const std::string &name)
{
    return Sz("[DeleteGroup(" + name + ")]");
}

std::string Parent(const std::string &path)
{
    return path.substr(0, path.find_last_of('\\'));
}

std::vector<std::string> Names(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

struct NameCase {
    const char *name;
    int accepted;
    const char *about;
};

const NameCase NameCases[] = {
    {"Tools", 1, "a plain group"},
    {"QEL\\Tools", 1, "a group inside a group"},
    {"QEL/Tools", 1, "slash as separator"},
    {"Q,E)L (old)", 1, "commas and parentheses are fine in a folder name"},
    {"Tools.", 1, "a trailing dot only names Tools"},
    {"...Tools", 1, "dots followed by a name"},
    {".hidden", 1, "a leading dot"},
    {"Tools\\\\", 1, "doubled and trailing separators collapse"},
    {"a b", 1, "a blank inside"},
    {"\x95\\", 1, "a double-byte character whose trail byte is a backslash"},
    {"", 0, "empty"},
    {".", 0, "the Programs folder itself"},
    {" ", 0, "a blank is stripped to the Programs folder itself"},
    {". .", 0, "dots and blanks only"},
    {"Tools\\.", 0, "a dot component at the end"},
    {"Tools\\..", 0, "back onto the Programs folder"},
    {"..", 0, "the parent of the Programs folder"},
    {"..\\Victim", 0, "a sibling of the Programs folder"},
    {"../Victim", 0, "the same with a slash"},
    {"a\\..\\..\\Victim", 0, "climbs after a first step down"},
    {"a/../../Victim", 0, "the same with slashes"},
    {"...\\Victim", 0, "three dots climb two levels on the Windows 95 family"},
    {"..  \\Victim", 0, "dots with trailing blanks"},
    {"\\Victim", 0, "rooted on the current drive"},
    {"/Victim", 0, "rooted with a slash"},
    {"\\\\server\\share", 0, "a share"},
    {"C:\\Victim", 0, "an absolute path"},
    {"C:Victim", 0, "a drive-relative path"},
    {"Tools:stream", 0, "a stream name"},
    {"Too*", 0, "a wildcard"},
    {"Too?s", 0, "a single-character wildcard"},
    {"Too<s", 0, "a wildcard of the NT family's search"},
    {"Too\"s", 0, "a quote"},
    {"Too|s", 0, "a pipe"},
    {"Too\ts", 0, "a control character"},
};

TEST(IsGroupFolderName, AcceptsOnlyNamesThatStayBelowTheProgramsFolder)
{
    for (const NameCase &c : NameCases)
        EXPECT_EQ(c.accepted, IsGroupFolderName(c.name)) << c.about << ": '" << c.name << "'";
    EXPECT_EQ(1, IsGroupFolderName(std::string(259, 'x').c_str())) << "the longest name that can be stored";
}

// Each test starts with no settings key and a recorder serving "PROGMAN";
// the group folders it makes are removed after it, even on failure.
class GroupRemoval : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        programs_ = ProgramsFolder();
        ASSERT_FALSE(programs_.empty()) << "the shell names no Programs folder";
        ASSERT_TRUE(DirExists(programs_)) << programs_;
        RestartRecorder();
    }
    void TearDown() override
    {
        progman_.reset();
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        for (const std::string &path : made_)
            RemoveTree(path);
    }

    // A fresh recorder, after the one before has stopped serving.
    void RestartRecorder()
    {
        progman_.reset();
        progman_.reset(new ProgmanRecorder);
        ASSERT_TRUE(progman_->Ready());
    }

    // The "Group" value as registration stores it: the text and its zero.
    void SetGroup(const std::string &name)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, NULL, 0, KEY_ALL_ACCESS,
                                                 NULL, &key, NULL));
        LONG result = RegSetValueExA(key, "Group", 0, REG_SZ, (const BYTE *)name.c_str(),
                                     (DWORD)name.size() + 1);
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, result);
        ASSERT_EQ(Sz(name), ReadRegValue(HKEY_CURRENT_USER, SettingsKey, "Group").data);
    }

    // A folder with shortcut files, removed after the test.
    std::string MakeFolder(const std::string &path, const std::vector<std::string> &files)
    {
        made_.push_back(path);
        MakeDirs(path);
        EXPECT_TRUE(DirExists(path)) << path;
        for (const std::string &file : files)
            WriteFile(path + "\\" + file, "[InternetShortcut]\r\n");
        return path;
    }
    std::string MakeGroup(const std::string &name, const std::vector<std::string> &files)
    {
        return MakeFolder(programs_ + "\\" + name, files);
    }

    void ExpectOneCommand(const std::string &command, const std::string &about = "")
    {
        std::vector<std::string> executes = progman_->Executes();
        ASSERT_EQ(1u, executes.size()) << about;
        EXPECT_EQ(command, executes[0]) << about;
        EXPECT_EQ(1, progman_->Connects()) << about;
        EXPECT_EQ(1, progman_->Disconnects()) << about;
    }
    void ExpectNoConversation()
    {
        EXPECT_EQ(0, progman_->Connects());
        EXPECT_TRUE(progman_->Executes().empty());
    }

    std::string programs_;
    std::unique_ptr<ProgmanRecorder> progman_;
    std::vector<std::string> made_;
};

TEST_F(GroupRemoval, WithoutAGroupValueNothingIsDeletedAndNoConversationIsAttempted)
{
    std::string group = MakeGroup("Tools", {"QEL.lnk"});
    std::vector<std::string> before = Names(programs_);

    RemoveProgramGroup();  // no settings key at all
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                             &key, NULL));
    RegCloseKey(key);
    RemoveProgramGroup();  // the key without the value
    SetGroup("");
    RemoveProgramGroup();  // the value, empty

    EXPECT_TRUE(FileExists(group + "\\QEL.lnk"));
    EXPECT_EQ(before, Names(programs_));
    ExpectNoConversation();
}

TEST_F(GroupRemoval, GroupFolderOfShortcutsIsEmptiedAndRemoved)
{
    std::string group = MakeGroup("Tools", {"QEL.lnk", "Uninstall QEL.lnk", "Read me.lnk"});
    SetGroup("Tools");

    RemoveProgramGroup();

    EXPECT_FALSE(DirExists(group));
    EXPECT_TRUE(DirExists(programs_));
    ExpectOneCommand(DeleteGroupCommand("Tools"));
}

TEST_F(GroupRemoval, CommandForToolsIsTwentyCharactersAndItsZero)
{
    SetGroup("Tools");

    RemoveProgramGroup();

    ExpectOneCommand(std::string("[DeleteGroup(Tools)]\0", 21));
}

TEST_F(GroupRemoval, GroupInsideAGroupLeavesTheOuterFolder)
{
    std::string outer = MakeGroup("QEL", {"Other.lnk"});
    std::string inner = MakeGroup("QEL\\Tools", {"QEL.lnk"});
    SetGroup("QEL\\Tools");

    RemoveProgramGroup();

    EXPECT_FALSE(DirExists(inner));
    EXPECT_TRUE(FileExists(outer + "\\Other.lnk"));
    ExpectOneCommand(DeleteGroupCommand("QEL\\Tools"));
}

TEST_F(GroupRemoval, SubfolderStaysAndSoDoesTheGroupFolderWhileItsFilesGo)
{
    std::string group = MakeGroup("Tools", {"QEL.lnk", "Help.lnk"});
    MakeFolder(group + "\\Extras", {"Plugin.lnk"});
    SetGroup("Tools");

    RemoveProgramGroup();

    EXPECT_EQ((std::vector<std::string>{".", "..", "Extras"}), Names(group));
    EXPECT_TRUE(FileExists(group + "\\Extras\\Plugin.lnk"));
    ExpectOneCommand(DeleteGroupCommand("Tools"));
}

TEST_F(GroupRemoval, ReadOnlyShortcutKeepsItsAttributeAndKeepsTheFolder)
{
    std::string group = MakeGroup("Tools", {"QEL.lnk", "Locked.lnk"});
    ASSERT_TRUE(SetFileAttributesA((group + "\\Locked.lnk").c_str(), FILE_ATTRIBUTE_READONLY));
    SetGroup("Tools");

    RemoveProgramGroup();

    EXPECT_EQ((std::vector<std::string>{".", "..", "Locked.lnk"}), Names(group));
    EXPECT_TRUE(GetFileAttributesA((group + "\\Locked.lnk").c_str()) & FILE_ATTRIBUTE_READONLY);
    ExpectOneCommand(DeleteGroupCommand("Tools"));
}

TEST_F(GroupRemoval, NamesWithParenthesesCommasAndPercentSignsGoIntoTheCommandUnchanged)
{
    for (const char *name : {"Q,E)L", "QEL (old), tools", "Tools)]", "100% %s %n"}) {
        RestartRecorder();
        std::string group = MakeGroup(name, {"QEL.lnk"});
        SetGroup(name);

        RemoveProgramGroup();

        EXPECT_FALSE(DirExists(group)) << name;
        ExpectOneCommand(DeleteGroupCommand(name), name);
    }
}

TEST_F(GroupRemoval, StoredNameOf259CharactersIsSentButOf260ReadsAsNoGroup)
{
    std::string group = MakeGroup("Tools", {"QEL.lnk"});
    std::vector<std::string> before = Names(programs_);

    // Doubled separators collapse, so both names would mean Tools; the
    // folder path is too long for either, so the folder work is skipped.
    // The command for 259 characters takes 275 bytes.
    std::string longest = "Tools" + std::string(254, '\\');
    SetGroup(longest);
    RemoveProgramGroup();
    ExpectOneCommand(DeleteGroupCommand(longest));

    RestartRecorder();
    SetGroup(longest + "\\");
    RemoveProgramGroup();
    ExpectNoConversation();

    EXPECT_TRUE(FileExists(group + "\\QEL.lnk"));
    EXPECT_EQ(before, Names(programs_));
}

// Doubled backslashes collapse when Windows resolves a path, so "Tools"
// spelled with many of them names the same folder at any length: a path
// that was cut to fit would still reach it.
class GroupPathLimits : public GroupRemoval {
protected:
    // A spelling of Tools whose group folder path has exactly length
    // characters.
    std::string ToolsName(size_t length) const
    {
        return "Tools" + std::string(length - programs_.size() - 1 - 5, '\\');
    }
};

TEST_F(GroupPathLimits, GroupFolderPathOneTooLongIsLeftAloneNotCut)
{
    std::string group = MakeGroup("Tools", {});
    SetGroup(ToolsName(260));

    RemoveProgramGroup();

    EXPECT_TRUE(DirExists(group));
    ExpectOneCommand(DeleteGroupCommand(ToolsName(260)));
}

TEST_F(GroupPathLimits, GroupFolderPathAtTheLimitIsRemovedWhenEmpty)
{
    std::string group = MakeGroup("Tools", {});
    SetGroup(ToolsName(259));

    RemoveProgramGroup();

    EXPECT_FALSE(DirExists(group));
}

TEST_F(GroupPathLimits, SearchPatternOneTooLongDeletesNoFile)
{
    // 255 + "\*.*" fits 260 bytes and 256 + "\*.*" does not, while the item
    // path of a one-character name fits either way.
    std::string group = MakeGroup("Tools", {"1"});
    SetGroup(ToolsName(256));
    RemoveProgramGroup();
    EXPECT_TRUE(FileExists(group + "\\1"));

    SetGroup(ToolsName(255));
    RemoveProgramGroup();
    EXPECT_FALSE(DirExists(group));
}

TEST_F(GroupPathLimits, ItemPathTooLongKeepsThatFileAndTheOthersGo)
{
    // 250 + "\" + 8 characters fits 260 bytes; + 9 characters does not.
    std::string group = MakeGroup("Tools", {"1234.lnk", "12345.lnk"});
    SetGroup(ToolsName(250));

    RemoveProgramGroup();

    EXPECT_EQ((std::vector<std::string>{".", "..", "12345.lnk"}), Names(group));
}

TEST_F(GroupRemoval, WithoutAProgramManagerTheFolderWorkIsDoneAndTheCallCompletes)
{
    progman_.reset();
    ASSERT_FALSE(SendProgmanCommand("[ShowGroup(Tools,1)]", 1000)) << "another PROGMAN server is running";
    std::string group = MakeGroup("Tools", {"QEL.lnk"});
    SetGroup("Tools");

    RemoveProgramGroup();

    EXPECT_FALSE(DirExists(group));
}

TEST_F(GroupRemoval, NamesThatLeadOutOfTheProgramsFolderTouchNoFolderButAreStillSent)
{
    std::string startMenu = Parent(programs_);
    std::string above = Parent(startMenu);
    ScratchDir outside;
    std::string absolute = outside / "Victim";
    // Each reaches one of the victims below when joined to the Programs
    // folder and resolved (three dots on the Windows 95 family); the
    // victims are made again before each name.
    const std::string names[] = {
        "..\\Victim", "../Victim", "a\\..\\..\\Victim", "a/../../Victim", "Tools\\..\\..\\Victim",
        "..\\..\\Victim", "...\\Victim", "..", ".", "Tools\\..", " ", absolute,
    };
    const std::string victims[] = {
        startMenu + "\\Victim\\Victim.lnk", above + "\\Victim\\Victim.lnk", absolute + "\\Victim.lnk",
        programs_ + "\\Victim.lnk",         startMenu + "\\Victim.lnk",     programs_ + "\\Tools\\Victim.lnk",
    };
    made_.insert(made_.end(), {startMenu + "\\Victim", above + "\\Victim", absolute, programs_ + "\\Victim.lnk",
                               startMenu + "\\Victim.lnk", programs_ + "\\Tools"});

    for (const std::string &name : names) {
        for (const std::string &victim : victims) {
            MakeDirs(Parent(victim));
            WriteFile(victim, "[InternetShortcut]\r\n");
        }
        RestartRecorder();
        SetGroup(name);

        RemoveProgramGroup();

        ExpectOneCommand(DeleteGroupCommand(name), name);
        for (const std::string &victim : victims)
            EXPECT_TRUE(FileExists(victim)) << "'" << name << "' reached " << victim;
        EXPECT_TRUE(DirExists(startMenu + "\\Victim")) << name;
    }
}

// Moves the Programs folder aside so that the shell cannot name it, and
// back after the test.
class NoProgramsFolder : public GroupRemoval {
protected:
    void SetUp() override
    {
        GroupRemoval::SetUp();
        if (HasFatalFailure())
            return;
        aside_ = programs_ + " aside";
        ASSERT_TRUE(MoveFileA(programs_.c_str(), aside_.c_str())) << GetLastError();
        moved_ = true;
        ASSERT_EQ("", ProgramsFolder());
        GetCurrentDirectoryA(sizeof cwd_, cwd_);
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(cwd_);
        if (moved_)
            EXPECT_TRUE(MoveFileA(aside_.c_str(), programs_.c_str())) << GetLastError();
        GroupRemoval::TearDown();
    }
    std::string aside_;
    bool moved_ = false;
    char cwd_[MAX_PATH] = "";
};

TEST_F(NoProgramsFolder, NoFolderIsTouchedAndTheProgramManagerIsStillAsked)
{
    // An empty Programs path would turn the group folder into one at the
    // root of the current drive.
    ScratchDir scratch;
    std::string rooted = scratch.Path().substr(3) + "\\Tools";
    std::string atRoot = MakeFolder(scratch / "Tools", {"QEL.lnk"});
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    SetGroup(rooted);

    RemoveProgramGroup();

    EXPECT_TRUE(FileExists(atRoot + "\\QEL.lnk"));
    ExpectOneCommand(DeleteGroupCommand(rooted));
}

TEST_F(GroupRemoval, WineProgramManagerCreatesAGroupThatTheRemovalDeletes)
{
    progman_.reset();
    WineProgman wine;
    ASSERT_TRUE(wine.Ready());
    made_.push_back(programs_ + "\\QEL Wine Group");
    ASSERT_TRUE(SendProgmanCommand("[CreateGroup(QEL Wine Group)]"));
    ASSERT_TRUE(DirExists(programs_ + "\\QEL Wine Group"));
    WriteFile(programs_ + "\\QEL Wine Group\\QEL.lnk", "x");
    SetGroup("QEL Wine Group");

    RemoveProgramGroup();

    EXPECT_FALSE(DirExists(programs_ + "\\QEL Wine Group"));
}

}  // namespace
