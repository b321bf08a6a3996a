// Texts as the programs quote them in messages.
#pragma once

#include <cstddef>
#include <string>

// A text fit to be quoted in a message: a line longer than limit bytes keeps
// its start and its end, and " ... " stands for the middle. Each line (lines
// are separated by '\r') is shortened on its own and a multi-byte character is
// never cut in two, so a huge path or pattern never makes a message box or a
// log line that cannot be laid out.
std::string ShortenedText(const std::string& text, std::size_t limit = 300);
