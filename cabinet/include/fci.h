// The file compression interface of the cabinet engine: the calls, records and
// callbacks of the familiar FCI, backed by our own cabinet writer. Every byte
// the engine reads or writes, temporary files included, goes through the
// callbacks given to FCICreate.
#pragma once

#include <cstdint>
#include <type_traits>

using BOOL = int;
using UINT = unsigned int;
// 32 bits; on Windows the same type as <windows.h> gives it (unsigned long).
using ULONG = std::conditional_t<sizeof(unsigned long) == 4, unsigned long, std::uint32_t>;
using USHORT = std::uint16_t;
using INT_PTR = std::intptr_t;
using TCOMP = USHORT;
using HFCI = void*;

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

// Error record: the engine's error code, the system code a callback stored in
// its error output, and the failure flag.
struct ERF {
    int erfOper;
    int erfType;
    BOOL fError;
};
using PERF = ERF*;

// Error codes in erfOper.
enum FCIERROR {
    FCIERR_NONE = 0,
    FCIERR_OPEN_SRC = 1,       // a source file could not be opened (or cannot be stored)
    FCIERR_READ_SRC = 2,       // a source file could not be read
    FCIERR_ALLOC_FAIL = 3,     // out of memory
    FCIERR_TEMP_FILE = 4,      // a temporary file could not be made, written or read
    FCIERR_BAD_COMPR_TYPE = 5, // unknown or unavailable compression type
    FCIERR_CAB_FILE = 6,       // the cabinet could not be made
    FCIERR_USER_ABORT = 7,     // a callback asked to stop
    FCIERR_MCI_FAIL = 8,       // the compressor failed
};

inline constexpr int CB_MAX_DISK_NAME = 256;
inline constexpr int CB_MAX_CABINET_NAME = 256;
inline constexpr int CB_MAX_CAB_PATH = 256;

// Parameters of the cabinet being written. Numbers of cabinets and disks count
// from 1. The three texts are NUL-terminated within their fields.
struct CCAB {
    ULONG cb;               // largest cabinet size, headers and reserves included
    ULONG cbFolderThresh;   // a folder is closed once this many compressed bytes are in it
    UINT cbReserveCFHeader; // 0..60000 bytes reserved in each cabinet header
    UINT cbReserveCFFolder; // 0..255 bytes reserved in each folder record
    UINT cbReserveCFData;   // 0..255 bytes reserved in each data block header
    int iCab;
    int iDisk;
    int fFailOnIncompressible;
    USHORT setID;
    char szDisk[CB_MAX_DISK_NAME];
    char szCab[CB_MAX_CABINET_NAME];
    char szCabPath[CB_MAX_CAB_PATH];
};
using PCCAB = CCAB*;

// Compression codes for FCIAddFile.
inline constexpr TCOMP tcompTYPE_NONE = 0x0000;
inline constexpr TCOMP tcompTYPE_MSZIP = 0x0001;
inline constexpr TCOMP tcompTYPE_QUANTUM = 0x0002;
inline constexpr TCOMP tcompTYPE_LZX = 0x0003;
inline constexpr int tcompSHIFT_LZX_WINDOW = 8;
inline constexpr TCOMP TCOMPfromLZXWindow(int exponent) {
    return static_cast<TCOMP>(tcompTYPE_LZX | (exponent << tcompSHIFT_LZX_WINDOW));
}

// Status types.
inline constexpr UINT statusFile =
    0; // a block was compressed: cb1 compressed, cb2 uncompressed size
inline constexpr UINT statusFolder =
    1; // a folder is copied into a cabinet: cb1 done, cb2 total bytes
inline constexpr UINT statusCabinet = 2; // a cabinet was written: cb1 estimated, cb2 actual size

// Open flags the engine passes to the open callback (the values of the C
// runtime's _open) and the permission it asks for.
inline constexpr int FCI_O_RDONLY = 0x0000;
inline constexpr int FCI_O_WRONLY = 0x0001;
inline constexpr int FCI_O_RDWR = 0x0002;
inline constexpr int FCI_O_CREAT = 0x0100;
inline constexpr int FCI_O_EXCL = 0x0400;
inline constexpr int FCI_O_BINARY = 0x8000;
inline constexpr int FCI_S_IREAD = 0x0100;
inline constexpr int FCI_S_IWRITE = 0x0080;

// Seek types of the seek callback.
inline constexpr int FCI_SEEK_SET = 0;
inline constexpr int FCI_SEEK_CUR = 1;
inline constexpr int FCI_SEEK_END = 2;

// Callbacks. Those with an error output store 0 there first and the system's
// error code on failure; pv is the value given to FCICreate.
using PFNFCIFILEPLACED = int (*)(PCCAB pccab, char* pszFile, long cbFile, BOOL fContinuation,
                                 void* pv);
using PFNFCIALLOC = void* (*)(ULONG cb);
using PFNFCIFREE = void (*)(void* memory);
using PFNFCIOPEN = INT_PTR (*)(char* pszFile, int oflag, int pmode, int* err, void* pv);
using PFNFCIREAD = UINT (*)(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
using PFNFCIWRITE = UINT (*)(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
using PFNFCICLOSE = int (*)(INT_PTR hf, int* err, void* pv);
using PFNFCISEEK = long (*)(INT_PTR hf, long dist, int seektype, int* err, void* pv);
using PFNFCIDELETE = int (*)(char* pszFile, int* err, void* pv);
using PFNFCIGETTEMPFILE = BOOL (*)(char* pszTempName, int cbTempName, void* pv);
using PFNFCIGETNEXTCABINET = BOOL (*)(PCCAB pccab, ULONG cbPrevCab, void* pv);
using PFNFCISTATUS = long (*)(UINT typeStatus, ULONG cb1, ULONG cb2, void* pv);
using PFNFCIGETOPENINFO = INT_PTR (*)(char* pszName, USHORT* pdate, USHORT* ptime, USHORT* pattribs,
                                      int* err, void* pv);

// The calls have C linkage and the default (cdecl) convention, as cabinet.dll
// exports them, so the interface layer can be linked against either.
extern "C" {

// Creates a compression context for a cabinet (or a set) described by *pccab;
// null on failure, with *perf filled in.
HFCI FCICreate(PERF perf, PFNFCIFILEPLACED pfnfcifp, PFNFCIALLOC pfna, PFNFCIFREE pfnf,
               PFNFCIOPEN pfnopen, PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose,
               PFNFCISEEK pfnseek, PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, PCCAB pccab,
               void* pv);

// Adds one file, read through the handle that pfnfcigoi opens, under the name
// pszFileName inside the cabinet.
BOOL FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, BOOL fExecute,
                PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                TCOMP typeCompress);

// Closes the current folder: the next file starts a new one.
BOOL FCIFlushFolder(HFCI hfci, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);

// Writes the current cabinet. With fGetNextCab the next cabinet's name is asked
// for first, so this cabinet links to it and the next one continues the set.
BOOL FCIFlushCabinet(HFCI hfci, BOOL fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc,
                     PFNFCISTATUS pfnfcis);

// Releases the context and deletes its temporary files; an unflushed cabinet is
// discarded.
BOOL FCIDestroy(HFCI hfci);

} // extern "C"
