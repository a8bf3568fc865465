#!/bin/sh
# Holds every instruction of a 32-bit image or object against what an 80386
# with its 387 coprocessor runs (Windows 95 runs on one): binutils' objdump
# disassembles, and each mnemonic must be on the list below. A list of what
# is allowed, not of what came later, so that an instruction nobody thought
# of is refused too.
#
#   i386_check.sh OBJDUMP FILE
#       FILE's code; for an executable, .text up to the two constructor
#       lists that GNU ld ends it with.
#   i386_check.sh --refuses OBJDUMP AS SCRATCHDIR
#       The check itself: code of later processors, assembled with AS, must
#       be refused and named, and code of the 386 and 387 must pass.
set -eu
repo=$(cd "$(dirname -- "$0")/.." && pwd)
. "$repo/tests/scratch.sh"

# Intel syntax, as objdump -M intel names them. The string instructions
# carry their operands (movs, not movsd: that name is SSE2's too).
Allowed386='
aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cdq
clc cld cli clts cmc cmp cmps cwd cwde daa das dec div enter hlt idiv imul
in inc ins int int3 into iret iretd ja jae jb jbe jcxz je jecxz jg jge jl jle
jmp jne jno jnp jns jo jp js lahf lar lds lea leave les lfs lgdt lgs lidt
lldt lmsw lods loop loope loopne lsl lss ltr mov movs movsx movzx mul neg
nop not or out outs pop popa popad popf popfd push pusha pushad pushf pushfd
rcl rcr ret retf rol ror sahf sal sar sbb scas seta setae setb setbe sete
setg setge setl setle setne setno setnp setns seto setp sets sgdt shl shld
shr shrd sidt sldt smsw stc std sti stos str sub test verr verw xchg xlat
xor'
# The 387's: the 8087's and 287's with fsin, fcos, fsincos, fprem1 and the
# fucom family (not fcomi, fucomi, fcmov: Pentium Pro; not fisttp: SSE3).
Allowed387='
f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcom fcomp fcompp fcos fdecstp
fdiv fdivp fdivr fdivrp ffree fiadd ficom ficomp fidiv fidivr fild fimul
fincstp finit fist fistp fisub fisubr fld fld1 fldcw fldenv fldl2e fldl2t
fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fninit fnop fnsave fnstcw fnstenv
fnstsw fpatan fprem fprem1 fptan frndint frstor fsave fscale fsin fsincos
fsqrt fst fstcw fstenv fstp fstsw fsub fsubp fsubr fsubrp ftst fucom fucomp
fucompp fwait fxam fxch fxtract fyl2x fyl2xp1 wait'

# Prints each refused instruction ("address: bytes  instruction") and a
# summary; fails when one was refused or no code was found.
check() {
    objdump=$1
    file=$2
    format=$("$objdump" -f "$file" | sed -n 's/.*file format //p')
    stop=""
    least=1
    if [ "$format" = pei-i386 ]; then
        # .text ends with the constructor and destructor lists, -1 0 -1 0
        # when there are none: data, not code.
        set -- $("$objdump" -h -j .text "$file" | awk '$2 == ".text" { print $3, $4 }')
        [ $# -eq 2 ] || { echo "$file: no .text section"; return 1; }
        end=$((0x$2 + 0x$1))
        tail=$("$objdump" -s -j .text --start-address=$((end - 16)) --stop-address=$end "$file" |
            awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5; i++) printf "%s", $i }')
        if [ "$tail" != ffffffff00000000ffffffff00000000 ]; then
            echo "$file: .text does not end with two empty constructor lists: $tail"
            return 1
        fi
        stop="--stop-address=$((end - 16))"
        least=1000  # the product: a disassembly of next to nothing went wrong
    fi
    # shellcheck disable=SC2086
    "$objdump" -d -M intel $stop "$file" | awk -F '\t' -v least=$least -v allowed="$Allowed386 $Allowed387" '
        BEGIN {
            n = split(allowed, list, /[ \n]+/)
            for (i = 1; i <= n; i++) if (list[i] != "") ok[list[i]] = 1
            split("lock cs ds es fs gs ss data16 addr16", p, " ")
            for (i in p) prefix[p[i]] = 1
            split("rep repe repz repne repnz", p, " ")
            for (i in p) repeat[p[i]] = 1
            split("movs cmps scas lods stos ins outs", p, " ")
            for (i in p) stringop[p[i]] = 1
        }
        # "  401000:<TAB>55                   <TAB>push   ebp"; a long
        # instruction goes on with more bytes on lines without a third field.
        NF >= 3 && $1 ~ /^ *[0-9a-f]+:$/ {
            count++
            insn = $3
            sub(/^ +/, "", insn)
            words = split(insn, w, " ")
            i = 1
            repeated = 0
            while (i < words && (w[i] in prefix || w[i] in repeat)) {
                if (w[i] in repeat) repeated = 1
                i++
            }
            mnemonic = w[i]
            operands = ""
            for (j = i + 1; j <= words; j++) operands = operands " " w[j]
            why = ""
            if (!(mnemonic in ok)) why = "not an instruction of the 386 or 387"
            else if (repeated && !(mnemonic in stringop)) why = "a repeat prefix before " mnemonic " is another instruction on later processors"
            else if (mnemonic == "nop" && operands != "") why = "the multi-byte nop came with the Pentium Pro"
            else if (operands ~ /(^|[^a-z])([xyz]mm[0-9]+|mm[0-7]|k[0-7]|bnd[0-3]|cr[48])([^0-9]|$)/)
                why = "a register the 386 does not have"
            if (why != "") {
                bad++
                where = $1
                sub(/^ +/, "", where)
                printf "refused %s %s %s: %s\n", where, $2, insn, why
            }
        }
        END {
            if (count < least) {
                printf "only %d instructions found\n", count
                exit 1
            }
            if (bad) {
                printf "%d of %d instructions are not of the 386 and 387\n", bad, count
                exit 1
            }
            printf "%d instructions, all of the 386 and 387\n", count
        }'
}

# Each line: what it is, then the code (Intel syntax, ";" between
# instructions). The first block must be refused, the second must pass.
Later='cmove (Pentium Pro)|cmove eax, edx
fcmovb (Pentium Pro)|fcmovb st, st(1)
fcomi (Pentium Pro)|fcomi st, st(1)
fucomip (Pentium Pro)|fucomip st, st(1)
the multi-byte nop (Pentium Pro)|nop dword ptr [eax+eax*1+0]
ud2 (Pentium Pro)|ud2
sysenter (Pentium II)|sysenter
fisttp (SSE3)|fisttp dword ptr [eax]
bswap (486)|bswap eax
cmpxchg (486)|cmpxchg [edx], ecx
xadd (486)|lock xadd [edx], eax
invlpg (486)|invlpg [eax]
cmpxchg8b (Pentium)|cmpxchg8b [esi]
cpuid (Pentium)|cpuid
rdtsc (Pentium)|rdtsc
movd (MMX)|movd mm0, eax
movaps (SSE)|movaps xmm0, xmm1
movsd (SSE2)|movsd xmm0, qword ptr [eax]
movdqa (SSE2)|movdqa xmm0, xmm1
vmovdqa (AVX)|vmovdqa ymm0, ymm1
pause|pause
endbr32|endbr32
tzcnt|tzcnt eax, ecx
rep before a jump|.byte 0xf3, 0xc3
an undocumented opcode|.byte 0xd6'
Of386='push ebp; mov ebp, esp; sub esp, 0x43c; mov dword ptr [esp+8], 1; lea eax, [eax*4+0x401000]
call dword ptr [0x406170]; mov word ptr [eax], 0x1234; movzx eax, al; movsx ecx, byte ptr [edx]
setne al; jne .+6; rep movsd; repne scasb; rep stosb; test byte ptr [0x405000], 1; neg eax
shld edx, eax, 4; shrd eax, edx, cl; bt eax, 3; bsf ecx, edx; imul eax, ecx, 12; enter 16, 0
leave; cdq; cwde; xchg eax, edx; pushad; popad; pushfd; popfd; lock inc dword ptr [eax]; ret 8
fld qword ptr [eax]; fucompp; fsin; fcos; fsincos; fprem1; fnstsw ax; fldcw word ptr [esp]
fistp dword ptr [esp]; fxch st(1); fwait; nop; xchg ax, ax'

refuses() {
    objdump=$1
    as=$2
    scratch=$3
    scratch_renew SCRATCHDIR "$scratch" || return 1
    status=0
    assemble() {
        printf '.intel_syntax noprefix\n.text\n%s\n' "$(printf '%s' "$2" | tr ';' '\n')" >"$scratch/$1.s"
        "$as" --32 -o "$scratch/$1.o" "$scratch/$1.s"
    }
    n=0
    while IFS='|' read -r name code; do
        n=$((n + 1))
        assemble "later$n" "$code" || { echo "cannot assemble $name"; status=1; continue; }
        if out=$(check "$objdump" "$scratch/later$n.o"); then
            echo "NOT refused: $name"
            status=1
        elif ! printf '%s\n' "$out" | grep -q '^refused '; then
            echo "refused without naming the instruction: $name: $out"
            status=1
        else
            echo "refused as it must be: $name: $(printf '%s\n' "$out" | sed -n 's/^refused [^ ]* //p' | head -1)"
        fi
    done <<EOF
$Later
EOF
    assemble of386 "$(printf '%s' "$Of386" | tr '\n' ';')" || { echo "cannot assemble the 386 sample"; return 1; }
    if out=$(check "$objdump" "$scratch/of386.o"); then
        echo "386 and 387 code passes: $out"
    else
        echo "386 and 387 code was refused:"
        printf '%s\n' "$out"
        status=1
    fi
    scratch_remove SCRATCHDIR "$scratch"
    return $status
}

case "${1:-}" in
--refuses)
    [ $# -eq 4 ] || { echo "usage: $0 --refuses OBJDUMP AS SCRATCHDIR" >&2; exit 2; }
    refuses "$2" "$3" "$4"
    ;;
*)
    [ $# -eq 2 ] || { echo "usage: $0 OBJDUMP FILE | $0 --refuses OBJDUMP AS SCRATCHDIR" >&2; exit 2; }
    check "$1" "$2"
    ;;
esac
