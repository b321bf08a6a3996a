/* The joiner. A joiner file is this program followed by the joiner data and,
 * when the split job asked for it, the bytes of one piece. Run as it stands,
 * it finds the pieces, checks them and writes the original file again. */
#include "gluecore.h"
#include "gluesys.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum {
    EXIT_DONE = 0,
    EXIT_USAGE = 1,
    EXIT_MISSING = 2,
    EXIT_CRC = 3,
    EXIT_SIZE = 4,
    EXIT_EXISTS = 5,
    EXIT_IO = 6,
    EXIT_DATA = 7
};

#define PATH_CAP 4096
#define FIRST_READ (64u << 10) /* first look at the joiner data */
#define DATA_CAP (16u << 20)   /* largest joiner data block read */
#define MAX_PIECES 1000000u
#define MAX_LISTED 10 /* missing pieces named one by one */

typedef unsigned long long ull;

typedef struct Piece {
    char* path; /* NULL for the piece inside the joiner file */
    GsInfo info;
} Piece;

static unsigned char buf[1 << 16];
static char temp[PATH_CAP]; /* the file being written, until it gets its name */
static int tty, pending;
static const char* prog = "glue32.exe";
static Piece* pc;
static uint64_t npc;   /* entries of pc after the first */
static uint32_t* used; /* files already taken as a piece, by piece number */
static size_t used_mask;
static const char** folders;
static GlueData d;
static GsFile sf = GS_NO_FILE;  /* the joiner file itself */
static GsFile in = GS_NO_FILE;  /* the piece being read, when it is a file of its own */
static GsFile out = GS_NO_FILE; /* the file being written */

/* Closes what is open and gives back what was taken, however the join ends. */
static void release(void) {
    if (in != GS_NO_FILE && in != sf) gs_close(in);
    if (out != GS_NO_FILE) gs_close(out);
    if (sf != GS_NO_FILE) gs_close(sf);
    in = out = sf = GS_NO_FILE;
    for (uint64_t m = 0; pc && m <= npc; m++)
        free(pc[m].path);
    free(pc);
    free(used);
    free(folders);
    pc = NULL;
    used = NULL;
    folders = NULL;
    glue_free(&d);
}

static int fail(int code, const char* fmt, ...) {
    va_list ap;
    if (pending) putchar('\n');
    fflush(stdout);
    if (temp[0]) {
        /* Closed first: a file still open cannot be deleted everywhere. */
        if (out != GS_NO_FILE) gs_close(out);
        out = GS_NO_FILE;
        gs_remove(temp);
        gs_guard_temp(NULL);
        temp[0] = 0;
    }
    fputs("Join failed: ", stderr);
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputs("\n", stderr);
    return code;
}

static int join_path(char* out, const char* dir, const char* name) {
    size_t n = strlen(dir);
    char sep[2] = {gs_sep, 0};
    int r = snprintf(out, PATH_CAP, "%s%s%s", dir, n && dir[n - 1] == gs_sep ? "" : sep, name);
    return r >= 0 && r < PATH_CAP ? 0 : -1;
}

/* A path from the root; on Windows also one with a drive letter. */
static int is_absolute(const char* s) {
    return s[0] == gs_sep || (gs_sep == '\\' && (s[0] == '/' || (s[0] && s[1] == ':')));
}

static void usage(const GlueData* d) {
    printf("Usage: %s [-f] [-k] [-t] [-o folder] [folder ...]\n", prog);
    if (d)
        printf("Writes %s again from its %llu pieces.\n", glue_last_component(d->source),
               (ull)d->pieces);
    puts("\n"
         "  folder     look for the pieces in this folder too; folders are searched\n"
         "             in the order given, then the joiner's own folder\n"
         "  -o folder  write the joined file into this folder\n"
         "  -f         replace an existing file of the same name\n"
         "  -k         keep the pieces even when the pack asks to delete them\n"
         "  -t         test only: check every piece, write nothing\n"
         "  -h         show this help\n"
         "\n"
         "Exit codes: 0 done, 1 bad usage, 2 piece missing, 3 CRC mismatch,\n"
         "4 size mismatch, 5 output exists, 6 input/output error,\n"
         "7 joiner data missing or damaged.");
}

/* Finds and reads the joiner data behind the program image. */
static int load_data(GsFile self, uint64_t size, GlueData* d, const char** why) {
    uint64_t base = gs_image_size(self, size), rest;
    size_t len = FIRST_READ, have = 0;
    char* block = NULL;
    if (!base) {
        *why = "cannot tell where the joiner program ends";
        return -1;
    }
    if (base == size) {
        *why = "this is the bare joiner program; it carries no joiner data (the split engine "
               "makes joiner files from it)";
        return -1;
    }
    rest = size - base;
    if (gs_seek(self, base)) {
        *why = gs_error();
        return -1;
    }
    for (;;) {
        char* grown;
        if (len > rest) len = (size_t)rest;
        if (len > DATA_CAP) len = DATA_CAP;
        grown = realloc(block, len);
        if (!grown) {
            free(block);
            *why = "out of memory";
            return -1;
        }
        block = grown;
        while (have < len) {
            long r = gs_read(self, block + have, len - have);
            if (r <= 0) {
                free(block);
                *why = r ? gs_error() : "the joiner file is shorter than it was";
                return -1;
            }
            have += (size_t)r;
        }
        if (!glue_parse(block, len, base, d, why)) {
            /* An offset pointing past what was read may still be the right one. */
            if (d->offset_agrees || d->offset <= base || d->offset - base <= len || len == rest ||
                len == DATA_CAP)
                break;
            glue_free(d);
        }
        if (len == rest || len == DATA_CAP) {
            free(block);
            return -1;
        }
        len *= 4;
    }
    free(block);
    if (!d->k && d->block_end != size) {
        *why = "unexpected bytes follow the joiner data";
        return -1;
    }
    if (d->k && d->block_end >= size) {
        *why = "the piece it should carry is not in the joiner file";
        return -1;
    }
    if (d->pieces > MAX_PIECES) {
        *why = "it lists more pieces than this joiner handles";
        return -1;
    }
    return 0;
}

/* Slot of a file in the table of files taken as pieces: its own, or the
 * empty slot where it belongs. */
static size_t slot_of(const GsInfo* f) {
    uint64_t h = f->id * 0x9E3779B97F4A7C15ull ^ f->volume;
    size_t i = (size_t)(h ^ h >> 29) & used_mask;
    while (used[i] && (pc[used[i]].info.id != f->id || pc[used[i]].info.volume != f->volume))
        i = (i + 1) & used_mask;
    return i;
}

static void progress(uint64_t m, uint64_t n, uint64_t done, uint64_t total) {
    static int last = -1;
    int pct = total ? (int)(done * 100 / total) : 100;
    if (!tty || pct == last) return;
    last = pct;
    printf("\r  [%llu/%llu] %3d%%", (ull)m, (ull)n, pct);
    fflush(stdout);
    pending = 1;
}

static int run(int argc, char** argv) {
    const char* out_opt = NULL;
    size_t nfolders = 0, f;
    int force = 0, keep = 0, test = 0, help = 0, options = 1, rc;
    static char self[PATH_CAP], own[PATH_CAP], outbuf[PATH_CAP], final[PATH_CAP];
    static char path[PATH_CAP], name[PATH_CAP];
    const char *outdir, *why = "", *source;
    char* cut;
    GsInfo si;
    uint64_t m, total = 0, done = 0, missing = 0;

    if (argc > 0 && argv[0][0]) prog = glue_last_component(argv[0]);
    tty = gs_is_terminal();
    folders = calloc((size_t)argc + 1, sizeof *folders);
    if (!folders) return fail(EXIT_IO, "out of memory");
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!options || a[0] != '-' || !a[1]) {
            folders[nfolders++] = a;
            continue;
        }
        if (!strcmp(a, "--")) {
            options = 0;
            continue;
        }
        if (!strcmp(a, "--help")) a = "-h";
        for (const char* c = a + 1; *c; c++) {
            if (*c == 'h')
                help = 1;
            else if (*c == 'f')
                force = 1;
            else if (*c == 'k')
                keep = 1;
            else if (*c == 't')
                test = 1;
            else if (*c == 'o') {
                if (c[1])
                    out_opt = c + 1;
                else if (i + 1 < argc)
                    out_opt = argv[++i];
                else
                    return fail(EXIT_USAGE, "-o needs a folder (-h for help)");
                break;
            } else
                return fail(EXIT_USAGE, "unknown option -%c (-h for help)", *c);
        }
    }

    if (gs_self_path(self, sizeof self, argc > 0 ? argv[0] : NULL))
        return fail(EXIT_IO, "cannot find the joiner's own file");
    strcpy(own, self);
    cut = strrchr(own, gs_sep);
    if (!cut)
        strcpy(own, ".");
    else if (cut == own)
        own[1] = 0; /* the root folder */
    else
        *cut = 0;
    sf = gs_open_read(self);
    if (sf == GS_NO_FILE || gs_info(sf, &si))
        return fail(EXIT_IO, "cannot read %s: %s", self, gs_error());
    rc = load_data(sf, si.size, &d, &why);
    if (help) {
        usage(rc ? NULL : &d);
        return EXIT_DONE;
    }
    if (rc) return fail(EXIT_DATA, "joiner data missing or damaged: %s", why);

    for (f = 0; f < nfolders; f++)
        if (!gs_is_dir(folders[f]))
            return fail(EXIT_USAGE, "%s is not a folder (-h for help)", folders[f]);

    source = glue_last_component(d.source);
    if (!source[0] || !strcmp(source, ".") || !strcmp(source, ".."))
        return fail(EXIT_DATA, "joiner data damaged: the source path has no file name");

    if (out_opt) {
        if (!gs_is_dir(out_opt))
            return fail(EXIT_USAGE,
                        gs_exists(out_opt) ? "the output folder %s is not a folder"
                                           : "the output folder %s does not exist",
                        out_opt);
        outdir = out_opt;
    } else if (d.setting[2][0]) {
        const char* s = d.setting[2];
        if (is_absolute(s) ? snprintf(outbuf, PATH_CAP, "%s", s) >= PATH_CAP
                           : join_path(outbuf, own, s) != 0)
            outbuf[0] = 0;
        outdir = outbuf;
        if (!outbuf[0] || !gs_is_dir(outbuf)) {
            printf("Note: the pack's output folder %s %s here; writing beside the joiner "
                   "instead.\n",
                   s, outbuf[0] && gs_exists(outbuf) ? "is not a folder" : "does not exist");
            outdir = own;
        }
    } else
        outdir = own;
    if (join_path(final, outdir, source)) return fail(EXIT_USAGE, "the output path is too long");

    printf("%s\n", d.setting[0][0] ? d.setting[0] : "Velmora joiner");
    if (d.title[0]) printf("Job:    %s\n", d.title);
    printf("Source: %s, %llu bytes in %llu pieces", source, (ull)d.source_size, (ull)d.pieces);
    if (d.k) printf(" (piece %llu inside this joiner file)", (ull)d.k);
    printf(", %s\n", d.has_crc ? "checked with CRC-32" : "no checksums");
    printf("%s %s\n", test ? "Test:  " : "Output:", test ? "nothing is written" : final);
    if (!d.offset_agrees)
        printf("Note: the joiner data puts piece %llu at byte %llu, but the data ends at byte "
               "%llu; reading it from there.\n",
               (ull)d.k, (ull)d.offset, (ull)d.block_end);
    fflush(stdout);

    if (!test && !force && gs_exists(final))
        return fail(EXIT_EXISTS,
                    "%s already exists; give -f to replace it or -o to write elsewhere", final);

    /* Find every piece before anything is written. */
    pc = calloc((size_t)d.pieces + 1, sizeof *pc);
    npc = pc ? d.pieces : 0;
    for (used_mask = 15; used_mask < 2 * d.pieces; used_mask = used_mask * 2 + 1) {
    }
    used = calloc(used_mask + 1, sizeof *used);
    if (!pc || !used) return fail(EXIT_IO, "out of memory");
    for (m = 1; m <= d.pieces; m++) {
        Piece* p = &pc[m];
        int named = glue_expand(glue_pattern(&d, m), d.zeros, m, d.source, name, sizeof name);
        if (m == d.k) {
            p->info.size = si.size - d.block_end;
            total += p->info.size;
            continue;
        }
        for (f = 0; named > 0 && !p->path && f <= nfolders; f++) {
            GsInfo in;
            size_t s;
            if (join_path(path, f < nfolders ? folders[f] : own, name)) continue;
            rc = gs_path_info(path, &in);
            if (rc == GS_FAIL) printf("Note: cannot look at %s: %s\n", path, gs_error());
            if (rc || (in.volume == si.volume && in.id == si.id)) continue;
            s = slot_of(&in);
            if (used[s]) continue; /* the same file cannot be two pieces */
            p->path = strdup(path);
            if (!p->path) return fail(EXIT_IO, "out of memory");
            p->info = in;
            used[s] = (uint32_t)m;
            total += in.size;
        }
        if (!p->path && ++missing <= MAX_LISTED)
            fprintf(stderr, "Missing: piece %llu (%s)\n", (ull)m, named > 0 ? name : "no name");
    }
    if (missing) {
        fprintf(stderr, "Searched:");
        for (f = 0; f < nfolders; f++)
            fprintf(stderr, " %s", folders[f]);
        fprintf(stderr, " %s\n", own);
        return fail(EXIT_MISSING, "%llu of %llu pieces not found", (ull)missing, (ull)d.pieces);
    }
    if (total != d.source_size)
        return fail(EXIT_SIZE, "the pieces hold %llu bytes together, but the source had %llu",
                    (ull)total, (ull)d.source_size);

    if (!test) {
        out = gs_create_temp(outdir, temp, sizeof temp);
        if (out == GS_NO_FILE)
            return fail(EXIT_IO, "cannot create a file in %s: %s (give -o to write elsewhere)",
                        outdir, gs_error());
    }
    for (m = 1; m <= d.pieces; m++) {
        Piece* p = &pc[m];
        const char* shown = p->path ? p->path : "inside the joiner file";
        uint32_t c = 0xFFFFFFFFu;
        uint64_t got = 0;
        in = p->path ? gs_open_read(p->path) : sf;
        if (in == GS_NO_FILE || (!p->path && gs_seek(sf, d.block_end)))
            return fail(EXIT_IO, "cannot open piece %llu (%s): %s", (ull)m, shown, gs_error());
        for (;;) {
            long r = gs_read(in, buf, sizeof buf);
            if (r < 0)
                return fail(EXIT_IO, "cannot read piece %llu (%s): %s", (ull)m, shown, gs_error());
            if (r == 0 || (got += (uint64_t)r) > p->info.size) break;
            if (d.has_crc) c = glue_crc_update(c, buf, (size_t)r);
            if (out != GS_NO_FILE && gs_write(out, buf, (size_t)r))
                return fail(EXIT_IO, "cannot write into %s: %s", outdir, gs_error());
            done += (uint64_t)r;
            progress(m, d.pieces, done, total);
        }
        if (p->path) gs_close(in);
        in = GS_NO_FILE;
        if (got != p->info.size)
            return fail(EXIT_SIZE, "piece %llu (%s) changed while it was read", (ull)m, shown);
        if (d.has_crc && ~c != d.crc[m - 1])
            return fail(EXIT_CRC,
                        "piece %llu (%s) is damaged: its CRC-32 is %08X, the pack expects %08X",
                        (ull)m, shown, (unsigned)~c, (unsigned)d.crc[m - 1]);
        printf("%s  [%llu/%llu] %s, %llu bytes%s\n", tty ? "\r" : "", (ull)m, (ull)d.pieces, shown,
               (ull)p->info.size, d.has_crc ? ", CRC-32 ok" : "");
        pending = 0;
    }

    if (test) {
        printf("Test passed: all %llu pieces present, %llu bytes%s. Nothing was written.\n",
               (ull)d.pieces, (ull)done, d.has_crc ? ", every CRC-32 matches" : "");
        return EXIT_DONE;
    }
    rc = gs_sync_close(out);
    out = GS_NO_FILE; /* closed even when the close reports a failure */
    if (rc) return fail(EXIT_IO, "cannot finish writing into %s: %s", outdir, gs_error());
    rc = gs_publish(temp, final, force);
    if (rc == GS_EXISTS)
        return fail(EXIT_EXISTS, "%s appeared meanwhile; give -f to replace it", final);
    if (rc) return fail(EXIT_IO, "cannot name the joined file %s: %s", final, gs_error());
    gs_guard_temp(NULL);
    temp[0] = 0;
    printf("Done: %s, %llu bytes%s.\n", final, (ull)done,
           d.has_crc ? ", every piece matched its CRC-32" : "");

    if (!strcmp(d.setting[1], "1")) {
        uint64_t deleted = 0;
        if (keep)
            puts("The pieces are kept (-k).");
        else if (!d.has_crc)
            puts("The pieces are kept: without checksums they cannot be proven sound.");
        else {
            for (m = 1; m <= d.pieces; m++) {
                GsInfo now;
                Piece* p = &pc[m];
                /* Only what is still the very file that was read goes. */
                if (!p->path || gs_path_info(p->path, &now) || now.id != p->info.id ||
                    now.volume != p->info.volume)
                    continue;
                if (gs_remove(p->path))
                    printf("Note: cannot delete %s: %s\n", p->path, gs_error());
                else
                    deleted++;
            }
            printf("Deleted %llu piece files.\n", (ull)deleted);
        }
    }
    if (d.setting[3][0]) printf("%s\n", d.setting[3]);
    return EXIT_DONE;
}

int main(int argc, char** argv) {
    int rc = run(argc, argv);
    release();
    return rc;
}
