// The bench's own robot: that it names the icon a message box of another
// The bench's own robot: that it names the icon a message box of another
// process shows (where Wine draws one: in 64-bit programs), and that a box
// whose thread does not answer costs a timeout, not a hang. Its process
// runner, which tries once more when Wine's CreateProcessA fails with
// ERROR_INTERNAL_ERROR. And its check of the processes a test starts: one
// left running is named, fails the test and is ended, and one started under
// another locale counts as well.
#include <windows.h>

#include <stdlib.h>

#include <algorithm>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "bench.h"
#include "imports.h"
#include "layout.h"

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

// A box nobody answers, shown by a grandchild that a detached child started
// and left: the processes of the product's cleanup (its interpreter and the
// "Warning" run) are started the same way and are what a test forgets.
TEST(StartedProcesses, OneLeftRunningIsNamedFailsTheTestAndIsEnded)
{
    const char caption[] = "Robot leak: forgotten";
    const char *helper = getenv("QEL_SHOWBOX");
    std::string exe = WindowsPath(helper ? helper : "");
    char interpreter[MAX_PATH] = "";
    ASSERT_TRUE(GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter));
    std::string line = std::string(interpreter) + " /c start \"\" \"" + exe + "\" 0 \"" + caption + "\"";
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessRetrying(NULL, &line[0], FALSE, DETACHED_PROCESS, NULL, &startup, &info));
    CloseHandle(info.hThread);
    Process child(info.hProcess, info.dwProcessId);
    EXPECT_EQ(0, child.Wait());
    Box box;
    ASSERT_TRUE(WaitForBox(caption, &box));

    std::vector<StartedProcess> started = StartedProcesses();
    auto forgotten = std::find_if(started.begin(), started.end(),
                                  [&](const StartedProcess &p) { return p.id == box.processId; });
    ASSERT_NE(started.end(), forgotten);
    EXPECT_EQ(exe, forgotten->image);
    EXPECT_NE(std::string::npos, forgotten->commandLine.find(std::string("0 \"") + caption + "\""))
        << forgotten->commandLine;

    DWORD begin = GetTickCount();
    bool ended = true;
    EXPECT_NONFATAL_FAILURE(ended = ExpectStartedProcessesEnd(500), forgotten->image + " (process " +
                                                                       std::to_string(box.processId) + "): " +
                                                                       forgotten->commandLine);
    EXPECT_FALSE(ended);
    EXPECT_LT(GetTickCount() - begin, 10000u);
    EXPECT_TRUE(StartedProcesses().empty());
    EXPECT_FALSE(IsWindow(box.window));
    EXPECT_TRUE(ExpectStartedProcessesEnd(0));
}

// The locale runner starts a program outside this program's process tree;
// the program joins the test's job all the same, so it is checked and ended
// like any other, and the handle handed back is the program's own.
TEST(StartedProcesses, ProgramStartedUnderAnotherLocaleIsOneOfTheTests)
{
    const char caption[] = "Robot: under another locale";
    const char *helper = getenv("QEL_SHOWBOX");
    std::string exe = WindowsPath(helper ? helper : "");
    Process run = StartUnderLocale(Russian, Widen(exe), L" 0 \"" + Widen(caption) + L"\"", L"", Family::NT);
    ASSERT_TRUE(run.Started());
    Box box;
    ASSERT_TRUE(WaitForBox(caption, &box));
    EXPECT_EQ(run.Id(), box.processId);
    std::vector<StartedProcess> started = StartedProcesses();
    EXPECT_NE(started.end(), std::find_if(started.begin(), started.end(),
                                          [&](const StartedProcess &p) { return p.id == run.Id(); }));
    AnswerBox(box, IDOK);
    EXPECT_EQ(IDOK, run.Wait());
    ClearAppFamily(ShowBoxName);
}

// Under load Wine's CreateProcessA now and then fails with
// ERROR_INTERNAL_ERROR (the new process died while starting): the runner
// tries once more after that error, and only after that one.
struct RetryCase {
    const char *name;
    int failures;  // calls failing with error before the platform's own
    DWORD error;
    int calls;
    bool started;
};

const RetryCase RetryCases[] = {
    {"one internal error", 1, ERROR_INTERNAL_ERROR, 2, true},
    {"two internal errors", 2, ERROR_INTERNAL_ERROR, 2, false},
    {"another error", 1, ERROR_ACCESS_DENIED, 1, false},
};

decltype(&CreateProcessA) realCreateProcess;
int failuresLeft;
DWORD failWith;
int calls;

BOOL WINAPI FailingCreateProcess(LPCSTR exe, LPSTR line, LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID env,
                                 LPCSTR dir, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info)
{
    calls++;
    if (failuresLeft > 0) {
        failuresLeft--;
        SetLastError(failWith);
        return FALSE;
    }
    return realCreateProcess(exe, line, processAttributes, threadAttributes, inherit, flags, env, dir, startup,
                             info);
}

TEST(ProcessRunner, TriesOnceMoreAfterAnInternalErrorOnly)
{
    std::string exe = ProductExe();
    for (const RetryCase &c : RetryCases) {
        SCOPED_TRACE(c.name);
        ImportHook hook("KERNEL32.dll", "CreateProcessA", (void *)&FailingCreateProcess);
        ASSERT_TRUE(hook.Installed());
        realCreateProcess = hook.Original<decltype(realCreateProcess)>();
        failuresLeft = c.failures;
        failWith = c.error;
        calls = 0;
        Process run;
        if (c.started)
            run = StartWithTail(exe, " wait", "", Family::NT);
        else
            EXPECT_NONFATAL_FAILURE(run = StartWithTail(exe, " wait", "", Family::NT),
                                    "error " + std::to_string(c.error));
        EXPECT_EQ(c.calls, calls);
        EXPECT_EQ(c.started, run.Started());
        if (run.Started())
            EXPECT_EQ(0, run.Wait());
    }
    ClearAppFamily("Uninstall.exe");
}

}  // namespace
