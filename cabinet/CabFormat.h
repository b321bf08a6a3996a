// Layout facts of the MS-CAB format and the small encoders the writer uses:
// little-endian records, the data block checksum, DOS attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cab {

inline constexpr std::uint32_t HeaderFixedSize = 36;    // CFHEADER without options
inline constexpr std::uint32_t HeaderReserveFields = 4; // cbCFHeader, cbCFFolder, cbCFData
inline constexpr std::uint32_t FolderRecordSize = 8;    // CFFOLDER without its reserve
inline constexpr std::uint32_t FileRecordSize = 16;     // CFFILE without its name
inline constexpr std::uint32_t DataHeaderSize = 8;      // CFDATA without its reserve

inline constexpr std::uint16_t FlagPrevCabinet = 0x0001;
inline constexpr std::uint16_t FlagNextCabinet = 0x0002;
inline constexpr std::uint16_t FlagReservePresent = 0x0004;

inline constexpr std::uint16_t FolderContinuedFromPrev = 0xFFFD;
inline constexpr std::uint16_t FolderContinuedToNext = 0xFFFE;
inline constexpr std::uint16_t FolderContinuedPrevAndNext = 0xFFFF;

inline constexpr std::uint32_t MaxHeaderReserve = 60000;
inline constexpr std::uint32_t MaxRecordReserve = 255;
inline constexpr std::size_t MaxNameLength = 255; // bytes before the terminating NUL
inline constexpr std::uint32_t MaxCount = 65535;  // folders, files, blocks per folder
inline constexpr std::uint32_t MaxBlockPayload = 32768 + 6144;
inline constexpr std::uint32_t MaxFolderBytes = 65535u * 32768u; // 0x7FFF8000
inline constexpr std::uint32_t MaxCabinetSize = 0x7FFFFFFF;

// DOS attribute bits a cabinet stores for a file.
inline constexpr std::uint16_t AttrReadOnly = 0x01;
inline constexpr std::uint16_t AttrHidden = 0x02;
inline constexpr std::uint16_t AttrSystem = 0x04;
inline constexpr std::uint16_t AttrArchive = 0x20;
inline constexpr std::uint16_t AttrExecute = 0x40;
inline constexpr std::uint16_t AttrNameIsUtf8 = 0x80;
inline constexpr std::uint16_t AttrStorable =
    AttrReadOnly | AttrHidden | AttrSystem | AttrArchive | AttrExecute | AttrNameIsUtf8;

// Checksum of a data block: first over the payload, then over the four bytes
// cbData and cbUncomp (and a data reserve, which we always write as zeros and
// which therefore adds nothing).
std::uint32_t Checksum(const std::uint8_t* data, std::size_t size, std::uint32_t seed);
std::uint32_t DataBlockChecksum(const std::uint8_t* payload, std::uint16_t cbData,
                                std::uint16_t cbUncomp);

// True when the name holds bytes above 0x7F and all of them form valid UTF-8.
bool IsUtf8WithHighBytes(std::string_view name);

// Little-endian stores into a byte buffer.
inline void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

} // namespace cab
