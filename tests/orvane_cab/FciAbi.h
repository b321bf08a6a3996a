// What the fci.h of our engine and the system's fci.h must agree on for the
// interface layer to be linked against either: the records' layout, and the
// types of the callbacks and of the calls, calling convention included (a
// stdcall pointer is not the same type as the default cdecl one). The types
// are spelled here without either header's names. Included after one of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

static_assert(sizeof(ERF) == 12 && offsetof(ERF, erfOper) == 0 && offsetof(ERF, erfType) == 4 &&
              offsetof(ERF, fError) == 8);
static_assert(sizeof(CCAB) == 804 && offsetof(CCAB, cb) == 0 &&
              offsetof(CCAB, cbFolderThresh) == 4 && offsetof(CCAB, cbReserveCFHeader) == 8 &&
              offsetof(CCAB, cbReserveCFFolder) == 12 && offsetof(CCAB, cbReserveCFData) == 16 &&
              offsetof(CCAB, iCab) == 20 && offsetof(CCAB, iDisk) == 24 &&
              offsetof(CCAB, fFailOnIncompressible) == 28 && offsetof(CCAB, setID) == 32 &&
              offsetof(CCAB, szDisk) == 34 && offsetof(CCAB, szCab) == 290 &&
              offsetof(CCAB, szCabPath) == 546);
static_assert(sizeof(TCOMP) == 2 && sizeof(ULONG) == 4 && sizeof(long) == 4);

namespace fciabi {
using Handle = std::intptr_t;
using UShort = unsigned short;
} // namespace fciabi

static_assert(std::is_same_v<PFNFCIFILEPLACED, int (*)(CCAB*, char*, long, int, void*)>);
static_assert(std::is_same_v<PFNFCIALLOC, void* (*)(unsigned long)>);
static_assert(std::is_same_v<PFNFCIFREE, void (*)(void*)>);
static_assert(std::is_same_v<PFNFCIOPEN, fciabi::Handle (*)(char*, int, int, int*, void*)>);
static_assert(
    std::is_same_v<PFNFCIREAD, unsigned (*)(fciabi::Handle, void*, unsigned, int*, void*)>);
static_assert(
    std::is_same_v<PFNFCIWRITE, unsigned (*)(fciabi::Handle, void*, unsigned, int*, void*)>);
static_assert(std::is_same_v<PFNFCICLOSE, int (*)(fciabi::Handle, int*, void*)>);
static_assert(std::is_same_v<PFNFCISEEK, long (*)(fciabi::Handle, long, int, int*, void*)>);
static_assert(std::is_same_v<PFNFCIDELETE, int (*)(char*, int*, void*)>);
static_assert(std::is_same_v<PFNFCIGETTEMPFILE, int (*)(char*, int, void*)>);
static_assert(std::is_same_v<PFNFCIGETNEXTCABINET, int (*)(CCAB*, unsigned long, void*)>);
static_assert(
    std::is_same_v<PFNFCISTATUS, long (*)(unsigned, unsigned long, unsigned long, void*)>);
static_assert(
    std::is_same_v<PFNFCIGETOPENINFO, fciabi::Handle (*)(char*, fciabi::UShort*, fciabi::UShort*,
                                                         fciabi::UShort*, int*, void*)>);

static_assert(std::is_same_v<decltype(&FCICreate),
                             void* (*)(ERF*, PFNFCIFILEPLACED, PFNFCIALLOC, PFNFCIFREE, PFNFCIOPEN,
                                       PFNFCIREAD, PFNFCIWRITE, PFNFCICLOSE, PFNFCISEEK,
                                       PFNFCIDELETE, PFNFCIGETTEMPFILE, CCAB*, void*)>);
static_assert(std::is_same_v<decltype(&FCIAddFile),
                             int (*)(void*, char*, char*, int, PFNFCIGETNEXTCABINET, PFNFCISTATUS,
                                     PFNFCIGETOPENINFO, unsigned short)>);
static_assert(
    std::is_same_v<decltype(&FCIFlushFolder), int (*)(void*, PFNFCIGETNEXTCABINET, PFNFCISTATUS)>);
static_assert(std::is_same_v<decltype(&FCIFlushCabinet),
                             int (*)(void*, int, PFNFCIGETNEXTCABINET, PFNFCISTATUS)>);
static_assert(std::is_same_v<decltype(&FCIDestroy), int (*)(void*)>);
