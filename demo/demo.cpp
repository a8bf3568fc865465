// The demo: a sample installation of the file manager, registered and then
// uninstalled through the real executable, with a before/after report.
// demo/demo.sh runs it in a throwaway Wine prefix. Exits 1 when anything
// that should have gone is left, or anything that should have stayed is not.
#include <windows.h>

#include <shlobj.h>
#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench.h"
#include "layout.h"
#include "progman.h"

using namespace bench;

namespace {

const char InstallDir[] = "C:\\Program Files\\QEL";
const char GroupName[] = "QEL File Manager";
const DWORD ReadOnly = FILE_ATTRIBUTE_READONLY, Hidden = FILE_ATTRIBUTE_HIDDEN;

// What the installer copies, in its order; Uninstall.lst lists the files in
// this order and then the directories, deepest first.
struct Item {
    const char *path;
    DWORD attributes;
};
const Item Files[] = {
    {"Qel.exe", ReadOnly},
    {"QelEdit.exe", 0},
    {"QelView.exe", 0},
    {"Qel.ini", Hidden},
    {"Qel.lng", 0},
    {"Readme.txt", 0},
    {"License.txt", ReadOnly},
    {"Whatsnew.txt", 0},
    {"Help\\Qel.hlp", ReadOnly},
    {"Help\\Qel.cnt", Hidden},
    {"Help\\en\\keys.txt", 0},
    {"Help\\en\\macros.txt", 0},
    {"Help\\de\\keys.txt", 0},
    {"Help\\de\\macros.txt", 0},
    {"Lang\\english.lng", 0},
    {"Lang\\german.lng", 0},
    {"Lang\\russian.lng", 0},
    {"Plugins\\FTP\\ftp.dll", 0},
    {"Plugins\\FTP\\ftp.lng", 0},
    {"Plugins\\FTP\\hosts.dat", ReadOnly | Hidden},
    {"Plugins\\Arc\\arc.dll", 0},
    {"Plugins\\Arc\\formats\\zip.fmt", 0},
    {"Plugins\\Arc\\formats\\rar.fmt", 0},
    {"Plugins\\Arc\\formats\\arj.fmt", 0},
    {"Plugins\\Editor\\colorer.dll", 0},
    {"Plugins\\Editor\\schemes\\c.hrc", 0},
    {"Plugins\\Editor\\schemes\\pascal.hrc", 0},
    {"Plugins\\Editor\\schemes\\batch.hrc", ReadOnly},
    {"Skins\\Classic\\colors.ini", 0},
    {"Skins\\Dark\\colors.ini", ReadOnly},
    {"Skins\\Dark\\icons.bin", Hidden},
    {"Macros\\default.mac", 0},
};
// Written by registration on the Windows 95 family; the installer lists
// them because it knows they will be there.
const char *const LauncherFiles[] = {"$UseBat.$$$", "Qel.bat"};
const Item Directories[] = {
    {"Help\\en", 0},
    {"Help\\de", 0},
    {"Help", 0},
    {"Lang", 0},
    {"Plugins\\FTP", Hidden},
    {"Plugins\\Arc\\formats", 0},
    {"Plugins\\Arc", 0},
    {"Plugins\\Editor\\schemes", 0},
    {"Plugins\\Editor", 0},
    {"Plugins", 0},
    {"Skins\\Classic", 0},
    {"Skins\\Dark", ReadOnly},
    {"Skins", 0},
    {"Macros", Hidden},
};
// Shortcuts the installer adds to its group: target, name.
const char *const Shortcuts[][2] = {
    {"Qel.exe", "QEL"},
    {"QelEdit.exe", "QEL Editor"},
    {"Readme.txt", "Read me"},
    {"Uninstall.exe", "Uninstall QEL"},
};

int Problems;

void Section(const char *title)
{
    printf("\n== %s ==\n", title);
}

std::string InInstallation(const std::string &relative)
{
    return std::string(InstallDir) + "\\" + relative;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Attributes(DWORD attributes)
{
    std::string text;
    if (attributes & ReadOnly)
        text += "read-only";
    if (attributes & Hidden)
        text += text.empty() ? "hidden" : ", hidden";
    return text.empty() ? text : " (" + text + ")";
}

double Seconds(DWORD since)
{
    return (GetTickCount() - since) / 1000.0;
}

// Printable bytes: CR, LF and other controls as escapes.
std::string Shown(const std::string &bytes)
{
    std::string text;
    char escape[8];
    for (unsigned char c : bytes) {
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            snprintf(escape, sizeof escape, "\\x%02X", c);
            text += escape;
        } else
            text += (char)c;
    }
    return text;
}

const char *TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_BINARY:
        return "REG_BINARY";
    }
    return "REG_?";
}

std::string ValueText(const RegValue &value)
{
    char text[64];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = *(const DWORD *)value.data.data();
        snprintf(text, sizeof text, "0x%08lX (%lu)", number, number);
        return text;
    }
    if (value.type == REG_SZ) {
        std::string bytes = value.data;
        if (!bytes.empty() && bytes.back() == '\0')
            bytes.pop_back();
        snprintf(text, sizeof text, " (%u bytes)", (unsigned)value.data.size());
        return "\"" + Shown(bytes) + "\"" + text;
    }
    std::string hex;
    for (unsigned char c : value.data) {
        snprintf(text, sizeof text, "%02X ", c);
        hex += text;
    }
    return hex;
}

// A key and everything below it that holds values: each key by its path,
// then its values with type and data.
void PrintKeyTree(HKEY root, const std::string &path, const std::string &shown)
{
    std::vector<std::string> names = RegValueNames(root, path);
    if (!names.empty())
        printf("  %s\n", shown.c_str());
    for (const std::string &name : names) {
        RegValue value = ReadRegValue(root, path, name);
        printf("      %-20s %-10s %s\n", name.c_str(), TypeName(value.type), ValueText(value).c_str());
    }
    for (const std::string &child : RegSubkeys(root, path))
        PrintKeyTree(root, path + "\\" + child, shown + "\\" + child);
}

std::vector<std::string> FileNames(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

const char *ButtonName(int id)
{
    switch (id) {
    case IDYES:
        return "Yes";
    case IDNO:
        return "No";
    case IDOK:
        return "OK";
    case IDCANCEL:
        return "Cancel";
    }
    return "?";
}

const char *IconName(UINT icon)
{
    if (!BoxIconsDrawn())
        return "icon not drawn by Wine in 32-bit programs";
    switch (icon) {
    case MB_ICONQUESTION:
        return "question icon";
    case MB_ICONINFORMATION:
        return "information icon";
    case MB_ICONHAND:
        return "error icon";
    case MB_ICONEXCLAMATION:
        return "warning icon";
    case 0:
        return "no icon";
    }
    return "other icon";
}

// Prints a box the robot found, answers it and waits until it has closed.
void AnswerAndShow(const Box &box, int answer)
{
    std::string buttons;
    for (int id : box.buttons)
        buttons += std::string(" ") + ButtonName(id) + (id == box.defaultButton ? "*" : "");
    printf("  Box \"%s\" (%s; buttons%s):\n", box.caption.c_str(), IconName(box.icon), buttons.c_str());
    std::string text = box.text;
    for (size_t line = text.find('\n'); line != std::string::npos; line = text.find('\n', line + 7))
        text.replace(line, 1, "\n      ");
    printf("      %s\n", text.c_str());
    printf("  answered %s\n", ButtonName(answer));
    AnswerBox(box, answer);
    WaitForBoxClosed(box);
}

std::string DocumentsFolder()
{
    char path[MAX_PATH];
    if (FAILED(SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, 0, path)))
        return "";
    return path;
}

// One line of the before/after report; a mismatch counts as a problem.
void Report(const std::string &what, bool before, bool after, bool wantAfter)
{
    bool ok = before && after == wantAfter;
    printf("  %-4s %-50s %-6s %s\n", ok ? "ok" : "FAIL", what.c_str(), before ? "there" : "absent",
           after ? "there" : "gone");
    if (!ok)
        Problems++;
}

void Fail(const char *what)
{
    printf("  FAIL %s\n", what);
    Problems++;
}

// The programs the demo starts, and the interpreter that runs the cleanup
// script, inherit the standard handles: give them the null device, so that
// the interpreter's echo does not mix with the report. printf keeps the
// handle it took at start-up.
void SilenceChildren()
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, NULL);
    if (null == INVALID_HANDLE_VALUE)
        return;
    SetStdHandle(STD_INPUT_HANDLE, null);
    SetStdHandle(STD_OUTPUT_HANDLE, null);
    SetStdHandle(STD_ERROR_HANDLE, null);
}

}  // namespace

int main()
{
    setvbuf(stdout, NULL, _IONBF, 0);
    SilenceChildren();
    DWORD demoStart = GetTickCount();
    const std::string exe = InInstallation("Uninstall.exe");
    const std::string programs = ProgramsFolder();
    const std::string group = programs + "\\" + GroupName;
    const std::string documents = DocumentsFolder();
    const std::string userFile = documents + "\\Shopping list.txt";
    const std::string userBytes = "Milk\r\nBread\r\nA new file manager?\r\n";
    if (ProductExe().empty() || programs.empty() || documents.empty()) {
        printf("QEL_EXE, the Programs folder or the Documents folder is missing\n");
        return 2;
    }

    Section("1. The installer lays out QEL");
    std::string list;
    for (const Item &file : Files) {
        LayFile(InInstallation(file.path), std::string("QEL 1.70: ") + file.path + "\r\n", file.attributes);
        list += std::string(file.path) + "\r\n";
    }
    for (const char *name : LauncherFiles)
        list += std::string(name) + "\r\n";
    for (const Item &dir : Directories) {
        if (dir.attributes)
            SetFileAttributesA(InInstallation(dir.path).c_str(), dir.attributes);
        list += std::string(dir.path) + "\r\n";
    }
    WriteFile(InInstallation("Uninstall.lst"), list);
    if (!CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE))
        Fail(("cannot copy " + ProductExe()).c_str());
    int listed = (int)(sizeof Files / sizeof Files[0] + sizeof LauncherFiles / sizeof LauncherFiles[0] +
                       sizeof Directories / sizeof Directories[0]);
    printf("  %s: %d files in %d directories (some read-only or hidden), Uninstall.exe,\n", InstallDir,
           (int)(sizeof Files / sizeof Files[0]), (int)(sizeof Directories / sizeof Directories[0]));
    printf("  and Uninstall.lst with %d entries, CR LF, files first, directories deepest first.\n", listed);

    // Wine's own Program Manager serves this process until the uninstall
    // is over, so that the uninstall's DeleteGroup reaches it too.
    WineProgman progman;
    printf("  Start-menu group, through Wine's Program Manager (DDE service PROGMAN):\n");
    std::vector<std::string> commands = {std::string("[CreateGroup(") + GroupName + ")]"};
    for (const auto &shortcut : Shortcuts)
        commands.push_back("[AddItem(" + InInstallation(shortcut[0]) + "," + shortcut[1] + ")]");
    bool acknowledged = progman.Ready();
    for (const std::string &command : commands) {
        bool sent = progman.Ready() && SendProgmanCommand(command);
        printf("      %-60s %s\n", command.c_str(), sent ? "acknowledged" : "NOT ACKNOWLEDGED");
        acknowledged = acknowledged && sent;
    }
    printf("  Programs folder: %s\n", programs.c_str());
    printf("  Group folder \"%s\" there:", GroupName);
    for (const std::string &name : FileNames(group))
        printf(" \"%s\"", name.c_str());
    printf("\n");
    if (!acknowledged || FileNames(group).size() != sizeof Shortcuts / sizeof Shortcuts[0])
        Fail("the group and its shortcuts were not made");
    if (sizeof(void *) == 4)
        printf("  (The Program Manager also opens the group in Wine's explorer, whose 32-bit one\n"
               "  crashes under the null display driver: its \"wine: Unhandled page fault\" line\n"
               "  may show up below. The demo goes on without it.)\n");

    Section("2. Registration, as the installer runs it");
    printf("  Run as the Windows 95 family: only there does registration write the launcher\n"
           "  files, and Uninstall.lst lists them. (The uninstall below runs as the NT family.)\n");
    std::string commandLine = "\"" + exe + "\" register " + GroupName;
    printf("  > %s\n", commandLine.c_str());
    DWORD registerStart = GetTickCount();
    Process run = Start(exe, commandLine, InstallDir, Family::Win9x);
    Box box;
    bool shown = false;
    while (run.Running() && Seconds(registerStart) < 30)
        if (WaitForBox("", &box, 50, run.Id())) {
            Fail("registration showed a window");
            AnswerAndShow(box, box.buttons.empty() ? IDOK : box.buttons.back());
            shown = true;
        }
    long code = run.Wait(1000);
    printf("  exit code %ld, %s\n", code, shown ? "a WINDOW was shown" : "nothing shown");
    if (code != 0)
        Fail("registration's exit code");
    printf("  Registry:\n");
    PrintKeyTree(HKEY_LOCAL_MACHINE, UninstallEntry, std::string("HKLM\\") + UninstallEntry);
    PrintKeyTree(HKEY_CURRENT_USER, SettingsKey, std::string("HKCU\\") + SettingsKey);
    printf("  Launcher files beside the executable:\n");
    for (const char *name : LauncherFiles) {
        std::string path = InInstallation(name);
        std::string bytes = ReadFile(path);
        printf("      %-12s %s, %u bytes%s%s\n", name, Exists(path) ? "there" : "MISSING", (unsigned)bytes.size(),
               bytes.empty() ? "" : ": ", Shown(bytes).c_str());
        if (!Exists(path))
            Fail("a launcher file is missing");
    }

    Section("3. The file manager in use");
    WriteRegValue(HKEY_CURRENT_USER, "Software\\Qel\\Panels\\Left", "Path", REG_SZ, Sz("C:\\"));
    WriteRegValue(HKEY_CURRENT_USER, "Software\\Qel\\Panels\\Right", "Path", REG_SZ, Sz(documents));
    WriteRegValue(HKEY_LOCAL_MACHINE, "Software\\Qel\\System", "Language", REG_SZ, Sz("english"));
    WriteFile(userFile, userBytes);
    printf("  Settings saved: HKCU\\Software\\Qel\\Panels\\{Left,Right}, HKLM\\Software\\Qel\\System.\n");
    printf("  A file of the user's, not listed: %s\n", userFile.c_str());
    printf("  (It is kept outside the installation directory: an unlisted file inside it\n"
           "  would survive too, and keep that directory in place.)\n");

    // What is there before the uninstall, for the report.
    std::vector<std::pair<std::string, bool>> before;
    for (const Item &file : Files)
        before.push_back({file.path, Exists(InInstallation(file.path))});
    for (const char *name : LauncherFiles)
        before.push_back({name, Exists(InInstallation(name))});
    for (const Item &dir : Directories)
        before.push_back({std::string(dir.path) + "\\", Exists(InInstallation(dir.path))});
    bool listBefore = Exists(InInstallation("Uninstall.lst"));
    bool hkcuBefore = RegKeyExists(HKEY_CURRENT_USER, SettingsKey);
    bool hklmBefore = RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey);
    bool entryBefore = RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry);
    bool groupBefore = Exists(group);
    size_t shortcutsBefore = FileNames(group).size();
    bool exeBefore = Exists(exe), dirBefore = Exists(InstallDir);
    bool userBefore = ReadFile(userFile) == userBytes;

    Section("4. Uninstall, answering Yes");
    printf("  Run as the NT family, so that Wine's own cmd runs the cleanup script (it cannot\n"
           "  run the Windows 95 family's first script line).\n");
    printf("  > \"%s\"        (from C:\\, as the list of programs would)\n", exe.c_str());
    DWORD uninstallStart = GetTickCount();
    run = StartWithTail(exe, "", "C:\\", Family::NT);
    int boxes = 0;
    while (run.Running() && Seconds(uninstallStart) < 30)
        if (WaitForBox(Caption, &box, 50, run.Id())) {
            if (++boxes > 1)
                Fail("a box other than the confirmation");
            AnswerAndShow(box, boxes == 1 ? IDYES : IDOK);
        }
    code = run.Wait(1000);
    printf("  Uninstall.exe ended after %.1f s with exit code %ld\n", Seconds(uninstallStart), code);
    if (boxes != 1 || code != 0)
        Fail("the uninstall run");

    // The script deletes itself last; a warning box would hold it up.
    std::string script = CleanupScriptPath();
    DWORD scriptStart = GetTickCount();
    while (Exists(script) && Seconds(scriptStart) < 30)
        if (WaitForBox(Caption, &box, 50)) {
            Fail("the cleanup script asked for a manual deletion");
            AnswerAndShow(box, IDOK);
        }
    bool scriptLeft = Exists(script);
    printf("  Cleanup script %s (Wine's cmd): %s after %.1f s more\n", script.c_str(),
           scriptLeft ? "STILL THERE" : "ran and deleted itself", Seconds(scriptStart));
    if (scriptLeft)
        Problems++;

    Section("5. Before and after");
    printf("  %-4s %-50s %-6s %s\n", "", "Listed in Uninstall.lst, below the installation", "before", "after");
    for (const auto &item : before) {
        std::string path = item.first;
        DWORD attributes = 0;
        for (const Item &file : Files)
            if (path == file.path)
                attributes = file.attributes;
        for (const Item &dir : Directories)
            if (path == std::string(dir.path) + "\\")
                attributes = dir.attributes;
        Report(path + Attributes(attributes), item.second, Exists(InInstallation(path)), false);
    }
    printf("  Uninstall's own files\n");
    Report("Uninstall.lst", listBefore, Exists(InInstallation("Uninstall.lst")), false);
    Report(exe, exeBefore, Exists(exe), false);
    Report(std::string(InstallDir) + "\\", dirBefore, Exists(InstallDir), false);
    printf("  Registry\n");
    Report("HKCU\\Software\\Qel", hkcuBefore, RegKeyExists(HKEY_CURRENT_USER, SettingsKey), false);
    Report("HKLM\\Software\\Qel", hklmBefore, RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), false);
    Report("HKLM\\...\\Uninstall\\QEL manager", entryBefore, RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry),
           false);
    printf("  Start menu\n");
    Report("Programs\\" + std::string(GroupName) + "\\ (" + std::to_string(shortcutsBefore) + " shortcuts)",
           groupBefore && shortcutsBefore > 0, Exists(group), false);
    printf("  Not listed: must stay, unchanged\n");
    std::string userNow = ReadFile(userFile);
    Report(userFile + (Exists(userFile) && userNow != userBytes ? " CHANGED" : ""), userBefore,
           Exists(userFile) && userNow == userBytes, true);

    Section("6. Installed again, then removed quietly as a deployment tool does");
    for (const Item &file : Files)
        LayFile(InInstallation(file.path), std::string("QEL 1.71: ") + file.path + "\r\n", file.attributes);
    WriteFile(InInstallation("Uninstall.lst"), list);
    if (!CopyFileA(ProductExe().c_str(), exe.c_str(), FALSE))
        Fail(("cannot copy " + ProductExe()).c_str());
    run = Start(exe, "\"" + exe + "\" register " + GroupName, InstallDir, Family::NT);
    if (run.Wait() != 0)
        Fail("registration's exit code");
    bool installedAgain = Exists(InInstallation(Files[0].path)) && Exists(exe);
    RegValue quiet = ReadRegValue(HKEY_LOCAL_MACHINE, UninstallEntry, "QuietUninstallString");
    std::string quietLine = quiet.data.empty() ? "" : quiet.data.substr(0, quiet.data.size() - 1);
    printf("  The entry's QuietUninstallString, started as it is (no program name given apart):\n");
    printf("  > %s\n", quietLine.c_str());
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION info;
    std::vector<char> line(quietLine.begin(), quietLine.end());
    line.push_back('\0');
    DWORD quietStart = GetTickCount();
    if (quietLine.empty() || !CreateProcessRetrying(NULL, line.data(), FALSE, 0, "C:\\", &startup, &info)) {
        Fail("the quiet uninstall did not start");
    } else {
        CloseHandle(info.hThread);
        run = Process(info.hProcess, info.dwProcessId);
        shown = false;
        while (run.Running() && Seconds(quietStart) < 30)
            if (WaitForBox("", &box, 50, run.Id())) {
                AnswerAndShow(box, box.buttons.empty() ? IDOK : box.buttons.back());
                shown = true;
            }
        code = run.Wait(1000);
        printf("  Uninstall.exe ended after %.1f s with exit code %ld, %s\n", Seconds(quietStart), code,
               shown ? "a WINDOW was shown" : "nothing shown");
        if (code != 0 || shown)
            Fail("the quiet uninstall run");
    }
    scriptStart = GetTickCount();
    while (Exists(script) && Seconds(scriptStart) < 30)
        if (WaitForBox(Caption, &box, 50)) {
            Fail("a box appeared during the quiet uninstall's cleanup");
            AnswerAndShow(box, IDOK);
        }
    bool filesLeft = Exists(InInstallation("Uninstall.lst")) || Exists(exe);
    for (const Item &file : Files)
        filesLeft = filesLeft || Exists(InInstallation(file.path));
    Report("the files listed, the list and the executable", installedAgain, filesLeft, false);
    Report(std::string(InstallDir) + "\\", installedAgain, Exists(InstallDir), false);
    Report("HKLM\\...\\Uninstall\\QEL manager", !quietLine.empty(), RegKeyExists(HKEY_LOCAL_MACHINE, UninstallEntry),
           false);

    if (testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed())
        Fail("a bench helper reported a failure (see above)");
    printf("\n%s: %d problem%s, %.1f s\n", Problems ? "FAILED" : "Demo passed", Problems, Problems == 1 ? "" : "s",
           Seconds(demoStart));
    return Problems ? 1 : 0;
}
