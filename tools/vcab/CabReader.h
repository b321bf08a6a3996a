// Reading cabinets back for vcab through libmspack: listing, testing,
// extracting, and checking a set just written against its source files. In a
// build without libmspack every call says so and fails.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vcab {

// False when this build has no cabinet reader.
bool ReaderAvailable();

// Each call takes the first cabinet of a set (or a single cabinet); the
// cabinets it links to are read from the same folder. Messages go to stderr
// prefixed with "vcab: "; the results are true when everything succeeded.
bool List(const std::string& cabinet);
bool Test(const std::string& cabinet, bool quiet);
// Extracts into folder; an existing file is replaced only with replace. Names
// are made safe: no absolute paths, no ".." or "." parts.
bool Extract(const std::string& cabinet, const std::string& folder, bool replace, bool quiet);
// Reads the set back and compares every stored file with its source: sources
// maps the stored name to the path of the file it was taken from.
bool Verify(const std::string& cabinet, const std::map<std::string, std::string>& sources);

} // namespace vcab
