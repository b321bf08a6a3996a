/* Everything the joiner asks of the operating system. gluesys_posix.c serves
 * Linux; a Windows build supplies the same functions in a file of its own. */
#ifndef GLUESYS_H
#define GLUESYS_H

#include <stddef.h>
#include <stdint.h>

typedef intptr_t GsFile;
#define GS_NO_FILE ((GsFile)-1)

/* Results of the calls that return an int. */
enum { GS_OK = 0, GS_FAIL = -1, GS_EXISTS = -2, GS_MISSING = -3 };

/* What a file is: its size, and two numbers that tell files apart. */
typedef struct GsInfo {
    uint64_t size;
    uint64_t volume, id;
} GsInfo;

extern const char gs_sep; /* separator written into paths we build */

/* Full path of the running program's own file. */
int gs_self_path(char* out, size_t cap, const char* argv0);
/* End of the program image inside its file (where appended data begins), or 0
 * when the file is not a program image this build understands. */
uint64_t gs_image_size(GsFile f, uint64_t file_size);

GsFile gs_open_read(const char* path);
/* Creates a new, empty file in dir under a name of its own choosing, which it
 * writes into path. The file is removed again if the program is interrupted
 * before gs_guard_temp(NULL). */
GsFile gs_create_temp(const char* dir, char* path, size_t cap);
void gs_guard_temp(const char* path);
long gs_read(GsFile f, void* buf, size_t n); /* bytes read, 0 at the end, -1 on error */
int gs_write(GsFile f, const void* buf, size_t n);
int gs_seek(GsFile f, uint64_t offset);
int gs_info(GsFile f, GsInfo* info);
int gs_close(GsFile f);
int gs_sync_close(GsFile f); /* flushes to the medium before closing */

/* GS_OK for a regular file, GS_MISSING when there is none (or something else
 * of that name), GS_FAIL when it cannot be looked at. */
int gs_path_info(const char* path, GsInfo* info);
int gs_is_dir(const char* path);
int gs_exists(const char* path); /* anything at all of that name */
int gs_remove(const char* path);
/* Gives the file at tmp the name final. Without replace an existing final is
 * left alone and GS_EXISTS returned. */
int gs_publish(const char* tmp, const char* final, int replace);

int gs_is_terminal(void);   /* standard output is a terminal */
const char* gs_error(void); /* text of the last failure */

#endif
