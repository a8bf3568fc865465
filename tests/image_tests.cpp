// The executable image of this build tree's Uninstall.exe: what it imports,
// the subsystem and its version (Windows 95 loads only 4.0), that it can be
// loaded at any base with data that cannot be run, its resources; for the
// 32-bit build, the one users get, also its size. That every instruction of
// the 32-bit build runs on an 80386 is checked on the host with objdump
// (tests/i386_check.sh).
#include <windows.h>

#include <set>
#include <string>

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
    WORD DllCharacteristics() const
    {
        return Is64() ? Optional64()->DllCharacteristics : Optional32()->DllCharacteristics;
    }
    WORD Characteristics() const { return FileHeader()->Characteristics; }
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
// The images to check: this build's, and where this machine runs no 32-bit
// code (so that the 32-bit build's own test program cannot run), the 32-bit
// build's as well (QEL_EXE32).
std::vector<std::string> Images()
{
    std::vector<std::string> images{ProductExe()};
    const char *other = getenv("QEL_EXE32");
    if (other && *other)
        images.push_back(HostPath(other));
    return images;
}

TEST(Image, GuiProgramOfSubsystem40ImportingOnlyTheSystemDllsAndOneCLibrary)
{
    for (const std::string &path : Images()) {
        Image image(path);
        ASSERT_TRUE(image.Valid()) << path << " is missing or not a PE file";
        EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, image.Subsystem()) << path;
        EXPECT_EQ(4, image.SubsystemMajor()) << path;
        EXPECT_EQ(0, image.SubsystemMinor()) << path;
        EXPECT_EQ(image.Is64() ? Imports64 : Imports32, image.ImportedDlls()) << path;
        // No thread-local storage: the C++ runtime would bring it.
        EXPECT_EQ(0u, image.Directory(IMAGE_DIRECTORY_ENTRY_TLS).Size) << path;
    }
    EXPECT_EQ(sizeof(void *) == 8, Image(ProductExe()).Is64()) << "this build's own image";
}

TEST(Image, X86BuildStaysWithin20KiB)
{
    for (const std::string &path : Images()) {
        Image image(path);
        ASSERT_TRUE(image.Valid()) << path;
        if (!image.Is64())
            EXPECT_LE(image.Size(), 20u * 1024) << path;
    }
}

// Where the system can move it, the image goes to an address an attacker
// cannot count on: it keeps its relocations and says it may be moved, and
// its data pages cannot be run. The 64-bit build asks for the whole 64-bit
// range.
TEST(Image, MovableWithRelocationsAndNoExecuteData)
{
    for (const std::string &path : Images()) {
        Image image(path);
        ASSERT_TRUE(image.Valid()) << path;
        EXPECT_GT(image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u) << path << ": no base relocations";
        EXPECT_EQ(0, image.Characteristics() & IMAGE_FILE_RELOCS_STRIPPED) << path;
        WORD wanted = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
        if (image.Is64())
            wanted |= IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA;
        EXPECT_EQ(wanted, image.DllCharacteristics() & wanted) << path << " " << std::hex << image.DllCharacteristics();
    }
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
    for (const std::string &path : Images())
        ExpectOnlyStringsAndTheUninstallIcon(path);
}

}  // namespace
