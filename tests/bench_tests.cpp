// The bench's own robot: that it names the icon a message box of another
// process shows (where Wine draws one: in 64-bit programs), and that a box
// whose thread does not answer costs a timeout, not a hang.
#include <windows.h>

#include <stdlib.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "bench.h"

using namespace bench;

namespace {

const char ShowBoxName[] = "showbox.exe";

class BoxRobot : public testing::Test {
protected:
    void TearDown() override { ClearAppFamily(ShowBoxName); }

    // Starts the helper with "<style> <caption>" (or "hung <caption>").
    Process Show(const std::string &style, const std::string &caption)
    {
        const char *helper = getenv("QEL_SHOWBOX");
        std::string exe = WindowsPath(helper ? helper : "");
        return Start(exe, "\"" + exe + "\" " + style + " \"" + caption + "\"", "", Family::NT);
    }
    Process Show(UINT style, const std::string &caption) { return Show(std::to_string(style), caption); }
};

struct IconCase {
    const char *name;
    UINT style;
    UINT icon;
};

const IconCase IconCases[] = {
    {"information", MB_ICONINFORMATION, MB_ICONINFORMATION},
    {"asterisk", MB_ICONASTERISK, MB_ICONINFORMATION},
    {"question", MB_ICONQUESTION, MB_ICONQUESTION},
    {"hand", MB_ICONHAND, MB_ICONHAND},
    {"stop", MB_ICONSTOP, MB_ICONHAND},
    {"error", MB_ICONERROR, MB_ICONHAND},
    {"exclamation", MB_ICONEXCLAMATION, MB_ICONEXCLAMATION},
    {"warning", MB_ICONWARNING, MB_ICONEXCLAMATION},
    {"question with yes and no", MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND, MB_ICONQUESTION},
    {"information in front", MB_SETFOREGROUND | MB_ICONINFORMATION, MB_ICONINFORMATION},
    {"hand with retry and cancel", MB_RETRYCANCEL | MB_ICONHAND | MB_DEFBUTTON2, MB_ICONHAND},
    {"exclamation with ok and cancel", MB_OKCANCEL | MB_ICONEXCLAMATION, MB_ICONEXCLAMATION},
    {"no icon", MB_OK, 0},
    {"no icon with yes and no", MB_YESNO, 0},
};

TEST_F(BoxRobot, NamesTheSystemIconOfABoxInAnotherProcess)
{
    for (const IconCase &c : IconCases) {
        std::string caption = std::string("Robot icon: ") + c.name;
        Process helper = Show(c.style, caption);
        Box box;
        ASSERT_TRUE(WaitForBox(caption, &box, 10000, helper.Id())) << c.name;
        if (BoxIconsDrawn()) {
            EXPECT_EQ(c.icon, box.icon) << c.name;
            EXPECT_EQ(c.icon != 0, box.hasIcon) << c.name;
        }
        // The box still works after the probe: its first button ends it.
        ASSERT_FALSE(box.buttons.empty()) << c.name;
        AnswerBox(box, box.buttons[0]);
        EXPECT_EQ(box.buttons[0], helper.Wait()) << c.name;
    }
}

TEST_F(BoxRobot, TellsAnIconOfTheProgramsOwnFromTheSystemOnes)
{
    Process helper = Show(MB_USERICON, "Robot icon: own");
    Box box;
    ASSERT_TRUE(WaitForBox("Robot icon: own", &box, 10000, helper.Id()));
    if (BoxIconsDrawn()) {
        EXPECT_EQ((UINT)MB_USERICON, box.icon);
        EXPECT_TRUE(box.hasIcon);
    }
    AnswerBox(box, IDOK);
    EXPECT_EQ(IDOK, helper.Wait());
}

TEST_F(BoxRobot, ReadsTheSameBoxAgainWithTheSameIcon)
{
    Process helper = Show(MB_YESNO | MB_ICONEXCLAMATION, "Robot icon: twice");
    Box first, second;
    ASSERT_TRUE(WaitForBox("Robot icon: twice", &first, 10000, helper.Id()));
    ASSERT_TRUE(WaitForBox("Robot icon: twice", &second, 10000, helper.Id()));
    EXPECT_EQ(first.window, second.window);
    if (BoxIconsDrawn()) {
        EXPECT_EQ((UINT)MB_ICONEXCLAMATION, first.icon);
        EXPECT_EQ((UINT)MB_ICONEXCLAMATION, second.icon);
    }
    AnswerBox(second, IDNO);
    EXPECT_EQ(IDNO, helper.Wait());
}

TEST_F(BoxRobot, BoxWhoseThreadNeverAnswersCostsATimeoutNotAHang)
{
    Process helper = Show("hung", "Robot icon: hung");
    Box box;
    bool found = false;
    DWORD start = GetTickCount();
    EXPECT_NONFATAL_FAILURE(found = WaitForBox("Robot icon: hung", &box, 10000, helper.Id()),
                            "did not tell its icon");
    DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(found);
    EXPECT_EQ(UnreadIcon, box.icon);
    EXPECT_LT(elapsed, 15000u);
    EXPECT_TRUE(helper.Running());  // the helper's destructor ends it
}

}  // namespace
