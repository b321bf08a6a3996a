// Reading of the two directive files, which are 8-bit text: a line ends at a
// carriage return, which may be followed by a line feed; a lone line feed is
// part of its line; a Ctrl-Z character ends the file. Lines are taken as they
// stand: no trimming, no case folding, no length limit.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <string>

class TDirectiveReader {
  public:
    // Opens the file for reading; false with the system's error recorded.
    bool Open(const std::string& path);
    bool IsOpen() const { return file_.IsOpen(); }
    void Close();

    // True when no character is left before the end of the file or a Ctrl-Z;
    // always true for a reader that is not open. A read error counts as the
    // end of the file, and Failed() tells it apart.
    bool Eof();
    bool Failed() const { return failed_; }

    // The next line without its line end; empty at the end of the file.
    std::string ReadLine();

    // A signed 32-bit decimal number. Blanks and line ends before it are
    // skipped; it runs up to the first blank or control character, and the
    // rest of its line is skipped. At the end of the file it reads as 0.
    // False when the text there is no such number (value then 0).
    bool ReadInteger(std::int32_t& value);

    // The number rule applied to one token.
    static bool ParseInteger(const std::string& token, std::int32_t& value);

  private:
    int Peek(); // the next character, or -1 at the end
    void Fill();

    plat::File file_;
    char buffer_[4096];
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool end_ = false; // the end, a Ctrl-Z or a read error was met
    bool failed_ = false;
};
