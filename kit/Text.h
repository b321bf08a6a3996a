// Texts as the programs quote them in messages.
#pragma once

#include <cstddef>
#include <string>

// A text to quote in a message, shortened when longer than limit: its start
// and its end are kept and the middle is replaced by "...", so that a box or
// log line never has to lay out a name of any length.
std::string ShortenedText(const std::string& text, std::size_t limit = 300);
