/* The binfmt_misc interpreter for 32-bit x86 Linux programs on a kernel that
 * runs none (see emulation.sh): starts QEMU's user mode on the program with
 * what Wine needs, given as options so that nothing of it enters the
 * program's environment and every process gets it, however started.
 * - A guest address space of 0x81000000 bytes: without one Wine cannot map
 *   its shared user data; with 0xc0000000 each start takes some 90 s, with
 *   0x81000000 some 4; at 0x80000000 it fails again.
 * - A root that holds only etc/ld.so.preload, which loads faults.so into the
 *   emulated processes alone (the host's 64-bit ones would refuse it).
 * Registered with flags F and P: argv is this launcher, the program's file,
 * its own argv[0], then its arguments. A static host program. */
#include <stdio.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    char *args[argc + 8];
    int n = 0;

    if (argc < 3) {
        fprintf(stderr, "%s: to be started by binfmt_misc (flags F and P)\n", argv[0]);
        return 127;
    }
    args[n++] = QEMU;
    args[n++] = "-R";
    args[n++] = "0x81000000";
    args[n++] = "-L";
    args[n++] = ROOT;
    args[n++] = "-0";
    args[n++] = argv[2];
    args[n++] = argv[1];
    for (int i = 3; i < argc; i++)
        args[n++] = argv[i];
    args[n] = NULL;
    execv(QEMU, args);
    perror("qemu: " QEMU);
    return 127;
}
