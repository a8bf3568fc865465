#!/bin/sh
# 32-bit x86 code on a machine whose kernel runs none ("32-bit emulation
# disabled"): QEMU's user mode runs every 32-bit Linux program, registered
# for them in binfmt_misc, and Debian's 32-bit Wine loader (wine32:i386)
# beside wine64 runs the 32-bit Windows programs that wine64 hands it. All
# from Debian's packages; launcher.c and faults.c say what is added to them.
# The emulator is qemu-i386 of bookworm-backports (10.0), statically linked,
# unpacked from its package alone: bookworm's own (7.2) ends 32-bit Wine
# programs in the unwinding after a caught exception (every OutputDebugString,
# so every failed or skipped check of a test program: a read of 0xFFFFFFFF in
# kernel32), and starts them several times slower.
#
#   emulation.sh mode      prints how 32-bit programs run here: native,
#                          emulated or none (exit status 0, 0, 1)
#   emulation.sh ready     exit status 0 where nothing needs setting up
#   emulation.sh install   (as root) sets it up where the kernel runs no
#                          32-bit code; says once what it set up
#   emulation.sh prefix    fails, saying why, where 32-bit programs run here
#                          but none starts in the Wine prefix WINEPREFIX
set -eu
here=$(cd -P -- "$(dirname -- "$0")" && pwd -P)
dir=/usr/local/lib/qel-i386
entry=/proc/sys/fs/binfmt_misc/qel-i386
qemu=$dir/qemu-i386
# The usual magic and mask of 32-bit x86 ELF executables and shared objects.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The kernel's own answer (runs32.c), asked anew each time.
native() {
    tmp=$(mktemp -d)
    status=1
    if cc -o "$tmp/runs32" "$here/runs32.c" 2>/dev/null && "$tmp/runs32"; then status=0; fi
    rm -rf -- "$tmp"
    return $status
}

# Whether the emulation as set up runs a 32-bit program and hands its
# faults on as the kernel would; the second needs faults.c loaded.
emulated() {
    grep -qx enabled "$entry" 2>/dev/null &&
        grep -qx "interpreter $dir/launcher" "$entry" &&
        [ -x "$dir/faults_check" ] && "$dir/faults_check" &&
        /usr/lib/wine/wine --version >/dev/null 2>&1
}

# qemu-i386 from bookworm-backports' qemu-user, of the Debian archive that
# this machine's apt already uses (its mirror or snapshot, as configured:
# the one whose suite is the release's own), through a sources list of its
# own: nothing of that suite enters the system's package lists.
fetch_qemu() {
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    archive=$(apt-get indextargets --format '$(RELEASE)|$(CODENAME)|$(REPO_URI)' 'Identifier: Packages' |
        awk -F '|' -v codename="$codename" '$1 == codename || ($2 == codename && $1 !~ /-/) { print $3; exit }')
    [ -n "$archive" ] || { echo "apt names no archive of $codename here: cannot fetch qemu-user of bookworm-backports" >&2; exit 1; }
    apt="$tmp/apt"
    mkdir -p -- "$apt/lists/partial" "$apt/cache/archives/partial"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive bookworm-backports main" \
        >"$apt/sources.list"
    set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Architectures::=amd64 \
        -o APT::Sandbox::User=root
    apt-get "$@" update -qq
    (cd "$tmp" && apt-get "$@" download -qq qemu-user/bookworm-backports)
    dpkg-deb -x "$tmp"/qemu-user_*.deb "$tmp/qemu"
    cp -- "$tmp/qemu/usr/bin/qemu-i386" "$tmp/qemu-i386"
}

install() {
    version=$(dpkg-query -W -f '${Version}' wine64)
    missing=""
    [ "$(dpkg-query -W -f '${Version}' wine32:i386 2>/dev/null)" = "$version" ] ||
        missing="$missing wine32:i386=$version"
    [ -f /usr/lib32/libc.so ] && command -v gcc >/dev/null || missing="$missing gcc-multilib"
    if [ -n "$missing" ]; then
        echo "installing for the emulation of 32-bit code:$missing"
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
        fi
        DEBIAN_FRONTEND=noninteractive apt-get update -qq
        # shellcheck disable=SC2086
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
    fi
    # The emulator, the launcher and the fault fix, rebuilt, and put in place
    # when changed.
    tmp=$(mktemp -d)
    trap 'rm -rf -- "$tmp"' EXIT
    if [ -x "$qemu" ]; then cp -- "$qemu" "$tmp/qemu-i386"; else fetch_qemu; fi
    mkdir -p -- "$tmp/root/etc"
    cc -static -O2 -DQEMU="\"$qemu\"" -DROOT="\"$dir/root\"" -o "$tmp/launcher" "$here/emulation/launcher.c"
    gcc -m32 -O2 -shared -fPIC -fno-stack-protector -o "$tmp/faults.so" "$here/emulation/faults.c"
    gcc -m32 -O2 -o "$tmp/faults_check" "$here/emulation/faults_check.c"
    echo "$dir/faults.so" >"$tmp/root/etc/ld.so.preload"
    changed=""
    for file in qemu-i386 launcher faults.so faults_check root/etc/ld.so.preload; do
        cmp -s "$tmp/$file" "$dir/$file" || changed="$changed $file"
    done
    if [ -n "$changed" ]; then
        mkdir -p -- "$dir/root/etc"
        for file in $changed; do
            cp -- "$tmp/$file" "$dir/$file.new" && mv -f -- "$dir/$file.new" "$dir/$file"
        done
    fi
    # Registered anew when changed (flag F holds the launcher file that was
    # registered) or absent; the newest registration is the one used.
    mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if [ -n "$changed" ] || ! grep -qx enabled "$entry" 2>/dev/null; then
        [ ! -e "$entry" ] || echo -1 >"$entry"
        printf ':qel-i386:M::%s:%s:%s:FP' "$magic" "$mask" "$dir/launcher" >/proc/sys/fs/binfmt_misc/register
        changed="$changed binfmt"
    fi
    if ! emulated; then
        echo "the emulation of 32-bit code does not work: QEMU user mode ($qemu) through $entry" >&2
        exit 1
    fi
    if [ -n "$missing$changed" ]; then
        echo "this machine's kernel runs no 32-bit code: 32-bit programs now run emulated, by QEMU's" \
             "user mode ($("$qemu" --version | head -n 1), in $dir) registered in $entry, with" \
             "Debian's 32-bit Wine loader; every test runs on the 32-bit build"
    fi
}

case "${1:-}" in
mode)
    if native; then echo native
    elif emulated; then echo emulated
    else echo none; exit 1
    fi
    ;;
ready)
    native || emulated
    ;;
install)
    # The kernel's answer needs a host compiler.
    command -v cc >/dev/null ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gcc >/dev/null
    native || install
    ;;
prefix)
    # A prefix booted before the emulation worked has an empty 32-bit system
    # folder, and every 32-bit start in it fails ("could not load
    # kernel32.dll"), which a test that counts only deletions would pass.
    mode=$("$0" mode) || exit 0
    said=$(/usr/lib/wine/wine64 'C:\windows\syswow64\cmd.exe' /c echo 32-bit programs start </dev/null 2>&1) || true
    case "$said" in
    *"32-bit programs start"*) ;;
    *)
        echo "no 32-bit program starts in the Wine prefix $WINEPREFIX (32-bit code runs $mode here):" >&2
        printf '%s\n' "$said" >&2
        [ "$mode" = native ] || echo "the emulation (QEMU user mode, $entry) fails, not the product" >&2
        exit 1
        ;;
    esac
    ;;
*)
    echo "usage: $0 mode | ready | install | prefix" >&2
    exit 2
    ;;
esac
