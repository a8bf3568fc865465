// Removal of the Start-menu program group: the checks and the command text
// for a stored name, the group folder under the real Programs folder of the
// prefix, the command the Program Manager hears (recorded byte for byte by a
// DDE server of the test's own) and what Wine's Program Manager deletes for
// it, in-process and through the real executable, in the test's code page
// and the Japanese one, and with another program's window hung.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "layout.h"
#include "progman.h"
#include "remove/groupname.h"
#include "remove/remove.h"

using namespace bench;

namespace {


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

// Lead-byte ranges as the platform reports them: none for a single-byte
// code page, those of Shift-JIS (932) for the Japanese one.
const unsigned char SingleByte[LeadByteRangesSize] = {0};
const unsigned char ShiftJis[LeadByteRangesSize] = {0x81, 0x9F, 0xE0, 0xFC};

struct NameCase {
    const char *name;
    int accepted;
    const char *about;
    const unsigned char *leadRanges;  // nullptr: a single-byte code page
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
    {"\x95\\", 1, "a byte of 0x80 and above before a trailing separator"},
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
    // Shift-JIS: U+30BD is 0x83 0x5C, U+30DD 0x83 0x7C, U+30FC 0x81 0x5B.
    {"\x83\x5C\x83\x74\x83\x67", 1, "a trail byte of 0x5C is no backslash", ShiftJis},
    {"\x83\x7C\x81\x5B\x83\x5E\x83\x75\x83\x8B", 1, "a trail byte of 0x7C is no pipe", ShiftJis},
    {"QEL\\\x83\x5C", 1, "a double-byte character at the end", ShiftJis},
    {"\x83\x5C..", 1, "a double-byte character then dots is a name", ShiftJis},
    {"\xE0\x40", 1, "a lead byte of the second range", ShiftJis},
    // The last lead byte of each range: an off-by-one there splits the pair.
    {"\x9F\x5C..", 1, "the first range's last lead byte before 0x5C", ShiftJis},
    {"\xFC\x5C..", 1, "the second range's last lead byte before 0x5C", ShiftJis},
    {"\x9F\x7C\xFC\x7C", 1, "both ranges' last lead bytes before 0x7C", ShiftJis},
    {"\xB1\xB2", 1, "single-byte katakana between the ranges", ShiftJis},
    {"\x83\x5C..", 0, "the same bytes climb where 0x83 is no lead byte", SingleByte},
    {"\x83\x5C\\..", 0, "a double-byte character, then back onto the Programs folder", ShiftJis},
    {"\xB1\\..", 0, "0xB1 is no lead byte, so its backslash separates", ShiftJis},
    {"QEL\\\x83", 0, "a lead byte without its trail byte", ShiftJis},
    {"\x83.", 0, "a lead byte before a dot makes no character", ShiftJis},
    {"\x83/..", 0, "a lead byte before a slash makes no character", ShiftJis},
    {"\x83 ", 0, "a lead byte before a blank makes no character", ShiftJis},
    {"\x83\x3F", 0, "a lead byte before a question mark makes no character", ShiftJis},
};

TEST(IsGroupFolderName, AcceptsOnlyNamesThatStayBelowTheProgramsFolder)
{
    for (const NameCase &c : NameCases)
        EXPECT_EQ(c.accepted, IsGroupFolderName(c.name, c.leadRanges))
            << c.about << ": '" << c.name << "'";
    EXPECT_EQ(1, IsGroupFolderName(std::string(259, 'x').c_str(), SingleByte)) << "the longest name that can be stored";
}

TEST(IsGroupFolderName, ReadsLeadByteRangesUpToTheirEndOrTheirSize)
{
    // Twelve bytes of ranges with no ending pair: all six count.
    const unsigned char full[LeadByteRangesSize] = {0x81, 0x81, 0x82, 0x82, 0x83, 0x83,
                                                    0x84, 0x84, 0x85, 0x85, 0x86, 0x86};
    // A pair whose first byte is 0 ends them; what follows does not count.
    const unsigned char ended[LeadByteRangesSize] = {0x81, 0x81, 0x00, 0x00, 0x86, 0x86};
    EXPECT_EQ(1, IsGroupFolderName("\x86\\", full));
    EXPECT_EQ(1, IsGroupFolderName("\x81\\", ended));
    EXPECT_EQ(0, IsGroupFolderName("\x86\\..", ended));
    EXPECT_EQ(0, IsGroupFolderName("\x87\\..", full));
}

TEST(GroupFolderNameLength, LeavesOutTrailingSeparatorsButNoTrailByte)
{
    EXPECT_EQ(5u, GroupFolderNameLength("Tools", SingleByte));
    EXPECT_EQ(5u, GroupFolderNameLength("Tools\\/\\", SingleByte));
    EXPECT_EQ(9u, GroupFolderNameLength("QEL\\Tools\\", SingleByte));
    EXPECT_EQ(0u, GroupFolderNameLength("", SingleByte));
    EXPECT_EQ(2u, GroupFolderNameLength("\x83\x5C", ShiftJis));
    EXPECT_EQ(2u, GroupFolderNameLength("\x83\x5C\\\\", ShiftJis));
    EXPECT_EQ(1u, GroupFolderNameLength("\x83\x5C", SingleByte));
}

struct CommandCase {
    const char *name;
    const char *command;  // nullptr: the name is not sent
    const char *about;
    const unsigned char *leadRanges;
};

const CommandCase CommandCases[] = {
    {"Tools", "[DeleteGroup(Tools)]", "a plain name as stored"},
    {"QEL File Manager", "[DeleteGroup(QEL File Manager)]", "blanks need no quotes"},
    {"100% %s %n", "[DeleteGroup(100% %s %n)]", "percent signs as stored"},
    {"QEL\\Tools", "[DeleteGroup(QEL\\Tools)]", "a group inside a group"},
    {"Utilities, QEL", "[DeleteGroup(\"Utilities, QEL\")]", "a comma would end the argument"},
    {"Tools)]", "[DeleteGroup(\"Tools)]\")]", "')' and ']' would end the command"},
    {"QEL (old)", "[DeleteGroup(\"QEL (old)\")]", "'(' would start an argument list"},
    {"[QEL", "[DeleteGroup(\"[QEL\")]", "'[' would start a command"},
    {"QEL \"Tools\"", nullptr, "a quote cannot be quoted"},
    {"\"", nullptr, "a quote alone"},
    {"Q, \"", nullptr, "a quote and a comma"},
    {"\x83\x5B\x83\x5D", "[DeleteGroup(\x83\x5B\x83\x5D)]", "trail bytes 0x5B and 0x5D are no brackets",
     ShiftJis},
    {"\x83\x5B\x83\x5D", "[DeleteGroup(\"\x83\x5B\x83\x5D\")]", "the same bytes are brackets elsewhere", SingleByte},
    {"\x83\x5C, QEL", "[DeleteGroup(\"\x83\x5C, QEL\")]", "a double-byte name with a comma", ShiftJis},
    {"\x83\"", nullptr, "a quote after a lead byte is still a quote", ShiftJis},
    {"QEL\x83", "[DeleteGroup(QEL\x83)]", "a lead byte at the end stops the walk", ShiftJis},
};

TEST(FormatDeleteGroupCommand, QuotesNamesThatHoldTheCommandsSyntaxAndRefusesQuotes)
{
    for (const CommandCase &c : CommandCases) {
        char command[512];
        memset(command, Marker, sizeof command);
        int sent = FormatDeleteGroupCommand(command, sizeof command, c.name, c.leadRanges);
        EXPECT_EQ(c.command != nullptr, sent == 1) << c.about;
        EXPECT_EQ(c.command ? c.command : "", std::string(command)) << c.about;
    }
}

TEST(FormatDeleteGroupCommand, CommandThatDoesNotFitIsRefusedNotCut)
{
    const char *names[] = {"Tools", "Tools)]"};
    for (const char *name : names) {
        char expected[64];
        ASSERT_EQ(1, FormatDeleteGroupCommand(expected, sizeof expected, name, SingleByte));
        size_t length = strlen(expected);
        char command[64];
        memset(command, Marker, sizeof command);
        EXPECT_EQ(1, FormatDeleteGroupCommand(command, length + 1, name, SingleByte)) << name;
        EXPECT_EQ(std::string(expected), command) << name;
        EXPECT_EQ('\xBD', command[length + 1]) << name;
        memset(command, Marker, sizeof command);
        EXPECT_EQ(0, FormatDeleteGroupCommand(command, length, name, SingleByte)) << name;
        EXPECT_EQ('\0', command[0]) << name;
        EXPECT_EQ('\xBD', command[length]) << name;
    }
    char untouched = '\xBD';
    EXPECT_EQ(0, FormatDeleteGroupCommand(&untouched, 0, "Tools", SingleByte));
    EXPECT_EQ(0, FormatDeleteGroupCommand(&untouched, 0, "\"", SingleByte));
    EXPECT_EQ('\xBD', untouched);
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

// The uninstall waits at most 8 s for the conversation; a normal one ends
// long before, and a wait that ran to its bound every time would show here.
const DWORD WellWithinTheWaitMs = 4000;

TEST_F(GroupRemoval, CommandForToolsIsTwentyCharactersAndItsZeroAndTheStepEndsWellWithinItsWait)
{
    SetGroup("Tools");

    DWORD start = GetTickCount();
    RemoveProgramGroup();
    DWORD elapsed = GetTickCount() - start;

    ExpectOneCommand(std::string("[DeleteGroup(Tools)]\0", 21));
    EXPECT_LT(elapsed, WellWithinTheWaitMs);
}

// On Windows the uninstall's thread owns a top-level window (at least the
// input method's), which the conversation's connect asks and waits for: the
// step must deliver that message while it waits, or it stalls and sends
// nothing.
TEST_F(GroupRemoval, WindowOfTheCallingThreadNeitherStallsTheStepNorKeepsTheCommandBack)
{
    HWND own = CreateWindowA("STATIC", "QEL own window", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(own != NULL);
    SetGroup("Tools");

    DWORD start = GetTickCount();
    RemoveProgramGroup();
    DWORD elapsed = GetTickCount() - start;

    ExpectOneCommand(DeleteGroupCommand("Tools"));
    EXPECT_LT(elapsed, WellWithinTheWaitMs);
    DestroyWindow(own);
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
    MakeFolder(group + "\\Mine", {});  // the user's, empty: the step deletes files only
    SetGroup("Tools");

    RemoveProgramGroup();

    EXPECT_EQ((std::vector<std::string>{".", "..", "Extras", "Mine"}), Names(group));
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

TEST_F(GroupRemoval, NamesWithCommasParenthesesOrBracketsAreSentQuotedAndPercentSignsAsStored)
{
    const struct {
        const char *name;
        const char *command;
    } cases[] = {
        {"Q,E)L", "[DeleteGroup(\"Q,E)L\")]"},
        {"QEL (old), tools", "[DeleteGroup(\"QEL (old), tools\")]"},
        {"Tools)]", "[DeleteGroup(\"Tools)]\")]"},
        {"[QEL] Tools", "[DeleteGroup(\"[QEL] Tools\")]"},
        {"100% %s %n", "[DeleteGroup(100% %s %n)]"},
    };
    for (const auto &c : cases) {
        RestartRecorder();
        std::string group = MakeGroup(c.name, {"QEL.lnk"});
        SetGroup(c.name);

        RemoveProgramGroup();

        EXPECT_FALSE(DirExists(group)) << c.name;
        ExpectOneCommand(Sz(c.command), c.name);
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

TEST_F(GroupRemoval, NamesThatLeadOutOfTheProgramsFolderTouchNoFolderAndAreNotSent)
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

        EXPECT_EQ(0, progman_->Connects()) << name;
        EXPECT_TRUE(progman_->Executes().empty()) << name;
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

const DWORD LinkedFolder = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;

TEST_F(GroupRemoval, LinkedGroupFolderOrOneOnTheWayIsNeitherEmptiedNorSentHoweverItIsSpelled)
{
    ScratchDir target("link target");
    MakeFolder(target / "Sub", {"Kept.lnk"});
    MakeFolder(target / "Sub\\Deeper", {"Deep.lnk"});
    WriteFile(target / "Shared.lnk", "[InternetShortcut]\r\n");
    UnixLink link(programs_ + "\\Linked", target.Path());
    ASSERT_TRUE(link.Made());
    ASSERT_EQ(LinkedFolder, GetFileAttributesA((programs_ + "\\Linked").c_str()));

    // With trailing separators Windows reports the target's attributes. A
    // group below the linked folder is no better, however many folders on.
    for (const char *name : {"Linked", "Linked\\", "Linked\\/", "Linked.", "Linked ", "Linked\\Sub", "Linked/Sub",
                             "Linked\\Sub\\Deeper"}) {
        for (bool wine : {false, true}) {
            SCOPED_TRACE(std::string(name) + (wine ? ", Wine's Program Manager" : ", the recorder"));
            std::unique_ptr<WineProgman> winePm;
            if (wine) {
                progman_.reset();
                winePm.reset(new WineProgman);
                ASSERT_TRUE(winePm->Ready());
            } else {
                RestartRecorder();
            }
            SetGroup(name);

            RemoveProgramGroup();

            winePm.reset();
            if (!wine)
                ExpectNoConversation();
            EXPECT_TRUE(FileExists(target / "Shared.lnk"));
            EXPECT_TRUE(FileExists(target / "Sub\\Kept.lnk"));
            EXPECT_TRUE(FileExists(target / "Sub\\Deeper\\Deep.lnk"));
            EXPECT_EQ(LinkedFolder, GetFileAttributesA((programs_ + "\\Linked").c_str()));
        }
    }
}

// The uninstall through the real executable, as the list of programs runs
// it, for stored group names of every kind: what the Program Manager hears
// (a recorder) and what it really deletes (Wine's own), with the user's
// other groups and folders beside the group and above it as canaries.
struct StoredNameCase {
    const char *about;
    const wchar_t *name;
    // Run in the Japanese code page (932) rather than the test's own.
    bool japanese;
    // The command in the program's code page, its zero not included;
    // nullptr: no conversation at all.
    const char *command;
};

// U+30BD U+30D5 U+30C8 is 83 5C 83 74 83 67 in Shift-JIS; U+30DD U+30FC
// U+30BF U+30D6 U+30EB is 83 7C 81 5B 83 5E 83 75 83 8B; U+30C4 U+30FC
// U+30EB is 83 63 81 5B 83 8B.
const StoredNameCase StoredNameCases[] = {
    {"a plain name", L"QEL Tools", false, "[DeleteGroup(QEL Tools)]"},
    {"the Start Menu itself", L"..", false, nullptr},
    {"a sibling with a backslash", L"..\\QEL Victim", false, nullptr},
    {"a sibling with a slash", L"../QEL Victim", false, nullptr},
    {"climbing after a first step", L"QEL\\..\\..\\QEL Victim", false, nullptr},
    {"a comma", L"Utilities, QEL", false, "[DeleteGroup(\"Utilities, QEL\")]"},
    {"the command's end", L"Tools)]", false, "[DeleteGroup(\"Tools)]\")]"},
    {"a quote", L"QEL \"Tools\"", false, nullptr},
    {"a trail byte 0x5C", L"\u30bd\u30d5\u30c8", true, "[DeleteGroup(\x83\x5C\x83\x74\x83\x67)]"},
    {"trail bytes 0x7C and 0x5B", L"\u30dd\u30fc\u30bf\u30d6\u30eb", true,
     "[DeleteGroup(\x83\x7C\x81\x5B\x83\x5E\x83\x75\x83\x8B)]"},
    {"a double-byte name with a comma", L"\u30c4\u30fc\u30eb, QEL", true,
     "[DeleteGroup(\"\x83\x63\x81\x5B\x83\x8B, QEL\")]"},
    {"a double-byte character, then the Programs folder", L"\u30bd\\..", true, nullptr},
};

std::wstring Wide(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(n > 0 ? n - 1 : 0);
    return wide;
}

// A folder holding one shortcut, and optionally a subfolder with another.
void MakeFolderW(const std::wstring &folder, const std::wstring &file, bool withSubfolder = false)
{
    CreateDirectoryW(folder.c_str(), NULL);
    HANDLE handle = CreateFileW((folder + L"\\" + file).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);
    if (withSubfolder)
        MakeFolderW(folder + L"\\Extras", L"Plugin.lnk");
}

// Removes what MakeFolderW made, quietly.
void RemoveFolderW(const std::wstring &folder, const std::wstring &file)
{
    DeleteFileW((folder + L"\\Extras\\Plugin.lnk").c_str());
    RemoveDirectoryW((folder + L"\\Extras").c_str());
    DeleteFileW((folder + L"\\" + file).c_str());
    RemoveDirectoryW(folder.c_str());
}

const UINT JapaneseCodePage = 932;

// Runs one test of this program again in the Japanese code page, through
// the bench's locale runner, and returns its exit code (-1 when it did not
// start or end). It reports on this program's output.
long RunInJapaneseCodePage(const std::string &test)
{
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, self, MAX_PATH);
    if (n == 0 || n == MAX_PATH)
        return -1;
    fflush(stdout);
    ScopedEnv expected("QEL_EXPECT_ACP", std::to_string(JapaneseCodePage));
    Process run = StartUnderLocale(Japanese, std::wstring(self, n),
                                   L" --gtest_filter=" + std::wstring(test.begin(), test.end()), L"", TestFamily());
    return run.Wait(600000);
}

class StoredNames : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        std::string programs = ProgramsFolder();
        ASSERT_FALSE(programs.empty()) << "the shell names no Programs folder";
        programs_ = Wide(programs);
        startMenu_ = Wide(Parent(programs));
        MakeCanaries();
    }
    void TearDown() override
    {
        for (const Canary &canary : Canaries())
            RemoveFolderW(canary.folder, canary.file);
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, SettingsKey);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, UninstallEntry);
        DeleteFileA(CleanupScriptPath().c_str());
    }

    // The user's own groups, among them those a misread name would hit,
    // and folders in the Start Menu above the Programs folder.
    struct Canary {
        std::wstring folder;
        std::wstring file;
    };
    std::vector<Canary> Canaries() const
    {
        return {
            {programs_ + L"\\QEL Canary", L"Canary.lnk"},
            {programs_ + L"\\Utilities", L"Utilities.lnk"},
            {programs_ + L"\\Tools", L"Tools.lnk"},
            {programs_ + L"\\\u30c4\u30fc\u30eb", L"Tool.lnk"},
            {startMenu_ + L"\\QEL Canary", L"Canary.lnk"},
            {startMenu_ + L"\\QEL Victim", L"Victim.lnk"},
        };
    }
    void MakeCanaries() const
    {
        CreateDirectoryW(startMenu_.c_str(), NULL);
        CreateDirectoryW(programs_.c_str(), NULL);
        for (const Canary &canary : Canaries())
            MakeFolderW(canary.folder, canary.file);
    }
    void ExpectCanariesAlive() const
    {
        for (const Canary &canary : Canaries())
            EXPECT_TRUE(FileExists(canary.folder + L"\\" + canary.file))
                << Encode(canary.folder, CP_ACP) << " was reached";
    }

    // An installation of one listed file, uninstalled with the name stored
    // as "Group"; the group's folder holds a shortcut and a subfolder, so
    // that the uninstall's own folder work leaves it and only the Program
    // Manager removes it whole.
    long Uninstall(DWORD *afterYesMs = nullptr)
    {
        ScratchDir dir;
        std::string exe = dir.Install();
        LayFile(dir / "listed.txt", "listed");
        LayFile(dir / "Uninstall.lst", "listed.txt\r\n");
        InterpreterStandin standin;
        Process run = StartWithTail(exe, "", ScratchRoot, TestFamily());
        long code = AnswerConfirmation(run, "the uninstall", afterYesMs);
        EXPECT_TRUE(standin.Wait()) << "the interpreter was not started";
        EXPECT_FALSE(FileExists(dir / "listed.txt"));
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, SettingsKey));
        return code;
    }

    // Registers the name through the program as the installer does; true
    // when "Group" then holds it as given.
    bool Register(const std::wstring &name)
    {
        ScratchDir dir;
        Process run = StartWithTail(dir.Install(), " register " + Encode(name, CP_ACP), ScratchRoot, TestFamily());
        EXPECT_EQ(0, run.Wait());
        return ReadGroup() == name;
    }

    std::wstring ReadGroup() const
    {
        wchar_t value[300] = L"";
        DWORD size = sizeof value - sizeof(wchar_t);
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Qel", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return L"<no key>";
        LONG result = RegQueryValueExW(key, L"Group", NULL, NULL, (BYTE *)value, &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? value : L"<no value>";
    }
    void SetGroup(const std::wstring &name)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Qel", 0, NULL, 0, KEY_ALL_ACCESS,
                                                 NULL, &key, NULL));
        LONG result = RegSetValueExW(key, L"Group", 0, REG_SZ, (const BYTE *)name.c_str(),
                                     (DWORD)(name.size() + 1) * sizeof(wchar_t));
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, result);
    }

    std::wstring programs_;
    std::wstring startMenu_;
};

TEST_F(StoredNames, EachNameReachesItsOwnGroupOrNothing)
{
    bool japanese = GetACP() == JapaneseCodePage;
    // The run again in the Japanese code page must really be in it.
    if (const char *expected = getenv("QEL_EXPECT_ACP"))
        ASSERT_EQ(strtoul(expected, nullptr, 10), GetACP());
    for (const StoredNameCase &c : StoredNameCases) {
        if (c.japanese != japanese)
            continue;
        SCOPED_TRACE(c.about);
        MakeCanaries();
        std::wstring group = programs_ + L"\\" + c.name;
        if (c.command)
            MakeFolderW(group, L"QEL.lnk", true);

        // Registered as the installer does: the name must arrive as the
        // expected ANSI bytes, or nothing below means anything.
        ASSERT_TRUE(Register(c.name)) << "the name did not arrive as it was given: " << Encode(ReadGroup(), CP_ACP);

        // What the Program Manager hears, byte for byte.
        std::vector<std::string> executes;
        int connects = 0;
        {
            ProgmanRecorder progman;
            ASSERT_TRUE(progman.Ready());
            EXPECT_EQ(0, Uninstall());
            executes = progman.Executes();
            connects = progman.Connects();
        }
        if (c.command) {
            EXPECT_EQ(std::vector<std::string>{Sz(c.command)}, executes);
            EXPECT_FALSE(FileExists(group + L"\\QEL.lnk")) << "the folder work left the shortcut";
            EXPECT_TRUE(FileExists(group + L"\\Extras\\Plugin.lnk")) << "the folder work entered a subfolder";
        } else {
            EXPECT_EQ(0, connects);
            EXPECT_TRUE(executes.empty());
        }
        ExpectCanariesAlive();

        // What Wine's Program Manager deletes for it.
        if (c.command)
            MakeFolderW(group, L"QEL.lnk", true);
        SetGroup(c.name);
        {
            WineProgman progman;
            ASSERT_TRUE(progman.Ready());
            EXPECT_EQ(0, Uninstall());
        }
        if (c.command)
            EXPECT_FALSE(DirExists(group)) << "the Program Manager did not delete the group";
        ExpectCanariesAlive();
        if (c.command)
            RemoveFolderW(group, L"QEL.lnk");
    }
    if (!japanese)
        EXPECT_EQ(0, RunInJapaneseCodePage("StoredNames.EachNameReachesItsOwnGroupOrNothing"))
            << "the double-byte names failed in the Japanese code page";
}

// A top-level window of this program whose thread answers no message until
// hangMs have passed (or the end of the case): whoever sends it a message
// waits that long. The test's own thread goes on.
class HungWindow {
public:
    explicit HungWindow(DWORD hangMs) : hangMs_(hangMs)
    {
        ready_ = CreateEventA(NULL, TRUE, FALSE, NULL);
        end_ = CreateEventA(NULL, TRUE, FALSE, NULL);
        thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
        WaitForSingleObject(ready_, 5000);
    }
    ~HungWindow()
    {
        SetEvent(end_);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(end_);
        CloseHandle(ready_);
    }
    HungWindow(const HungWindow &) = delete;
    HungWindow &operator=(const HungWindow &) = delete;
    bool Ready() const { return window_ != NULL; }

private:
    static DWORD WINAPI Run(void *param)
    {
        HungWindow *self = (HungWindow *)param;
        self->window_ = CreateWindowA("STATIC", "QEL hung window", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        SetEvent(self->ready_);
        // Hung: no message is looked at while this waits.
        if (WaitForSingleObject(self->end_, self->hangMs_) == WAIT_TIMEOUT) {
            MSG message;
            while (MsgWaitForMultipleObjects(1, &self->end_, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
                while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
                    DispatchMessageA(&message);
        }
        DestroyWindow(self->window_);
        return 0;
    }

    DWORD hangMs_;
    HANDLE ready_ = NULL;
    HANDLE end_ = NULL;
    HANDLE thread_ = NULL;
    HWND window_ = NULL;
};

TEST_F(StoredNames, WindowThatHangsForEverHoldsTheUninstallOnlyForSeconds)
{
    const StoredNameCase &plain = StoredNameCases[0];
    SetGroup(plain.name);
    ProgmanRecorder progman;
    ASSERT_TRUE(progman.Ready());
    HungWindow hung(INFINITE);
    ASSERT_TRUE(hung.Ready());

    DWORD afterYesMs = 0;
    EXPECT_EQ(0, Uninstall(&afterYesMs));

    // The conversation waits 5 s for the transaction and 3 s more.
    EXPECT_LT(afterYesMs, 15000u);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    RecordProperty("uninstall_ms_with_hung_window", (int)afterYesMs);
    printf("uninstall with a window hung for ever: %lu ms after Yes\n", afterYesMs);
}

TEST_F(StoredNames, WindowThatHangsBrieflyOnlyDelaysTheCommand)
{
    const StoredNameCase &plain = StoredNameCases[0];
    SetGroup(plain.name);
    ProgmanRecorder progman;
    ASSERT_TRUE(progman.Ready());
    HungWindow hung(2000);
    ASSERT_TRUE(hung.Ready());

    DWORD afterYesMs = 0;
    EXPECT_EQ(0, Uninstall(&afterYesMs));

    EXPECT_EQ(std::vector<std::string>{Sz(plain.command)}, progman.Executes());
    printf("uninstall with a window hung for 2 s: %lu ms after Yes\n", afterYesMs);
}

}  // namespace
