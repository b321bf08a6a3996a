// Source data for the cabinet tests.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace cabtest {

// Compressible text of n bytes; the seed varies the lines.
std::string Text(std::size_t n, unsigned seed);

// Sets a file's modification time to the given local time; returns it.
std::time_t SetLocalMtime(const std::string& path, int year, int month, int day, int hour,
                          int minute, int second);

} // namespace cabtest
