/* The parts of the joiner that need no operating system: reading the joiner
 * data block, expanding piece-name patterns, and the CRC-32. */
#ifndef GLUECORE_H
#define GLUECORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Separators in the paths of the joiner data, as the split engine of the same
 * platform splits them: '/' everywhere, and on Windows '\' as well. On Linux a
 * backslash is an ordinary character of a file name. */
#ifdef _WIN32
#define GLUE_IS_SEP(c) ((c) == '/' || (c) == '\\')
#else
#define GLUE_IS_SEP(c) ((c) == '/')
#endif

/* Largest count of leading zeros a name pattern may ask for. */
#define GLUE_MAX_ZEROS 1000u

/* The joiner data that follows the program inside a joiner file. Text fields
 * point into the block's own copy and live until glue_free. */
typedef struct GlueData {
    uint64_t k;               /* piece carried inside the joiner file, 0 for none */
    uint64_t offset;          /* where the data says piece k starts in the joiner file */
    const char* title;        /* job title */
    const char* source;       /* source path on the machine that split the file */
    uint64_t source_size;     /* size of the source in bytes */
    int has_crc;              /* every piece has a CRC-32 below */
    const char* setting[4];   /* the four settings lines handed on from glue.txt */
    uint64_t pieces;          /* number of pieces, piece k included */
    const char* const* names; /* names[0]: count of zeros; names[1..]: patterns */
    size_t name_count;        /* at least 2 */
    unsigned zeros;           /* value of names[0] */
    uint32_t* crc;            /* crc[m - 1] belongs to piece m; only with has_crc */
    uint64_t block_end;       /* file offset just past the block */
    int offset_agrees;        /* offset equals block_end */
    char* store_;
    char** lines_;
} GlueData;

/* Reads the block that starts at file offset base; buf holds len bytes from
 * there (the block, possibly followed by more). The end of the block is taken
 * from the data's own offset line when the block read that way is sound, else
 * from its structure. Returns 0, or -1 with a reason in *why. */
int glue_parse(const char* buf, size_t len, uint64_t base, GlueData* d, const char** why);
void glue_free(GlueData* d);

/* Last component of a path (separators as GLUE_IS_SEP tells). */
const char* glue_last_component(const char* path);

/* Expands a name pattern for piece m: "*" gives m zero-padded to zeros + 1
 * digits (never cut shorter than m itself), "/" the extension of source's last
 * component without its dot, "\" that component without its extension; any
 * other character stands for itself. Returns the length, or -1 when the name
 * does not fit in cap bytes with its terminating NUL. */
int glue_expand(const char* pattern, unsigned zeros, uint64_t m, const char* source, char* out,
                size_t cap);

/* The pattern of piece m (m >= 1); pieces beyond the last line use the last. */
const char* glue_pattern(const GlueData* d, uint64_t m);

/* Standard CRC-32 register update (reflected polynomial EDB88320); start
 * from 0xFFFFFFFF and invert the register at the end. Four table lookups per
 * four bytes; the tables (4 KiB) are built on the first call. */
uint32_t glue_crc_update(uint32_t c, const void* data, size_t n);

#ifdef __cplusplus
}
#endif

#endif
