// The entry: the command tail, the choice of mode, the bounded formatter,
// the message ring, and each mode as the real executable runs it.
#include <windows.h>

#include <string.h>

#include <gtest/gtest.h>

#include "base/text.h"
#include "bench.h"
#include "base/messages.h"

using namespace bench;

namespace {

struct TailCase {
    const char *name;
    const char *commandLine;
    const char *tail;
};

const TailCase TailCases[] = {
    {"quoted path with blanks, no blank before the word",
     "\"C:\\Program Files\\Qel\\Uninstall.exe\"register Tools", "register Tools"},
    {"quoted path then blanks", "\"C:\\Program Files\\Qel\\Uninstall.exe\"   wait", "wait"},
    {"unquoted path", "C:\\Qel\\Uninstall.exe warning", "warning"},
    {"unquoted path stops at its first blank", "C:\\Program Files\\Uninstall.exe wait",
     "Files\\Uninstall.exe wait"},
    {"leading blanks and tabs", " \t \"C:\\Qel\\Uninstall.exe\" \t register x", "register x"},
    {"trailing blanks kept", "Uninstall.exe register Tools  ", "register Tools  "},
    {"a quoted name ends at a tab", "\"C:\\Qel\\Un\tinstall.exe\" wait", "install.exe\" wait"},
    {"unterminated quote eats the line", "\"C:\\Qel\\Uninstall.exe wait", ""},
    {"name only", "Uninstall.exe", ""},
    {"name and blanks only", "\"Uninstall.exe\"   ", ""},
    {"empty line", "", ""},
    {"blank before the closing quote stays in the name", "\"a b \"c", "c"},
    {"tabs inside the tail kept", "x \tregister\tTools\t", "register\tTools\t"},
};

// The rule is stated in entry/text.h and in the README ("What the program
// does").
TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterItOnly)
{
    for (const TailCase &c : TailCases)
        EXPECT_STREQ(c.tail, CommandTail(c.commandLine)) << c.name;
}

struct ModeCase {
    const char *tail;
    Mode mode;
};

const ModeCase ModeCases[] = {
    {"register", ModeRegister},        {"Register", ModeRegister},
    {"REGISTER Tools", ModeRegister},  {"registerTools", ModeRegister},
    {"register Tools  ", ModeRegister}, {"reg", ModeUninstall},
    {"registe", ModeUninstall},        {"warning", ModeWarning},
    {"Warning", ModeWarning},          {"WARNING", ModeWarning},
    {"warning ", ModeUninstall},       {"warnings", ModeUninstall},
    {"warn", ModeUninstall},           {"wait", ModeWait},
    {"WAIT", ModeWait},                {"wait ", ModeUninstall},
    {"waiting", ModeUninstall},        {"wai", ModeUninstall},
    {"", ModeUninstall},               {"anything", ModeUninstall},
    {" wait", ModeUninstall},          {"\xC9wait", ModeUninstall},
    {"/S", ModeQuietUninstall},        {"/s", ModeQuietUninstall},
    {"/S ", ModeUninstall},            {"/Silent", ModeUninstall},
    {"-S", ModeUninstall},             {"/", ModeUninstall},
};

TEST(SelectMode, FirstMatchingRowDecidesAndCaseIsIgnored)
{
    for (const ModeCase &c : ModeCases)
        EXPECT_EQ(c.mode, SelectMode(c.tail)) << "tail '" << c.tail << "'";
}

TEST(FormatText, FitsExactlyAtTheLimitWithoutTouchingTheNextByte)
{
    char buffer[9];
    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(1, FormatText(buffer, 8, "%s\\%s", "abc", "def"));  // 7 characters + zero
    EXPECT_STREQ("abc\\def", buffer);
    EXPECT_EQ(Marker, buffer[8]);
}

TEST(FormatText, RefusesOneCharacterTooManyAndLeavesTheBufferEmpty)
{
    char buffer[9];
    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, FormatText(buffer, 8, "%s\\%s", "abcd", "def"));  // 8 characters: no room for zero
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(Marker, buffer[8]);
    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, FormatText(buffer, 8, "%s", "a much longer text"));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(Marker, buffer[8]);
}

TEST(FormatText, EmptyTextFitsOneByte)
{
    char buffer[2] = {'x', Marker};
    EXPECT_EQ(1, FormatText(buffer, 1, "%s", ""));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(Marker, buffer[1]);
    EXPECT_EQ(0, FormatText(buffer, 0, "%s", ""));
    EXPECT_EQ(Marker, buffer[1]);
}

// MsgText loads from the instance handle; the built executable's own
// resources serve, loaded as a data file.
class MessageRing : public testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(ProductExe().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module_ != NULL) << ProductExe();
        AppInstance = module_;
    }
    void TearDown() override
    {
        AppInstance = NULL;
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE module_ = NULL;
};

TEST_F(MessageRing, ShipsTheFiveTextsByteForByte)
{
    EXPECT_STREQ("Uninstall QEL", MsgText(200));
    EXPECT_STREQ("Uninstall completed", MsgText(201));
    EXPECT_STREQ("You should delete %s manually", MsgText(202));
    EXPECT_STREQ("Continue with uninstall QEL", MsgText(203));
    EXPECT_STREQ("Cannot open list file", MsgText(204));
}

TEST_F(MessageRing, NumberWithoutTextGivesEmptyString)
{
    EXPECT_STREQ("", MsgText(199));
    EXPECT_STREQ("", MsgText(205));
    EXPECT_STREQ("", MsgText(0));
}

TEST_F(MessageRing, SixthCallReusesTheFirstCallsBuffer)
{
    const char *first = MsgText(200);
    const char *held[4];
    for (int i = 0; i < 4; i++)
        held[i] = MsgText(201 + i);
    for (int i = 0; i < 4; i++) {
        EXPECT_NE(first, held[i]);
        for (int j = i + 1; j < 4; j++)
            EXPECT_NE(held[i], held[j]);
    }
    EXPECT_STREQ("Uninstall QEL", first);  // still intact after four more calls
    const char *sixth = MsgText(203);
    EXPECT_EQ(first, sixth);
    EXPECT_STREQ("Continue with uninstall QEL", first);
}

// The modes, through the real executable.
class Dispatch : public testing::Test {
protected:
    void TearDown() override
    {
        // Whatever a registration run wrote.
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, "Software\\Qel");
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QEL manager");
    }
    ScratchDir dir_;
    std::string exe_ = dir_.Install();
};

TEST_F(Dispatch, WarningShowsThePathToDeleteWithInformationIconAndOkOnly)
{
    for (const char *word : {"Warning", "warning", "WARNING"}) {
        Process run = StartWithTail(exe_, std::string(" ") + word, dir_.Path(), TestFamily());
        Box box;
        ASSERT_TRUE(WaitForBox(Caption, &box, 10000, run.Id())) << word;
        EXPECT_EQ("Uninstall completed\nYou should delete " + exe_ + " manually", box.text) << word;
        if (BoxIconsDrawn())
            EXPECT_EQ((UINT)MB_ICONINFORMATION, box.icon) << word;
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        AnswerBox(box, IDOK);
        EXPECT_EQ(0, run.Wait()) << word;
    }
}

TEST_F(Dispatch, WaitLastsAboutOneSecondAndShowsNothing)
{
    DWORD start = GetTickCount();
    Process run = StartWithTail(exe_, " wait", dir_.Path(), TestFamily());
    EXPECT_FALSE(BoxAppearedUntilExit(run, Caption));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(0, run.Wait());
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 5000u);
}

TEST_F(Dispatch, AnyOtherTailAsksToUninstallWithYesAsDefault)
{
    for (const char *tail : {"", " waiting", " wait ", " warning ", " reg", " /S ", " -S", " /Silent"}) {
        Process run = StartWithTail(exe_, tail, dir_.Path(), TestFamily());
        Box box;
        ASSERT_TRUE(WaitForBox(Caption, &box, 10000, run.Id())) << "tail '" << tail << "'";
        EXPECT_EQ("Continue with uninstall QEL", box.text);
        if (BoxIconsDrawn())
            EXPECT_EQ((UINT)MB_ICONQUESTION, box.icon);
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
        EXPECT_EQ(IDYES, box.defaultButton);
        AnswerBox(box, IDNO);
        EXPECT_EQ(1602, run.Wait()) << "tail '" << tail << "'";
    }
}

TEST_F(Dispatch, TailIsFormedFromTheRawCommandLine)
{
    // No blank between the quoted name and the word, as some installers write it.
    Process glued = Start(exe_, "\"" + exe_ + "\"wait", dir_.Path(), TestFamily());
    EXPECT_FALSE(BoxAppearedUntilExit(glued, Caption));
    EXPECT_EQ(0, glued.Wait());

    // Leading blanks and tabs, an unquoted name.
    Process unquoted = Start(exe_, " \t Uninstall.exe \t warning", dir_.Path(), TestFamily());
    Box box;
    ASSERT_TRUE(WaitForBox(Caption, &box, 10000, unquoted.Id()));
    EXPECT_EQ(0u, box.text.find("Uninstall completed\n"));
    AnswerBox(box, IDOK);
    EXPECT_EQ(0, unquoted.Wait());
}

TEST_F(Dispatch, RegistrationWordsShowNothingAndExitZero)
{
    const std::pair<const char *, const char *> cases[] = {
        {" register Tools", "Tools"}, {" Register", ""}, {" registerTools", "Tools"}, {" REGISTER Tools", "Tools"}};
    for (const auto &c : cases) {
        Process run = StartWithTail(exe_, c.first, dir_.Path(), TestFamily());
        EXPECT_FALSE(BoxAppearedUntilExit(run, Caption)) << c.first;
        EXPECT_EQ(0, run.Wait()) << c.first;
        // The text after the word is the group.
        EXPECT_EQ(Sz(c.second), ReadRegValue(HKEY_CURRENT_USER, "Software\\Qel", "Group").data) << c.first;
    }
}

}  // namespace
