// Benchmarks of the uninstall and of the key tree deletion against the
// platform's own recursive deletes, run under Wine by benchmarks/benchmark.sh
// (not a test: it measures and reports, and fails only when a run did not
// delete what it should have).
//
//   perf.exe [--runs N] [--report FILE]   timings: medians of N runs, ratios,
//                                          passes and calls
//   perf.exe --keys N [--report FILE]     only the key trees, N pairs
//   perf.exe --lists N [--report FILE]    only the list passes in process
//   perf.exe --trace [--report FILE]      small in-process runs bracketed by
//                                          markers, for a platform call trace
//                                          (WINEDEBUG=+relay); one line per run:
//                                          "<run> <entries or keys> <passes>"
#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "bench.h"
#include "imports.h"
#include "layout.h"
#include "progman.h"
#include "remove/remove.h"
#include "settings/keytree.h"
#include "settings/settings.h"

using namespace bench;

namespace {

const char BenchRoot[] = "C:\\qel bench";
const char KeyTreePath[] = "Software\\QelBench\\Tree";
const char DemoGroup[] = "QEL Bench";

// ---------------------------------------------------------------------------
// Clock and statistics.

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Runs(const std::vector<double> &values)
{
    std::string text;
    char number[32];
    for (double value : values) {
        snprintf(number, sizeof number, "%s%.0f", text.empty() ? "" : " ", value);
        text += number;
    }
    return text;
}

int failures;

// The report, written to the file that --report names (the interpreter of
// the demo run shares this program's standard output).
std::string report;

void Out(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Out(const char *format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    report += text;
}

void Fail(const std::string &what)
{
    fprintf(stderr, "FAILED: %s\n", what.c_str());
    failures++;
}

// ---------------------------------------------------------------------------
// Call counting: the import slots of this program for the platform
// functions the deletions call point at counting stand-ins while a Counting
// object lives, and so do the calls that its run-time lookups are given.
// The product's code is linked into this program, so its calls pass
// through these slots; the platform's own internal calls do not.

struct Counts {
    long fullPath = 0, getAttributes = 0, setAttributes = 0, deleteFile = 0, removeDirectory = 0;
    long openKey = 0, enumKey = 0, deleteKey = 0, closeKey = 0;
    // By path on the way to an entry; the native deletion through handles
    // (NtOpenFile, NtQueryInformationFile, NtSetInformationFile and the
    // final path); a key's value read (the link check) and its deletion
    // through its handle (NtDeleteKey).
    long getAttributesW = 0, openFile = 0, queryFile = 0, setFile = 0, finalPath = 0;
    long queryValue = 0, deleteKeyNative = 0;
    long Native() const { return openFile + queryFile + setFile + finalPath; }
    long Files() const
    {
        return fullPath + getAttributes + getAttributesW + setAttributes + deleteFile + removeDirectory + Native();
    }
    long Keys() const { return openKey + enumKey + queryValue + deleteKey + deleteKeyNative + closeKey; }
};

Counts counts;

decltype(&GetFullPathNameA) realFullPath;
decltype(&GetFileAttributesA) realGetAttributes;
decltype(&SetFileAttributesA) realSetAttributes;
decltype(&DeleteFileA) realDeleteFile;
decltype(&RemoveDirectoryA) realRemoveDirectory;
decltype(&RegOpenKeyExA) realOpenKey;
decltype(&RegEnumKeyExA) realEnumKey;
decltype(&RegDeleteKeyA) realDeleteKey;
decltype(&RegCloseKey) realCloseKey;
decltype(&GetFileAttributesW) realGetAttributesW;
decltype(&RegQueryValueExA) realQueryValue;
decltype(&GetProcAddress) realGetProcAddress;
NTSTATUS(NTAPI *realOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
NTSTATUS(NTAPI *realQueryFile)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
NTSTATUS(NTAPI *realSetFile)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
DWORD(WINAPI *realFinalPathA)(HANDLE, LPSTR, DWORD, DWORD);
DWORD(WINAPI *realFinalPathW)(HANDLE, LPWSTR, DWORD, DWORD);
LONG(NTAPI *realDeleteKeyNative)(HANDLE);

// The counting stand-in for a platform function whose real address is in
// *Real: counts the call in counts.*Field, then makes it.
template <typename F> struct Standin;
template <typename R, typename... A> struct Standin<R(WINAPI *)(A...)> {
    template <long Counts::*Field, R(WINAPI **Real)(A...)> static R WINAPI Count(A... args)
    {
        counts.*Field += 1;
        return (*Real)(args...);
    }
};

// The counting stand-in for a call looked up at run time by name, with the
// real one kept; the call itself when it is not counted.
template <long Counts::*Field, auto *Real> FARPROC CountedLookup(FARPROC real)
{
    using F = std::remove_pointer_t<decltype(Real)>;
    *Real = (F)(void *)real;
    return real ? (FARPROC)(void *)&Standin<F>::template Count<Field, Real> : real;
}

FARPROC WINAPI CountingGetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC real = realGetProcAddress(module, name);
    if (HIWORD((ULONG_PTR)name) == 0)
        return real;
    const std::string wanted = name;
    if (wanted == "NtOpenFile")
        return CountedLookup<&Counts::openFile, &realOpenFile>(real);
    if (wanted == "NtQueryInformationFile")
        return CountedLookup<&Counts::queryFile, &realQueryFile>(real);
    if (wanted == "NtSetInformationFile")
        return CountedLookup<&Counts::setFile, &realSetFile>(real);
    if (wanted == "GetFinalPathNameByHandleA")
        return CountedLookup<&Counts::finalPath, &realFinalPathA>(real);
    if (wanted == "GetFinalPathNameByHandleW")
        return CountedLookup<&Counts::finalPath, &realFinalPathW>(real);
    if (wanted == "NtDeleteKey")
        return CountedLookup<&Counts::deleteKeyNative, &realDeleteKeyNative>(real);
    return real;
}

// Counts the calls made during its lifetime.
class Counting {
public:
    Counting()
    {
        counts = Counts();
        lookup_.reset(new ImportHook(k, "GetProcAddress", (void *)&CountingGetProcAddress));
        if (!lookup_->Installed())
            Fail("cannot count the calls looked up at run time");
        realGetProcAddress = lookup_->Original<decltype(realGetProcAddress)>();
        Hook<&Counts::fullPath, &realFullPath>(k, "GetFullPathNameA");
        Hook<&Counts::getAttributes, &realGetAttributes>(k, "GetFileAttributesA");
        Hook<&Counts::setAttributes, &realSetAttributes>(k, "SetFileAttributesA");
        Hook<&Counts::deleteFile, &realDeleteFile>(k, "DeleteFileA");
        Hook<&Counts::removeDirectory, &realRemoveDirectory>(k, "RemoveDirectoryA");
        Hook<&Counts::openKey, &realOpenKey>(a, "RegOpenKeyExA");
        Hook<&Counts::enumKey, &realEnumKey>(a, "RegEnumKeyExA");
        Hook<&Counts::deleteKey, &realDeleteKey>(a, "RegDeleteKeyA");
        Hook<&Counts::closeKey, &realCloseKey>(a, "RegCloseKey");
        Hook<&Counts::getAttributesW, &realGetAttributesW>(k, "GetFileAttributesW");
        Hook<&Counts::queryValue, &realQueryValue>(a, "RegQueryValueExA");
    }

private:
    // Points the slot of dll!name at the stand-in that counts in Field and
    // calls on through *Real.
    template <long Counts::*Field, auto *Real> void Hook(const char *dll, const char *name)
    {
        using F = std::remove_pointer_t<decltype(Real)>;
        hooks_.emplace_back(new ImportHook(dll, name, (void *)&Standin<F>::template Count<Field, Real>));
        if (!hooks_.back()->Installed())
            Fail(std::string("cannot count ") + name);
        *Real = hooks_.back()->Original<F>();
    }

    const char *k = "KERNEL32.dll";
    const char *a = "ADVAPI32.dll";
    std::vector<std::unique_ptr<ImportHook>> hooks_;
    std::unique_ptr<ImportHook> lookup_;
};

// ---------------------------------------------------------------------------
// Generated installations: tops top-level directories with subs
// subdirectories each, files files in every directory.

struct TreeShape {
    int tops, subs, files;
    int Directories() const { return tops * (1 + subs); }
    int Files() const { return Directories() * files; }
    int Entries() const { return Directories() + Files(); }
};

const TreeShape BigTree = {10, 24, 20};  // 250 directories, 5,000 files
const TreeShape DemoTree = {3, 2, 4};    // 9 directories, 36 files
const TreeShape TraceTree = {2, 2, 5};   // 6 directories, 30 files

enum class Order { ContentsFirst, DirectoryFirst };

const char *OrderName(Order order)
{
    return order == Order::ContentsFirst ? "contents-first" : "directory-first";
}

std::string TopName(int t)
{
    char name[32];
    snprintf(name, sizeof name, "Module%02d", t);
    return name;
}

std::string SubName(int t, int s)
{
    char name[32];
    snprintf(name, sizeof name, "\\Part%02d", s);
    return TopName(t) + name;
}

void AddFiles(const std::string &dir, int files, std::vector<std::string> *entries)
{
    char name[32];
    for (int f = 0; f < files; f++) {
        snprintf(name, sizeof name, "\\file%03d.dat", f);
        entries->push_back(dir + name);
    }
}

// The entries of the list in the given order; a directory entry has no
// extension, a file entry ends in ".dat".
std::vector<std::string> ListEntries(const TreeShape &shape, Order order)
{
    std::vector<std::string> entries;
    for (int t = 0; t < shape.tops; t++) {
        if (order == Order::DirectoryFirst) {
            entries.push_back(TopName(t));
            AddFiles(TopName(t), shape.files, &entries);
            for (int s = 0; s < shape.subs; s++) {
                entries.push_back(SubName(t, s));
                AddFiles(SubName(t, s), shape.files, &entries);
            }
        } else {
            for (int s = 0; s < shape.subs; s++) {
                AddFiles(SubName(t, s), shape.files, &entries);
                entries.push_back(SubName(t, s));
            }
            AddFiles(TopName(t), shape.files, &entries);
            entries.push_back(TopName(t));
        }
    }
    return entries;
}

bool IsFileEntry(const std::string &entry)
{
    return entry.size() > 4 && entry.compare(entry.size() - 4, 4, ".dat") == 0;
}

bool WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return written == bytes.size();
}

// Lays the tree out below dir (made anew) with its list file; with
// attributes, every fifth file is read-only and every seventh hidden.
void LayTree(const std::string &dir, const TreeShape &shape, Order order, bool attributes = false)
{
    RemoveTree(dir);
    MakeDirs(dir);
    std::vector<std::string> entries = ListEntries(shape, order);
    std::string list;
    int n = 0;
    // Directories before files whatever the list's order.
    for (const std::string &entry : ListEntries(shape, Order::DirectoryFirst))
        if (!IsFileEntry(entry) && !CreateDirectoryA((dir + "\\" + entry).c_str(), NULL))
            Fail("cannot make " + dir + "\\" + entry);
    std::string bytes(256, 'q');
    for (const std::string &entry : entries) {
        list += entry + "\r\n";
        if (!IsFileEntry(entry))
            continue;
        std::string path = dir + "\\" + entry;
        if (!WriteBytes(path, bytes))
            Fail("cannot write " + path);
        n++;
        if (attributes && (n % 5 == 0 || n % 7 == 0))
            SetFileAttributesA(path.c_str(),
                               (n % 5 == 0 ? FILE_ATTRIBUTE_READONLY : 0) | (n % 7 == 0 ? FILE_ATTRIBUTE_HIDDEN : 0));
    }
    if (!WriteBytes(dir + "\\Uninstall.lst", list))
        Fail("cannot write the list in " + dir);
}

// What is left below dir, names only.
std::vector<std::string> Leftovers(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &item : ReadTree(dir))
        names.push_back(item.first);
    return names;
}

// ---------------------------------------------------------------------------
// The measured runs.

struct UninstallTimes {
    double startToExit = 0;  // process start to exit, the box's time included
    double yesToExit = 0;    // the Yes answer to the process's end
};

// One uninstall of the installation in dir through the real executable,
// the robot answering Yes; COMSPEC names the interpreter stand-in.
UninstallTimes TimeUninstall(const std::string &dir)
{
    UninstallTimes times;
    std::string exe = dir + "\\Uninstall.exe";
    if (!CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE)) {
        Fail("cannot copy " + ProductExe());
        return times;
    }
    InterpreterStandin standin;
    double start = Now();
    Process run = StartWithTail(exe, "", dir, Family::NT);
    Box box;
    if (!run.Started() || !WaitForBox(Caption, &box, 20000, run.Id())) {
        Fail("no confirmation box for " + dir);
        return times;
    }
    AnswerBox(box, IDYES);
    double yes = Now();
    long code = run.Wait(600000);
    double end = Now();
    times.startToExit = end - start;
    times.yesToExit = end - yes;
    if (code != 0)
        Fail("uninstall exit code " + std::to_string(code));
    if (!standin.Wait())
        Fail("the interpreter stand-in was not started");
    DeleteFileA(CleanupScriptPath().c_str());
    std::vector<std::string> left = Leftovers(dir);
    if (left != std::vector<std::string>{"Uninstall.exe"})
        Fail("the uninstall left " + std::to_string(left.size()) + " items in " + dir);
    return times;
}

std::string Interpreter()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("COMSPEC", path, sizeof path);
    return n > 0 && n < sizeof path ? path : "C:\\windows\\system32\\cmd.exe";
}

// Runs the interpreter with arguments; returns its time from start to exit.
double TimeInterpreter(const std::string &arguments)
{
    std::string line = "\"" + Interpreter() + "\" " + arguments;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    double start = Now();
    if (!CreateProcessA(NULL, buffer.data(), NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, BenchRoot, &startup, &info)) {
        Fail("cannot start " + line);
        return 0;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    double end = Now();
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return end - start;
}

// The platform's own recursive delete of the directory.
double TimeRd(const std::string &dir)
{
    double time = TimeInterpreter("/c rd /s /q \"" + dir + "\"");
    if (GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES)
        Fail("rd /s /q left " + dir);
    return time;
}

// The key tree: tops keys, each with mids subkeys, each with leaves leaf
// subkeys; every key holds one string value.
struct KeyShape {
    int tops, mids, leaves;
    int Keys() const { return tops * (1 + mids * (1 + leaves)); }
};

const KeyShape BigKeys = {20, 9, 10};  // 20 + 180 + 1,800 = 2,000 keys
const int KeyPairsPerRun = 3;
const KeyShape TraceKeys = {2, 2, 3};  // 2 + 4 + 12 = 18 keys

void MakeKey(HKEY parent, const std::string &name, HKEY *key)
{
    if (RegCreateKeyExA(parent, name.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, key, NULL) != ERROR_SUCCESS) {
        Fail("cannot create key " + name);
        *key = NULL;
        return;
    }
    RegSetValueExA(*key, "Name", 0, REG_SZ, (const BYTE *)name.c_str(), (DWORD)name.size() + 1);
}

void MakeKeys(const KeyShape &shape)
{
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, KeyTreePath);
    HKEY root, top, mid, leaf;
    MakeKey(HKEY_CURRENT_USER, KeyTreePath, &root);
    if (!root)
        return;
    for (int t = 0; t < shape.tops; t++) {
        MakeKey(root, "Key" + std::to_string(t), &top);
        for (int m = 0; top && m < shape.mids; m++) {
            MakeKey(top, "Key" + std::to_string(m), &mid);
            for (int l = 0; mid && l < shape.leaves; l++) {
                MakeKey(mid, "Key" + std::to_string(l), &leaf);
                if (leaf)
                    RegCloseKey(leaf);
            }
            if (mid)
                RegCloseKey(mid);
        }
        if (top)
            RegCloseKey(top);
    }
    RegCloseKey(root);
}

void ExpectKeysGone(const char *who)
{
    if (RegKeyExists(HKEY_CURRENT_USER, KeyTreePath))
        Fail(std::string(who) + " left the key tree");
}

// The product's tree deletion, in this process.
double TimeDeleteKeyTree(int *passes)
{
    SetRegRoot(HKEY_CURRENT_USER);
    double start = Now();
    DeleteKeyTree(KeyTreePath);
    double end = Now();
    *passes = DeleteKeyTreePasses();
    ExpectKeysGone("DeleteKeyTree");
    return end - start;
}

double TimeRegDeleteTree()
{
    double start = Now();
    LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, KeyTreePath);
    double end = Now();
    if (status != ERROR_SUCCESS)
        Fail("RegDeleteTreeA: " + std::to_string(status));
    ExpectKeysGone("RegDeleteTreeA");
    return end - start;
}

// The list passes of the product in this process over the tree in dir.
int DeleteListedInProcess(const std::string &dir)
{
    FILE *list = fopen((dir + "\\Uninstall.lst").c_str(), "rb");
    if (!list) {
        Fail("cannot open the list in " + dir);
        return 0;
    }
    int left = 1;
    int passes = DeleteListedItems(list, (dir + "\\").c_str(), &left);
    fclose(list);
    if (Leftovers(dir) != std::vector<std::string>{"Uninstall.lst"} || left)
        Fail("the list passes left items in " + dir);
    return passes;
}

// The whole demo-sized uninstall with the real interpreter: registration,
// a Program Manager group with shortcut files, a small installation; timed
// from the process's start to the end of the cleanup script's interpreter.
struct DemoTimes {
    double startToScriptEnd = 0;
    double yesToExit = 0;
    double exitToScriptEnd = 0;
};

// The interpreter the uninstall process started, found among its children.
HANDLE ChildOf(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return NULL;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    HANDLE child = NULL;
    for (BOOL more = Process32First(snapshot, &entry); more && !child; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parent)
            child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    CloseHandle(snapshot);
    return child;
}

DemoTimes TimeDemo(const std::string &dir)
{
    DemoTimes times;
    std::string exe = dir + "\\Uninstall.exe";
    LayTree(dir, DemoTree, Order::ContentsFirst, true);
    if (!CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE)) {
        Fail("cannot copy " + ProductExe());
        return times;
    }
    Process registration = StartWithTail(exe, std::string("register ") + DemoGroup, dir, Family::NT);
    if (registration.Wait() != 0)
        Fail("registration failed");
    if (!SendProgmanCommand(std::string("[CreateGroup(") + DemoGroup + ")]"))
        Fail("the Program Manager did not create the group");
    std::string group = ProgramsFolder() + "\\" + DemoGroup;
    for (const char *name : {"QEL.lnk", "Read me.lnk", "Uninstall QEL.lnk"})
        if (!WriteBytes(group + "\\" + name, "shortcut"))
            Fail("cannot write a shortcut in " + group);

    double start = Now();
    Process run = StartWithTail(exe, "", dir, Family::NT);
    Box box;
    if (!run.Started() || !WaitForBox(Caption, &box, 20000, run.Id())) {
        Fail("no confirmation box in the demo");
        return times;
    }
    AnswerBox(box, IDYES);
    double yes = Now();
    DWORD id = run.Id();
    // Found while the process still exists as the interpreter's parent: the
    // script's first line waits a second for it to end.
    HANDLE script = NULL;
    while (!script && run.Running())
        script = ChildOf(id);
    long code = run.Wait(60000);
    double exited = Now();
    if (!script)
        script = ChildOf(id);
    if (script) {
        WaitForSingleObject(script, 60000);
        CloseHandle(script);
    } else if (!WaitUntilGone(CleanupScriptPath(), 60000)) {
        Fail("the cleanup script did not end");
    }
    double end = Now();
    times.startToScriptEnd = end - start;
    times.yesToExit = exited - yes;
    times.exitToScriptEnd = end - exited;
    if (code != 0)
        Fail("demo uninstall exit code " + std::to_string(code));
    if (GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES)
        Fail("the demo installation is still there");
    if (GetFileAttributesA(group.c_str()) != INVALID_FILE_ATTRIBUTES)
        Fail("the demo group is still there");
    if (RegKeyExists(HKEY_CURRENT_USER, "Software\\Qel"))
        Fail("the demo settings are still there");
    if (FileExists(CleanupScriptPath()))
        Fail("the cleanup script is still there");
    return times;
}

// ---------------------------------------------------------------------------
// Reports.

double Least(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

void Row(const char *what, const std::vector<double> &values)
{
    Out("| %s | %.0f | %.0f | %s |\n", what, Median(values), Least(values), Runs(values).c_str());
}

void Ratio(const char *what, const std::vector<double> &a, const std::vector<double> &b,
           const std::vector<double> &paired)
{
    Out("| %s | %.2f | %.2f | %.2f |\n", what, Median(b) > 0 ? Median(a) / Median(b) : 0.0,
        Least(b) > 0 ? Least(a) / Least(b) : 0.0, Median(paired));
}

void PrintCounts(const char *what, const Counts &c, int entries, bool files)
{
    if (files)
        Out("| %s | %ld | %ld | %ld | %ld | %ld | %ld | %.2f |\n", what, c.fullPath, c.getAttributes,
            c.getAttributesW, c.setAttributes + c.deleteFile + c.removeDirectory, c.openFile, c.Native(),
            (double)c.Files() / entries);
    else
        Out("| %s | %ld | %ld | %ld | %ld | %ld | %ld | %.2f |\n", what, c.openKey, c.enumKey, c.queryValue,
            c.deleteKey, c.deleteKeyNative, c.closeKey, (double)c.Keys() / entries);
}

const char FileCountsHead[] =
    "| List order | Passes | GetFullPathNameA | GetFileAttributesA | GetFileAttributesW | "
    "SetFileAttributesA, DeleteFileA, RemoveDirectoryA | NtOpenFile | native, all | Calls per entry |\n"
    "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
const char KeyCountsHead[] =
    "| Tree | RegOpenKeyExA | RegEnumKeyExA | RegQueryValueExA | RegDeleteKeyA | NtDeleteKey | RegCloseKey | "
    "Calls per key |\n|---|---:|---:|---:|---:|---:|---:|---:|\n";

int Benchmark(int runs)
{
    std::string install = std::string(BenchRoot) + "\\install";
    std::string plain = std::string(BenchRoot) + "\\plain tree";
    std::map<std::string, std::vector<double>> t;

    MakeDirs(BenchRoot);
    WineProgman progman;
    if (!progman.Ready())
        Fail("Wine's Program Manager service did not start");

    fprintf(stderr, "%d runs:", runs);
    double began = Now();
    for (int run = 0; run < runs; run++) {
        fprintf(stderr, " %d", run + 1);
        // The uninstall through the executable, the same passes in this
        // process, and the platform's delete, one right after the other.
        for (Order order : {Order::ContentsFirst, Order::DirectoryFirst}) {
            std::string name = OrderName(order);
            LayTree(install, BigTree, order);
            UninstallTimes u = TimeUninstall(install);
            t["uninstall " + name].push_back(u.yesToExit);
            t["uninstall start " + name].push_back(u.startToExit);
            LayTree(install, BigTree, order);
            double start = Now();
            DeleteListedInProcess(install);
            t["in process " + name].push_back(Now() - start);
        }
        LayTree(plain, BigTree, Order::ContentsFirst);
        CopyFileA(ProductExe().c_str(), (plain + "\\Uninstall.exe").c_str(), FALSE);
        t["rd"].push_back(TimeRd(plain));
        t["ratio contents-first"].push_back(t["uninstall contents-first"].back() / t["rd"].back());
        t["ratio directory-first"].push_back(t["uninstall directory-first"].back() / t["rd"].back());

        // Fixed costs: the uninstall of an empty list, the interpreter's own
        // start and end.
        RemoveTree(install);
        MakeDirs(install);
        WriteBytes(install + "\\Uninstall.lst", "");
        UninstallTimes empty = TimeUninstall(install);
        t["uninstall empty"].push_back(empty.yesToExit);
        t["interpreter alone"].push_back(TimeInterpreter("/c rem"));

        for (int pair = 0; pair < KeyPairsPerRun; pair++) {
            int passes = 0;
            MakeKeys(BigKeys);
            t["DeleteKeyTree"].push_back(TimeDeleteKeyTree(&passes));
            MakeKeys(BigKeys);
            t["RegDeleteTreeA"].push_back(TimeRegDeleteTree());
            t["ratio keys"].push_back(t["DeleteKeyTree"].back() / t["RegDeleteTreeA"].back());
        }

        DemoTimes demo = TimeDemo(std::string(BenchRoot) + "\\demo install");
        t["demo"].push_back(demo.startToScriptEnd);
        t["demo yes to exit"].push_back(demo.yesToExit);
        t["demo exit to script end"].push_back(demo.exitToScriptEnd);
    }
    fprintf(stderr, " (%.0f s)", (Now() - began) / 1000);
    fprintf(stderr, "\n");

    // Passes and calls, in this process, on the same trees.
    std::map<Order, int> passes;
    std::map<Order, Counts> fileCounts;
    for (Order order : {Order::ContentsFirst, Order::DirectoryFirst}) {
        LayTree(install, BigTree, order);
        Counting counting;
        passes[order] = DeleteListedInProcess(install);
        fileCounts[order] = counts;
    }
    RemoveTree(install);
    int keyPasses = 0;
    Counts keyCounts;
    MakeKeys(BigKeys);
    {
        Counting counting;
        TimeDeleteKeyTree(&keyPasses);
        keyCounts = counts;
    }


    Out("## Timings (ms): median of %d runs\n\n", runs);
    Out("| Measured | Median | Least | Runs |\n|---|---:|---:|---|\n");
    Row("Uninstall.exe, contents-first list, Yes to exit", t["uninstall contents-first"]);
    Row("Uninstall.exe, directory-first list, Yes to exit", t["uninstall directory-first"]);
    Row("cmd /c rd /s /q, start to exit", t["rd"]);
    Row("Uninstall.exe, contents-first list, start to exit", t["uninstall start contents-first"]);
    Row("Uninstall.exe, directory-first list, start to exit", t["uninstall start directory-first"]);
    Row("List passes in process, contents-first", t["in process contents-first"]);
    Row("List passes in process, directory-first", t["in process directory-first"]);
    Row("Uninstall.exe, empty list, Yes to exit", t["uninstall empty"]);
    Row("cmd /c rem, start to exit", t["interpreter alone"]);
    Row("DeleteKeyTree, 2,000 keys", t["DeleteKeyTree"]);
    Row("RegDeleteTreeA, 2,000 keys", t["RegDeleteTreeA"]);
    Row("Demo-sized uninstall, start to script end", t["demo"]);
    Row("Demo-sized uninstall, Yes to exit", t["demo yes to exit"]);
    Row("Demo-sized uninstall, exit to script end", t["demo exit to script end"]);

    Out("\n## Ratios\n\n| Ratio | Of medians | Of least | Median of each run's |\n|---|---:|---:|---:|\n");
    Ratio("uninstall contents-first / rd", t["uninstall contents-first"], t["rd"], t["ratio contents-first"]);
    Ratio("uninstall directory-first / rd", t["uninstall directory-first"], t["rd"], t["ratio directory-first"]);
    Ratio("DeleteKeyTree / RegDeleteTreeA", t["DeleteKeyTree"], t["RegDeleteTreeA"], t["ratio keys"]);
    Out("\nFixed costs in the uninstall's time: %.0f ms (empty list); in rd's: %.0f ms (cmd /c rem).\n",
        Median(t["uninstall empty"]), Median(t["interpreter alone"]));
    Out("\n## List passes and platform calls of the product (counted in-process)\n\n");
    Out("%d entries: %d files in %d directories.\n\n", BigTree.Entries(), BigTree.Files(), BigTree.Directories());
    Out("%s", FileCountsHead);
    for (Order order : {Order::ContentsFirst, Order::DirectoryFirst}) {
        std::string what = std::string(OrderName(order)) + " | " + std::to_string(passes[order]);
        PrintCounts(what.c_str(), fileCounts[order], BigTree.Entries(), true);
    }
    Out("\n%d keys below the tree's own key; DeleteKeyTree made %d passes.\n\n", BigKeys.Keys(), keyPasses);
    Out("%s", KeyCountsHead);
    PrintCounts("DeleteKeyTree", keyCounts, BigKeys.Keys() + 1, false);

    RemoveTree(BenchRoot);
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, "Software\\QelBench");
    if (failures)
        fprintf(stderr, "%d failures\n", failures);
    return failures ? 1 : 0;
}

// Only the key trees, in pairs: the product's deletion and the platform's
// one after another, n times; the median of the pairs' ratios is steadier
// than a ratio of medians on a shared machine.
int KeysOnly(int pairs)
{
    std::vector<double> ours, theirs, ratios;
    int passes = 0;
    for (int i = 0; i < pairs; i++) {
        MakeKeys(BigKeys);
        ours.push_back(TimeDeleteKeyTree(&passes));
        MakeKeys(BigKeys);
        theirs.push_back(TimeRegDeleteTree());
        ratios.push_back(ours.back() / theirs.back());
    }
    Out("| Measured | Median | Least | Runs |\n|---|---:|---:|---|\n");
    Row("DeleteKeyTree, 2,000 keys", ours);
    Row("RegDeleteTreeA, 2,000 keys", theirs);
    Out("| Ratio of each pair | %.2f | |\n", Median(ratios));
    MakeKeys(BigKeys);
    Counts keyCounts;
    {
        Counting counting;
        TimeDeleteKeyTree(&passes);
        keyCounts = counts;
    }
    Out("\n%d passes\n\n%s", passes, KeyCountsHead);
    PrintCounts("DeleteKeyTree", keyCounts, BigKeys.Keys() + 1, false);
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, "Software\\QelBench");
    return failures ? 1 : 0;
}

// Only the list passes, in this process, over freshly laid trees in both
// orders, n times.
int ListsOnly(int runs)
{
    std::string dir = std::string(BenchRoot) + "\\lists";
    std::map<Order, std::vector<double>> times;
    MakeDirs(BenchRoot);
    for (int run = 0; run < runs; run++)
        for (Order order : {Order::ContentsFirst, Order::DirectoryFirst}) {
            LayTree(dir, BigTree, order);
            double start = Now();
            DeleteListedInProcess(dir);
            times[order].push_back(Now() - start);
        }
    Out("| Measured | Median | Least | Runs |\n|---|---:|---:|---|\n");
    Row("List passes in process, contents-first", times[Order::ContentsFirst]);
    Row("List passes in process, directory-first", times[Order::DirectoryFirst]);
    RemoveTree(BenchRoot);
    return failures ? 1 : 0;
}

// Small in-process runs between markers that a relay trace shows.
int Trace()
{
    std::string dir = std::string(BenchRoot) + "\\trace";
    MakeDirs(BenchRoot);
    for (Order order : {Order::ContentsFirst, Order::DirectoryFirst}) {
        LayTree(dir, TraceTree, order);
        OutputDebugStringA((std::string("qel-trace-begin list ") + OrderName(order)).c_str());
        int passes = DeleteListedInProcess(dir);
        OutputDebugStringA("qel-trace-end");
        Out("list-%s %d %d\n", OrderName(order), TraceTree.Entries(), passes);
    }
    RemoveTree(dir);
    int passes = 0;
    MakeKeys(TraceKeys);
    OutputDebugStringA("qel-trace-begin DeleteKeyTree");
    TimeDeleteKeyTree(&passes);
    OutputDebugStringA("qel-trace-end");
    Out("DeleteKeyTree %d %d\n", TraceKeys.Keys() + 1, passes);
    MakeKeys(TraceKeys);
    OutputDebugStringA("qel-trace-begin RegDeleteTreeA");
    TimeRegDeleteTree();
    OutputDebugStringA("qel-trace-end");
    Out("RegDeleteTreeA %d 0\n", TraceKeys.Keys() + 1);
    Out("rd %d 0\n", TraceTree.Entries());
    RegDeleteTreeQuiet(HKEY_CURRENT_USER, "Software\\QelBench");
    // Left for the script to trace the interpreter's recursive delete on:
    // the same tree, and an empty directory for the interpreter's own calls.
    LayTree(std::string(BenchRoot) + "\\rd trace", TraceTree, Order::ContentsFirst);
    DeleteFileA((std::string(BenchRoot) + "\\rd trace\\Uninstall.lst").c_str());
    MakeDirs(std::string(BenchRoot) + "\\rd empty");
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    int runs = 5;
    bool trace = false;
    int keyPairs = 0;
    int listRuns = 0;
    const char *reportPath = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--trace") == 0)
            trace = true;
        else if (strcmp(argv[i], "--lists") == 0 && i + 1 < argc)
            listRuns = std::max(1, atoi(argv[++i]));
        else if (strcmp(argv[i], "--keys") == 0 && i + 1 < argc)
            keyPairs = std::max(1, atoi(argv[++i]));
        else if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (strcmp(argv[i], "--report") == 0 && i + 1 < argc)
            reportPath = argv[++i];
    }
    int status = trace ? Trace() : keyPairs ? KeysOnly(keyPairs) : listRuns ? ListsOnly(listRuns) : Benchmark(runs);
    FILE *file = reportPath ? fopen(reportPath, "wb") : stdout;
    if (!file) {
        fprintf(stderr, "cannot write %s\n", reportPath);
        return 1;
    }
    fwrite(report.data(), 1, report.size(), file);
    if (file != stdout)
        fclose(file);
    return status;
}
