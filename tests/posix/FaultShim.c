/* Preloaded into the zorbel command by its tests: makes chosen system calls fail, or slow, as a
 * failing or slow medium would, and sends the command a signal at a chosen point of its run.
 * ZORBEL_FAIL names the calls that fail, with EIO unless "=ENOSPC" (or "=EACCES") follows:
 * "fsync:SUFFIX" (an fsync of a file or folder whose path ends so), "rename:SUFFIX" (a rename onto
 * such a path), "read:SUFFIX" and "write:SUFFIX" (on an open file whose path ends so), "syncfs";
 * several separated by commas. ZORBEL_SLOW=MS makes every fsync take that long.
 * ZORBEL_SIGNAL names the calls before which the command sends itself a signal, SIGINT unless
 * "=HUP" or "=TERM" follows: "fdopendir:SUFFIX" (a folder opened for listing), "rename:SUFFIX".
 * The call then waits until the command's answering thread has taken the signal, and a moment
 * more for its answer, so the signal lands at that point of the run whatever the machine's load. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int EndsWith(const char* text, const char* suffix) {
    size_t a = strlen(text), b = strlen(suffix);
    return a >= b && strcmp(text + a - b, suffix) == 0;
}

/* Whether the list in `variable` names `call` for this path (NULL: any). When it does, `value`
 * holds what follows its "=", or is empty. */
static int Asked(const char* variable, const char* call, const char* path, char* value,
                 size_t size) {
    const char* faults = getenv(variable);
    if (!faults || !strstr(faults, call))
        return 0;
    char list[1024];
    snprintf(list, sizeof list, "%s", faults);
    char* rest = NULL;
    for (char* item = strtok_r(list, ",", &rest); item; item = strtok_r(NULL, ",", &rest)) {
        char* equals = strchr(item, '=');
        if (equals)
            *equals = '\0';
        char* colon = strchr(item, ':');
        if (colon)
            *colon = '\0';
        if (strcmp(item, call) == 0 && (!colon || (path && EndsWith(path, colon + 1)))) {
            snprintf(value, size, "%s", equals ? equals + 1 : "");
            return 1;
        }
    }
    return 0;
}

static void Pause(long milliseconds) {
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

/* -1 with errno as ZORBEL_FAIL asks for the call, or 0 when it asks nothing of it. */
static int Fails(const char* call, const char* path) {
    char value[32];
    if (!Asked("ZORBEL_FAIL", call, path, value, sizeof value))
        return 0;
    errno = strcmp(value, "ENOSPC") == 0 ? ENOSPC : strcmp(value, "EACCES") == 0 ? EACCES : EIO;
    return -1;
}

/* Sends the signal ZORBEL_SIGNAL asks for before the call, and waits for it to be answered. The
 * calling thread holds the signals back, as every thread of the command's run does. */
static void Interrupts(const char* call, const char* path) {
    char value[32];
    if (!Asked("ZORBEL_SIGNAL", call, path, value, sizeof value))
        return;
    int signal = strcmp(value, "HUP") == 0 ? SIGHUP : strcmp(value, "TERM") == 0 ? SIGTERM : SIGINT;
    kill(getpid(), signal);
    sigset_t pending;
    for (int waited = 0; waited < 10000; ++waited) {
        if (sigpending(&pending) != 0 || !sigismember(&pending, signal))
            break;
        Pause(1);
    }
    Pause(300);
}

static void PathOf(int fd, char* path, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t got = readlink(link, path, size - 1);
    path[got > 0 ? got : 0] = '\0';
}

/* Whether ZORBEL_FAIL may ask anything of `call`: the path of every read and write is not looked
 * up for nothing. */
static int Named(const char* call) {
    const char* faults = getenv("ZORBEL_FAIL");
    return faults && strstr(faults, call);
}

int fsync(int fd) {
    const char* slow = getenv("ZORBEL_SLOW");
    if (slow)
        Pause(atol(slow));
    char path[4096];
    PathOf(fd, path, sizeof path);
    if (Fails("fsync", path))
        return -1;
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(fd);
}

int syncfs(int fd) {
    if (Fails("syncfs", NULL))
        return -1;
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "syncfs");
    return real(fd);
}

ssize_t read(int fd, void* data, size_t size) {
    char path[4096];
    if (Named("read")) {
        PathOf(fd, path, sizeof path);
        if (Fails("read", path))
            return -1;
    }
    ssize_t (*real)(int, void*, size_t) = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    return real(fd, data, size);
}

ssize_t write(int fd, const void* data, size_t size) {
    char path[4096];
    if (Named("write")) {
        PathOf(fd, path, sizeof path);
        if (Fails("write", path))
            return -1;
    }
    ssize_t (*real)(int, const void*, size_t) =
        (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    return real(fd, data, size);
}

DIR* fdopendir(int fd) {
    char path[4096];
    PathOf(fd, path, sizeof path);
    Interrupts("fdopendir", path);
    DIR* (*real)(int) = (DIR * (*)(int)) dlsym(RTLD_NEXT, "fdopendir");
    return real(fd);
}

int rename(const char* from, const char* to) {
    Interrupts("rename", to);
    if (Fails("rename", to))
        return -1;
    int (*real)(const char*, const char*) =
        (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    Interrupts("rename", to);
    if (Fails("rename", to))
        return -1;
    int (*real)(int, const char*, int, const char*, unsigned) =
        (int (*)(int, const char*, int, const char*, unsigned))dlsym(RTLD_NEXT, "renameat2");
    return real(fromDir, from, toDir, to, flags);
}
