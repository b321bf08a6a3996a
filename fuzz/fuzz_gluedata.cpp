// The joiner's data block and piece names: the input is a block as the split
// engine leaves it after the joiner program (taken to start at offset 0). A
// block that parses has the names of its pieces expanded into buffers of
// varied sizes, which must hold exactly what the expansion says it wrote.
#include "FuzzCommon.h"

#include "gluecore.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The joiner never parses an empty block (it stops earlier: no joiner data).
    if (size == 0) return 0;
    // An exact copy, so reading one byte past the input is caught.
    std::vector<char> block(data, data + size);
    GlueData d;
    const char* why = nullptr;
    if (glue_parse(block.data(), block.size(), 0, &d, &why) != 0) {
        if (!why || !*why) fuzz::Fail("gluedata: refused without a reason");
        return 0;
    }
    if (d.name_count < 2 || d.zeros > GLUE_MAX_ZEROS)
        fuzz::Fail("gluedata: %zu name lines, %u zeros", d.name_count, d.zeros);
    if (d.block_end > size)
        fuzz::Fail("gluedata: block ends at %llu of %zu",
                   static_cast<unsigned long long>(d.block_end), size);
    glue_last_component(d.source);

    const std::uint64_t last = d.pieces < 6 ? d.pieces : 6;
    const std::uint64_t picks[] = {1, 2, last, d.pieces, d.pieces + 1, UINT64_MAX};
    for (std::uint64_t m : picks) {
        if (m == 0) continue;
        const char* pattern = glue_pattern(&d, m);
        if (!pattern)
            fuzz::Fail("gluedata: no pattern for piece %llu", static_cast<unsigned long long>(m));
        for (std::size_t cap : {std::size_t{1}, std::size_t{16}, std::size_t{4096}}) {
            std::vector<char> out(cap);
            const int n = glue_expand(pattern, d.zeros, m, d.source, out.data(), cap);
            if (n < 0) continue;
            if (static_cast<std::size_t>(n) >= cap || std::strlen(out.data()) != std::size_t(n))
                fuzz::Fail("gluedata: expansion says %d bytes in a buffer of %zu", n, cap);
        }
    }
    if (d.has_crc)
        for (std::uint64_t m = 1; m <= last; ++m)
            glue_crc_update(0xFFFFFFFFu, &d.crc[m - 1], sizeof d.crc[0]);
    glue_free(&d);
    return 0;
}
