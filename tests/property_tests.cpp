// Nothing unlisted is ever lost. Seeded random installations (trees up to
// five levels deep; listed and unlisted files and directories; read-only,
// hidden and system attributes; the list in random order with its entries
// spelled in many ways, some of them through ".." out of the installation at
// files that exist there, some back into it) are uninstalled through the
// real executable. A model of the deletion passes, built here from what the
// generator knows and not from the program's logic, says what must be left;
// the disk must match it, and nothing beside the installation may change.
//
// Each seed is a test of its own, Seeds/NothingUnlistedIsLost.Uninstall/seed<n>;
// seeds 1 to 50 run by default, in well under half a minute per family.
// QEL_SEED=<n> runs only seed n and prints its installation and list.
// QEL_SEEDS=<count> (seeds 1 to count) or QEL_SEEDS=<first>-<last> runs other
// seeds for a longer soak; a thousand take some five minutes per family:
//     QEL_SEEDS=1000 ctest --preset windows-x86 -R property_tests
#include <windows.h>

#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "layout.h"

using namespace bench;

namespace {

const char InstallLeaf[] = "property install";
// Shares the installation's name as a prefix: a containment test that
// compared names without a component boundary would take it for inside.
const char OutsideLeaf[] = "property install-outside";
// An empty directory beside the installation: a listed directory that
// reached it would remove it.
const char EmptyLeaf[] = "property empty";

const int DefaultSeeds = 50;
const int MaxDepth = 5;
const int MaxItems = 60;

// splitmix64: the same numbers from a seed on every compiler and library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return (int)(Next() % (uint64_t)n); }
    bool Percent(int p) { return Below(100) < p; }
    template <class T>
    const T &Pick(const std::vector<T> &from)
    {
        return from[Below((int)from.size())];
    }
    template <class T>
    void Shuffle(std::vector<T> *items)
    {
        for (size_t i = items->size(); i > 1; i--)
            std::swap((*items)[i - 1], (*items)[Below((int)i)]);
    }

private:
    uint64_t state_;
};

struct Item {
    std::string path;  // relative to its root, as created, without a trailing backslash
    bool directory = false;
    bool listed = false;
    std::string bytes;
    DWORD attributes = 0;

    // The key ReadTree gives it.
    std::string Key() const { return directory ? path + "\\" : path; }
};

// Parents come before their children.
struct Tree {
    std::vector<Item> items;
    std::vector<const Item *> Directories() const
    {
        std::vector<const Item *> found;
        for (const Item &item : items)
            if (item.directory)
                found.push_back(&item);
        return found;
    }
};

std::string LowerAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

// A file or directory name: syllables, sometimes a mark that the command
// interpreter or the formatting would take for syntax, sometimes a lower-case
// letter of the ANSI code page, sometimes a leading blank. Never a trailing
// dot or blank (the platform strips them), never '~' (it could spell the
// platform's short name of another file), never a device name.
std::string MakeName(Random &r, bool file)
{
    static const std::vector<std::string> syllables = {"ka", "lo", "mi", "ne", "ru", "ta", "vo",
                                                       "zi", "qel", "dat", "bin", "cfg", "Plug"};
    static const std::string marks = " &%^'(),;=+[]!#@${}-_.";
    static const std::string high = "\xE9\xF6\xE4\xFC\xDF";
    static const std::vector<std::string> extensions = {".txt", ".dll", ".dat", ".x y", ".%s", ".&", ".ini"};
    std::string name;
    int count = 1 + r.Below(3);
    for (int i = 0; i < count; i++) {
        std::string syllable = r.Pick(syllables);
        if (r.Percent(25))
            syllable[0] = (char)toupper((unsigned char)syllable[0]);
        name += syllable;
        if (i + 1 < count && r.Percent(35))
            name += marks[r.Below((int)marks.size())];
        if (r.Percent(12))
            name += high[r.Below((int)high.size())];
    }
    if (file && r.Percent(60))
        name += r.Pick(extensions);
    if (r.Percent(5))
        name = " " + name;
    return name;
}

// Adds the children of parent ("" for the root) at level (1 for the root's
// children).
void AddChildren(Random &r, const std::string &parent, int level, Tree *tree, std::set<std::string> *taken)
{
    int files = level == 1 ? 1 + r.Below(4) : r.Below(4);
    int directories = level == MaxDepth ? 0 : level == 1 ? 2 + r.Below(2) : r.Below(3);
    // One directory on every level keeps going deeper more often than not,
    // so that most seeds reach the deepest level.
    if (level > 1 && level < MaxDepth && directories == 0 && r.Percent(60))
        directories = 1;
    for (int i = 0; i < files + directories; i++) {
        if ((int)tree->items.size() >= MaxItems)
            return;
        bool directory = i >= files;
        std::string name;
        do
            name = MakeName(r, !directory);
        while (!taken->insert(LowerAscii(parent + name)).second);
        Item item;
        item.path = parent + name;
        item.directory = directory;
        item.listed = r.Percent(55);
        if (!directory) {
            int length = r.Below(48);
            for (int b = 0; b < length; b++)
                item.bytes += (char)r.Below(256);
        }
        if (r.Percent(25))
            item.attributes |= FILE_ATTRIBUTE_READONLY;
        if (r.Percent(25))
            item.attributes |= FILE_ATTRIBUTE_HIDDEN;
        if (r.Percent(20))
            item.attributes |= FILE_ATTRIBUTE_SYSTEM;
        tree->items.push_back(item);
        if (directory)
            AddChildren(r, item.path + "\\", level + 1, tree, taken);
    }
}

Tree MakeInstallationTree(Random &r)
{
    Tree tree;
    std::set<std::string> taken = {"uninstall.exe", "uninstall.lst"};
    AddChildren(r, "", 1, &tree, &taken);
    return tree;
}

// What lies beside the installation: a few files with attributes, one of
// them in a subdirectory, and an empty directory.
Tree MakeOutsideTree(Random &r)
{
    Tree tree;
    std::set<std::string> taken;
    Item sub;
    sub.path = "sub";
    sub.directory = true;
    Item empty;
    empty.path = "empty";
    empty.directory = true;
    tree.items = {sub, empty};
    taken = {"sub", "empty"};
    int files = 3 + r.Below(4);
    for (int i = 0; i < files; i++) {
        std::string parent = r.Percent(30) ? "sub\\" : "";
        std::string name;
        do
            name = MakeName(r, true);
        while (!taken.insert(LowerAscii(parent + name)).second);
        Item item;
        item.path = parent + name;
        item.bytes = "outside " + item.path;
        if (r.Percent(30))
            item.attributes |= FILE_ATTRIBUTE_READONLY;
        if (r.Percent(30))
            item.attributes |= FILE_ATTRIBUTE_HIDDEN;
        tree.items.push_back(item);
    }
    return tree;
}

void LayOut(const std::string &root, const Tree &tree)
{
    for (const Item &item : tree.items) {
        std::string path = root + "\\" + item.path;
        if (item.directory)
            MakeDirs(path);
        else
            LayFile(path, item.bytes, item.attributes);
    }
    // Directory attributes once their contents are in place.
    for (const Item &item : tree.items)
        if (item.directory && item.attributes)
            SetFileAttributesA((root + "\\" + item.path).c_str(), item.attributes);
}

std::vector<std::string> Components(const std::string &path)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '\\'))
        parts.push_back(part);
    return parts;
}

std::string Join(const std::vector<std::string> &parts)
{
    std::string path;
    for (size_t i = 0; i < parts.size(); i++)
        path += (i ? "\\" : "") + parts[i];
    return path;
}

// Changes the case of some ASCII letters: the file system ignores it, and so
// does the containment test for the installation directory's own name.
std::string VaryCase(Random &r, std::string text)
{
    for (char &c : text)
        if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && r.Percent(30))
            c = (char)(c ^ 0x20);
    return text;
}

// Some backslashes become slashes, some are doubled.
std::string VarySeparators(Random &r, const std::string &path)
{
    std::string text;
    for (size_t i = 0; i < path.size(); i++) {
        if (path[i] != '\\') {
            text += path[i];
            continue;
        }
        int how = r.Below(10);
        text += how < 2 ? "/" : how < 3 && i > 0 ? "\\\\" : "\\";
    }
    return text;
}

// A name that nothing in either tree has.
std::string AbsentName(Random &r)
{
    return "gone " + std::to_string(r.Below(1000));
}

// A detour that ends where it starts: "<name>\..", where the name may be an
// existing directory, a file or nothing at all (the platform resolves ".."
// by the text alone).
std::string Detour(Random &r, const Tree &tree, const std::string &parent)
{
    std::vector<std::string> names = {AbsentName(r)};
    for (const Item &item : tree.items) {
        size_t slash = item.path.find_last_of('\\');
        std::string itemParent = slash == std::string::npos ? "" : item.path.substr(0, slash + 1);
        if (itemParent == parent)
            names.push_back(item.path.substr(itemParent.size()));
    }
    return r.Pick(names) + "\\..";
}

// One spelling, relative to the installation directory, of an item inside
// it: the item's own path with detours, "." components, a way out of the
// installation and back in, other separators and letter case, and for a
// directory a trailing backslash or for a file a trailing dot.
std::string SpellInside(Random &r, const Tree &tree, const Item &item)
{
    std::vector<std::string> parts = Components(VaryCase(r, item.path));
    std::vector<std::string> spelled;
    std::string parent;
    for (size_t i = 0; i < parts.size(); i++) {
        if (r.Percent(10))
            spelled.push_back(".");
        if (r.Percent(12))
            spelled.push_back(Detour(r, tree, parent));
        spelled.push_back(parts[i]);
        parent += Components(item.path)[i] + "\\";
    }
    std::string path = Join(spelled);
    switch (r.Below(8)) {
    case 0:
        path = ".\\" + path;
        break;
    case 1:
        path = "..\\" + VaryCase(r, InstallLeaf) + "\\" + path;
        break;
    case 2:
        path = "..\\..\\" + VaryCase(r, "qel tests") + "\\" + InstallLeaf + "\\" + path;
        break;
    case 3:
        path = AbsentName(r) + "\\..\\..\\" + InstallLeaf + "\\" + path;
        break;
    default:
        break;
    }
    path = VarySeparators(r, path);
    if (item.directory && r.Percent(15))
        path += "\\";
    else if (!item.directory && r.Percent(8))
        path += ".";
    return path;
}

// A way from the installation directory up to its parent, in one of the
// spellings the platform resolves that way (and "..." which the Windows 95
// family resolves two levels up).
std::string WayUp(Random &r, const Tree &tree)
{
    std::vector<const Item *> directories = tree.Directories();
    std::string someDirectory = directories.empty() ? AbsentName(r) : r.Pick(directories)->path;
    switch (r.Below(10)) {
    case 0:
        return "..\\";
    case 1:
        return "../";
    case 2:
        return ".\\..\\";
    case 3:
        return "..\\\\";
    case 4:
        return "..\\.\\";
    case 5:
        return Components(someDirectory)[0] + "\\..\\..\\";
    case 6:
        return AbsentName(r) + "\\" + AbsentName(r) + "\\..\\..\\..\\";
    case 7:
        return "..\\..\\qel tests\\";
    case 8:
        return Components(someDirectory)[0] + "/../../";
    default:
        return AbsentName(r) + "\\...\\";
    }
}

// An entry aimed beside the installation: at a file or directory of the
// outside tree, at that tree itself, at the empty sibling, or by an
// absolute, rooted or device spelling that the list does not allow.
std::string SpellOutside(Random &r, const Tree &tree, const Tree &outside)
{
    const Item &target = r.Pick(outside.items);
    std::string leaf = r.Percent(15) ? std::string(OutsideLeaf) + "." : VaryCase(r, OutsideLeaf);
    std::string rest = VarySeparators(r, VaryCase(r, target.path));
    std::string full = std::string(ScratchRoot) + "\\" + OutsideLeaf + "\\" + target.path;
    switch (r.Below(12)) {
    case 0:
        return WayUp(r, tree) + leaf;
    case 1:
        return WayUp(r, tree) + EmptyLeaf;
    case 2:
        return full;
    case 3:
        return full.substr(2);  // rooted on the drive: "\qel tests\..."
    case 4:
        return "\\\\?\\" + full;
    default:
        return WayUp(r, tree) + leaf + "\\" + rest;
    }
}

// Entries that name the installation directory itself or nothing at all.
std::string SpellNoise(Random &r, const Tree &tree)
{
    std::vector<const Item *> directories = tree.Directories();
    std::string someDirectory = directories.empty() ? "" : r.Pick(directories)->path + "\\";
    std::string topDirectory = directories.empty() ? "" : Components(someDirectory)[0];
    switch (r.Below(7)) {
    case 0:
        return ".";
    case 1:
        return ".\\";
    case 2:
        return "..\\" + VaryCase(r, InstallLeaf);
    case 3:
        return topDirectory.empty() ? "." : topDirectory + "\\..";
    case 4:
        return "..";
    default:
        return someDirectory + AbsentName(r);
    }
}

// The installation, the list that goes with it and what lies beside it.
struct Case {
    Tree install;
    Tree outside;
    std::string list;
    bool startElsewhere = false;
};

Case MakeCase(uint64_t seed)
{
    Random r(seed);
    Case c;
    c.install = MakeInstallationTree(r);
    c.outside = MakeOutsideTree(r);
    c.startElsewhere = r.Percent(30);

    // The target paths must fit the platform's limit, or the entry is
    // skipped; spellings that grow too long fall back to the plain path.
    size_t room = 259 - (strlen(ScratchRoot) + 1 + strlen(InstallLeaf) + 1);
    std::vector<std::string> entries;
    for (const Item &item : c.install.items) {
        if (!item.listed)
            continue;
        int spellings = r.Percent(15) ? 2 : 1;
        for (int i = 0; i < spellings; i++) {
            std::string entry = SpellInside(r, c.install, item);
            entries.push_back(entry.size() <= room ? entry : item.path);
        }
    }
    int outside = 3 + r.Below(6);
    for (int i = 0; i < outside; i++)
        entries.push_back(SpellOutside(r, c.install, c.outside));
    int noise = 1 + r.Below(4);
    for (int i = 0; i < noise; i++)
        entries.push_back(SpellNoise(r, c.install));
    r.Shuffle(&entries);

    static const std::vector<std::string> trailers = {"", "", "", " ", "\t", " \t "};
    static const std::vector<std::string> blankLines = {"\r\n", "\n", "   \r\n", "\t\r\n"};
    for (size_t i = 0; i < entries.size(); i++) {
        if (r.Percent(8))
            c.list += r.Pick(blankLines);
        c.list += entries[i] + r.Pick(trailers);
        bool last = i + 1 == entries.size();
        if (!last || r.Percent(60))
            c.list += r.Percent(70) ? "\r\n" : "\n";
    }
    return c;
}

// The deletion passes as a user reads the list: listed files go; a listed
// directory goes once nothing is left below it; repeat until nothing more
// goes. Returns the keys (as ReadTree gives them) of what is left.
std::set<std::string> ExpectedSurvivors(const Tree &tree)
{
    std::set<std::string> alive;
    for (const Item &item : tree.items)
        alive.insert(item.Key());
    for (bool changed = true; changed;) {
        changed = false;
        for (const Item &item : tree.items) {
            if (!item.listed || !alive.count(item.Key()))
                continue;
            if (item.directory) {
                std::string prefix = item.Key();
                bool holdsSomething = false;
                for (const std::string &key : alive)
                    if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0)
                        holdsSomething = true;
                if (holdsSomething)
                    continue;
            }
            alive.erase(item.Key());
            changed = true;
        }
    }
    return alive;
}

std::string Printable(const std::string &bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\n')
            text += "\\n\n";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\t')
            text += "\\t";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else
            text += (char)c;
    }
    return text;
}

template <class Map>
void EraseBelow(Map *map, const std::string &prefix)
{
    for (auto i = map->begin(); i != map->end();)
        i = i->first.compare(0, prefix.size(), prefix) == 0 ? map->erase(i) : std::next(i);
}

// Everything in the scratch root but the installation and the stand-in's
// records: the outside tree and the empty directory.
TreeState BesideTheInstallation()
{
    TreeState state = ReadTreeState(ScratchRoot);
    for (const std::string &skipped : {std::string(InstallLeaf) + "\\", std::string("standin records\\")}) {
        EraseBelow(&state.bytes, skipped);
        EraseBelow(&state.attributes, skipped);
    }
    return state;
}

// What went, what came and what changed between two states of a tree.
std::vector<std::string> Differences(const TreeState &before, const TreeState &after)
{
    std::vector<std::string> found;
    for (const auto &entry : before.bytes) {
        auto now = after.bytes.find(entry.first);
        if (now == after.bytes.end())
            found.push_back(entry.first + " went");
        else if (now->second != entry.second)
            found.push_back(entry.first + " changed its bytes");
        else if (after.attributes.at(entry.first) != before.attributes.at(entry.first))
            found.push_back(entry.first + " changed its attributes");
    }
    for (const auto &entry : after.bytes)
        if (!before.bytes.count(entry.first))
            found.push_back(entry.first + " appeared");
    return found;
}

std::vector<unsigned> Seeds()
{
    std::vector<unsigned> seeds;
    if (const char *one = getenv("QEL_SEED")) {
        seeds.push_back((unsigned)strtoul(one, NULL, 10));
        return seeds;
    }
    unsigned first = 1, last = DefaultSeeds;
    if (const char *range = getenv("QEL_SEEDS")) {
        char *end;
        unsigned a = (unsigned)strtoul(range, &end, 10);
        if (*end == '-') {
            first = a;
            last = (unsigned)strtoul(end + 1, NULL, 10);
        } else {
            last = a;
        }
    }
    for (unsigned seed = first; seed <= last; seed++)
        seeds.push_back(seed);
    return seeds;
}

class NothingUnlistedIsLost : public testing::TestWithParam<unsigned> {
protected:
    void TearDown() override { DeleteFileA(CleanupScriptPath().c_str()); }
};

TEST_P(NothingUnlistedIsLost, Uninstall)
{
    const unsigned seed = GetParam();
    const char *family = FamilyName(TestFamily());
    SCOPED_TRACE(testing::Message() << "seed " << seed << " (family " << family << "); rerun only it with\n"
                                    << "    QEL_SEED=" << seed << " ctest --preset windows-x86 -R 'property_tests\\."
                                    << family << "'\n"
                                    << "or run property_tests.exe with QEL_FAMILY=" << family
                                    << " and --gtest_filter='Seeds/NothingUnlistedIsLost.Uninstall/seed" << seed
                                    << "'");
    Case c = MakeCase(seed);

    ScratchDir install(InstallLeaf), outside(OutsideLeaf), empty(EmptyLeaf);
    ASSERT_TRUE(DirExists(empty.Path()));
    std::string exe = install.Install();
    LayOut(install.Path(), c.install);
    LayOut(outside.Path(), c.outside);
    WriteFile(install / "Uninstall.lst", c.list);
    TreeState installBefore = ReadTreeState(install.Path());
    TreeState besideBefore = BesideTheInstallation();

    InterpreterStandin standin;
    EXPECT_EQ(0, UninstallAnsweringYes(exe, c.startElsewhere ? outside.Path() : install.Path()));
    EXPECT_TRUE(standin.Wait()) << "the uninstall did not reach the cleanup script";

    // The installation: exactly what the model leaves, with the executable.
    TreeState after = ReadTreeState(install.Path());
    EXPECT_TRUE(after.bytes.count("Uninstall.exe")) << "the executable went before the script ran";
    EXPECT_FALSE(after.bytes.count("Uninstall.lst")) << "the list file is still there";
    after.bytes.erase("Uninstall.exe");
    std::set<std::string> survivors = ExpectedSurvivors(c.install);
    for (const Item &item : c.install.items) {
        std::string key = item.Key();
        bool expected = survivors.count(key) != 0;
        bool present = after.bytes.count(key) != 0;
        if (!item.listed && !present)
            ADD_FAILURE() << "LOST: unlisted " << (item.directory ? "directory " : "file ") << key;
        else if (item.listed && !present && expected)
            ADD_FAILURE() << "listed directory " << key << " went although something unlisted is below it";
        else if (item.listed && present && !expected)
            ADD_FAILURE() << "listed " << (item.directory ? "directory " : "file ") << key << " is still there";
        if (!present)
            continue;
        if (after.bytes[key] != installBefore.bytes[key])
            ADD_FAILURE() << "bytes of " << key << " changed";
        // A listed directory that stays has had its attributes cleared.
        if (!item.listed && after.attributes[key] != installBefore.attributes[key])
            ADD_FAILURE() << "attributes of unlisted " << key << " changed from " << std::hex
                          << installBefore.attributes[key] << " to " << after.attributes[key];
        after.bytes.erase(key);
    }
    for (const auto &extra : after.bytes)
        ADD_FAILURE() << "appeared in the installation: " << extra.first;

    // Beside it: nothing changed, byte for byte and attribute for attribute.
    for (const std::string &difference : Differences(besideBefore, BesideTheInstallation()))
        ADD_FAILURE() << "beside the installation: " << difference;

    // A failing seed, or one run alone, shows its installation and list.
    if (HasFailure() || getenv("QEL_SEED")) {
        printf("seed %u: the installation (L listed, U unlisted; attributes in hex)\n", seed);
        for (const Item &item : c.install.items)
            printf("  %c %02lx %s\n", item.listed ? 'L' : 'U', item.attributes, Printable(item.Key()).c_str());
        printf("the list:\n%s\n", Printable(c.list).c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NothingUnlistedIsLost, testing::ValuesIn(Seeds()),
                         [](const testing::TestParamInfo<unsigned> &info) {
                             return "seed" + std::to_string(info.param);
                         });

// The model itself, on the cases that the removal's own tests pin down.
TEST(DeletionModel, LeavesListedDirectoriesOnlyAboveSomethingUnlisted)
{
    Tree tree;
    auto add = [&tree](const std::string &path, bool directory, bool listed) {
        Item item;
        item.path = path;
        item.directory = directory;
        item.listed = listed;
        tree.items.push_back(item);
    };
    add("A", true, true);
    add("A\\B", true, true);
    add("A\\B\\listed.txt", false, true);
    add("A\\B\\unlisted.txt", false, false);
    add("P", true, true);
    add("P\\X", true, true);
    add("P\\X\\a.dll", false, true);
    add("U", true, false);
    add("U\\gone.txt", false, true);
    EXPECT_EQ((std::set<std::string>{"A\\", "A\\B\\", "A\\B\\unlisted.txt", "U\\"}), ExpectedSurvivors(tree));
}

}  // namespace
