// Cabinets made by the real vcab program, judged by every reader.
#pragma once

#include "TestUtil.h"

#include <string>
#include <vector>

namespace cabtest {

struct Input {
    std::string name;
    std::string data;
};

// Writes the inputs into dir, runs the vcab program at vcab with the options
// and returns the cabinets it made (out.cab, out2.cab, ...).
std::vector<std::string> PackWithVcab(const std::string& vcab, const testutil::TempDir& dir,
                                      const std::vector<Input>& inputs,
                                      const std::vector<std::string>& options);

// cabextract, 7-Zip and libmspack must each give back every input of the set
// that begins with cabs.front().
void ExpectEveryReaderGivesBack(const std::vector<std::string>& cabs,
                                const std::vector<Input>& inputs);

} // namespace cabtest
