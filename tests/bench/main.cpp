// Test main: puts the program and all it starts in a job that ends with it,
// fails a test that leaves a process running, and makes the platform report
// the OS family that QEL_FAMILY asks for. Wine reads a program's AppDefaults
// "Version" at process start, so for the Windows 95 family the program sets
// it for its own file name and runs itself again, in the same job.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include "bench.h"

static DWORD PlatformId()
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info.dwPlatformId;
}

static std::string OwnFileName()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string name(path, n);
    return name.substr(name.find_last_of('\\') + 1);
}

static int RunAs9x()
{
    std::string self = OwnFileName();
    bench::SetAppFamily(self, bench::Family::Win9x);
    SetEnvironmentVariableA("QEL_RELAUNCHED", "1");
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    fflush(stdout);
    if (!bench::CreateProcessRetrying(NULL, GetCommandLineA(), TRUE, 0, NULL, &startup, &info)) {
        fprintf(stderr, "cannot run again as the Windows 95 family: error %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    bench::ClearAppFamily(self);
    return (int)code;
}

// Notes the job's processes as each test begins and, once the test and its
// fixture are done, waits for those it started. The result printer comes
// first in the list and listeners hear of a test's end in reverse order, so
// a failure this adds counts for the test it belongs to.
class StartedProcessCheck : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &) override { bench::NoteProcessesAtTestStart(); }
    void OnTestEnd(const testing::TestInfo &) override { bench::ExpectStartedProcessesEnd(); }
};

int main(int argc, char **argv)
{
    // The prefix's desktop process starts with the first window work of any
    // program; started before the job, it stays outside and belongs to no
    // test.
    GetDesktopWindow();
    std::string error;
    if (!bench::EnterJob(&error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    bool want9x = bench::Is9x();
    bool is9x = PlatformId() == VER_PLATFORM_WIN32_WINDOWS;

    if (want9x && !is9x && !getenv("QEL_RELAUNCHED"))
        return RunAs9x();
    if (want9x != is9x) {
        fprintf(stderr, "QEL_FAMILY=%s but the platform id is %lu\n", bench::FamilyName(bench::TestFamily()),
                PlatformId());
        return 1;
    }
    printf("OS family: %s\n", bench::FamilyName(bench::TestFamily()));
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new StartedProcessCheck);
    return RUN_ALL_TESTS();
}
