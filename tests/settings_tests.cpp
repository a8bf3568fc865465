// The settings store against the real registry: values and their reads with
// defaults, the tree deletion in whole passes, key copy, numbered entries,
// and every length bound at the limit and one past it. Each family asserts
// its own outcome where Windows 95 deletes a key with its subkeys.
#include <windows.h>

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "layout.h"
#include "settings/keypath.h"
#include "settings/keytree.h"
#include "settings/settings.h"

using namespace bench;

namespace {

const char Qel[] = "Software\\Qel";

std::string Key(const std::string &subkey)
{
    return subkey.empty() ? std::string(Qel) : std::string(Qel) + "\\" + subkey;
}

// A key path of exactly length characters: base, then components of at most
// 199 characters (so that enumeration reads them) up to the length.
std::string PathOfLength(const std::string &base, size_t length, char fill = 'p')
{
    std::string path = base;
    while (length - path.size() > 200)
        path += "\\" + std::string(std::min<size_t>(199, length - path.size() - 3), fill);
    path += "\\" + std::string(length - path.size() - 1, fill);
    return path;
}

std::vector<std::string> Listing(const std::string &key, HKEY root = HKEY_CURRENT_USER)
{
    return ReadRegTree(root, key);
}

void Put(const std::string &key, const std::string &name, DWORD type, const std::string &data)
{
    ASSERT_TRUE(WriteRegValue(HKEY_CURRENT_USER, key, name, type, data)) << key << " : " << name;
}

void PutSz(const std::string &key, const std::string &name, const std::string &text)
{
    Put(key, name, REG_SZ, Sz(text));
}

void Make(const std::string &key)
{
    ASSERT_TRUE(MakeRegKey(HKEY_CURRENT_USER, key)) << key;
}

bool Exists(const std::string &key)
{
    return RegKeyExists(HKEY_CURRENT_USER, key);
}

// A non-volatile key cannot be created below a volatile one: a real way to
// make a creation fail.
void MakeVolatile(const std::string &key)
{
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, NULL, &handle, NULL));
    RegCloseKey(handle);
}

// Wine's ANSI registry calls take no path over 260 characters; longer ones
// are made and looked at with the wide calls.
std::wstring Wide(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

void MakeWide(const std::string &key)
{
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &handle, NULL));
    RegCloseKey(handle);
}

bool ExistsWide(const std::string &key)
{
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::string Bytes(size_t n, int seed)
{
    std::string data(n, '\0');
    for (size_t i = 0; i < n; i++)
        data[i] = (char)((i * 7 + seed) & 0xFF);
    return data;
}

// The settings keys of both roots are removed before and after every test,
// even when it fails, and the root is set back to HKEY_CURRENT_USER.
class Store : public testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override
    {
        SetRegRoot(HKEY_CURRENT_USER);
        Clean();
    }
    static void Clean()
    {
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, Qel);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, Qel);
    }
};

// ---- Text checks --------------------------------------------------------

struct TemplateCase {
    const char *name;
    const char *entryTemplate;
    int safe;
};

const TemplateCase TemplateCases[] = {
    {"one %d", "Highlight\\Group%d", 1},
    {"one %i", "List%i", 1},
    {"the template is the number alone", "%d", 1},
    {"flags and a two-digit width", "G%-+ 012d", 1},
    {"doubled percent signs are literal", "100%%\\E%d%%", 1},
    {"empty: no conversion", "", 0},
    {"no conversion", "Highlight\\Group", 0},
    {"only a literal percent", "Group%%", 0},
    {"two conversions", "G%dx%d", 0},
    {"a string conversion", "G%s", 0},
    {"a string conversion beside the number", "G%d%s", 0},
    {"a count-writing conversion", "G%n", 0},
    {"a count-writing conversion beside the number", "G%d%n", 0},
    {"a hexadecimal conversion", "G%x", 0},
    {"an unsigned conversion", "G%u", 0},
    {"a width taken from the arguments", "G%*d", 0},
    {"a precision (%.0d prints nothing for 0)", "G\\%.0d", 0},
    {"a three-digit width", "G%100d", 0},
    {"a length modifier", "G%ld", 0},
    {"a 64-bit length modifier", "G%I64d", 0},
    {"a char length modifier (numbers 1 and 257 print alike)", "G%hhd", 0},
    {"a lone percent at the end", "G%d%", 0},
    {"an alternate-form flag", "G%#d", 0},
};

TEST(EntryTemplate, AcceptsExactlyOneDecimalConversionAndNothingElse)
{
    for (const TemplateCase &c : TemplateCases)
        EXPECT_EQ(c.safe, IsEntryTemplate(c.entryTemplate)) << c.name << ": " << c.entryTemplate;
}

struct OverlapCase {
    const char *name;
    const char *a;
    const char *b;
    int overlap;
};

const OverlapCase OverlapCases[] = {
    {"the same path", "Software\\Qel\\A", "Software\\Qel\\A", 1},
    {"letter case differs", "software\\QEL\\a", "Software\\Qel\\A", 1},
    {"the second inside the first", "Software\\Qel\\A", "Software\\Qel\\A\\B", 1},
    {"the first inside the second", "Software\\Qel\\A\\B\\C", "Software\\Qel\\A", 1},
    {"a trailing backslash", "Software\\Qel\\A\\", "Software\\Qel\\A", 1},
    {"a doubled backslash", "Software\\\\Qel\\A", "Software\\Qel\\A\\B", 1},
    {"bytes of the code page's upper half", "S\\\xC9t\xE9", "S\\\xE9t\xC9\\x", 1},
    {"siblings", "Software\\Qel\\A", "Software\\Qel\\B", 0},
    {"a name that extends another is a sibling", "Software\\Qel\\Group1", "Software\\Qel\\Group10", 0},
    {"a name that extends another, reversed", "Software\\Qel\\Group10\\x", "Software\\Qel\\Group1", 0},
    {"entries of one list", "Software\\Qel\\E0\\Sub", "Software\\Qel\\E1\\Sub", 0},
    {"an upper-half byte against an ASCII letter", "Software\\\xC9", "Software\\E", 0},
};

TEST(KeyPaths, OverlapWhenOneEqualsOrHoldsTheOther)
{
    for (const OverlapCase &c : OverlapCases) {
        EXPECT_EQ(c.overlap, KeyPathsOverlap(c.a, c.b)) << c.name;
        EXPECT_EQ(c.overlap, KeyPathsOverlap(c.b, c.a)) << c.name << " (reversed)";
    }
}

TEST(KeyPaths, OnlyAPathWithANameNamesAKeyBelowTheRoot)
{
    EXPECT_EQ(0, NamesKeyBelowRoot(""));
    EXPECT_EQ(0, NamesKeyBelowRoot("\\"));
    EXPECT_EQ(0, NamesKeyBelowRoot("\\\\\\"));
    EXPECT_EQ(1, NamesKeyBelowRoot("a"));
    EXPECT_EQ(1, NamesKeyBelowRoot("\\Software"));
    EXPECT_EQ(1, NamesKeyBelowRoot("Software\\Qel"));
}

// ---- Settings key paths and writes --------------------------------------

TEST_F(Store, EmptySubkeyNamesTheSettingsKeyAndOthersLieBelowIt)
{
    SetRegString("", "Group", "Tools");
    SetRegString("Highlight", "Mask", "*.*");
    SetRegDword("Plugins\\FTP\\Hosts", "Port", 21);

    EXPECT_EQ(Sz("Tools"), ReadRegValue(HKEY_CURRENT_USER, Qel, "Group").data);
    EXPECT_EQ(Sz("*.*"), ReadRegValue(HKEY_CURRENT_USER, Key("Highlight"), "Mask").data);
    EXPECT_EQ(Dword(21), ReadRegValue(HKEY_CURRENT_USER, Key("Plugins\\FTP\\Hosts"), "Port").data);
    EXPECT_EQ(std::vector<std::string>({"Highlight", "Plugins"}), RegSubkeys(HKEY_CURRENT_USER, Qel));
    EXPECT_EQ(std::vector<std::string>({"Group"}), RegValueNames(HKEY_CURRENT_USER, Qel));
}

TEST_F(Store, WritesStoreTheirTypesAndExactLengths)
{
    const unsigned char block[] = {0, 1, 0xFF, 0x80, 0, 0x7F};

    SetRegString("W", "Text", "Tools");
    SetRegString("W", "Empty", "");
    SetRegDword("W", "Number", 0x89ABCDEF);
    SetRegBinary("W", "Block", block, sizeof block);
    SetRegBinary("W", "Nothing", block, 0);

    RegValue text = ReadRegValue(HKEY_CURRENT_USER, Key("W"), "Text");
    EXPECT_EQ((DWORD)REG_SZ, text.type);
    EXPECT_EQ(std::string("Tools\0", 6), text.data);
    RegValue empty = ReadRegValue(HKEY_CURRENT_USER, Key("W"), "Empty");
    EXPECT_EQ((DWORD)REG_SZ, empty.type);
    EXPECT_EQ(std::string("\0", 1), empty.data);
    RegValue number = ReadRegValue(HKEY_CURRENT_USER, Key("W"), "Number");
    EXPECT_EQ((DWORD)REG_DWORD, number.type);
    EXPECT_EQ(Dword(0x89ABCDEF), number.data);
    RegValue binary = ReadRegValue(HKEY_CURRENT_USER, Key("W"), "Block");
    EXPECT_EQ((DWORD)REG_BINARY, binary.type);
    EXPECT_EQ(std::string((const char *)block, sizeof block), binary.data);
    RegValue nothing = ReadRegValue(HKEY_CURRENT_USER, Key("W"), "Nothing");
    EXPECT_TRUE(nothing.exists);
    EXPECT_EQ((DWORD)REG_BINARY, nothing.type);
    EXPECT_EQ("", nothing.data);
}

TEST_F(Store, AWriteReplacesTheValueAndItsType)
{
    SetRegString("W", "V", "a longer text");
    SetRegDword("W", "V", 7);
    RegValue value = ReadRegValue(HKEY_CURRENT_USER, Key("W"), "V");
    EXPECT_EQ((DWORD)REG_DWORD, value.type);
    EXPECT_EQ(Dword(7), value.data);
}

TEST_F(Store, CreateAndOpenHandOutHandlesToTheSettingsKeyPath)
{
    EXPECT_EQ((HKEY)NULL, OpenRegKey("A\\B"));
    HKEY created = CreateRegKey("A\\B");
    ASSERT_NE((HKEY)NULL, created);
    RegCloseKey(created);
    EXPECT_TRUE(Exists(Key("A\\B")));

    Put(Key("A\\B"), "V", REG_DWORD, Dword(5));
    HKEY opened = OpenRegKey("A\\B");
    ASSERT_NE((HKEY)NULL, opened);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(opened, "V", NULL, NULL, (BYTE *)&value, &size));
    EXPECT_EQ(5u, value);
    RegCloseKey(opened);
}

TEST_F(Store, AWriteWhoseKeyCannotBeCreatedWritesNothing)
{
    Make(Qel);
    MakeVolatile(Key("Vol"));

    SetRegString("Vol\\Child", "V", "x");
    EXPECT_EQ((HKEY)NULL, CreateRegKey("Vol\\Child"));
    EXPECT_FALSE(Exists(Key("Vol\\Child")));
}

// ---- Reads and their defaults --------------------------------------------

TEST_F(Store, GetRegStringReadsTheStoredBytesAndLeavesTheRestOfTheRoom)
{
    PutSz(Key("R"), "Text", "Tools");
    char buffer[32];
    memset(buffer, Marker, sizeof buffer);

    EXPECT_EQ(1, GetRegString("R", "Text", buffer, "default", 20));
    EXPECT_STREQ("Tools", buffer);
    EXPECT_EQ(Marker, buffer[6]);
}

TEST_F(Store, GetRegStringFallsBackToTheDefault)
{
    PutSz(Key("R"), "Text", "Tools");
    char buffer[32];

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString("Missing", "Text", buffer, "default", 20)) << "missing key";
    EXPECT_STREQ("default", buffer);
    EXPECT_EQ(Marker, buffer[8]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString("Missing", "Text", buffer, "", 20)) << "missing key, default \"\"";
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(Marker, buffer[1]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString("R", "Other", buffer, "default", 20)) << "missing value";
    EXPECT_STREQ("default", buffer);

    EXPECT_FALSE(Exists(Key("Missing"))) << "a read creates no key";
}

TEST_F(Store, GetRegStringOfATextLongerThanTheRoomGivesTheDefault)
{
    PutSz(Key("R"), "Text", "Tools");  // 6 bytes with the terminator
    char buffer[32];

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(1, GetRegString("R", "Text", buffer, "d", 6)) << "exactly the room";
    EXPECT_STREQ("Tools", buffer);
    EXPECT_EQ(Marker, buffer[6]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString("R", "Text", buffer, "d", 5)) << "one byte short";
    EXPECT_STREQ("d", buffer);
    EXPECT_EQ(Marker, buffer[5]);
}

TEST_F(Store, GetRegStringAlwaysHandsBackATerminatedText)
{
    // Stored without a zero (reads do not test the type): a zero is added
    // where there is room; a text filling the buffer without one does not fit.
    Put(Key("R"), "Raw", REG_BINARY, "abcdef");
    char buffer[32];

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(1, GetRegString("R", "Raw", buffer, "d", 7));
    EXPECT_STREQ("abcdef", buffer);
    EXPECT_EQ(Marker, buffer[7]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString("R", "Raw", buffer, "d", 6));
    EXPECT_STREQ("d", buffer);
    EXPECT_EQ(Marker, buffer[6]);
}

TEST_F(Store, GetRegStringWithADefaultTooLongForTheBufferLeavesItEmpty)
{
    char buffer[8];
    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString("Missing", "V", buffer, "twelve chars", 4));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(Marker, buffer[4]);
}

TEST_F(Store, GetRegDwordReadsOrStoresTheDefault)
{
    Put(Key("R"), "N", REG_DWORD, Dword(0x01020304));
    Put(Key("R"), "Wide", REG_BINARY, std::string(8, '\1'));
    Put(Key("R"), "Short", REG_BINARY, std::string("\x34\x12", 2));
    DWORD value;

    value = 0xBDBDBDBD;
    EXPECT_EQ(1, GetRegDword("R", "N", &value, 9));
    EXPECT_EQ(0x01020304u, value);
    value = 0xBDBDBDBD;
    EXPECT_EQ(0, GetRegDword("R", "Missing", &value, 9));
    EXPECT_EQ(9u, value);
    value = 0xBDBDBDBD;
    EXPECT_EQ(0, GetRegDword("Missing", "N", &value, 9));
    EXPECT_EQ(9u, value);
    value = 0xBDBDBDBD;
    EXPECT_EQ(0, GetRegDword("R", "Wide", &value, 9)) << "8 bytes do not fit 4";
    EXPECT_EQ(9u, value);
    value = 0xBDBDBDBD;
    EXPECT_EQ(1, GetRegDword("R", "Short", &value, 9)) << "a shorter value leaves the rest of the room";
    EXPECT_EQ(0xBDBD1234u, value);

    EXPECT_EQ(0x01020304u, GetRegDword("R", "N", 9));
    EXPECT_EQ(9u, GetRegDword("R", "Missing", 9));
    EXPECT_EQ(9u, GetRegDword("Missing", "N", 9));
    EXPECT_EQ(0x1234u, GetRegDword("R", "Short", 9)) << "no stray bytes above a short value";
}

TEST_F(Store, GetRegBinaryReadsOrAppliesADefaultOfExactlyTheSizeGiven)
{
    const std::string stored = Bytes(10, 3);
    Put(Key("R"), "B", REG_BINARY, stored);
    const std::string defaults = Bytes(16, 100);
    char buffer[32];

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(1, GetRegBinary("R", "B", buffer, defaults.data(), 10)) << "exactly the room";
    EXPECT_EQ(stored, std::string((char *)buffer, 10));
    EXPECT_EQ(Marker, buffer[10]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(1, GetRegBinary("R", "B", buffer, defaults.data(), 12)) << "more room than bytes";
    EXPECT_EQ(stored, std::string((char *)buffer, 10));
    EXPECT_EQ(Marker, buffer[10]);
    EXPECT_EQ(Marker, buffer[11]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegBinary("R", "B", buffer, defaults.data(), 9)) << "one byte short";
    EXPECT_EQ(defaults.substr(0, 9), std::string((char *)buffer, 9));
    EXPECT_EQ(Marker, buffer[9]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegBinary("R", "Missing", buffer, defaults.data(), 7));
    EXPECT_EQ(defaults.substr(0, 7), std::string((char *)buffer, 7));
    EXPECT_EQ(Marker, buffer[7]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegBinary("R", "Missing", buffer, NULL, 7)) << "no default data";
    EXPECT_EQ(std::string(7, '\0'), std::string((char *)buffer, 7));
    EXPECT_EQ(Marker, buffer[7]);

    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegBinary("Missing", "B", buffer, NULL, 5)) << "missing key";
    EXPECT_EQ(std::string(5, '\0'), std::string((char *)buffer, 5));
    EXPECT_EQ(Marker, buffer[5]);
}

// ---- Existence and single deletions ---------------------------------------

TEST_F(Store, CheckRegKeyFindsAKeyWithOrWithoutValues)
{
    EXPECT_EQ(0, CheckRegKey(""));
    Make(Key("Highlight"));
    EXPECT_EQ(1, CheckRegKey("Highlight")) << "a key without values";
    EXPECT_EQ(1, CheckRegKey(""));
    EXPECT_EQ(0, CheckRegKey("Plugins\\FTP\\Hosts"));
    Make(Key("Plugins\\FTP\\Hosts"));
    EXPECT_EQ(1, CheckRegKey("Plugins\\FTP\\Hosts"));
}

TEST_F(Store, DeleteRegValueRemovesOnlyTheNamedValue)
{
    PutSz(Key("D"), "A", "1");
    PutSz(Key("D"), "B", "2");
    DeleteRegValue("D", "A");
    EXPECT_EQ(std::vector<std::string>({"B"}), RegValueNames(HKEY_CURRENT_USER, Key("D")));
    DeleteRegValue("D", "Missing");
    EXPECT_EQ(std::vector<std::string>({"B"}), RegValueNames(HKEY_CURRENT_USER, Key("D")));
    DeleteRegValue("Missing", "B");
    EXPECT_FALSE(Exists(Key("Missing")));
}

TEST_F(Store, DeleteRegKeyDeletesOneKeyAndTheWindows95FamilyItsSubkeysToo)
{
    Make(Key("Leaf"));
    DeleteRegKey("Leaf");
    EXPECT_FALSE(Exists(Key("Leaf")));

    Make(Key("Parent\\Child"));
    DeleteRegKey("Parent");
    if (Is9x()) {
        EXPECT_FALSE(Exists(Key("Parent")));
    } else {
        EXPECT_TRUE(Exists(Key("Parent\\Child"))) << "the NT family refuses a key with subkeys";
    }
    EXPECT_TRUE(Exists(Qel));
}

// ---- The subkey bound: 66 characters ---------------------------------------

TEST_F(Store, ASubkeyOf66CharactersIsUsed)
{
    const std::string subkey(66, 's');
    SetRegString(subkey.c_str(), "V", "x");
    EXPECT_EQ(Sz("x"), ReadRegValue(HKEY_CURRENT_USER, Key(subkey), "V").data);

    char buffer[8];
    EXPECT_EQ(1, GetRegString(subkey.c_str(), "V", buffer, "d", sizeof buffer));
    EXPECT_STREQ("x", buffer);
    EXPECT_EQ(1, CheckRegKey(subkey.c_str()));
    DeleteRegValue(subkey.c_str(), "V");
    EXPECT_FALSE(ReadRegValue(HKEY_CURRENT_USER, Key(subkey), "V").exists);
    DeleteRegKey(subkey.c_str());
    EXPECT_FALSE(Exists(Key(subkey)));

    const std::string levels = "Plugins\\" + std::string(58, 'l');
    ASSERT_EQ(66u, levels.size());
    SetRegDword(levels.c_str(), "N", 1);
    EXPECT_EQ(Dword(1), ReadRegValue(HKEY_CURRENT_USER, Key(levels), "N").data);
}

TEST_F(Store, ASubkeyOf67CharactersIsRefusedAndNoShortenedPathIsTouched)
{
    const std::string subkey(67, 's');
    const std::string shortened(66, 's');  // what a cut path would name
    Make(Key(subkey));
    PutSz(Key(subkey), "V", "stored");
    PutSz(Key(shortened), "V", "other");

    EXPECT_EQ((HKEY)NULL, CreateRegKey(subkey.c_str()));
    EXPECT_EQ((HKEY)NULL, OpenRegKey(subkey.c_str()));
    EXPECT_EQ(0, CheckRegKey(subkey.c_str()));

    char buffer[16];
    memset(buffer, Marker, sizeof buffer);
    EXPECT_EQ(0, GetRegString(subkey.c_str(), "V", buffer, "d", sizeof buffer));
    EXPECT_STREQ("d", buffer);
    DWORD number = 0;
    EXPECT_EQ(0, GetRegDword(subkey.c_str(), "V", &number, 4));
    EXPECT_EQ(4u, number);
    EXPECT_EQ(0, GetRegBinary(subkey.c_str(), "V", buffer, NULL, 3));

    SetRegString(subkey.c_str(), "V", "new");
    SetRegString(subkey.c_str(), "W", "new");
    SetRegDword(subkey.c_str(), "W", 1);
    SetRegBinary(subkey.c_str(), "W", "ab", 2);
    DeleteRegValue(subkey.c_str(), "V");
    DeleteRegKey(subkey.c_str());

    EXPECT_EQ(std::vector<std::string>({"value  : V type 1 = " + Sz("stored")}), Listing(Key(subkey)));
    EXPECT_EQ(std::vector<std::string>({"value  : V type 1 = " + Sz("other")}), Listing(Key(shortened)));
}

// ---- SetRegRoot ----------------------------------------------------------

TEST_F(Store, SetRegRootKeepsTheMachineAndUserKeysApart)
{
    EXPECT_EQ(HKEY_CURRENT_USER, GetRegRoot());
    PutSz(Key("U"), "Who", "user");

    SetRegRoot(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, GetRegRoot());
    SetRegString("M", "Who", "machine");
    EXPECT_EQ(Sz("machine"), ReadRegValue(HKEY_LOCAL_MACHINE, Key("M"), "Who").data);
    EXPECT_FALSE(Exists(Key("M")));
    EXPECT_EQ(0, CheckRegKey("U"));

    DeleteKeyTree(Qel);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, Qel));
    EXPECT_EQ(Sz("user"), ReadRegValue(HKEY_CURRENT_USER, Key("U"), "Who").data);

    SetRegRoot(HKEY_CURRENT_USER);
    EXPECT_EQ(1, CheckRegKey("U"));
    DeleteKeyTree(Qel);
    EXPECT_FALSE(Exists(Qel));
}

// ---- DeleteKeyTree ---------------------------------------------------------

TEST_F(Store, DeleteKeyTreeOfAMissingPathCostsOnePassAndChangesNothing)
{
    Make(Key("Keep"));
    DeleteKeyTree("Software\\Qel\\Missing");
    EXPECT_EQ(1, DeleteKeyTreePasses());
    EXPECT_TRUE(Exists(Key("Keep")));
}

TEST_F(Store, DeleteKeyTreeDeletesInOnePassThoughDeletingAChildShiftsItsSiblings)
{
    Make(Key("Three\\S1"));
    Make(Key("Three\\S2"));
    Make(Key("Three\\S3"));
    Make(Key("Threes"));

    DeleteKeyTree("Software\\Qel\\Three");

    EXPECT_FALSE(Exists(Key("Three")));
    EXPECT_TRUE(Exists(Key("Threes")));
    // S1, S2 (moved to S1's index), S3 and the key, then a pass that finds
    // nothing; on both families.
    EXPECT_EQ(2, DeleteKeyTreePasses());
}

TEST_F(Store, DeleteKeyTreeMakesTwoPassesWhateverTheShapeOfTheTree)
{
    // The first pass deletes the whole tree, deep or wide, the second finds
    // nothing: on the NT family each key once its children are gone, on
    // Windows 95 each key with what is left below it.
    struct Shape {
        int depth, siblings;
    };
    const Shape shapes[] = {
        {1, 1}, {1, 2}, {1, 5}, {2, 3}, {3, 3}, {2, 6}, {6, 2}, {4, 5},
    };
    for (const Shape &shape : shapes) {
        MakeKeyTree(HKEY_CURRENT_USER, Key("Shape"), shape.depth, shape.siblings);
        Make(Key("Shapes"));

        DeleteKeyTree("Software\\Qel\\Shape");

        EXPECT_FALSE(Exists(Key("Shape"))) << shape.depth << " levels of " << shape.siblings;
        EXPECT_TRUE(Exists(Key("Shapes")));
        EXPECT_EQ(2, DeleteKeyTreePasses()) << shape.depth << " levels of " << shape.siblings;
    }
}

TEST_F(Store, DeleteKeyTreeRemovesATreeThreeLevelsDeepWithFiveSiblingsPerLevel)
{
    for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++)
            for (int c = 0; c < 5; c++) {
                std::string leaf = "Deep\\A" + std::to_string(a) + "\\B" + std::to_string(b) + "\\C" +
                                   std::to_string(c);
                PutSz(Key(leaf), "V", leaf);
            }
    PutSz(Key("Deep"), "Top", "x");
    Make(Key("Keep\\Child"));

    DeleteKeyTree("Software\\Qel\\Deep");

    EXPECT_FALSE(Exists(Key("Deep")));
    EXPECT_EQ(std::vector<std::string>({"key Child"}), Listing(Key("Keep")));
    EXPECT_EQ(2, DeleteKeyTreePasses());
}

TEST_F(Store, DeleteKeyTreeOfTheSettingsKeyRemovesEverything)
{
    PutSz(Qel, "Group", "Tools");
    PutSz(Key("Highlight\\Group0"), "Mask", "*.*");
    PutSz(Key("Highlight\\Group1"), "Mask", "*.exe");
    Make(Key("Plugins\\FTP\\Hosts\\ftp://example.org"));

    DeleteKeyTree(Qel);

    EXPECT_FALSE(Exists(Qel));
    EXPECT_TRUE(Exists("Software"));
}

TEST_F(Store, AChildNameOf199CharactersIsDeleted)
{
    Make(Key("Names\\" + std::string(199, 'L')));
    Make(Key("Names\\A"));
    DeleteKeyTree("Software\\Qel\\Names");
    EXPECT_FALSE(Exists(Key("Names")));
}

TEST_F(Store, AChildNameOf200CharactersStopsThatLevelAndTheLoopStillEnds)
{
    const std::string longName(200, 'L');
    for (const std::string &name : {std::string("A"), longName, std::string("X"), std::string("Y"),
                                    std::string("Z")})
        Make(Key("Stop\\" + name));

    DeleteKeyTree(Qel);

    // Pass 1 deletes A and meets the long name at index 0, where the
    // enumeration of that level stops; pass 2 stops there too, deleting
    // nothing. The Windows 95 family deletes Stop with what is below it.
    EXPECT_EQ(2, DeleteKeyTreePasses());
    if (Is9x()) {
        EXPECT_FALSE(Exists(Qel)) << "Windows 95 deletes Stop with what is left below it";
    } else {
        EXPECT_EQ(std::vector<std::string>({"key " + longName, "key X", "key Y", "key Z"}), Listing(Key("Stop")));
    }
}

TEST_F(Store, DeleteKeyTreeTriesAFullPathOf511AndRefuses512)
{
    const std::string at = PathOfLength("Software\\Qel\\At", 511);
    const std::string past = PathOfLength("Software\\Qel\\Past", 512);
    MakeWide(past);

    DeleteKeyTree(at.c_str());
    EXPECT_EQ(1, DeleteKeyTreePasses()) << "one pass over a path that is not there";

    DeleteKeyTree(past.c_str());
    EXPECT_EQ(0, DeleteKeyTreePasses());
    EXPECT_TRUE(ExistsWide(past));

    // Below it, the child whose full path has 511 characters goes and the
    // one with 512 is not touched (Windows 95 deletes it with its parent).
    const std::string parent = PathOfLength(Key("Deep"), 480);
    const std::string child511 = parent + "\\" + std::string(30, 'a');
    const std::string child512 = parent + "\\" + std::string(31, 'b');
    MakeWide(child511);
    MakeWide(child512);
    DeleteKeyTree(Key("Deep").c_str());
    EXPECT_EQ(2, DeleteKeyTreePasses());
    EXPECT_FALSE(ExistsWide(child511));
    EXPECT_EQ(!Is9x(), ExistsWide(child512));
}

TEST_F(Store, DeleteKeyTreeRemovesATreeWhosePathsReach260Characters)
{
    // As long as this platform's ANSI calls go: a 250-character parent with
    // children whose paths have 260.
    const std::string parent = PathOfLength("Software\\Qel\\Long", 250);
    for (const char *name : {"child0001", "child0002", "child0003"})
        PutSz(parent + "\\" + name, "V", name);
    ASSERT_EQ(260u, (parent + "\\child0001").size());

    DeleteKeyTree(parent.c_str());

    EXPECT_FALSE(ExistsWide(parent));
    EXPECT_EQ(2, DeleteKeyTreePasses());
}

TEST_F(Store, DeleteKeyTreeRefusesAPathNamingTheRootItself)
{
    // A root of the test's own, so that a wrong answer empties only it.
    Make(Key("Root\\A"));
    Make(Key("Root\\B\\C"));
    HKEY root;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Key("Root").c_str(), 0, KEY_ALL_ACCESS, &root));
    SetRegRoot(root);

    DeleteKeyTree("");
    EXPECT_EQ(0, DeleteKeyTreePasses());
    DeleteKeyTree("\\");
    EXPECT_EQ(0, DeleteKeyTreePasses());

    SetRegRoot(HKEY_CURRENT_USER);
    RegCloseKey(root);
    EXPECT_EQ(std::vector<std::string>({"key A", "key B", "key B\\C"}), Listing(Key("Root")));
}

// A tree of the user's that the product does not own, which registry links
// below the settings key lead to; made and removed by the tests that use it.
const char Victim[] = "Software\\Qel Victim";

void MakeVictim()
{
    PutSz(Victim, "Keep", "victim");
    Put(Victim, "Number", REG_DWORD, Dword(7));
    PutSz(std::string(Victim) + "\\Child", "Deep", "deep");
    Make(std::string(Victim) + "\\Child\\Leaf");
}

TEST_F(Store, DeleteKeyTreeNeitherEntersNorDeletesARegistryLinkAndKeepsItsParents)
{
    if (Is9x())
        GTEST_SKIP() << "the Windows 95 family has no registry links; its calls stay as they are";
    MakeVictim();
    const std::vector<std::string> victim = Listing(Victim);
    PutSz(Key("Tree\\A"), "V", "a");
    Make(Key("Tree\\B\\C"));
    // Plain keys holding the link's value name with another type than a
    // link's: deleted like any other key.
    PutSz(Key("Tree\\B\\Plain"), "SymbolicLinkValue", Key("Tree\\B\\C"));
    Put(Key("Tree\\Plain"), "SymbolicLinkValue", REG_BINARY, "\x01");
    {
        RegLink deep(HKEY_CURRENT_USER, Key("Tree\\B\\Link"), HKEY_CURRENT_USER, Victim);
        RegLink top(HKEY_CURRENT_USER, Key("Tree\\Link"), HKEY_CURRENT_USER, std::string(Victim) + "\\Child");
        RegLink itself(HKEY_CURRENT_USER, Key("Itself"), HKEY_CURRENT_USER, Victim);
        // The platform deletes no key with subkeys, so only a link to a key
        // without any shows that the link is not deleted by its path.
        RegLink bare(HKEY_CURRENT_USER, Key("Bare"), HKEY_CURRENT_USER, std::string(Victim) + "\\Child\\Leaf");
        ASSERT_TRUE(deep.Made() && top.Made() && itself.Made() && bare.Made());
        ASSERT_EQ(std::vector<std::string>({"key Leaf", "value  : Deep type 1 = " + Sz("deep")}),
                  Listing(Key("Tree\\Link")))
            << "the link does not lead to the victim";

        DeleteKeyTree("Software\\Qel\\Tree");
        // A, C and the plain keys; the second pass finds only the links and
        // their parents.
        EXPECT_EQ(2, DeleteKeyTreePasses());
        DeleteKeyTree("Software\\Qel\\Itself");
        EXPECT_EQ(1, DeleteKeyTreePasses());
        DeleteKeyTree("Software\\Qel\\Bare");
        EXPECT_EQ(1, DeleteKeyTreePasses());

        EXPECT_EQ(victim, Listing(Victim));
        EXPECT_EQ(std::vector<std::string>({"B", "Link"}), RegSubkeys(HKEY_CURRENT_USER, Key("Tree")));
        EXPECT_EQ(std::vector<std::string>({"Link"}), RegSubkeys(HKEY_CURRENT_USER, Key("Tree\\B")));
        for (const char *link : {"Tree\\B\\Link", "Tree\\Link", "Itself", "Bare"})
            EXPECT_TRUE(RegLinkExists(HKEY_CURRENT_USER, Key(link))) << link;
    }
    EXPECT_EQ(victim, Listing(Victim));
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, Victim);
}

// ---- CopyKeyTree ---------------------------------------------------------

// A source tree with values of every kind at three levels.
void MakeRichSource(const std::string &source)
{
    Put(source, "", REG_SZ, Sz("default value"));
    PutSz(source, "Text", "Tools");
    PutSz(source, "Empty", "");
    Put(source, "Number", REG_DWORD, Dword(0xDEADBEEF));
    Put(source, "Block", REG_BINARY, Bytes(256, 0));
    Put(source, "NoBytes", REG_BINARY, "");
    Put(source, "Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6));
    Put(source, "Expand", REG_EXPAND_SZ, Sz("%TEMP%\\x"));
    Put(source, "None", REG_NONE, "raw");
    Put(source, "Full", REG_BINARY, Bytes(1000, 9));
    Put(source, std::string(199, 'n'), REG_DWORD, Dword(199));
    PutSz(source + "\\Level1", "L1", "one");
    Put(source + "\\Level1", "Bin", REG_BINARY, Bytes(33, 1));
    PutSz(source + "\\Level1\\Level2", "L2", "two");
    Put(source + "\\Level1\\Level2\\Level3", "L3", REG_DWORD, Dword(3));
    Make(source + "\\Level1\\Empty");
    PutSz(source + "\\Other", "O", "o");
}

TEST_F(Store, CopyKeyTreeLeavesExactlyTheSourceValuesAndSubkeysAtEveryLevel)
{
    const std::string source = Key("Source"), destination = Key("Copy");
    MakeRichSource(source);
    PutSz(destination, "Text", "old");
    PutSz(destination, "OnlyOld", "old");
    PutSz(destination + "\\Level1", "OnlyOld", "old");
    Make(destination + "\\OldChild\\Deeper");
    const std::vector<std::string> before = Listing(source);

    EXPECT_EQ(1, CopyKeyTree(source.c_str(), destination.c_str()));

    EXPECT_EQ(before, Listing(destination));
    EXPECT_EQ(before, Listing(source)) << "the source is left as it was";
    EXPECT_GT(before.size(), 15u);
}

TEST_F(Store, CopyKeyTreeNeitherCopiesNorWritesThroughARegistryLink)
{
    if (Is9x())
        GTEST_SKIP() << "the Windows 95 family has no registry links; its calls stay as they are";
    MakeVictim();
    const std::vector<std::string> victim = Listing(Victim);
    const std::string source = Key("Source"), destination = Key("Copy");
    PutSz(source, "Top", "top");
    PutSz(source + "\\Plain", "P", "plain");
    PutSz(source + "\\Other", "O", "other");
    PutSz(source + "\\Dangling", "D", "dangling");
    const char Missing[] = "Software\\Qel Missing";
    {
        // A link in the source, one left at the destination under the name
        // of a source child, and a source and a destination that are links.
        RegLink inSource(HKEY_CURRENT_USER, source + "\\Link", HKEY_CURRENT_USER, Victim);
        RegLink atDestination(HKEY_CURRENT_USER, destination + "\\Other", HKEY_CURRENT_USER, Victim);
        // One to a key that does not exist: a creation through it would make
        // that key, where one to an existing key is caught a level down.
        RegLink dangling(HKEY_CURRENT_USER, destination + "\\Dangling", HKEY_CURRENT_USER, Missing);
        RegLink linkSource(HKEY_CURRENT_USER, Key("Link Source"), HKEY_CURRENT_USER, Victim);
        RegLink linkDestination(HKEY_CURRENT_USER, Key("Link Copy"), HKEY_CURRENT_USER, Victim);
        ASSERT_TRUE(inSource.Made() && atDestination.Made() && linkSource.Made() && linkDestination.Made() &&
                    dangling.Made());

        EXPECT_EQ(1, CopyKeyTree(source.c_str(), destination.c_str()));
        EXPECT_FALSE(Exists(Missing));
        EXPECT_EQ(std::vector<std::string>({"Dangling", "Other", "Plain"}),
                  RegSubkeys(HKEY_CURRENT_USER, destination));
        EXPECT_EQ(Listing(source + "\\Plain"), Listing(destination + "\\Plain"));
        EXPECT_EQ(Sz("top"), ReadRegValue(HKEY_CURRENT_USER, destination, "Top").data);
        EXPECT_TRUE(RegLinkExists(HKEY_CURRENT_USER, destination + "\\Other"));
        EXPECT_TRUE(RegLinkExists(HKEY_CURRENT_USER, destination + "\\Dangling"));

        EXPECT_EQ(0, CopyKeyTree(Key("Link Source").c_str(), Key("Fresh").c_str()));
        EXPECT_FALSE(Exists(Key("Fresh")));
        EXPECT_EQ(0, CopyKeyTree(source.c_str(), Key("Link Copy").c_str()));
        EXPECT_TRUE(RegLinkExists(HKEY_CURRENT_USER, Key("Link Copy")));
        EXPECT_EQ(victim, Listing(Victim));
    }
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, Victim);
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, Missing);
}

TEST_F(Store, CopyKeyTreeEndsTheValueCopyAtAValueOver1000BytesAndStillCopiesSubkeys)
{
    const std::string source = Key("Source"), destination = Key("Copy");
    // Names sorted as created: some platforms enumerate values by name.
    PutSz(source, "1First", "1");
    Put(source, "2Big", REG_BINARY, Bytes(1001, 0));
    PutSz(source, "3After", "3");
    PutSz(source + "\\Sub", "S", "s");
    ASSERT_EQ(std::vector<std::string>({"1First", "2Big", "3After"}), RegValueNames(HKEY_CURRENT_USER, source));

    EXPECT_EQ(1, CopyKeyTree(source.c_str(), destination.c_str()));

    EXPECT_EQ(std::vector<std::string>({"key Sub", "value  : 1First type 1 = " + Sz("1"),
                                        "value Sub : S type 1 = " + Sz("s")}),
              Listing(destination));
}

TEST_F(Store, CopyKeyTreeEndsTheValueCopyAtAValueNameOf200Characters)
{
    const std::string source = Key("Source"), destination = Key("Copy");
    PutSz(source, "1First", "1");
    PutSz(source, "2" + std::string(199, 'n'), "2");
    PutSz(source, "3After", "3");
    Make(source + "\\Sub");
    ASSERT_EQ(3u, RegValueNames(HKEY_CURRENT_USER, source).size());
    ASSERT_EQ("3After", RegValueNames(HKEY_CURRENT_USER, source)[2]);

    EXPECT_EQ(1, CopyKeyTree(source.c_str(), destination.c_str()));

    EXPECT_EQ(std::vector<std::string>({"key Sub", "value  : 1First type 1 = " + Sz("1")}), Listing(destination));
}

TEST_F(Store, CopyKeyTreeEndsTheSubkeyCopyAtAChildNameOf200Characters)
{
    const std::string source = Key("Source"), destination = Key("Copy");
    Make(source + "\\A");
    Make(source + "\\" + std::string(200, 'L'));
    Make(source + "\\Z");

    EXPECT_EQ(1, CopyKeyTree(source.c_str(), destination.c_str()));

    EXPECT_EQ(std::vector<std::string>({"key A"}), Listing(destination));
}

TEST_F(Store, CopyKeyTreeFromAMissingSourceChangesNothing)
{
    const std::string destination = Key("Copy");
    PutSz(destination, "Old", "old");
    Make(destination + "\\Child");
    const std::vector<std::string> before = Listing(destination);

    EXPECT_EQ(0, CopyKeyTree(Key("Missing").c_str(), destination.c_str()));

    EXPECT_EQ(before, Listing(destination));
    EXPECT_FALSE(Exists(Key("Missing")));
}

TEST_F(Store, CopyKeyTreeWhoseDestinationCannotBeCreatedReturns0AfterDeletingTheOld)
{
    Make(Qel);
    MakeVolatile(Key("Vol"));
    MakeVolatile(Key("Vol\\Copy"));
    PutSz(Key("Source"), "V", "x");

    EXPECT_EQ(0, CopyKeyTree(Key("Source").c_str(), Key("Vol\\Copy").c_str()));

    EXPECT_FALSE(Exists(Key("Vol\\Copy")));
    EXPECT_EQ(std::vector<std::string>({"value  : V type 1 = " + Sz("x")}), Listing(Key("Source")));
}

TEST_F(Store, ADestinationChildThatCannotBeCreatedEndsThatLevelsSubkeyCopy)
{
    // The old destination is volatile, and on the NT family it outlives its
    // deletion: the pass stops at its child of 200 characters, and "z",
    // enumerated after that child, stays too. Below it a new child cannot
    // be created, while the existing "z" can be opened.
    const std::string destination = Key("Vol");
    const std::string longName(200, 'L');
    Make(Qel);
    MakeVolatile(destination);
    MakeVolatile(destination + "\\" + longName);
    MakeVolatile(destination + "\\z");
    PutSz(Key("Src"), "V", "v");
    PutSz(Key("Src\\a"), "A", "a");
    PutSz(Key("Src\\z"), "Z", "z");

    EXPECT_EQ(1, CopyKeyTree(Key("Src").c_str(), destination.c_str()));

    if (Is9x()) {
        // Windows 95 deletes the old destination with all its subkeys.
        EXPECT_EQ(Listing(Key("Src")), Listing(destination));
    } else {
        // "a" cannot be created, which ends the loop before "z" is reached.
        EXPECT_EQ(std::vector<std::string>({"key " + longName, "key z", "value  : V type 1 = " + Sz("v")}),
                  Listing(destination));
    }
}

TEST_F(Store, CopyKeyTreeRefusesTreesThatOverlap)
{
    PutSz(Key("T"), "V", "x");
    PutSz(Key("T\\Inner"), "W", "y");
    const std::vector<std::string> before = Listing(Qel);

    EXPECT_EQ(0, CopyKeyTree(Key("T").c_str(), Key("T").c_str())) << "onto itself";
    EXPECT_EQ(0, CopyKeyTree("software\\qel\\t", Key("T").c_str())) << "onto itself, other letter case";
    EXPECT_EQ(0, CopyKeyTree(Key("T").c_str(), Key("T\\Inner\\Copy").c_str())) << "into itself";
    EXPECT_EQ(0, CopyKeyTree(Key("T\\Inner").c_str(), Key("T").c_str())) << "onto its own parent";

    EXPECT_EQ(before, Listing(Qel));
}

TEST_F(Store, CopyKeyTreeRefusesARootPath)
{
    PutSz(Key("Root\\A"), "V", "x");
    HKEY root;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Key("Root").c_str(), 0, KEY_ALL_ACCESS, &root));
    SetRegRoot(root);
    EXPECT_EQ(0, CopyKeyTree("A", ""));
    EXPECT_EQ(0, CopyKeyTree("", "B"));
    SetRegRoot(HKEY_CURRENT_USER);
    RegCloseKey(root);
    EXPECT_EQ(std::vector<std::string>({"key A", "value A : V type 1 = " + Sz("x")}), Listing(Key("Root")));
}

TEST_F(Store, CopyKeyTreeRefusesAPathOf512BeforeTouchingAnything)
{
    const std::string source512 = PathOfLength("Software\\Qel\\S", 512);
    const std::string destination512 = PathOfLength("Software\\Qel\\D", 512);
    const std::string destination511 = PathOfLength("Software\\Qel\\E", 511);
    MakeWide(source512);
    MakeWide(destination512 + "\\Old");
    PutSz(Key("Short"), "Old", "old");

    EXPECT_EQ(0, CopyKeyTree(source512.c_str(), Key("Short").c_str()));
    EXPECT_EQ(std::vector<std::string>({"value  : Old type 1 = " + Sz("old")}), Listing(Key("Short")));

    DeleteKeyTree(Key("Missing").c_str());
    ASSERT_EQ(1, DeleteKeyTreePasses());
    EXPECT_EQ(0, CopyKeyTree(Key("Short").c_str(), destination512.c_str()));
    EXPECT_EQ(1, DeleteKeyTreePasses()) << "not even the deletion of the old destination was tried";
    EXPECT_TRUE(ExistsWide(destination512 + "\\Old"));

    // At 511 the copy goes on to delete the old destination (a pass over
    // nothing here); it returns 1 exactly when the platform created it.
    DeleteKeyTree(destination512.c_str());
    ASSERT_EQ(0, DeleteKeyTreePasses());
    int result = CopyKeyTree(Key("Short").c_str(), destination511.c_str());
    EXPECT_EQ(1, DeleteKeyTreePasses());
    EXPECT_EQ(ExistsWide(destination511) ? 1 : 0, result);
}

TEST_F(Store, CopyKeyTreeCopiesATreeWhosePathsReach260Characters)
{
    const std::string source = PathOfLength("Software\\Qel\\Src", 250);
    const std::string destination = PathOfLength("Software\\Qel\\Dst", 250);
    PutSz(source, "Top", "t");
    for (const char *name : {"child0001", "child0002"})
        Put(source + "\\" + name, name, REG_BINARY, name);
    PutSz(destination, "Old", "old");
    ASSERT_EQ(260u, (destination + "\\child0001").size());

    EXPECT_EQ(1, CopyKeyTree(source.c_str(), destination.c_str()));

    EXPECT_EQ(Listing(source), Listing(destination));
    EXPECT_EQ(5u, Listing(destination).size());
}

// ---- Numbered entries ----------------------------------------------------

// Entries "Software\Qel\List\E<n>", each with a value and a subkey that say
// which entry they were made as.
const char EntryTemplate[] = "List\\E%d";

std::string Entry(int n)
{
    return Key("List\\E" + std::to_string(n));
}

void MakeEntry(int n, const std::string &entry)
{
    PutSz(entry, "Id", "entry " + std::to_string(n));
    Put(entry + "\\Sub", "Id", REG_DWORD, Dword(n));
}

void MakeEntries(int first, int last)
{
    for (int n = first; n <= last; n++)
        MakeEntry(n, Entry(n));
}

// What entry n held when it was made: its listing.
std::vector<std::string> EntryListing(int n)
{
    return {"key Sub", "value  : Id type 1 = " + Sz("entry " + std::to_string(n)),
            "value Sub : Id type 4 = " + Dword(n)};
}

std::vector<std::string> Entries()
{
    return RegSubkeys(HKEY_CURRENT_USER, Key("List"));
}

TEST_F(Store, DeleteNumberedKeyMovesTheLaterEntriesDown)
{
    MakeEntries(0, 4);
    DeleteNumberedKey(EntryTemplate, 2);
    EXPECT_EQ(std::vector<std::string>({"E0", "E1", "E2", "E3"}), Entries());
    EXPECT_EQ(EntryListing(0), Listing(Entry(0)));
    EXPECT_EQ(EntryListing(1), Listing(Entry(1)));
    EXPECT_EQ(EntryListing(3), Listing(Entry(2)));
    EXPECT_EQ(EntryListing(4), Listing(Entry(3)));
}

TEST_F(Store, DeleteNumberedKeyOfTheLastEntryDeletesItAlone)
{
    MakeEntries(0, 2);
    DeleteNumberedKey(EntryTemplate, 2);
    EXPECT_EQ(std::vector<std::string>({"E0", "E1"}), Entries());
    EXPECT_EQ(EntryListing(1), Listing(Entry(1)));
}

TEST_F(Store, DeleteNumberedKeyStopsAtAGapAndLeavesTheEntriesAfterIt)
{
    MakeEntries(0, 2);
    MakeEntry(4, Entry(4));
    DeleteNumberedKey(EntryTemplate, 0);
    EXPECT_EQ(std::vector<std::string>({"E0", "E1", "E4"}), Entries());
    EXPECT_EQ(EntryListing(1), Listing(Entry(0)));
    EXPECT_EQ(EntryListing(2), Listing(Entry(1)));
    EXPECT_EQ(EntryListing(4), Listing(Entry(4)));
}

TEST_F(Store, DeleteNumberedKeyOfTheHighestNumberDeletesThatEntry)
{
    MakeEntry(INT_MAX, Entry(INT_MAX));
    MakeEntry(INT_MAX - 1, Entry(INT_MAX - 1));
    DeleteNumberedKey(EntryTemplate, INT_MAX - 1);
    EXPECT_EQ(std::vector<std::string>({"E" + std::to_string(INT_MAX - 1)}), Entries());
    EXPECT_EQ(EntryListing(INT_MAX), Listing(Entry(INT_MAX - 1)));
}

TEST_F(Store, InsertNumberedKeyMovesEntriesUpAndFreesTheSlot)
{
    MakeEntries(0, 4);
    InsertNumberedKey(EntryTemplate, 2, 5);
    EXPECT_EQ(std::vector<std::string>({"E0", "E1", "E3", "E4", "E5"}), Entries());
    EXPECT_EQ(EntryListing(0), Listing(Entry(0)));
    EXPECT_EQ(EntryListing(1), Listing(Entry(1)));
    EXPECT_EQ(EntryListing(2), Listing(Entry(3)));
    EXPECT_EQ(EntryListing(3), Listing(Entry(4)));
    EXPECT_EQ(EntryListing(4), Listing(Entry(5)));
}

TEST_F(Store, InsertNumberedKeyAtTheTopNumberCopiesNothingAndDeletesThatEntry)
{
    MakeEntries(0, 4);
    InsertNumberedKey(EntryTemplate, 4, 4);
    EXPECT_EQ(std::vector<std::string>({"E0", "E1", "E2", "E3"}), Entries());
    EXPECT_EQ(EntryListing(3), Listing(Entry(3)));
}

TEST_F(Store, InsertNumberedKeyWithATopOneTooHighCopiesNothingAndDeletesTheEntry)
{
    MakeEntries(0, 4);
    InsertNumberedKey(EntryTemplate, 2, 6);
    EXPECT_EQ(std::vector<std::string>({"E0", "E1", "E3", "E4"}), Entries());
    EXPECT_EQ(EntryListing(3), Listing(Entry(3)));
    EXPECT_EQ(EntryListing(4), Listing(Entry(4)));
}

TEST_F(Store, NumberedEntriesOfATemplateWithPercentSignsAndAWidth)
{
    PutSz(Key("P%\\E00"), "Id", "a");
    PutSz(Key("P%\\E01"), "Id", "b");
    InsertNumberedKey("P%%\\E%02d", 0, 2);
    EXPECT_EQ(std::vector<std::string>({"E01", "E02"}), RegSubkeys(HKEY_CURRENT_USER, Key("P%")));
    DeleteNumberedKey("P%%\\E%02d", 1);
    EXPECT_EQ(std::vector<std::string>({"E01"}), RegSubkeys(HKEY_CURRENT_USER, Key("P%")));
    EXPECT_EQ(Sz("b"), ReadRegValue(HKEY_CURRENT_USER, Key("P%\\E01"), "Id").data);
}

TEST_F(Store, NumberedOperationsRefuseTemplatesThatAreNotOneDecimalConversion)
{
    MakeEntries(0, 2);
    PutSz(Key("List\\E%s"), "Id", "literal");
    PutSz(Key("List\\E"), "Id", "bare");
    const std::vector<std::string> before = Listing(Qel);

    for (const char *bad : {"List\\E%s", "List\\E%n", "List\\E%d%n", "List\\E%d%d", "List\\E%x", "List\\E%*d",
                            "List\\E%.0d", "List\\E%ld", "List\\E", "", "List\\E%d%"}) {
        DeleteNumberedKey(bad, 0);
        InsertNumberedKey(bad, 0, 3);
        EXPECT_EQ(before, Listing(Qel)) << bad;
    }
}

// A template of 66 characters: "Software\Qel\" and it fill the 80-byte full
// template; its entry paths have 79 characters for two-digit numbers.
const std::string Template66 = std::string(64, 't') + "%d";

std::string Entry66(int n)
{
    return Key(std::string(64, 't') + std::to_string(n));
}

TEST_F(Store, NumberedOperationsTakeAnEntryPathOf79)
{
    ASSERT_EQ(79u, Entry66(99).size());
    MakeEntry(97, Entry66(97));
    MakeEntry(98, Entry66(98));
    MakeEntry(99, Entry66(99));

    InsertNumberedKey(Template66.c_str(), 98, 99);  // 98 onto 99, then 98 goes
    EXPECT_FALSE(Exists(Entry66(98)));
    EXPECT_EQ(EntryListing(98), Listing(Entry66(99)));

    DeleteNumberedKey(Template66.c_str(), 97);  // entry 98 is missing
    EXPECT_FALSE(Exists(Entry66(97)));
    EXPECT_EQ(EntryListing(98), Listing(Entry66(99)));
}

TEST_F(Store, NumberedOperationsRefuseAnEntryPathOf80)
{
    MakeEntry(98, Entry66(98));
    MakeEntry(99, Entry66(99));
    const std::vector<std::string> before = Listing(Qel);

    DeleteNumberedKey(Template66.c_str(), 100);
    DeleteNumberedKey(Template66.c_str(), 99);  // entry 100 cannot be named
    InsertNumberedKey(Template66.c_str(), 99, 100);
    InsertNumberedKey(Template66.c_str(), 98, 100);
    EXPECT_EQ(before, Listing(Qel));
}

TEST_F(Store, DeleteNumberedKeyEndsAtTheFirstEntryThatCannotBeNamed)
{
    MakeEntry(98, Entry66(98));
    MakeEntry(99, Entry66(99));
    DeleteNumberedKey(Template66.c_str(), 98);
    EXPECT_FALSE(Exists(Entry66(99)));
    EXPECT_EQ(EntryListing(99), Listing(Entry66(98)));
}

TEST_F(Store, NumberedOperationsRefuseATemplateOf67Characters)
{
    const std::string template67 = std::string(65, 'u') + "%d";
    const std::string entry0 = Key(std::string(65, 'u') + "0");
    ASSERT_EQ(79u, entry0.size()) << "its entry paths alone would fit";
    MakeEntry(0, entry0);
    MakeEntry(1, Key(std::string(65, 'u') + "1"));
    const std::vector<std::string> before = Listing(Qel);

    DeleteNumberedKey(template67.c_str(), 0);
    InsertNumberedKey(template67.c_str(), 0, 2);
    EXPECT_EQ(before, Listing(Qel));
}

}  // namespace
