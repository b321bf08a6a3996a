// The split job as the launcher describes it in the three job files of the
// program folder (pienames.txt, piesizes.txt, piesplit.txt): read once into
// numbers and texts when the job is loaded, checked against the files it names,
// and only read afterwards. Also the rules that name the pieces ("pies") and
// the joiner, and the texts of the pieces' checksums.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"

// The first line of every message that refuses a job.
inline constexpr char JobRefused[] = "The split job cannot be run:";

struct JobSettings {
    // pienames.txt: line 1 is ZeroCount, the lines after it are PieNames, the
    // name patterns of pies 1, 2, ...; pies beyond the last pattern use the last.
    std::int64_t ZeroCount = 0; // 0 to 255
    std::vector<std::string> PieNames;
    // piesizes.txt: the sizes of pies 1, 2, ..., each from 0 to 2147483647;
    // pies beyond the last line use the last; 0 fills the target.
    std::vector<std::int64_t> PieSizes;

    // piesplit.txt, in the order of its lines.
    std::string JobTitle;
    std::string SourcePath;
    std::string TargetPath;
    std::int64_t KeepFree = 0;
    std::int64_t BufferSize = 0;
    std::int64_t JoinerPie = 0;
    std::int64_t CheckInterval = 0;
    std::int64_t EraseOption = 0;
    std::int64_t CrcOption = 0;
    std::int64_t CompareOption = 0;
    std::string ReportPath;
    bool MakeCrc = false;     // CrcOption > 0
    bool ComparePies = false; // CompareOption > 0

    std::string ProgramFolder; // where the job files and the joiner files live
    // Identity of the source file, taken when the job is loaded (when it exists
    // then): no piece, report or joiner may be written over it, no erase delete it.
    plat::FileId SourceId;
    bool SourceKnown = false;

    // |JoinerPie|, the pie that the self-joining pack takes in, without
    // overflow for the smallest value.
    std::uint64_t JoinerK() const;
    // The size of pie m (from 1).
    std::int64_t PieSize(std::int64_t m) const;
    // The file name of pie m (from 1), and its full path on the target.
    std::string PieName(std::int64_t m) const;
    std::string PiePath(std::int64_t m) const;
    // The joiner's file name (no folder) from its pattern: as a pie name, but
    // '*' gives the number text of JoinerK when JoinerPie is not 0, and nothing
    // when it is.
    std::string JoinerName(const std::string& pattern) const;
};

// ---- the job files ---------------------------------------------------------

// Reads a decimal integer: optional blanks, an optional sign, digits, optional
// blanks, and nothing else; false when the text is not one or does not fit.
bool ParseDecimal(const std::string& text, std::int64_t& value);

// Fills the fields of piesplit.txt from its text, line by line: a text line is
// taken whole; a number skips the blanks, tabs and line breaks before it, is the
// run of characters up to the next one at or below the blank (at most 32), and
// the rest of its line is skipped. Past the end a number is 0 and a text empty.
// MakeCrc and ComparePies are derived. False with a message for a bad number.
bool ReadPieSplit(const std::string& text, JobSettings& job, std::string& error);

// Reads the texts of pienames.txt and piesizes.txt into job, whose fields of
// piesplit.txt ReadPieSplit has filled, and checks that the worker can run it:
// a zero count of 0 to 255 and at least one non-empty name pattern, at least
// one pie size and every size a decimal from 0 to 2147483647, a BufferSize of
// 2 or more, a source and a target path, and no NUL byte in a path or pattern
// (the system would end the name there). False with the message for the first
// fault found.
bool CheckJob(const std::string& pieNames, const std::string& pieSizes, JobSettings& job,
              std::string& error);

// Checks the job against the files it names, before anything is written: a
// source that exists must be a regular file (its identity is kept in the job);
// no piece whose name is known now, no report and no part of the joiner may be
// the source under any name, and an erase of the target must not reach the
// source (the source lying in the target folder, or with EraseOption > 0 in
// any folder below it).
bool CheckJobFiles(JobSettings& job, std::string& error);

// Reads the three job files from folder (with its trailing separator) into job
// (ReadPieSplit, CheckJob) and checks it against the files it names
// (CheckJobFiles). False with a message fit for the user when they cannot be
// read or do not make a job that can run.
bool ReadJob(const std::string& folder, JobSettings& job, std::string& error);

// ---- names and checksum texts -------------------------------------------------

// The text a '*' gives for piece number m: m in decimal, padded with leading
// zeros to n + 1 digits where n is the zero count. Digits of m are never dropped.
std::string PieNumberText(std::int64_t zeroCount, std::int64_t m);
// Expands a name pattern: '*' gives numberText, '/' the extension of the source
// without its dot, '\' the source's name without extension; all else stands for itself.
std::string ExpandPattern(const std::string& pattern, const std::string& numberText,
                          const std::string& sourcePath);

// Upper-case hexadecimal without leading zeros, and unsigned decimal.
std::string CrcHex(std::uint32_t crc);
std::string CrcDec(std::uint32_t crc);
