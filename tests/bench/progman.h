// The Program Manager seen from a test: a DDE server of the test's own that
// records what it is sent, Wine's own Program Manager service started in
// this process, and a client that sends it one command.
#ifndef QEL_TESTS_PROGMAN_H
#define QEL_TESTS_PROGMAN_H

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace bench {

// Serves DDE service "PROGMAN", topic "PROGMAN", on a thread of its own that
// pumps messages, from construction to destruction. It accepts every
// conversation on that topic, acknowledges every execute and records its
// bytes exactly as they arrived (a terminating zero included). One at a
// time per process: end the one before starting the next.
//
//     ProgmanRecorder progman;
//     ASSERT_TRUE(progman.Ready());
//     ... run the code that talks to the Program Manager ...
//     EXPECT_EQ(std::string("[DeleteGroup(Tools)]\0", 21), progman.Executes().at(0));
//
// A program started from the test reaches it too, as long as the recorder
// lives until that program has ended.
class ProgmanRecorder {
public:
    ProgmanRecorder();
    ~ProgmanRecorder();
    ProgmanRecorder(const ProgmanRecorder &) = delete;
    ProgmanRecorder &operator=(const ProgmanRecorder &) = delete;

    // Whether the service was registered.
    bool Ready() const { return ready_; }
    // Conversations accepted and ended so far.
    int Connects() const;
    int Disconnects() const;
    // Every execute's data, in order of arrival.
    std::vector<std::string> Executes() const;

private:
    static DWORD WINAPI Serve(void *self);
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                      HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

    HANDLE thread_ = NULL;
    DWORD threadId_ = 0;
    HANDLE started_ = NULL;
    bool ready_ = false;
    DWORD instance_ = 0;
    HSZ name_ = NULL;
    mutable std::mutex lock_;
    int connects_ = 0;
    int disconnects_ = 0;
    std::vector<std::string> executes_;
};

// Wine's own Program Manager service (shell32's ShellDDEInit, ordinal 188,
// called with TRUE) on a thread of this process that pumps messages. It
// answers "PROGMAN" as Windows' shell does, from construction to
// destruction: "[CreateGroup(x)]" creates the folder x under the Programs
// folder and "[DeleteGroup(x)]" deletes it with all it holds;
// "[AddItem(path,name)]" puts a shortcut to path into the group created
// last. Wine serves it once per process, so it is started with the first
// object and only hidden between objects; one at a time, and not beside a
// ProgmanRecorder.
//
//     WineProgman progman;
//     ASSERT_TRUE(progman.Ready());
//     ASSERT_TRUE(SendProgmanCommand("[CreateGroup(QEL Demo)]"));
class WineProgman {
public:
    WineProgman();
    ~WineProgman();
    WineProgman(const WineProgman &) = delete;
    WineProgman &operator=(const WineProgman &) = delete;

    bool Ready() const { return ready_; }

private:
    static DWORD WINAPI Serve(void *);

    bool ready_ = false;
};

// Sends one execute command to "PROGMAN" as a DDE client, with its
// terminating zero. True when a server took the conversation and
// acknowledged the command.
bool SendProgmanCommand(const std::string &command, DWORD timeoutMs = 5000);

// The user's Start-menu Programs folder as the shell names it ("" when it
// cannot).
std::string ProgramsFolder();

}  // namespace bench

#endif
