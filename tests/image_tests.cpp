// The executable image of this build tree's Uninstall.exe: what it imports,
// the subsystem and its version (Windows 95 loads only 4.0), its resources;
// for the 32-bit build, the one users get, also its size and that every
// instruction in it runs on an 80386.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"

using namespace bench;

namespace {

// A PE file read as bytes, so that the 32-bit image can be examined from
// the 64-bit test program.
class Image {
public:
    explicit Image(const std::string &path) : bytes_(ReadFile(path)) {}

    bool Valid() const
    {
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER))
            return false;
        const IMAGE_DOS_HEADER *dos = At<IMAGE_DOS_HEADER>(0);
        return dos->e_magic == IMAGE_DOS_SIGNATURE &&
               At<DWORD>(dos->e_lfanew) && *At<DWORD>(dos->e_lfanew) == IMAGE_NT_SIGNATURE;
    }
    size_t Size() const { return bytes_.size(); }
    WORD Machine() const { return FileHeader()->Machine; }
    bool Is64() const { return Machine() == IMAGE_FILE_MACHINE_AMD64; }

    // Fields that sit at different offsets in the two optional headers.
    WORD Subsystem() const { return Is64() ? Optional64()->Subsystem : Optional32()->Subsystem; }
    WORD SubsystemMajor() const
    {
        return Is64() ? Optional64()->MajorSubsystemVersion : Optional32()->MajorSubsystemVersion;
    }
    WORD SubsystemMinor() const
    {
        return Is64() ? Optional64()->MinorSubsystemVersion : Optional32()->MinorSubsystemVersion;
    }
    IMAGE_DATA_DIRECTORY Directory(int index) const
    {
        return Is64() ? Optional64()->DataDirectory[index] : Optional32()->DataDirectory[index];
    }

    std::set<std::string> ImportedDlls() const
    {
        std::set<std::string> names;
        IMAGE_DATA_DIRECTORY imports = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
        for (size_t offset = Offset(imports.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const IMAGE_IMPORT_DESCRIPTOR *descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (!descriptor || descriptor->Name == 0)
                break;
            std::string name = bytes_.c_str() + Offset(descriptor->Name);
            for (char &c : name)
                c = (char)toupper((unsigned char)c);
            names.insert(name);
        }
        return names;
    }

    // The sections that hold code, as they are in the file.
    struct Section {
        DWORD rva;
        const unsigned char *bytes;
        size_t size;
    };
    std::vector<Section> CodeSections() const
    {
        std::vector<Section> code;
        const IMAGE_SECTION_HEADER *sections =
            At<IMAGE_SECTION_HEADER>(OptionalOffset() + FileHeader()->SizeOfOptionalHeader);
        for (int i = 0; sections && i < FileHeader()->NumberOfSections; i++) {
            const IMAGE_SECTION_HEADER &s = sections[i];
            if (!(s.Characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE)))
                continue;
            size_t size = s.Misc.VirtualSize < s.SizeOfRawData ? s.Misc.VirtualSize : s.SizeOfRawData;
            if (s.PointerToRawData + size > bytes_.size())
                size = 0;
            code.push_back({s.VirtualAddress, (const unsigned char *)bytes_.data() + s.PointerToRawData, size});
        }
        return code;
    }

private:
    template <class T> const T *At(size_t offset) const
    {
        return offset + sizeof(T) <= bytes_.size() ? (const T *)(bytes_.data() + offset) : nullptr;
    }
    const IMAGE_FILE_HEADER *FileHeader() const
    {
        return At<IMAGE_FILE_HEADER>(At<IMAGE_DOS_HEADER>(0)->e_lfanew + 4);
    }
    size_t OptionalOffset() const { return At<IMAGE_DOS_HEADER>(0)->e_lfanew + 4 + sizeof(IMAGE_FILE_HEADER); }
    const IMAGE_OPTIONAL_HEADER32 *Optional32() const { return At<IMAGE_OPTIONAL_HEADER32>(OptionalOffset()); }
    const IMAGE_OPTIONAL_HEADER64 *Optional64() const { return At<IMAGE_OPTIONAL_HEADER64>(OptionalOffset()); }
    // File offset of a relative virtual address.
    size_t Offset(DWORD rva) const
    {
        const IMAGE_SECTION_HEADER *sections =
            At<IMAGE_SECTION_HEADER>(OptionalOffset() + FileHeader()->SizeOfOptionalHeader);
        for (int i = 0; sections && i < FileHeader()->NumberOfSections; i++) {
            const IMAGE_SECTION_HEADER &s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize)
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return bytes_.size();
    }

    std::string bytes_;
};

// The 32-bit build runs on the first releases of both families, which ship
// crtdll.dll but not msvcrt.dll; the 64-bit build takes msvcrt.dll.
const std::set<std::string> Imports32 = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "SHELL32.DLL",
                                         "CRTDLL.DLL"};
const std::set<std::string> Imports64 = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "SHELL32.DLL",
                                         "MSVCRT.DLL"};

// The test program is built by the same toolchain as the product it checks.
bool Is32BitBuild()
{
    return sizeof(void *) == 4;
}

TEST(Image, GuiProgramOfSubsystem40ImportingOnlyTheSystemDllsAndOneCLibrary)
{
    std::string path = ProductExe();
    Image image(path);
    ASSERT_TRUE(image.Valid()) << path << " is missing or not a PE file";
    EXPECT_EQ(Is32BitBuild() ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64, image.Machine());
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, image.Subsystem());
    EXPECT_EQ(4, image.SubsystemMajor());
    EXPECT_EQ(0, image.SubsystemMinor());
    EXPECT_EQ(Is32BitBuild() ? Imports32 : Imports64, image.ImportedDlls()) << path;
    // No thread-local storage: the C++ runtime would bring it.
    EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_TLS).Size);
}

TEST(Image, X86BuildStaysWithin16KiB)
{
    if (!Is32BitBuild())
        GTEST_SKIP() << "the 64-bit build has no size limit";
    Image image(ProductExe());
    ASSERT_TRUE(image.Valid());
    EXPECT_LE(image.Size(), 16u * 1024);
}

// What follows an opcode of the 80386 in 32-bit code, one letter per
// opcode:
//   .  nothing                 b  imm8 or rel8          z  imm16/32 or rel16/32
//   w  imm16                   e  imm16 and imm8        a  memory offset
//   p  far pointer             m  ModRM                 M  ModRM and imm8
//   Z  ModRM and imm16/32      g  ModRM, and imm8 for /0 and /1 (F6)
//   G  ModRM, and imm16/32 for /0 and /1 (F7)          f  x87 ModRM
//   P  a prefix                2  the two-byte opcodes  x  no 386 instruction
// Everything a later processor added is 'x' or is refused by Fits386:
// cmov, bswap, cmpxchg, xadd, cpuid, rdtsc, sysenter, the multi-byte nop,
// MMX and SSE, and the VEX and EVEX prefixes (C4, C5, 62 before a register
// operand). Undocumented opcodes (D6, F1) are refused too.
const char OneByteOpcodes[] =
    "mmmmbz..mmmmbz.2"  // 00
    "mmmmbz..mmmmbz.."  // 10
    "mmmmbzP.mmmmbzP."  // 20
    "mmmmbzP.mmmmbzP."  // 30
    "................"  // 40
    "................"  // 50
    "..mmPPPPzZbM...."  // 60
    "bbbbbbbbbbbbbbbb"  // 70
    "MZMMmmmmmmmmmmmm"  // 80
    "..........p....."  // 90
    "aaaa....bz......"  // A0
    "bbbbbbbbzzzzzzzz"  // B0
    "MMw.mmMZe.w..b.."  // C0
    "mmmmbbx.ffffffff"  // D0
    "bbbbbbbbzzpb...."  // E0
    "PxPP..gG......mm"; // F0
// After 0F. The control, debug and test register moves (0F 20-26) are left
// out: privileged, no business of a program.
const char TwoByteOpcodes[] =
    "mmmmxx.xxxxxxxxx"  // 00
    "xxxxxxxxxxxxxxxx"  // 10
    "xxxxxxxxxxxxxxxx"  // 20
    "xxxxxxxxxxxxxxxx"  // 30
    "xxxxxxxxxxxxxxxx"  // 40
    "xxxxxxxxxxxxxxxx"  // 50
    "xxxxxxxxxxxxxxxx"  // 60
    "xxxxxxxxxxxxxxxx"  // 70
    "zzzzzzzzzzzzzzzz"  // 80
    "mmmmmmmmmmmmmmmm"  // 90
    "..xmMmxx..xmMmxm"  // A0
    "xxmmmmmmxxMmmmmm"  // B0
    "xxxxxxxxxxxxxxxx"  // C0
    "xxxxxxxxxxxxxxxx"  // D0
    "xxxxxxxxxxxxxxxx"  // E0
    "xxxxxxxxxxxxxxxx"; // F0

// The x87 instructions of the 387 (a 386's coprocessor, or Windows'
// emulation of it): D8-DF with their ModRM byte.
bool Is387(unsigned char op, unsigned char modrm)
{
    int reg = (modrm >> 3) & 7;
    if (modrm < 0xC0) {  // a memory operand; /1 of DB, DD and DF is fisttp
        switch (op) {
        case 0xD9:
            return reg != 1;
        case 0xDB:
            return reg != 1 && reg != 4 && reg != 6;
        case 0xDD:
            return reg != 1 && reg != 5;
        case 0xDF:
            return reg != 1;
        }
        return true;
    }
    switch (op) {
    case 0xD9:
        return modrm <= 0xD0 ||
               (modrm >= 0xE0 && modrm != 0xE2 && modrm != 0xE3 && modrm != 0xE6 && modrm != 0xE7 && modrm != 0xEF);
    case 0xDA:  // C0-DF fcmov
        return modrm == 0xE9;
    case 0xDB:  // C0-DF fcmov, E8-F7 fucomi and fcomi
        return modrm == 0xE2 || modrm == 0xE3;
    case 0xDC:
        return modrm < 0xD0 || modrm >= 0xE0;
    case 0xDD:
        return modrm < 0xC8 || (modrm >= 0xD0 && modrm < 0xF0);
    case 0xDE:
        return modrm < 0xD0 || modrm == 0xD9 || modrm >= 0xE0;
    case 0xDF:  // E8-F7 fucomip and fcomip
        return modrm == 0xE0;
    }
    return true;  // D8
}

// The ModRM forms that a 386 has, where the opcode alone does not decide.
bool Fits386(bool twoByte, unsigned char op, unsigned char modrm)
{
    int mod = modrm >> 6, reg = (modrm >> 3) & 7;
    if (twoByte) {
        switch (op) {
        case 0x00:
            return reg <= 5;
        case 0x01:  // register forms of /0-/3 and /7 came later (invlpg, monitor, ...)
            return (reg <= 3 && mod != 3) || reg == 4 || reg == 6;
        case 0xB2:
        case 0xB4:
        case 0xB5:
            return mod != 3;
        case 0xBA:
            return reg >= 4;
        }
        return true;
    }
    switch (op) {
    case 0x62:  // with a register operand: EVEX
    case 0x8D:
    case 0xC4:  // with a register operand: VEX
    case 0xC5:
        return mod != 3;
    case 0x8F:  // other than /0: XOP
    case 0xC6:
    case 0xC7:
        return reg == 0;
    case 0xFE:
        return reg <= 1;
    case 0xFF:
        return reg != 7 && !((reg == 3 || reg == 5) && mod == 3);
    }
    if (op >= 0xD8 && op <= 0xDF)
        return Is387(op, modrm);
    return true;
}

// Bytes of a ModRM operand (ModRM, SIB, displacement), or 0 when cut off.
size_t ModRmLength(const unsigned char *p, size_t left, bool address16)
{
    int mod = p[0] >> 6, rm = p[0] & 7;
    size_t n = 1;
    if (mod == 3)
        return 1;
    if (address16) {
        n += mod == 1 ? 1 : (mod == 2 || (mod == 0 && rm == 6)) ? 2 : 0;
    } else {
        if (rm == 4) {  // a SIB byte; base 5 without mod means a disp32
            if (left < 2)
                return 0;
            n++;
            if (mod == 0 && (p[1] & 7) == 5)
                n += 4;
        }
        n += mod == 1 ? 1 : (mod == 2 || (mod == 0 && rm == 5)) ? 4 : 0;
    }
    return n <= left ? n : 0;
}

bool IsStringInstruction(unsigned char op)
{
    return (op >= 0x6C && op <= 0x6F) || (op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF);
}

// Length of the 80386 instruction at code (size bytes there), or 0 when the
// bytes are no 386 instruction or a cut-off one.
size_t I386InstructionLength(const unsigned char *code, size_t size)
{
    const size_t MaxLength = 15;
    bool operand16 = false, address16 = false, repeat = false;
    size_t i = 0;
    for (; i < size && OneByteOpcodes[code[i]] == 'P'; i++) {
        operand16 |= code[i] == 0x66;
        address16 |= code[i] == 0x67;
        repeat |= code[i] == 0xF2 || code[i] == 0xF3;
    }
    if (i >= size || i >= MaxLength)
        return 0;
    unsigned char op = code[i++];
    char kind = OneByteOpcodes[op];
    bool twoByte = kind == '2';
    if (twoByte) {
        if (i >= size)
            return 0;
        op = code[i++];
        kind = TwoByteOpcodes[op];
    }
    // A repeat prefix belongs to the string instructions; before another
    // opcode a later processor reads another instruction (F3 0F BC tzcnt,
    // F3 90 pause, F3 0F 1E endbr32).
    if (kind == 'x' || (repeat && (twoByte || !IsStringInstruction(op))))
        return 0;
    size_t wide = operand16 ? 2 : 4;
    size_t immediate = 0;
    switch (kind) {
    case 'b':
    case 'M':
        immediate = 1;
        break;
    case 'z':
    case 'Z':
        immediate = wide;
        break;
    case 'w':
        immediate = 2;
        break;
    case 'e':
        immediate = 3;
        break;
    case 'a':
        immediate = address16 ? 2 : 4;
        break;
    case 'p':
        immediate = wide + 2;
        break;
    }
    if (strchr("mMZgGf", kind)) {
        if (i >= size)
            return 0;
        unsigned char modrm = code[i];
        if (!Fits386(twoByte, op, modrm))
            return 0;
        if (((modrm >> 3) & 7) <= 1 && (kind == 'g' || kind == 'G'))
            immediate = kind == 'g' ? 1 : wide;  // test takes an immediate, not/neg/mul/div none
        size_t operand = ModRmLength(code + i, size - i, address16);
        if (operand == 0)
            return 0;
        i += operand;
    }
    i += immediate;
    return i <= size && i <= MaxLength ? i : 0;
}

struct CodeCase {
    const char *name;
    std::vector<unsigned char> bytes;
    size_t length;  // 0: not an instruction of the 386
};

const CodeCase CodeCases[] = {
    {"push ebp", {0x55}, 1},
    {"mov ebp, esp", {0x89, 0xE5}, 2},
    {"sub esp, imm32", {0x81, 0xEC, 0x3C, 0x04, 0x00, 0x00}, 6},
    {"mov dword [esp+8], imm32 through a SIB byte", {0xC7, 0x44, 0x24, 0x08, 1, 0, 0, 0}, 8},
    {"lea eax, [eax*4+disp32]: SIB without a base", {0x8D, 0x04, 0x85, 0, 0x10, 0x40, 0}, 7},
    {"call through an import slot", {0xFF, 0x15, 0x70, 0x61, 0x40, 0x00}, 6},
    {"mov word [eax], imm16", {0x66, 0xC7, 0x00, 0x34, 0x12}, 5},
    {"mov al, [disp16] with 16-bit addressing", {0x67, 0xA0, 0x34, 0x12}, 4},
    {"movzx eax, al", {0x0F, 0xB6, 0xC0}, 3},
    {"setne al", {0x0F, 0x95, 0xC0}, 3},
    {"jne rel32", {0x0F, 0x85, 0, 0, 0, 0}, 6},
    {"rep movsd", {0xF3, 0xA5}, 2},
    {"repne scasb", {0xF2, 0xAE}, 2},
    {"test byte [disp32], imm8", {0xF6, 0x05, 0, 0, 0, 0, 0x01}, 7},
    {"neg eax: F7 without an immediate", {0xF7, 0xD8}, 2},
    {"shld edx, eax, imm8", {0x0F, 0xA4, 0xC2, 0x04}, 4},
    {"enter imm16, imm8", {0xC8, 0x10, 0x00, 0x00}, 4},
    {"fld qword [disp32]", {0xDD, 0x05, 0, 0, 0, 0}, 6},
    {"fucompp (387)", {0xDA, 0xE9}, 2},
    {"nop", {0x90}, 1},
    {"cmove (P6)", {0x0F, 0x44, 0xC2}, 0},
    {"fcmovb (P6)", {0xDA, 0xC1}, 0},
    {"fucomi (P6)", {0xDB, 0xE9}, 0},
    {"fcomip (P6)", {0xDF, 0xF1}, 0},
    {"fisttp (SSE3)", {0xDD, 0x08}, 0},
    {"multi-byte nop (P6)", {0x0F, 0x1F, 0x44, 0x00, 0x00}, 0},
    {"ud2 (P6)", {0x0F, 0x0B}, 0},
    {"cmpxchg (486)", {0x0F, 0xB1, 0x0A}, 0},
    {"lock xadd (486)", {0xF0, 0x0F, 0xC1, 0x02}, 0},
    {"bswap (486)", {0x0F, 0xC8}, 0},
    {"cmpxchg8b (Pentium)", {0x0F, 0xC7, 0x0E}, 0},
    {"cpuid (Pentium)", {0x0F, 0xA2}, 0},
    {"rdtsc (Pentium)", {0x0F, 0x31}, 0},
    {"sysenter (Pentium II)", {0x0F, 0x34}, 0},
    {"movd mm0, eax (MMX)", {0x0F, 0x6E, 0xC0}, 0},
    {"movaps xmm0, xmm1 (SSE)", {0x0F, 0x28, 0xC1}, 0},
    {"movdqa xmm0, xmm1 (SSE2)", {0x66, 0x0F, 0x6F, 0xC1}, 0},
    {"tzcnt: rep bsf", {0xF3, 0x0F, 0xBC, 0xC0}, 0},
    {"pause: rep nop", {0xF3, 0x90}, 0},
    {"endbr32", {0xF3, 0x0F, 0x1E, 0xFB}, 0},
    {"VEX: C5 before a register ModRM", {0xC5, 0xF9, 0x6F, 0xC1}, 0},
    {"call rel32 cut off", {0xE8, 0x00, 0x00}, 0},
    {"SIB byte cut off", {0x8B, 0x04}, 0},
};

TEST(Image, InstructionCheckerKnowsThe386AndRefusesWhatCameLater)
{
    for (const CodeCase &c : CodeCases)
        EXPECT_EQ(c.length, I386InstructionLength(c.bytes.data(), c.bytes.size())) << c.name;
}

TEST(Image, X86BuildHoldsOnlyInstructionsOfThe386)
{
    if (!Is32BitBuild())
        GTEST_SKIP() << "the 64-bit build needs an x86-64 processor anyway";
    Image image(ProductExe());
    ASSERT_TRUE(image.Valid());
    std::vector<Image::Section> code = image.CodeSections();
    // One code section: the product's functions, the import thunks and
    // libgcc's stack probe.
    ASSERT_EQ(1u, code.size());
    // GNU ld ends .text with the constructor and destructor lists: -1, 0,
    // -1, 0 when, as here, there are none. The instructions end there.
    static const unsigned char NoConstructors[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
                                                     0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    const Image::Section &text = code[0];
    ASSERT_GE(text.size, sizeof NoConstructors);
    size_t end = text.size - sizeof NoConstructors;
    ASSERT_EQ(0, memcmp(text.bytes + end, NoConstructors, sizeof NoConstructors))
        << "the code section does not end with two empty constructor lists";
    size_t count = 0;
    for (size_t at = 0; at < end; count++) {
        size_t length = I386InstructionLength(text.bytes + at, end - at);
        if (length == 0) {
            char where[64];
            snprintf(where, sizeof where, "RVA %#lx:", (unsigned long)(text.rva + at));
            std::string bytes = where;
            for (size_t i = at; i < end && i < at + 8; i++) {
                snprintf(where, sizeof where, " %02X", text.bytes[i]);
                bytes += where;
            }
            FAIL() << "after " << count << " instructions, no 386 instruction at " << bytes;
        }
        at += length;
    }
    EXPECT_GT(count, 1000u);
}

struct Resources {
    std::set<ULONG_PTR> types;
    int iconGroups = 0;
};

BOOL CALLBACK CountType(HMODULE, LPSTR type, LONG_PTR param)
{
    ((Resources *)param)->types.insert((ULONG_PTR)type);
    return TRUE;
}

// Icon group directory entries as stored in the resource.
#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconDir {
    WORD reserved, type, count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

void ExpectOnlyStringsAndTheUninstallIcon(const std::string &path)
{
    HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL) << path;
    Resources found;
    EnumResourceTypesA(module, CountType, (LONG_PTR)&found);
    EXPECT_EQ((std::set<ULONG_PTR>{(ULONG_PTR)RT_ICON, (ULONG_PTR)RT_GROUP_ICON, (ULONG_PTR)RT_STRING}),
              found.types)
        << path << ": no dialogs, menus or version block";

    HRSRC group = FindResourceA(module, "UNINSTALL", RT_GROUP_ICON);
    ASSERT_TRUE(group != NULL) << path;
    const GroupIconDir *dir = (const GroupIconDir *)LockResource(LoadResource(module, group));
    ASSERT_TRUE(dir != NULL);
    ASSERT_EQ(1, dir->count);
    EXPECT_EQ(32, dir->entries[0].width);
    EXPECT_EQ(32, dir->entries[0].height);
    EXPECT_EQ(16, dir->entries[0].colorCount);
    EXPECT_EQ(4, dir->entries[0].bitCount);

    char text[256];
    EXPECT_EQ(13, LoadStringA(module, 200, text, sizeof text));
    EXPECT_STREQ("Uninstall QEL", text);
    FreeLibrary(module);
}

TEST(Image, CarriesTheStringsAndOneSixteenColourIcon)
{
    ExpectOnlyStringsAndTheUninstallIcon(ProductExe());
}

}  // namespace
