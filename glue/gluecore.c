#include "gluecore.h"

#include <stdlib.h>
#include <string.h>

/* Line numbers (from 0) of the fixed head of the block. */
enum {
    L_K,
    L_OFFSET,
    L_TITLE,
    L_SOURCE,
    L_SIZE,
    L_CRC,
    L_SETTINGS,
    L_PIECES = L_SETTINGS + 4,
    L_NAMES
};

/* Fewest lines a block can have: the head, a zeros line, one pattern, two "$". */
#define MIN_LINES (L_NAMES + 4)

static int parse_u64(const char* s, uint64_t max, uint64_t* out) {
    uint64_t v = 0;
    if (!*s) return -1;
    for (; *s; s++) {
        unsigned digit = (unsigned)(*s - '0');
        if (digit > 9 || v > (max - digit) / 10) return -1;
        v = v * 10 + digit;
    }
    *out = v;
    return 0;
}

/* The count-of-zeros line may carry blanks around its number. */
static int parse_zeros(const char* s, unsigned* out) {
    char tmp[32];
    size_t len;
    uint64_t v;
    while (*s == ' ' || *s == '\t')
        s++;
    len = strlen(s);
    while (len && (s[len - 1] == ' ' || s[len - 1] == '\t'))
        len--;
    if (len >= sizeof tmp) return -1;
    memcpy(tmp, s, len);
    tmp[len] = 0;
    if (parse_u64(tmp, GLUE_MAX_ZEROS, &v)) return -1;
    *out = (unsigned)v;
    return 0;
}

static int is_dollar(const char* p, size_t len) {
    if (len && p[len - 1] == '\r') len--;
    return len == 1 && p[0] == '$';
}

void glue_free(GlueData* d) {
    free(d->store_);
    free(d->lines_);
    free(d->crc);
    memset(d, 0, sizeof *d);
}

/* Reads a block of exactly blen bytes. Returns NULL or the reason it is unsound. */
static const char* read_block(GlueData* d, const char* buf, size_t blen) {
    size_t n = 0, i, tail, dollar;
    char *s, *p;
    uint64_t v;

    memset(d, 0, sizeof *d);
    if (blen == 0 || buf[blen - 1] != '\n') return "the data block is not terminated";
    if (memchr(buf, 0, blen)) return "the data block holds a NUL byte";
    for (i = 0; i < blen; i++)
        n += buf[i] == '\n';
    if (n < MIN_LINES) return "the data block is too short";

    d->store_ = s = malloc(blen + 1);
    d->lines_ = malloc(n * sizeof *d->lines_);
    if (!s || !d->lines_) return "out of memory";
    memcpy(s, buf, blen);
    s[blen] = 0;
    for (i = 0, p = s; i < n; i++) {
        char* nl = strchr(p, '\n');
        d->lines_[i] = p;
        if (nl > p && nl[-1] == '\r') nl[-1] = 0;
        *nl = 0;
        p = nl + 1;
    }

    char** L = d->lines_;
    if (parse_u64(L[L_K], UINT64_MAX, &d->k)) return "line 1 (piece number) is not a number";
    if (parse_u64(L[L_OFFSET], UINT64_MAX, &d->offset)) return "line 2 (offset) is not a number";
    d->title = L[L_TITLE];
    d->source = L[L_SOURCE];
    if (parse_u64(L[L_SIZE], UINT64_MAX, &d->source_size)) return "line 5 (size) is not a number";
    if (strcmp(L[L_CRC], "1") && strcmp(L[L_CRC], "0")) return "line 6 (checksums) is not 1 or 0";
    d->has_crc = L[L_CRC][0] == '1';
    for (i = 0; i < 4; i++)
        d->setting[i] = L[L_SETTINGS + i];
    if (parse_u64(L[L_PIECES], UINT64_MAX, &d->pieces)) return "line 11 (pieces) is not a number";

    if (strcmp(L[n - 1], "$")) return "the data block does not end with \"$\"";
    tail = d->has_crc ? (size_t)-1 : 0;
    if (d->has_crc && d->pieces <= n) tail = (size_t)d->pieces;
    if (tail > n - MIN_LINES) return "the number of checksums does not match the pieces";
    dollar = n - 2 - tail;
    if (strcmp(L[dollar], "$")) return "the checksums are not enclosed in \"$\" lines";

    d->names = (const char* const*)(L + L_NAMES);
    d->name_count = dollar - L_NAMES;
    if (parse_zeros(d->names[0], &d->zeros)) return "the count of zeros is not a number";

    if (tail) {
        d->crc = malloc(tail * sizeof *d->crc);
        if (!d->crc) return "out of memory";
        for (i = 0; i < tail; i++) {
            if (parse_u64(L[dollar + 1 + i], UINT32_MAX, &v)) return "a checksum is not a number";
            d->crc[i] = (uint32_t)v;
        }
    }
    if (d->k > d->pieces) return "the carried piece is beyond the last piece";
    /* Every piece holds at least one byte, and a source with bytes has a piece. */
    if (d->pieces > d->source_size || (d->source_size && !d->pieces))
        return "the number of pieces does not fit the size";
    return NULL;
}

/* Walks the lines to the end of the block: the head, the names up to the first
 * "$", the checksums, "$". Returns the block length or 0. */
static size_t structural_end(const char* buf, size_t len) {
    size_t pos = 0, line = 0, left = 0;
    int has_crc = 0, in_names = 1;
    uint64_t pieces = 0;
    while (pos < len) {
        const char* p = buf + pos;
        const char* nl = memchr(p, '\n', len - pos);
        size_t n;
        if (!nl) return 0;
        n = (size_t)(nl - p);
        pos += n + 1;
        if (line == L_CRC) has_crc = n && p[0] == '1';
        if (line == L_PIECES) {
            char tmp[24];
            if (n && p[n - 1] == '\r') n--;
            if (n >= sizeof tmp) return 0;
            memcpy(tmp, p, n);
            tmp[n] = 0;
            if (parse_u64(tmp, UINT64_MAX, &pieces)) return 0;
        }
        if (line > L_NAMES + 1 && in_names && is_dollar(p, n)) {
            in_names = 0;
            if (!has_crc) pieces = 0;
        } else if (!in_names) {
            if (left == pieces) return is_dollar(p, n) ? pos : 0;
            left++;
        }
        line++;
    }
    return 0;
}

int glue_parse(const char* buf, size_t len, uint64_t base, GlueData* d, const char** why) {
    const char* reason = NULL;
    const char* nl = memchr(buf, '\n', len);
    size_t end;

    memset(d, 0, sizeof *d);
    /* The offset line says where the block ends; use it when it holds up. */
    if (nl) {
        const char* p = nl + 1;
        const char* nl2 = memchr(p, '\n', len - (size_t)(p - buf));
        char tmp[24];
        size_t n = nl2 ? (size_t)(nl2 - p) : 0;
        uint64_t off;
        if (n && p[n - 1] == '\r') n--;
        if (nl2 && n < sizeof tmp) {
            memcpy(tmp, p, n);
            tmp[n] = 0;
            if (!parse_u64(tmp, UINT64_MAX, &off) && off > base && off - base <= len) {
                reason = read_block(d, buf, (size_t)(off - base));
                if (!reason) {
                    d->block_end = off;
                    d->offset_agrees = 1;
                    return 0;
                }
                glue_free(d);
            }
        }
    }

    end = structural_end(buf, len);
    if (end) {
        const char* r = read_block(d, buf, end);
        if (!r) {
            d->block_end = base + end;
            d->offset_agrees = d->offset == d->block_end;
            return 0;
        }
        glue_free(d);
        if (!reason) reason = r;
    }
    *why = reason ? reason : "the data block is incomplete";
    return -1;
}

const char* glue_last_component(const char* path) {
    const char* last = path;
    for (; *path; path++)
        if (GLUE_IS_SEP(*path)) last = path + 1;
    return last;
}

int glue_expand(const char* pattern, unsigned zeros, uint64_t m, const char* source, char* out,
                size_t cap) {
    const char* base = glue_last_component(source);
    const char* dot = strrchr(base, '.');
    size_t len = 0;
    for (; *pattern; pattern++) {
        char digits[24];
        const char* add = pattern;
        size_t n = 1, pad = 0, i;
        if (*pattern == '*') {
            uint64_t v = m;
            n = sizeof digits;
            do {
                digits[--n] = (char)('0' + v % 10);
                v /= 10;
            } while (v);
            add = digits + n;
            n = sizeof digits - n;
            if (zeros + 1 > n) pad = zeros + 1 - n;
        } else if (*pattern == '/') {
            add = dot ? dot + 1 : "";
            n = strlen(add);
        } else if (*pattern == '\\') {
            add = base;
            n = dot ? (size_t)(dot - base) : strlen(base);
        }
        if (len + pad + n >= cap) return -1;
        for (i = 0; i < pad; i++)
            out[len++] = '0';
        memcpy(out + len, add, n);
        len += n;
    }
    if (len >= cap) return -1;
    out[len] = 0;
    return (int)len;
}

const char* glue_pattern(const GlueData* d, uint64_t m) {
    return d->names[m < d->name_count ? m : d->name_count - 1];
}

uint32_t glue_crc_update(uint32_t c, const void* data, size_t n) {
    /* t[0] is the byte table; t[j][i] is the register after t[0][i] has gone
     * through j more zero bytes, so four bytes take four independent lookups. */
    static uint32_t t[4][256];
    const unsigned char* p = data;
    if (!t[0][1]) {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t r = i;
            for (int b = 0; b < 8; b++)
                r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
            t[0][i] = r;
        }
        for (uint32_t i = 0; i < 256; i++)
            for (int j = 1; j < 4; j++)
                t[j][i] = t[0][t[j - 1][i] & 0xFF] ^ (t[j - 1][i] >> 8);
    }
    for (; n >= 4; n -= 4, p += 4) {
        /* The bytes in the order they come, whatever the machine's byte order. */
        c ^= (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
        c = t[3][c & 0xFF] ^ t[2][(c >> 8) & 0xFF] ^ t[1][(c >> 16) & 0xFF] ^ t[0][c >> 24];
    }
    while (n--)
        c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return c;
}
