// Replacing a platform function for the product's code inside a test
// program: the product is linked into the program and calls the platform
// through the program's own import slots, so pointing a slot at a function
// of the test's makes the platform answer as the test wants (a failure that
// cannot be made for real), or lets the test count and record the calls.
#ifndef QEL_TESTS_IMPORTS_H
#define QEL_TESTS_IMPORTS_H

#include <windows.h>

namespace bench {

// Points this program's import slot of dll!function at replacement for its
// lifetime. Original() is the platform's function, for the replacement to
// call on. One hook per function at a time.
//
//     static decltype(&GetFileAttributesA) real;
//     static DWORD WINAPI Failing(LPCSTR path) { SetLastError(ERROR_ACCESS_DENIED); return INVALID_FILE_ATTRIBUTES; }
//     ImportHook hook("KERNEL32.dll", "GetFileAttributesA", (void *)&Failing);
//     real = hook.Original<decltype(real)>();
class ImportHook {
public:
    ImportHook(const char *dll, const char *function, void *replacement);
    ~ImportHook();
    ImportHook(const ImportHook &) = delete;
    ImportHook &operator=(const ImportHook &) = delete;

    // Whether the slot was found (a failure has been reported otherwise).
    bool Installed() const { return slot_ != nullptr; }
    template <typename F> F Original() const { return (F)original_; }

private:
    void **slot_ = nullptr;
    void *original_ = nullptr;
};

// A full disk for the C runtime's file streams of the product linked into
// this program, for its lifetime: the writeNumber-th write to a file (from
// 1; 0: none) puts down half its bytes and reports the short count, as a
// disk that fills up midway; with failClose every close of a file reports
// failure after closing it. The standard streams are never touched.
class FullDisk {
public:
    FullDisk(int writeNumber, bool failClose);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool Installed() const { return write_.Installed() && close_.Installed(); }
    // Writes to files seen so far, the failed one included.
    int Writes() const;

private:
    ImportHook write_;
    ImportHook close_;
};

}  // namespace bench

#endif
