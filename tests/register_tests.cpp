// Registration as the installer runs it: the uninstall entry, the group
// name, the default FTP host, the highlight defaults and the Windows 95
// family's launcher files, read back with plain platform calls, under the
// locales whose OEM code page differs from the ANSI one too; the quoting of
// a file name for a batch file line and the line of "Qel.bat"; and a
// launcher that cannot be written whole.
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "imports.h"
#include "layout.h"
#include "register/quote.h"
#include "register/register.h"

using namespace bench;

namespace {

const char UninstallParent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char HostsKey[] = "Software\\Qel\\Plugins\\FTP\\Hosts";
const char HighlightKey[] = "Software\\Qel\\Highlight";
const char DefaultHost[] = "ftp://ftp.example.org/pub/qel";
const char AnyWindow[] = "";

// ---------------------------------------------------------------------------
// QuoteFileName, called directly.

struct QuoteCase {
    const char *name;
    std::string input;
    std::string expected;
};

std::vector<QuoteCase> QuoteCases()
{
    std::string longWithBlank = std::string(4000, 'a') + " " + std::string(4188, 'b');  // 8189
    std::string longerWithBlank = std::string(9000, 'c') + "&";
    return {
        {"leading dash", "-x", "\"-x\""},
        {"leading caret", "^x", "\"^x\""},
        {"blank inside", "a b", "\"a b\""},
        {"ampersand inside", "a&b", "\"a&b\""},
        {"blank alone", " ", "\" \""},
        {"ampersand alone", "&", "\"&\""},
        {"already quoted with a blank gets a second pair", "\"a b\"", "\"\"a b\"\""},
        {"plain name unchanged", "plain", "plain"},
        {"empty name unchanged", "", ""},
        {"dash not first unchanged", "x-y", "x-y"},
        {"caret not first unchanged", "x^y", "x^y"},
        {"quotes alone decide nothing", "\"quoted\"", "\"quoted\""},
        {"tab does not count", "a\tb", "a\tb"},
        {"other shell characters do not count", "a%b|c<d>e(f)g,h;i=j", "a%b|c<d>e(f)g,h;i=j"},
        {"installed under Program Files", "C:\\Program Files\\Tools\\Qel.exe",
         "\"C:\\Program Files\\Tools\\Qel.exe\""},
        {"installed in a plain directory", "C:\\TOOLS\\Qel.exe", "C:\\TOOLS\\Qel.exe"},
        {"directory with an ampersand", "C:\\R&D\\Qel.exe", "\"C:\\R&D\\Qel.exe\""},
        {"blank at the very end", "abc ", "\"abc \""},
        {"high bytes do not count", "\xE9t\xE9", "\xE9t\xE9"},
        {"8189 characters", longWithBlank, "\"" + longWithBlank + "\""},
        {"longer than any scratch buffer", longerWithBlank, "\"" + longerWithBlank + "\""},
    };
}

TEST(QuoteFileName, QuotesOnlyWhatTheInterpreterWouldMisreadWithinTwoMoreBytes)
{
    for (const QuoteCase &c : QuoteCases()) {
        // The room register/quote.h asks for: the string, two quotes and the
        // terminator.
        size_t room = c.input.size() + 3;
        std::vector<char> buffer(room + 1, Marker);
        memcpy(buffer.data(), c.input.c_str(), c.input.size() + 1);

        char *result = QuoteFileName(buffer.data());

        EXPECT_EQ(buffer.data(), result) << c.name;
        EXPECT_EQ(c.expected, std::string(buffer.data())) << c.name;
        EXPECT_EQ(Marker, buffer[room]) << c.name << ": wrote past the room";
        if (c.expected == c.input) {
            // Left alone means not one byte written after the terminator.
            for (size_t i = c.input.size() + 1; i < room; i++)
                EXPECT_EQ(Marker, buffer[i]) << c.name << ": byte " << i;
        }
    }
}

TEST(QuoteFileName, NeedsQuotesAgreesWithWhatQuotingDoes)
{
    for (const QuoteCase &c : QuoteCases())
        EXPECT_EQ(c.expected != c.input, FileNameNeedsQuotes(c.input.c_str()) != 0) << c.name;
}

struct LauncherLineCase {
    const char *name;
    std::string program;
    size_t size;
    std::string line;  // "": refused
};

std::vector<LauncherLineCase> LauncherLineCases()
{
    // The longest path, every byte a '%': 518 bytes doubled, CR LF, the
    // terminator.
    std::string percents(259, '%');
    std::string doubled = std::string(518, '%') + "\r\n";
    return {
        {"plain path, then CR LF", "C:\\TOOLS\\Qel.exe", 64, "C:\\TOOLS\\Qel.exe\r\n"},
        {"blank: quoted", "C:\\Q L\\Qel.exe", 64, "\"C:\\Q L\\Qel.exe\"\r\n"},
        {"percent doubled", "C:\\100%\\Qel.exe", 64, "C:\\100%%\\Qel.exe\r\n"},
        {"percent doubled inside the quotes", "C:\\Q %a%\\Qel.exe", 64, "\"C:\\Q %%a%%\\Qel.exe\"\r\n"},
        {"OEM bytes pass as they are", "C:\\M\x81ller\\Qel.exe", 64, "C:\\M\x81ller\\Qel.exe\r\n"},
        {"exactly the room", "C:\\Q L\\Qel.exe", 19, "\"C:\\Q L\\Qel.exe\"\r\n"},
        {"one byte short of the room", "C:\\Q L\\Qel.exe", 18, ""},
        {"the longest path of percents, exactly the room", percents, 521, doubled},
        {"the longest path of percents, one byte short", percents, 520, ""},
    };
}

TEST(LauncherLine, DoublesPercentQuotesAndEndsInCrLfWithinTheRoom)
{
    for (const LauncherLineCase &c : LauncherLineCases()) {
        std::vector<char> buffer(c.size + 1, Marker);
        int fit = FormatLauncherLine(buffer.data(), c.size, c.program.c_str());
        EXPECT_EQ(!c.line.empty(), fit != 0) << c.name;
        EXPECT_EQ(c.line, std::string(buffer.data())) << c.name;
        EXPECT_EQ(Marker, buffer[c.size]) << c.name << ": wrote past the room";
    }
}

// ---------------------------------------------------------------------------
// Through the real executable.

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// The line of "Qel.bat" for an installation directory as a batch file
// names it: every '%' doubled.
std::string LauncherLine(const std::string &directory, bool quoted)
{
    std::string program;
    for (char c : directory + "\\Qel.exe")
        program += c == '%' ? std::string("%%") : std::string(1, c);
    return (quoted ? "\"" + program + "\"" : program) + "\r\n";
}

class Registration : public testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        RegDeleteTreeQuiet(HKEY_CURRENT_USER, SettingsKey);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, UninstallEntry);
    }

    // Runs exe with exactly commandLine, as the installer would, and checks
    // that it shows no window at all and exits with code: 0 when the entry
    // was written, 1603 when not.
    static void Run(const std::string &exe, const std::string &commandLine, const std::string &currentDir,
                    long code = 0)
    {
        Process run = Start(exe, commandLine, currentDir, TestFamily());
        ASSERT_TRUE(run.Started()) << commandLine;
        EXPECT_FALSE(BoxAppearedUntilExit(run, AnyWindow)) << commandLine;
        EXPECT_EQ(code, run.Wait()) << commandLine;
    }

    void RunTail(const std::string &tail, long code = 0) { Run(exe_, "\"" + exe_ + "\"" + tail, dir_.Path(), code); }

    static RegValue Group() { return ReadRegValue(HKEY_CURRENT_USER, SettingsKey, "Group"); }

    static void ExpectHighlightDefaults()
    {
        struct Expected {
            const char *group;
            const char *mask;
            DWORD includeAttributes;  // 0: no such value
            DWORD normalColor;
            DWORD cursorColor;
        };
        const Expected groups[] = {
            {"Group0", "*.*", 0x02, 0x13, 0x38},
            {"Group1", "*.*", 0x04, 0x13, 0x38},
            {"Group2", "*.*", 0x10, 0x1F, 0x3F},
            {"Group3", "*.exe,*.com,*.bat,*.cmd", 0, 0x1A, 0x3A},
            {"Group4", "*.rar,*.arj,*.zip,*.lzh", 0, 0x1D, 0x3D},
            {"Group5", "*.bak,*.tmp", 0, 0x16, 0x36},
        };
        EXPECT_EQ((std::vector<std::string>{"Group0", "Group1", "Group2", "Group3", "Group4", "Group5"}),
                  Sorted(RegSubkeys(HKEY_CURRENT_USER, HighlightKey)));
        EXPECT_TRUE(RegValueNames(HKEY_CURRENT_USER, HighlightKey).empty());
        size_t values = 0;
        for (const Expected &g : groups) {
            std::string key = std::string(HighlightKey) + "\\" + g.group;
            std::vector<std::string> names = {"CursorColor", "Mask", "NormalColor"};
            if (g.includeAttributes)
                names.push_back("IncludeAttributes");
            EXPECT_EQ(Sorted(names), Sorted(RegValueNames(HKEY_CURRENT_USER, key))) << g.group;
            EXPECT_TRUE(RegSubkeys(HKEY_CURRENT_USER, key).empty()) << g.group;
            values += names.size();

            RegValue mask = ReadRegValue(HKEY_CURRENT_USER, key, "Mask");
            EXPECT_EQ((DWORD)REG_SZ, mask.type) << g.group;
            EXPECT_EQ(Sz(g.mask), mask.data) << g.group;
            const std::pair<const char *, DWORD> numbers[] = {
                {"IncludeAttributes", g.includeAttributes},
                {"NormalColor", g.normalColor},
                {"CursorColor", g.cursorColor}};
            for (const auto &number : numbers) {
                RegValue value = ReadRegValue(HKEY_CURRENT_USER, key, number.first);
                if (number.second == 0 && !strcmp(number.first, "IncludeAttributes")) {
                    EXPECT_FALSE(value.exists) << g.group << " " << number.first;
                    continue;
                }
                EXPECT_EQ((DWORD)REG_DWORD, value.type) << g.group << " " << number.first;
                EXPECT_EQ(Dword(number.second), value.data) << g.group << " " << number.first;
            }
        }
        EXPECT_EQ(21u, values);
    }

    ScratchDir dir_;
    std::string exe_ = dir_.Install();
};

struct GroupCase {
    const char *commandLineAfterName;
    std::string group;
};

TEST_F(Registration, GroupIsTheTextAfterTheWordWithOnlyLeadingBlanksSkipped)
{
    const GroupCase cases[] = {
        {" register Tools", "Tools"},
        {" register   Tools", "Tools"},
        {" registerTools", "Tools"},
        {" register Tools  ", "Tools  "},
        {" register", ""},
        {" Register", ""},
        {" REGISTER Tools", "Tools"},
        {" register\tTools", "\tTools"},
        {" register \t Tools", "\t Tools"},
        {" register \"QEL Tools\"", "\"QEL Tools\""},
        {" register QEL file manager & tools", "QEL file manager & tools"},
        {"register Tools", "Tools"},          // glued to the quoted name
        {" \t  register  Tools", "Tools"},    // blanks and tabs before the word
    };
    for (const GroupCase &c : cases) {
        Clean();
        RunTail(c.commandLineAfterName);
        RegValue group = Group();
        EXPECT_TRUE(group.exists) << "'" << c.commandLineAfterName << "'";
        EXPECT_EQ((DWORD)REG_SZ, group.type) << "'" << c.commandLineAfterName << "'";
        EXPECT_EQ(Sz(c.group), group.data) << "'" << c.commandLineAfterName << "'";
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry)) << "'" << c.commandLineAfterName << "'";
    }
}

TEST_F(Registration, UninstallEntryNamesTheProgramQuotedItsQuietFormItsPlaceAndTheListedSize)
{
    // Listed: files of 1, 1024 and 1025 bytes (1, 1 and 2 KiB as a disk
    // holds them), an empty file, a directory, one that is missing and a
    // wildcard, which names nothing. An unlisted file is not counted.
    LayFile(dir_ / "one.txt", "1");
    LayFile(dir_ / "sub\\kib.dat", std::string(1024, 'k'));
    LayFile(dir_ / "sub\\more.dat", std::string(1025, 'm'));
    LayFile(dir_ / "empty.txt", "");
    LayFile(dir_ / "unlisted.dat", std::string(4096, 'u'));
    LayFile(dir_ / "Uninstall.lst", "one.txt\r\nsub\\kib.dat\r\nsub\\more.dat\r\nempty.txt\r\nsub\r\nmissing.txt\r\n*.dat\r\n");
    RunTail(" register Tools");

    // The installation path holds a blank: quoted, a program planted at its
    // first word cannot stand in for the uninstaller.
    ASSERT_NE(std::string::npos, exe_.find(' '));
    struct Expected {
        const char *name;
        DWORD type;
        std::string data;
    };
    const Expected values[] = {
        {"DisplayIcon", REG_SZ, Sz(exe_)},
        {"DisplayName", REG_SZ, Sz("QEL file manager")},
        {"EstimatedSize", REG_DWORD, Dword(4)},
        {"InstallLocation", REG_SZ, Sz(dir_.Path())},
        {"NoModify", REG_DWORD, Dword(1)},
        {"NoRepair", REG_DWORD, Dword(1)},
        {"QuietUninstallString", REG_SZ, Sz("\"" + exe_ + "\" /S")},
        {"UninstallString", REG_SZ, Sz("\"" + exe_ + "\"")},
    };
    std::vector<std::string> names;
    for (const Expected &e : values) {
        RegValue value = ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, e.name);
        EXPECT_EQ(e.type, value.type) << e.name;
        EXPECT_EQ(e.data, value.data) << e.name;  // the bytes, and so their length
        names.push_back(e.name);
    }
    EXPECT_EQ(17u, ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName").data.size());
    EXPECT_EQ(names, Sorted(RegValueNames(HKEY_LOCAL_MACHINE, UninstallEntry)));
    EXPECT_TRUE(RegSubkeys(HKEY_LOCAL_MACHINE, UninstallEntry).empty());
}

TEST_F(Registration, EveryRunRewritesTheEntryAndTheGroup)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallEntry, 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL));
    DWORD stale = 7;
    RegSetValueExA(key, "DisplayName", 0, REG_DWORD, (const BYTE *)&stale, sizeof stale);
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, (const BYTE *)"C:\\old\\Uninstall.exe register x",
                   sizeof "C:\\old\\Uninstall.exe register x");
    RegSetValueExA(key, "EstimatedSize", 0, REG_DWORD, (const BYTE *)&stale, sizeof stale);
    RegCloseKey(key);

    RunTail(" register Old Group");
    RunTail(" register New");

    EXPECT_EQ(Sz("QEL file manager"), ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName").data);
    EXPECT_EQ((DWORD)REG_SZ, ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName").type);
    EXPECT_EQ(Sz("\"" + exe_ + "\""), ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "UninstallString").data);
    // Without a list there is no size to tell, and the old one is gone.
    EXPECT_FALSE(ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "EstimatedSize").exists);
    EXPECT_EQ(Sz("New"), Group().data);
}

TEST_F(Registration, FirstRunAddsTheDefaultFtpHostWithEveryKeyAboveIt)
{
    RunTail(" register Tools");

    EXPECT_LE(strlen(DefaultHost), 48u);
    EXPECT_EQ(0u, std::string(DefaultHost).find("ftp://"));
    EXPECT_EQ((std::vector<std::string>{"Highlight", "Plugins"}), Sorted(RegSubkeys(HKEY_CURRENT_USER, SettingsKey)));
    EXPECT_EQ(std::vector<std::string>{"Group"}, RegValueNames(HKEY_CURRENT_USER, SettingsKey));
    EXPECT_EQ(std::vector<std::string>{"FTP"}, RegSubkeys(HKEY_CURRENT_USER, "Software\\Qel\\Plugins"));
    EXPECT_EQ(std::vector<std::string>{"Hosts"}, RegSubkeys(HKEY_CURRENT_USER, "Software\\Qel\\Plugins\\FTP"));
    EXPECT_EQ(std::vector<std::string>{DefaultHost}, RegSubkeys(HKEY_CURRENT_USER, HostsKey));
    EXPECT_TRUE(RegValueNames(HKEY_CURRENT_USER, HostsKey).empty());

    std::string host = std::string(HostsKey) + "\\" + DefaultHost;
    EXPECT_EQ(std::vector<std::string>{"Description"}, RegValueNames(HKEY_CURRENT_USER, host));
    RegValue description = ReadRegValue(HKEY_CURRENT_USER, host, "Description");
    EXPECT_EQ((DWORD)REG_SZ, description.type);
    EXPECT_EQ(Sz("Latest QEL"), description.data);
    EXPECT_EQ(11u, description.data.size());
}

TEST_F(Registration, ExistingHostListEvenAnEmptyOneGetsNoHostEntry)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, HostsKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);

    RunTail(" register Tools");
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, HostsKey));
    EXPECT_TRUE(RegSubkeys(HKEY_CURRENT_USER, HostsKey).empty());
    EXPECT_TRUE(RegValueNames(HKEY_CURRENT_USER, HostsKey).empty());
    EXPECT_EQ(Sz("Tools"), Group().data);

    // A user's own host, once the default has been removed, stays alone.
    std::string mine = std::string(HostsKey) + "\\ftp://ftp.example.net/mine";
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, mine.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "Description", 0, REG_SZ, (const BYTE *)"Mine", sizeof "Mine");
    RegCloseKey(key);

    RunTail(" register Tools");
    EXPECT_EQ(std::vector<std::string>{"ftp://ftp.example.net/mine"}, RegSubkeys(HKEY_CURRENT_USER, HostsKey));
    EXPECT_EQ(Sz("Mine"), ReadRegValue(HKEY_CURRENT_USER, mine, "Description").data);
}

TEST_F(Registration, FirstRunWritesTheSixHighlightGroupsWithTheir21Values)
{
    RunTail(" register Tools");
    ExpectHighlightDefaults();
}

TEST_F(Registration, ExistingHighlightEvenAnEmptyOneIsLeftAlone)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, HighlightKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);

    RunTail(" register Tools");
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, HighlightKey));
    EXPECT_TRUE(RegSubkeys(HKEY_CURRENT_USER, HighlightKey).empty());
    EXPECT_TRUE(RegValueNames(HKEY_CURRENT_USER, HighlightKey).empty());

    // One changed group of the user's: kept as it is, the others not added.
    std::string group2 = std::string(HighlightKey) + "\\Group2";
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, group2.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExA(key, "Mask", 0, REG_SZ, (const BYTE *)"*.c", sizeof "*.c");
    RegCloseKey(key);

    RunTail(" register Tools");
    EXPECT_EQ(std::vector<std::string>{"Group2"}, RegSubkeys(HKEY_CURRENT_USER, HighlightKey));
    EXPECT_EQ(std::vector<std::string>{"Mask"}, RegValueNames(HKEY_CURRENT_USER, group2));
    EXPECT_EQ(Sz("*.c"), ReadRegValue(HKEY_CURRENT_USER, group2, "Mask").data);
}

// Snapshot of a registry key with everything below it, for putting it back
// exactly as it was.
struct KeySnapshot {
    bool exists = false;
    std::vector<std::pair<std::string, RegValue>> values;
    std::vector<std::pair<std::string, KeySnapshot>> subkeys;

    bool operator==(const KeySnapshot &other) const
    {
        if (exists != other.exists || values.size() != other.values.size() || subkeys != other.subkeys)
            return false;
        for (size_t i = 0; i < values.size(); i++)
            if (values[i].first != other.values[i].first || values[i].second.type != other.values[i].second.type ||
                values[i].second.data != other.values[i].second.data)
                return false;
        return true;
    }
};

KeySnapshot SaveKey(HKEY root, const std::string &path)
{
    KeySnapshot snapshot;
    snapshot.exists = RegKeyExists(root, path);
    if (!snapshot.exists)
        return snapshot;
    for (const std::string &name : Sorted(RegValueNames(root, path)))
        snapshot.values.push_back({name, ReadRegValue(root, path, name)});
    for (const std::string &name : Sorted(RegSubkeys(root, path)))
        snapshot.subkeys.push_back({name, SaveKey(root, path + "\\" + name)});
    return snapshot;
}

void RestoreKey(HKEY root, const std::string &path, const KeySnapshot &snapshot, DWORD options)
{
    if (!snapshot.exists)
        return;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, NULL, options, KEY_ALL_ACCESS, NULL, &key, NULL))
        << path;
    for (const auto &value : snapshot.values)
        RegSetValueExA(key, value.first.c_str(), 0, value.second.type, (const BYTE *)value.second.data.data(),
                       (DWORD)value.second.data.size());
    RegCloseKey(key);
    for (const auto &subkey : snapshot.subkeys)
        RestoreKey(root, path + "\\" + subkey.first, subkey.second, options);
}

// The system's list of programs made volatile for the test: a non-volatile
// entry cannot be created below it, as for a user without write access.
class RegistrationWithoutUninstallList : public Registration {
protected:
    void SetUp() override
    {
        Registration::SetUp();
        saved_ = SaveKey(HKEY_LOCAL_MACHINE, UninstallParent);
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, UninstallParent);
        KeySnapshot volatileCopy = saved_;
        volatileCopy.exists = true;
        RestoreKey(HKEY_LOCAL_MACHINE, UninstallParent, volatileCopy, REG_OPTION_VOLATILE);
    }
    void TearDown() override
    {
        RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, UninstallParent);
        RestoreKey(HKEY_LOCAL_MACHINE, UninstallParent, saved_, REG_OPTION_NON_VOLATILE);
        EXPECT_TRUE(SaveKey(HKEY_LOCAL_MACHINE, UninstallParent) == saved_) << "the list of programs was not restored";
        Registration::TearDown();
    }
    KeySnapshot saved_;
};

TEST_F(RegistrationWithoutUninstallList, NoEntryNoGroupNoHostButTheHighlightDefaults)
{
    // The failure is real: the platform refuses the entry.
    HKEY key;
    ASSERT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallEntry, 0, NULL, 0,
                                                            KEY_ALL_ACCESS, NULL, &key, NULL));

    RunTail(" register Tools", 1603);

    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    EXPECT_FALSE(Group().exists);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, std::string(SettingsKey) + "\\Plugins"));
    ExpectHighlightDefaults();
    // The launcher files come first and do not depend on the entry.
    EXPECT_EQ(Is9x(), FileExists(dir_ / "$UseBat.$$$"));
    EXPECT_EQ(Is9x(), FileExists(dir_ / "Qel.bat"));
}

// ---------------------------------------------------------------------------
// Launcher files: made on the Windows 95 family only.

using Launcher = Registration;

TEST_F(Launcher, PathWithBlankGivesQuotedLineBesideTheProgramWhateverTheCurrentDirectory)
{
    ScratchDir elsewhere;
    Run(exe_, "\"" + exe_ + "\" register Tools", elsewhere.Path());

    if (Is9x()) {
        EXPECT_TRUE(FileExists(dir_ / "$UseBat.$$$"));
        EXPECT_EQ("", ReadFile(dir_ / "$UseBat.$$$"));
        EXPECT_EQ(LauncherLine(dir_.Path(), true), ReadFile(dir_ / "Qel.bat"));
    } else {
        EXPECT_FALSE(FileExists(dir_ / "$UseBat.$$$"));
        EXPECT_FALSE(FileExists(dir_ / "Qel.bat"));
    }
    EXPECT_FALSE(FileExists(elsewhere / "$UseBat.$$$"));
    EXPECT_FALSE(FileExists(elsewhere / "Qel.bat"));
}

TEST_F(Launcher, PlainPathGivesUnquotedLineAndAmpersandPathAQuotedOneAndPercentsAreDoubled)
{
    const std::pair<const char *, bool> leaves[] = {{"plain", false}, {"R&D", true}, {"100%", false},
                                                    {"%QELVAR% & 50%", true}};
    for (const auto &leaf : leaves) {
        ScratchDir dir(leaf.first, "C:\\qeltests");
        std::string exe = dir.Install();
        Run(exe, "\"" + exe + "\" register Tools", dir.Path());
        if (Is9x()) {
            EXPECT_EQ(LauncherLine(dir.Path(), leaf.second), ReadFile(dir / "Qel.bat")) << leaf.first;
            EXPECT_TRUE(FileExists(dir / "$UseBat.$$$")) << leaf.first;
        } else {
            EXPECT_FALSE(FileExists(dir / "Qel.bat")) << leaf.first;
            EXPECT_FALSE(FileExists(dir / "$UseBat.$$$")) << leaf.first;
        }
    }
}

TEST_F(Launcher, ExistingMarkerWithContentIsCutToZeroBytes)
{
    WriteFile(dir_ / "$UseBat.$$$", "old marker content\r\n");
    RunTail(" register Tools");
    EXPECT_TRUE(FileExists(dir_ / "$UseBat.$$$"));
    EXPECT_EQ(Is9x() ? "" : "old marker content\r\n", ReadFile(dir_ / "$UseBat.$$$"));
}

TEST_F(Launcher, ExistingQelBatFileOrDirectoryIsNeverTouched)
{
    const std::string mine = "@echo off\r\nC:\\elsewhere\\Qel.exe %1\r\n";
    WriteFile(dir_ / "Qel.bat", mine);
    RunTail(" register Tools");
    EXPECT_EQ(mine, ReadFile(dir_ / "Qel.bat"));
    EXPECT_EQ(Is9x(), FileExists(dir_ / "$UseBat.$$$"));

    DeleteFileA((dir_ / "Qel.bat").c_str());
    DeleteFileA((dir_ / "$UseBat.$$$").c_str());
    MakeDirs(dir_ / "Qel.bat");
    WriteFile(dir_ / "Qel.bat\\inside.txt", "inside");
    RunTail(" register Tools");
    EXPECT_TRUE(DirExists(dir_ / "Qel.bat"));
    EXPECT_EQ("inside", ReadFile(dir_ / "Qel.bat\\inside.txt"));
    EXPECT_EQ(Is9x(), FileExists(dir_ / "$UseBat.$$$"));
}

TEST_F(Launcher, MarkerThatCannotBeCreatedMeansNoQelBat)
{
    // A directory of the marker's name: opening it for writing fails.
    MakeDirs(dir_ / "$UseBat.$$$");
    RunTail(" register Tools");
    EXPECT_TRUE(DirExists(dir_ / "$UseBat.$$$"));
    EXPECT_FALSE(FileExists(dir_ / "Qel.bat"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
}

// With a short program name, the longest launcher name ("$UseBat.$$$")
// decides whether the files fit the 260-byte path buffer.
TEST_F(Launcher, LauncherPathsAtThePathLimitAreWrittenAndOnePastItNothing)
{
    // "C:\qel tests\" + leaf: the marker path is directory + 12 characters.
    ScratchDir fits(std::string(234, 'f'));     // marker path of 259 characters
    ScratchDir tooLong(std::string(235, 't'));  // marker path of 260 characters
    ASSERT_EQ(247u, fits.Path().size());

    std::string exe = fits.Install("u.exe");
    Run(exe, "\"" + exe + "\" register Tools", fits.Path());
    if (Is9x()) {
        EXPECT_EQ("", ReadFile(fits / "$UseBat.$$$"));
        EXPECT_TRUE(FileExists(fits / "$UseBat.$$$"));
        // 255 characters, 257 quoted, then CR LF.
        EXPECT_EQ(LauncherLine(fits.Path(), true), ReadFile(fits / "Qel.bat"));
        EXPECT_EQ(259u, ReadFile(fits / "Qel.bat").size());
    } else {
        EXPECT_FALSE(FileExists(fits / "$UseBat.$$$"));
        EXPECT_FALSE(FileExists(fits / "Qel.bat"));
    }

    Clean();
    exe = tooLong.Install("u.exe");
    Run(exe, "\"" + exe + "\" register Tools", tooLong.Path());
    EXPECT_FALSE(FileExists(tooLong / "$UseBat.$$$"));
    EXPECT_FALSE(FileExists(tooLong / "Qel.bat"));
    // Registration itself goes on, quoting a path this long too.
    EXPECT_EQ(Sz("\"" + exe + "\""), ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "UninstallString").data);
    EXPECT_EQ(Sz("\"" + exe + "\" /S"), ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "QuietUninstallString").data);
    EXPECT_EQ(Sz("Tools"), Group().data);
}

// Installed below directories named beyond ASCII (NameCases), registered
// under the locale the name belongs to: "Qel.bat" names the program in the
// OEM code page, or by the directory's short form where that code page
// lacks a character.
TEST_F(Launcher, QelBatNamesTheProgramAsTheInterpreterReadsIt)
{
    std::set<std::wstring> done;
    for (const NameCase &c : NameCases) {
        if (!done.insert(c.installLeaf).second)
            continue;
        SCOPED_TRACE(c.name);
        WideScratchDir dir(c.installLeaf);
        ASSERT_TRUE(NameArrivesInAnsi(*c.locale, dir.Path()));
        std::wstring exe = dir.Install();

        Process run = StartUnderLocale(*c.locale, exe, L" register Tools", dir.Path(), TestFamily());
        ASSERT_TRUE(run.Started());
        EXPECT_FALSE(BoxAppearedUntilExit(run, AnyWindow));
        EXPECT_EQ(0, run.Wait());

        if (Is9x()) {
            bool exact = false;
            std::string oem = Encode(dir.Path(), c.locale->oem, &exact);
            EXPECT_NE(c.installShort, exact);
            // The scratch root's blank goes with the long form only.
            std::string expected = c.installShort ? LauncherLine(Encode(ShortPath(dir.Path()), c.locale->oem), false)
                                                  : LauncherLine(oem, true);
            EXPECT_EQ(expected, ReadFile(dir / "Qel.bat"));
            EXPECT_EQ("", ReadFile(dir / "$UseBat.$$$"));
            EXPECT_TRUE(FileExists(dir / "$UseBat.$$$"));
        } else {
            EXPECT_FALSE(FileExists(dir / "Qel.bat"));
            EXPECT_FALSE(FileExists(dir / "$UseBat.$$$"));
        }
        Clean();
    }
}

// CreateLauncherFiles in this program, its module path reported as a
// scratch installation's, on a disk that fills up: a cut "Qel.bat" would
// start something else, so none is left.
std::string reportedModule;
decltype(&GetModuleFileNameA) realGetModuleFileName;

DWORD WINAPI ReportedModuleFileName(HMODULE module, LPSTR path, DWORD size)
{
    if (module || reportedModule.size() >= size)
        return realGetModuleFileName(module, path, size);
    strcpy(path, reportedModule.c_str());
    return (DWORD)reportedModule.size();
}

TEST_F(Launcher, FailedWriteOrCloseLeavesNoQelBat)
{
    ImportHook module("KERNEL32.dll", "GetModuleFileNameA", (void *)&ReportedModuleFileName);
    ASSERT_TRUE(module.Installed());
    realGetModuleFileName = module.Original<decltype(realGetModuleFileName)>();
    reportedModule = exe_;
    for (bool failClose : {false, true}) {
        SCOPED_TRACE(failClose ? "close" : "write");
        {
            FullDisk disk(failClose ? 0 : 1, failClose);
            ASSERT_TRUE(disk.Installed());
            CreateLauncherFiles();
            EXPECT_EQ(Is9x() ? 1 : 0, disk.Writes());
        }
        EXPECT_FALSE(FileExists(dir_ / "Qel.bat")) << ReadFile(dir_ / "Qel.bat");
        EXPECT_EQ(Is9x(), FileExists(dir_ / "$UseBat.$$$"));
    }
    // With room on the disk the same call writes it whole.
    CreateLauncherFiles();
    EXPECT_EQ(Is9x() ? LauncherLine(dir_.Path(), true) : "", ReadFile(dir_ / "Qel.bat"));
}

}  // namespace
