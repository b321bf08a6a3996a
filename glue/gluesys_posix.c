/* The joiner's operating-system calls for Linux. */
#define _GNU_SOURCE
#include "gluesys.h"

#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

const char gs_sep = '/';

int gs_self_path(char* out, size_t cap, const char* argv0) {
    ssize_t n = readlink("/proc/self/exe", out, cap - 1);
    if (n > 0 && (size_t)n < cap - 1) {
        out[n] = 0;
        return GS_OK;
    }
    /* Without /proc, argv[0] names the file when it was started by a path. */
    char full[PATH_MAX];
    if (argv0 && strchr(argv0, '/') && realpath(argv0, full) && strlen(full) < cap) {
        strcpy(out, full);
        return GS_OK;
    }
    return GS_FAIL;
}

static int read_at(int fd, uint64_t off, void* buf, size_t n) {
    return pread(fd, buf, n, (off_t)off) == (ssize_t)n;
}

static uint64_t max_u64(uint64_t a, uint64_t b) {
    return a > b ? a : b;
}

/* The image ends with the last byte that its header, program headers or
 * section headers account for; a linked and stripped program ends with its
 * section header table. */
#define ELF_END(NAME, Ehdr, Phdr, Shdr)                                                            \
    static uint64_t NAME(int fd, uint64_t size) {                                                  \
        Ehdr eh;                                                                                   \
        uint64_t end, count;                                                                       \
        if (!read_at(fd, 0, &eh, sizeof eh) || eh.e_phnum == PN_XNUM) return 0;                    \
        if ((eh.e_phnum && eh.e_phentsize < sizeof(Phdr)) ||                                       \
            (eh.e_shoff && eh.e_shentsize < sizeof(Shdr)))                                         \
            return 0;                                                                              \
        if (eh.e_phoff > size || eh.e_shoff > size) return 0;                                      \
        count = eh.e_shnum;                                                                        \
        if (eh.e_shoff && !count) {                                                                \
            Shdr first;                                                                            \
            if (!read_at(fd, eh.e_shoff, &first, sizeof first)) return 0;                          \
            count = first.sh_size;                                                                 \
        }                                                                                          \
        if (count > size) return 0;                                                                \
        end = max_u64(eh.e_ehsize, eh.e_phoff + (uint64_t)eh.e_phnum * eh.e_phentsize);            \
        if (eh.e_shoff) end = max_u64(end, eh.e_shoff + count * eh.e_shentsize);                   \
        for (uint64_t i = 0; i < eh.e_phnum && end <= size; i++) {                                 \
            Phdr ph;                                                                               \
            if (!read_at(fd, eh.e_phoff + i * eh.e_phentsize, &ph, sizeof ph)) return 0;           \
            if (ph.p_offset > size || ph.p_filesz > size) return 0;                                \
            end = max_u64(end, (uint64_t)ph.p_offset + ph.p_filesz);                               \
        }                                                                                          \
        for (uint64_t i = 0; eh.e_shoff && i < count && end <= size; i++) {                        \
            Shdr sh;                                                                               \
            if (!read_at(fd, eh.e_shoff + i * eh.e_shentsize, &sh, sizeof sh)) return 0;           \
            if (sh.sh_type == SHT_NOBITS) continue;                                                \
            if (sh.sh_offset > size || sh.sh_size > size) return 0;                                \
            end = max_u64(end, (uint64_t)sh.sh_offset + sh.sh_size);                               \
        }                                                                                          \
        return end <= size ? end : 0;                                                              \
    }

/* The program only ever reads its own image, which has the build's word size. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define IMAGE_CLASS ELFCLASS64
ELF_END(image_end, Elf64_Ehdr, Elf64_Phdr, Elf64_Shdr)
#else
#define IMAGE_CLASS ELFCLASS32
ELF_END(image_end, Elf32_Ehdr, Elf32_Phdr, Elf32_Shdr)
#endif

uint64_t gs_image_size(GsFile f, uint64_t file_size) {
    unsigned char id[EI_NIDENT];
    const uint16_t probe = 1;
    int little = *(const unsigned char*)&probe == 1;
    if (!read_at((int)f, 0, id, sizeof id) || memcmp(id, ELFMAG, SELFMAG)) return 0;
    if (id[EI_DATA] != (little ? ELFDATA2LSB : ELFDATA2MSB) || id[EI_CLASS] != IMAGE_CLASS)
        return 0;
    return image_end((int)f, file_size);
}

GsFile gs_open_read(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? GS_NO_FILE : (GsFile)fd;
}

static char guarded[4096];

static void on_signal(int sig) {
    if (guarded[0]) unlink(guarded);
    signal(sig, SIG_DFL);
    raise(sig);
}

void gs_guard_temp(const char* path) {
    static int installed;
    if (!path || !path[0]) {
        guarded[0] = 0;
        return;
    }
    if (!installed) {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_handler = on_signal;
        sigaction(SIGINT, &sa, NULL);
        sigaction(SIGTERM, &sa, NULL);
        sigaction(SIGHUP, &sa, NULL);
        installed = 1;
    }
    /* The handler may run at any moment: it must never see half a name. */
    guarded[0] = 0;
    snprintf(guarded + 1, sizeof guarded - 1, "%s", path + 1);
    guarded[0] = path[0];
}

GsFile gs_create_temp(const char* dir, char* path, size_t cap) {
    for (int i = 0; i < 1000; i++) {
        int n = snprintf(path, cap, "%s/.glue%ld-%d.tmp", dir, (long)getpid(), i);
        int fd;
        if (n < 0 || (size_t)n >= cap || n >= (int)sizeof guarded) {
            errno = ENAMETOOLONG;
            return GS_NO_FILE;
        }
        fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            gs_guard_temp(path);
            return (GsFile)fd;
        }
        if (errno != EEXIST) return GS_NO_FILE;
    }
    return GS_NO_FILE;
}

long gs_read(GsFile f, void* buf, size_t n) {
    ssize_t r;
    do
        r = read((int)f, buf, n);
    while (r < 0 && errno == EINTR);
    return (long)r;
}

int gs_write(GsFile f, const void* buf, size_t n) {
    const char* p = buf;
    while (n) {
        ssize_t w = write((int)f, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return GS_FAIL;
        }
        p += w;
        n -= (size_t)w;
    }
    return GS_OK;
}

int gs_seek(GsFile f, uint64_t offset) {
    return lseek((int)f, (off_t)offset, SEEK_SET) == (off_t)offset ? GS_OK : GS_FAIL;
}

static void fill_info(const struct stat* st, GsInfo* info) {
    info->size = (uint64_t)st->st_size;
    info->volume = (uint64_t)st->st_dev;
    info->id = (uint64_t)st->st_ino;
}

int gs_info(GsFile f, GsInfo* info) {
    struct stat st;
    if (fstat((int)f, &st)) return GS_FAIL;
    fill_info(&st, info);
    return GS_OK;
}

int gs_close(GsFile f) {
    return close((int)f) ? GS_FAIL : GS_OK;
}

int gs_sync_close(GsFile f) {
    int ok = fsync((int)f) == 0 || errno == EINVAL; /* some devices cannot sync */
    if (close((int)f)) ok = 0;
    return ok ? GS_OK : GS_FAIL;
}

int gs_path_info(const char* path, GsInfo* info) {
    struct stat st;
    if (stat(path, &st)) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return GS_MISSING;
        return GS_FAIL;
    }
    if (!S_ISREG(st.st_mode)) return GS_MISSING;
    fill_info(&st, info);
    return GS_OK;
}

int gs_is_dir(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int gs_exists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

int gs_remove(const char* path) {
    return unlink(path) ? GS_FAIL : GS_OK;
}

int gs_publish(const char* tmp, const char* final, int replace) {
    if (replace) return rename(tmp, final) ? GS_FAIL : GS_OK;
    /* A hard link never replaces anything, so no other program can slip a
     * file in between a check and the rename. */
    if (link(tmp, final) == 0) {
        unlink(tmp);
        return GS_OK;
    }
    if (errno == EEXIST) return GS_EXISTS;
    /* File systems without hard links (FAT on removable disks) */
    if (gs_exists(final)) return GS_EXISTS;
    return rename(tmp, final) ? GS_FAIL : GS_OK;
}

int gs_is_terminal(void) {
    return isatty(1);
}

const char* gs_error(void) {
    return strerror(errno);
}
