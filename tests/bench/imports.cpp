// Import slot replacement: walks this program's import directory.
#include "imports.h"

#include <stdio.h>
#include <string.h>

#include <gtest/gtest.h>

namespace bench {

// The import slot of dll!function in this program, or nullptr.
static void **FindSlot(const char *dll, const char *function)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return nullptr;
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress); d->Name; d++) {
        if (lstrcmpiA((const char *)(base + d->Name), dll) != 0 || !d->OriginalFirstThunk)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *import = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)import->Name, function) == 0)
                return (void **)&slots->u1.Function;
        }
    }
    return nullptr;
}

static void Store(void **slot, void *value)
{
    DWORD old;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

ImportHook::ImportHook(const char *dll, const char *function, void *replacement)
{
    slot_ = FindSlot(dll, function);
    if (!slot_) {
        ADD_FAILURE() << "this program does not import " << dll << "!" << function;
        return;
    }
    original_ = *slot_;
    Store(slot_, replacement);
}

ImportHook::~ImportHook()
{
    if (slot_)
        Store(slot_, original_);
}

static decltype(&fwrite) realWrite;
static decltype(&fclose) realClose;
static int writeToFail;
static int writes;
static bool closeFails;

static bool IsStandardStream(FILE *stream)
{
    return stream == stdin || stream == stdout || stream == stderr;
}

static size_t __cdecl FillingWrite(const void *data, size_t size, size_t count, FILE *stream)
{
    if (IsStandardStream(stream) || ++writes != writeToFail)
        return realWrite(data, size, count, stream);
    return realWrite(data, size, count / 2, stream);
}

static int __cdecl FailingClose(FILE *stream)
{
    int result = realClose(stream);
    return IsStandardStream(stream) || !closeFails ? result : EOF;
}

FullDisk::FullDisk(int writeNumber, bool failClose)
    : write_("msvcrt.dll", "fwrite", (void *)&FillingWrite), close_("msvcrt.dll", "fclose", (void *)&FailingClose)
{
    realWrite = write_.Original<decltype(realWrite)>();
    realClose = close_.Original<decltype(realClose)>();
    writeToFail = writeNumber;
    writes = 0;
    closeFails = failClose;
}

FullDisk::~FullDisk()
{
    writeToFail = 0;
    closeFails = false;
}

int FullDisk::Writes() const
{
    return writes;
}

}  // namespace bench
