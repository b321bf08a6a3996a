// The cabinet builder's two directives: the input is the settings directive,
// the byte 0x1E, and the list directive. Both are written into a scratch
// folder; the list is read job block by job block into the component, the
// settings as start-up reads them, and the settings file once more through the
// reader with lines and numbers mixed in the order the list's bytes give.
#include "FuzzCommon.h"

#include "vDirectives.h"

#include <cstdint>
#include <string>

namespace {

// Whether reading the settings would open a log file: the ninth item is read
// only when the eight before it are sound, and names the log file when it is
// not empty. The fuzzer must never create files where the input says.
bool NamesLogFile(const std::string& path) {
    TDirectiveReader in;
    if (!in.Open(path)) return false;
    std::int32_t n = 0;
    for (int item = 0; item < 8; ++item) {
        const bool number = item < 4 || item == 7;
        if (number && !in.ReadInteger(n)) return false;
        if (!number) in.ReadLine();
        if (in.Failed()) return false;
    }
    return !in.ReadLine().empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\x1e');
    const std::string settings = input.substr(0, cut);
    const std::string list = cut == std::string::npos ? "" : input.substr(cut + 1);
    const std::string settingsPath = fuzz::ScratchFolder() + "settings.txt";
    const std::string listPath = fuzz::ScratchFolder() + "list.txt";
    fuzz::WriteBytes(settingsPath, settings);
    fuzz::WriteBytes(listPath, list);

    tvFwCAB cab;
    TShellState state;
    if (!NamesLogFile(settingsPath)) {
        const std::string error = ReadSettings(settingsPath, cab, state);
        if (state.LogMode) fuzz::Fail("directives: log mode without a log line");
        (void)error;
    }

    if (!state.List.Open(listPath)) fuzz::Fail("directives: cannot open %s", listPath.c_str());
    std::size_t jobs = 0;
    while (ReadNextJob(cab, state))
        if (++jobs > list.size() + 1)
            fuzz::Fail("directives: %zu jobs from %zu bytes", jobs, list.size());

    TDirectiveReader in;
    if (!in.Open(settingsPath)) fuzz::Fail("directives: cannot open %s", settingsPath.c_str());
    std::size_t reads = 0;
    for (std::size_t i = 0; !in.Eof(); ++i) {
        const bool number = !list.empty() && (list[i % list.size()] & 1);
        std::int32_t v = 0;
        if (number)
            in.ReadInteger(v);
        else
            TDirectiveReader::ParseInteger(in.ReadLine(), v);
        if (++reads > settings.size() + 1)
            fuzz::Fail("directives: %zu reads from %zu bytes", reads, settings.size());
    }
    return 0;
}
