/* Whether this Linux machine runs 32-bit code for a 64-bit process, which
 * wine64 needs for 32-bit Windows programs: it sets up a 32-bit thread
 * through the 32-bit system call gate, and a kernel without 32-bit support
 * faults there. Exits 0 when the gate answers, 1 when it faults. A host
 * program, built and run by CMake when it configures the tests. */
#include <signal.h>
#include <unistd.h>

static void Fault(int signal)
{
    (void)signal;
    _exit(1);
}

int main(void)
{
    long result;

    signal(SIGSEGV, Fault);
    signal(SIGILL, Fault);
    /* getpid, number 20 behind the 32-bit gate. */
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(20L) : "memory");
    return result == (long)getpid() ? 0 : 1;
}
