/* Loaded into every emulated 32-bit Linux process (through the emulator's
 * own ld.so.preload, see emulation.sh). QEMU's user mode delivers SIGSEGV
 * with a trap number in the signal frame that no processor gives (it writes
 * its own exception index after resetting it), and Wine's 32-bit fault
 * handler decides by that number: a bad pointer that Wine catches for a
 * program (IsBadReadPtr, lstrcpynA) becomes an "illegal instruction" that
 * ends the process. Wrapping sigaction lets the handler see the number the
 * kernel would have written, taken from the signal's own code.
 * Built with -fno-stack-protector and without TLS use: the wrapper runs
 * before Wine has set up the thread's segment registers. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

enum { PageFault = 14, GeneralProtection = 13, DivideError = 0, Overflow = 4, FloatingPoint = 16 };

static struct sigaction handlers[NSIG];
static int (*real_sigaction)(int, const struct sigaction *, struct sigaction *);

static void Forward(int sig, siginfo_t *info, void *context)
{
    greg_t *trapno = &((ucontext_t *)context)->uc_mcontext.gregs[REG_TRAPNO];

    if (sig == SIGSEGV) {
        if (info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR)
            *trapno = PageFault;
        else if (info->si_code == SI_KERNEL)
            *trapno = GeneralProtection;
    } else if (sig == SIGFPE) {
        *trapno = info->si_code == FPE_INTDIV ? DivideError
                : info->si_code == FPE_INTOVF ? Overflow : FloatingPoint;
    }
    handlers[sig].sa_sigaction(sig, info, context);
}

static int Fixed(int sig)
{
    return sig == SIGSEGV || sig == SIGFPE;
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *old)
{
    struct sigaction previous, mine, wrapped;
    int result;

    if (!real_sigaction)
        real_sigaction = (int (*)(int, const struct sigaction *, struct sigaction *))dlsym(RTLD_NEXT, "sigaction");
    if (!Fixed(sig))
        return real_sigaction(sig, act, old);
    if (!act) {
        result = real_sigaction(sig, NULL, old);
        if (result == 0 && old && old->sa_sigaction == Forward)
            *old = handlers[sig];
        return result;
    }
    /* The handler is known before the wrapper can run. */
    mine = handlers[sig];
    handlers[sig] = *act;
    wrapped = *act;
    if (act->sa_flags & SA_SIGINFO)
        wrapped.sa_sigaction = Forward;
    result = real_sigaction(sig, &wrapped, &previous);
    if (result != 0) {
        handlers[sig] = mine;
        return result;
    }
    /* The caller sees its own handler, never the wrapper. */
    if (old)
        *old = previous.sa_sigaction == Forward ? mine : previous;
    return 0;
}
