// The interface layer between the cabinet-writer component and the cabinet
// engine: wraps the engine's calls, supplies all of its callbacks over the
// platform layer, keeps the shared error record and names its error codes.
// No exception ever leaves one of these functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum TCompressionType : std::uint8_t { ctNone = 0, ctMsZip = 1, ctQuantum = 2, ctLzx = 3 };

// Copy of the shared error record: the engine's error code, the system error
// code the failing callback stored, and the failure flag.
struct TCabError {
    int erfOper = 0;
    int erfType = 0;
    bool fError = false;
};

// Relays through which the layer reports upwards while the engine works.
using TProgressRelay = void (*)(const std::string& fileName, int percent, bool& abort);
using TNextCabinetRelay = void (*)(std::string& cabName, std::string& diskName, int cabNo,
                                   int& diskNo, bool& abort);

using HCabContext = void*;

HCabContext CabCreate(const std::string& cabFile, const std::string& diskName,
                      std::int32_t folderSize, std::int32_t diskSize, std::int32_t reserved,
                      int setNumber, TProgressRelay progress, TNextCabinetRelay nextCabinet);
// windowExponent: the LZX window (15 to 21); for Quantum the level and window
// fields of the compression code ((level << 4) | (window << 8)), 0 for the best.
bool CabAddFile(HCabContext h, const std::string& sourcePath, const std::string& nameInCab,
                TCompressionType compType, int windowExponent, bool execute);
bool CabFlush(HCabContext h, bool getNextCab);
bool CabDestroy(HCabContext h);
// The cabinet the engine last set out to create through h (full path); empty
// before the first. After a failure to create or write a cabinet, the one that
// failed.
std::string CabLastCabinet(HCabContext h);
// For a build that is given up: removes every cabinet created through h that
// is still the very file created (the same file identity), and returns, in
// order, those that could not be removed because they are out of reach (the
// name now leads elsewhere or nowhere, as when another disk is in the drive)
// or would not go. Call before CabDestroy.
std::vector<std::string> CabRemoveWritten(HCabContext h);
TCabError CabLastError();
std::string CabErrorText(int code);
