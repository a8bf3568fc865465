// The Program Manager helpers: plain DDEML and shell calls only.
#include "progman.h"

#include <objbase.h>
#include <shlobj.h>

#include <thread>

#include <gtest/gtest.h>

namespace bench {

static const char ProgmanName[] = "PROGMAN";

// Makes the calling thread's message queue, so that a quit message posted
// to it once it has said it is running cannot be lost.
static void MakeMessageQueue()
{
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
}

static void PumpUntilQuit()
{
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Starts a serving thread and waits until it has said whether it serves.
static void StartServer(LPTHREAD_START_ROUTINE serve, void *self, HANDLE *thread, DWORD *threadId,
                        HANDLE *started)
{
    *started = CreateEventA(NULL, TRUE, FALSE, NULL);
    *thread = CreateThread(NULL, 0, serve, self, 0, threadId);
    if (*thread)
        WaitForSingleObject(*started, INFINITE);
}

static void StopServer(HANDLE thread, DWORD threadId, HANDLE started)
{
    if (thread) {
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (started)
        CloseHandle(started);
}

// The DDEML callback carries no context: the one recorder of the process.
static ProgmanRecorder *ActiveRecorder;

ProgmanRecorder::ProgmanRecorder()
{
    if (ActiveRecorder) {
        ADD_FAILURE() << "a ProgmanRecorder is already serving";
        return;
    }
    ActiveRecorder = this;
    StartServer(Serve, this, &thread_, &threadId_, &started_);
}

ProgmanRecorder::~ProgmanRecorder()
{
    StopServer(thread_, threadId_, started_);
    if (ActiveRecorder == this)
        ActiveRecorder = nullptr;
}

int ProgmanRecorder::Connects() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return connects_;
}

int ProgmanRecorder::Disconnects() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return disconnects_;
}

std::vector<std::string> ProgmanRecorder::Executes() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return executes_;
}

DWORD WINAPI ProgmanRecorder::Serve(void *param)
{
    ProgmanRecorder *self = (ProgmanRecorder *)param;

    MakeMessageQueue();
    if (DdeInitializeA(&self->instance_, Callback,
                       APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS |
                           CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                       0) == DMLERR_NO_ERROR) {
        self->name_ = DdeCreateStringHandleA(self->instance_, ProgmanName, CP_WINANSI);
        self->ready_ = self->name_ && DdeNameService(self->instance_, self->name_, NULL, DNS_REGISTER);
    }
    SetEvent(self->started_);
    PumpUntilQuit();
    if (self->instance_) {
        if (self->ready_)
            DdeNameService(self->instance_, self->name_, NULL, DNS_UNREGISTER);
        if (self->name_)
            DdeFreeStringHandle(self->instance_, self->name_);
        DdeUninitialize(self->instance_);
    }
    return 0;
}

HDDEDATA CALLBACK ProgmanRecorder::Callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ, HDDEDATA data, ULONG_PTR,
                                            ULONG_PTR)
{
    ProgmanRecorder *self = ActiveRecorder;
    if (!self)
        return 0;
    switch (type) {
    case XTYP_CONNECT: {
        // hsz1 is the topic; the service is ours or DDEML would not ask.
        if (DdeCmpStringHandles(hsz1, self->name_) != 0)
            return (HDDEDATA)FALSE;
        std::lock_guard<std::mutex> guard(self->lock_);
        self->connects_++;
        return (HDDEDATA)TRUE;
    }
    case XTYP_DISCONNECT: {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->disconnects_++;
        return 0;
    }
    case XTYP_EXECUTE: {
        DWORD size = DdeGetData(data, NULL, 0, 0);
        std::string bytes(size, '\0');
        if (size)
            DdeGetData(data, (LPBYTE)&bytes[0], size, 0);
        std::lock_guard<std::mutex> guard(self->lock_);
        self->executes_.push_back(bytes);
        return (HDDEDATA)DDE_FACK;
    }
    }
    return 0;
}

// Wine's shell32 serves its Program Manager once per process only: after
// ShellDDEInit(FALSE) it keeps its old instance id, and ShellDDEInit(TRUE)
// then fails. So the service starts once, on a thread that serves until the
// process ends, behind a gate: its windows ignore every WM_DDE_INITIATE
// while no WineProgman is open.
static LONG WineProgmanOpen;
static HANDLE WineProgmanThread;
static DWORD WineProgmanThreadId;
static HANDLE WineProgmanStarted;
static bool WineProgmanServes;
static const char GateProp[] = "QelGatedProc";

static LRESULT CALLBACK GateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC gated = (WNDPROC)GetPropA(window, GateProp);
    if (message == WM_DDE_INITIATE && !InterlockedCompareExchange(&WineProgmanOpen, 0, 0))
        return 0;
    return CallWindowProcW(gated, window, message, wParam, lParam);
}

static BOOL CALLBACK CloseGate(HWND window, LPARAM)
{
    SetPropA(window, GateProp, (HANDLE)GetWindowLongPtrW(window, GWLP_WNDPROC));
    SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)GateProc);
    return TRUE;
}

WineProgman::WineProgman()
{
    if (!WineProgmanThread)
        StartServer(Serve, NULL, &WineProgmanThread, &WineProgmanThreadId, &WineProgmanStarted);
    ready_ = WineProgmanServes;
    InterlockedExchange(&WineProgmanOpen, 1);
}

WineProgman::~WineProgman()
{
    InterlockedExchange(&WineProgmanOpen, 0);
}

DWORD WINAPI WineProgman::Serve(void *)
{
    typedef void(WINAPI * ShellDdeInit)(BOOL init);
    HMODULE shell = LoadLibraryA("shell32.dll");
    // Exported by ordinal only.
    ShellDdeInit init = shell ? (ShellDdeInit)(void *)GetProcAddress(shell, (LPCSTR)188) : NULL;

    MakeMessageQueue();
    // "[AddItem(...)]" makes its shortcut through COM.
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (init) {
        init(TRUE);
        // The service's windows are this thread's top-level ones.
        EnumThreadWindows(GetCurrentThreadId(), CloseGate, 0);
    }
    WineProgmanServes = init != NULL;
    SetEvent(WineProgmanStarted);
    PumpUntilQuit();
    return 0;
}

static HDDEDATA CALLBACK IgnoreCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return 0;
}

static bool SendFromThisThread(const std::string &command, DWORD timeoutMs)
{
    DWORD instance = 0;
    if (DdeInitializeA(&instance, IgnoreCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    HSZ name = DdeCreateStringHandleA(instance, ProgmanName, CP_WINANSI);
    HCONV conversation = DdeConnect(instance, name, name, NULL);
    DdeFreeStringHandle(instance, name);
    bool acknowledged = false;
    if (conversation) {
        DWORD result = 0;
        acknowledged = DdeClientTransaction((LPBYTE)command.c_str(), (DWORD)command.size() + 1, conversation,
                                            NULL, 0, XTYP_EXECUTE, timeoutMs, &result) != 0;
        DdeDisconnect(conversation);
    }
    DdeUninitialize(instance);
    return acknowledged;
}

// On a thread of its own: when no server answers, Wine's DdeConnect leaves
// its client window behind, and a window of the test's own thread, which
// pumps no messages, would hold up every later DdeConnect of any program.
// The window goes with the thread.
bool SendProgmanCommand(const std::string &command, DWORD timeoutMs)
{
    bool acknowledged = false;
    std::thread([&] { acknowledged = SendFromThisThread(command, timeoutMs); }).join();
    return acknowledged;
}

std::string ProgramsFolder()
{
    char path[MAX_PATH];
    if (!SHGetSpecialFolderPathA(NULL, path, CSIDL_PROGRAMS, FALSE))
        return std::string();
    return path;
}

}  // namespace bench
