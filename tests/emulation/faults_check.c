/* Whether a 32-bit program's fault reaches its handler as the kernel would
 * report it (trap 14, a page fault), which Wine's fault handling needs; run
 * by emulation.sh through the emulation it set up. Exits 0 if so. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdio.h>
#include <ucontext.h>
#include <unistd.h>

static void Caught(int sig, siginfo_t *info, void *context)
{
    int trapno = (int)((ucontext_t *)context)->uc_mcontext.gregs[REG_TRAPNO];

    (void)sig;
    (void)info;
    if (trapno != 14)
        fprintf(stderr, "a page fault reached its handler as trap %d, not 14\n", trapno);
    _exit(trapno == 14 ? 0 : 1);
}

int main(int argc, char **argv)
{
    struct sigaction action = {0};
    (void)argv;
    /* Address 16 (argc is 1), out of the compiler's sight. */
    volatile int *bad = (volatile int *)(long)(argc * 16);

    action.sa_sigaction = Caught;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &action, NULL);
    return *bad;
}
