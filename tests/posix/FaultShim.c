/* Preloaded into the zorbel command by its tests: makes chosen system calls fail, or slow, as a
 * failing or slow medium would. ZORBEL_FAIL names the calls that fail with EIO: "fsync:SUFFIX"
 * (an fsync of a file or folder whose path ends so), "rename:SUFFIX" (a rename onto such a
 * path), "syncfs"; several separated by commas. ZORBEL_SLOW=MS makes every fsync take that long. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int EndsWith(const char* text, const char* suffix) {
    size_t a = strlen(text), b = strlen(suffix);
    return a >= b && strcmp(text + a - b, suffix) == 0;
}

/* Whether ZORBEL_FAIL asks `call` to fail for this path (NULL: any). */
static int Asked(const char* call, const char* path) {
    const char* faults = getenv("ZORBEL_FAIL");
    if (!faults)
        return 0;
    char list[1024];
    snprintf(list, sizeof list, "%s", faults);
    for (char* item = strtok(list, ","); item; item = strtok(NULL, ",")) {
        char* colon = strchr(item, ':');
        if (colon)
            *colon = '\0';
        if (strcmp(item, call) == 0 && (!colon || (path && EndsWith(path, colon + 1))))
            return 1;
    }
    return 0;
}

static int Fail(void) {
    errno = EIO;
    return -1;
}

static void PathOf(int fd, char* path, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t got = readlink(link, path, size - 1);
    path[got > 0 ? got : 0] = '\0';
}

int fsync(int fd) {
    const char* slow = getenv("ZORBEL_SLOW");
    if (slow) {
        struct timespec pause = {0, atol(slow) * 1000000L};
        nanosleep(&pause, NULL);
    }
    char path[4096];
    PathOf(fd, path, sizeof path);
    if (Asked("fsync", path))
        return Fail();
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(fd);
}

int syncfs(int fd) {
    if (Asked("syncfs", NULL))
        return Fail();
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "syncfs");
    return real(fd);
}

int rename(const char* from, const char* to) {
    if (Asked("rename", to))
        return Fail();
    int (*real)(const char*, const char*) =
        (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    if (Asked("rename", to))
        return Fail();
    int (*real)(int, const char*, int, const char*, unsigned) =
        (int (*)(int, const char*, int, const char*, unsigned))dlsym(RTLD_NEXT, "renameat2");
    return real(fromDir, from, toDir, to, flags);
}
