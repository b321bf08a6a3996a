/* The joiner's operating-system calls for Windows. */
#define WIN32_LEAN_AND_MEAN
#include "gluesys.h"

#include <windows.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char gs_sep = '\\';

static HANDLE handle_of(GsFile f) {
    return (HANDLE)f;
}

int gs_self_path(char* out, size_t cap, const char* argv0) {
    DWORD n = GetModuleFileNameA(NULL, out, cap > MAXDWORD ? MAXDWORD : (DWORD)cap);
    (void)argv0;
    /* A name that filled the whole buffer was cut short. */
    return n > 0 && n < cap ? GS_OK : GS_FAIL;
}

static int read_at(HANDLE h, uint64_t off, void* buf, DWORD n) {
    LARGE_INTEGER at;
    DWORD got = 0;
    at.QuadPart = (LONGLONG)off;
    return SetFilePointerEx(h, at, NULL, FILE_BEGIN) && ReadFile(h, buf, n, &got, NULL) && got == n;
}

static uint64_t max_u64(uint64_t a, uint64_t b) {
    return a > b ? a : b;
}

/* Most sections a loadable image may have. */
#define MAX_SECTIONS 96

/* The image ends with the last byte its headers, its sections' raw data or a
 * COFF symbol table (left in by an unstripped link) account for. */
uint64_t gs_image_size(GsFile f, uint64_t file_size) {
    HANDLE h = handle_of(f);
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    IMAGE_SECTION_HEADER sec[MAX_SECTIONS];
    uint64_t table, end;
    WORD count;
    const size_t need = offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                        offsetof(IMAGE_OPTIONAL_HEADER, SizeOfHeaders) + sizeof(DWORD);

    if (!read_at(h, 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew <= 0 || (uint64_t)dos.e_lfanew + need > file_size)
        return 0;
    memset(&nt, 0, sizeof nt);
    if (!read_at(h, (uint64_t)dos.e_lfanew, &nt, (DWORD)need) || nt.Signature != IMAGE_NT_SIGNATURE)
        return 0;
    /* The program only ever reads its own image, which has the build's layout. */
    if (nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC ||
        nt.FileHeader.SizeOfOptionalHeader < need - offsetof(IMAGE_NT_HEADERS, OptionalHeader))
        return 0;
    count = nt.FileHeader.NumberOfSections;
    if (count > MAX_SECTIONS) return 0;
    table = (uint64_t)dos.e_lfanew + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
            nt.FileHeader.SizeOfOptionalHeader;
    end = max_u64(nt.OptionalHeader.SizeOfHeaders, table + (uint64_t)count * sizeof *sec);
    if (end > file_size) return 0;
    if (count && !read_at(h, table, sec, (DWORD)(count * sizeof *sec))) return 0;
    for (WORD i = 0; i < count; i++)
        if (sec[i].SizeOfRawData)
            end = max_u64(end, (uint64_t)sec[i].PointerToRawData + sec[i].SizeOfRawData);
    if (nt.FileHeader.PointerToSymbolTable && end <= file_size) {
        /* Symbols of 18 bytes each, then the string table with its own length. */
        uint64_t strings = (uint64_t)nt.FileHeader.PointerToSymbolTable +
                           (uint64_t)nt.FileHeader.NumberOfSymbols * 18;
        DWORD len = 0;
        if (strings + 4 > file_size || !read_at(h, strings, &len, sizeof len)) return 0;
        end = max_u64(end, strings + (len >= 4 ? len : 4));
    }
    return end <= file_size ? end : 0;
}

GsFile gs_open_read(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return h == INVALID_HANDLE_VALUE ? GS_NO_FILE : (GsFile)h;
}

/* The temporary file that an interruption removes, and its handle while it is
 * open: Windows cannot delete a file that is open without delete sharing, so
 * the handle is always closed before the name is deleted. */
static char guarded[MAX_PATH * 4];
static volatile GsFile guarded_file = GS_NO_FILE;
static volatile LONG interrupted;

static void close_guarded(void) {
    GsFile f =
        (GsFile)InterlockedExchangePointer((PVOID volatile*)&guarded_file, (PVOID)GS_NO_FILE);
    if (f != GS_NO_FILE) CloseHandle(handle_of(f));
}

static BOOL WINAPI on_console_event(DWORD event) {
    (void)event;
    InterlockedExchange(&interrupted, 1);
    if (guarded[0]) {
        close_guarded();
        DeleteFileA(guarded);
    }
    return FALSE; /* the default handler then ends the process */
}

void gs_guard_temp(const char* path) {
    static int installed;
    if (!path || !path[0]) {
        guarded[0] = 0;
        return;
    }
    if (!installed) {
        SetConsoleCtrlHandler(on_console_event, TRUE);
        installed = 1;
    }
    /* The handler runs on a thread of its own: it must never see half a name. */
    guarded[0] = 0;
    snprintf(guarded + 1, sizeof guarded - 1, "%s", path + 1);
    guarded[0] = path[0];
}

GsFile gs_create_temp(const char* dir, char* path, size_t cap) {
    size_t len = strlen(dir);
    const char* sep = len && (dir[len - 1] == '\\' || dir[len - 1] == '/') ? "" : "\\";
    for (int i = 0; i < 1000; i++) {
        int n = snprintf(path, cap, "%s%s.glue%lu-%d.tmp", dir, sep,
                         (unsigned long)GetCurrentProcessId(), i);
        HANDLE h;
        if (n < 0 || (size_t)n >= cap || n >= (int)sizeof guarded) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return GS_NO_FILE;
        }
        h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            guarded_file = (GsFile)h;
            gs_guard_temp(path);
            return (GsFile)h;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return GS_NO_FILE;
    }
    return GS_NO_FILE;
}

long gs_read(GsFile f, void* buf, size_t n) {
    DWORD got = 0;
    if (n > 1u << 30) n = 1u << 30;
    if (!ReadFile(handle_of(f), buf, (DWORD)n, &got, NULL)) return -1;
    return (long)got;
}

int gs_write(GsFile f, const void* buf, size_t n) {
    const char* p = buf;
    while (n) {
        DWORD put = 0, chunk = n > (1u << 30) ? (1u << 30) : (DWORD)n;
        if (!WriteFile(handle_of(f), p, chunk, &put, NULL)) return GS_FAIL;
        if (!put) {
            SetLastError(ERROR_DISK_FULL);
            return GS_FAIL;
        }
        p += put;
        n -= put;
    }
    return GS_OK;
}

int gs_seek(GsFile f, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx(handle_of(f), at, NULL, FILE_BEGIN) ? GS_OK : GS_FAIL;
}

static int info_of(HANDLE h, GsInfo* info) {
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h, &fi)) return GS_FAIL;
    info->size = (uint64_t)fi.nFileSizeHigh << 32 | fi.nFileSizeLow;
    info->volume = fi.dwVolumeSerialNumber;
    info->id = (uint64_t)fi.nFileIndexHigh << 32 | fi.nFileIndexLow;
    return GS_OK;
}

int gs_info(GsFile f, GsInfo* info) {
    return info_of(handle_of(f), info);
}

int gs_close(GsFile f) {
    if (f == guarded_file) {
        InterlockedExchangePointer((PVOID volatile*)&guarded_file, (PVOID)GS_NO_FILE);
    }
    return CloseHandle(handle_of(f)) ? GS_OK : GS_FAIL;
}

int gs_sync_close(GsFile f) {
    /* Some devices cannot flush; their data is as written as it gets. */
    int ok = FlushFileBuffers(handle_of(f)) || GetLastError() == ERROR_INVALID_FUNCTION;
    DWORD err = GetLastError();
    if (gs_close(f)) return GS_FAIL;
    if (!ok) SetLastError(err);
    return ok ? GS_OK : GS_FAIL;
}

static int missing_error(DWORD e) {
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME ||
           e == ERROR_BAD_NETPATH || e == ERROR_BAD_NET_NAME || e == ERROR_FILENAME_EXCED_RANGE ||
           e == ERROR_INVALID_DRIVE || e == ERROR_NOT_READY || e == ERROR_DIRECTORY;
}

int gs_path_info(const char* path, GsInfo* info) {
    DWORD attrs = GetFileAttributesA(path);
    HANDLE h;
    int rc;
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return missing_error(GetLastError()) ? GS_MISSING : GS_FAIL;
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return GS_MISSING;
    /* Asking for no access reads the identity even of a file another program
     * holds open without sharing. */
    h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return missing_error(GetLastError()) ? GS_MISSING : GS_FAIL;
    /* Device names (NUL, COM1, ...) are no files. */
    rc = GetFileType(h) != FILE_TYPE_DISK ? GS_MISSING : info_of(h, info);
    CloseHandle(h);
    return rc;
}

int gs_is_dir(const char* path) {
    DWORD attrs = GetFileAttributesA(path);
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

int gs_exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int gs_remove(const char* path) {
    /* The temporary file may still be open when a failure gives it up. */
    if (guarded[0] && !strcmp(path, guarded)) close_guarded();
    return DeleteFileA(path) ? GS_OK : GS_FAIL;
}

int gs_publish(const char* tmp, const char* final, int replace) {
    DWORD e;
    if (guarded[0] && !strcmp(tmp, guarded)) close_guarded();
    /* Without replace the rename itself refuses an existing name, so no other
     * program can slip a file in between a check and the rename. */
    if (MoveFileExA(tmp, final, replace ? MOVEFILE_REPLACE_EXISTING : 0)) return GS_OK;
    e = GetLastError();
    if (!replace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) return GS_EXISTS;
    return GS_FAIL;
}

int gs_is_terminal(void) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

const char* gs_error(void) {
    static char text[256];
    DWORD e = GetLastError();
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, e, 0,
                             text, sizeof text, NULL);
    /* System texts end with a full stop and a line break; the joiner's lines
     * carry their own. */
    while (n &&
           (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.'))
        text[--n] = 0;
    if (!n) snprintf(text, sizeof text, "system error %lu", (unsigned long)e);
    return text;
}

/* Started from Explorer, the joiner has a console window of its own that
 * closes the moment the program ends, before anyone could read the outcome.
 * Such a console has this process alone attached to it; then the window stays
 * until Enter is pressed. Input that is not the console (a pipe, a file) is
 * never waited on. */
static void wait_for_enter(void) {
    DWORD mode;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char line[64];
    if (interrupted || !GetConsoleMode(in, &mode)) return;
    fflush(stderr);
    fputs("\nPress Enter to close this window.", stdout);
    fflush(stdout);
    while (fgets(line, sizeof line, stdin) && !strchr(line, '\n')) {
    }
}

/* The program's entry. The joiner is linked without the C runtime's start-up
 * code, which would double its size: msvcrt.dll prepares itself, and splits
 * the command line into arguments on request. */
typedef struct {
    int new_mode;
} GsStartInfo;
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int glob, GsStartInfo* info);
int main(int argc, char** argv);

/* GCC makes main call this to run static constructors; the joiner has none,
 * and the runtime's version would register its destructors with atexit. */
void __main(void);
void __main(void) {}

void mainCRTStartup(void) {
    int argc = 0;
    char **argv = NULL, **env = NULL;
    GsStartInfo info = {0};
    DWORD ids[2];
    int own_console = GetConsoleProcessList(ids, 2) == 1, rc;
    if (__getmainargs(&argc, &argv, &env, 0, &info) < 0) ExitProcess(EXIT_FAILURE);
    rc = main(argc, argv);
    if (own_console) wait_for_enter();
    exit(rc);
}
