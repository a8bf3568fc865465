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

}  // namespace bench

#endif
