/* Test support, preloaded into the Wine processes of a test run by
 * scripts/wine-exec.sh: makes reads of a named file fail with EIO, or writes
 * into it fail with ENOSPC (disk full), once N bytes of it lie before the
 * position. The test arms it itself: while the file that TAVORINE_FAULTS names
 * exists, each of its lines, "read NAME N" or "write NAME N", is one fault.
 * NAME is the file's name, in any case, or "*" for every file. "hold NAME N"
 * stops such a read instead, with the file TAVORINE_FAULTS.held standing,
 * until that rule is removed. Every fsync (Wine's flush) is logged to
 * TAVORINE_FAULTS.flushes: a file's name and size, or a directory's name and "/".
 * Wine reads and writes files in the process itself (ntdll's read, pread64,
 * write, pwrite64; pread and pwrite in a 64-bit process), so this is where the
 * fault meets it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static ssize_t (*real_read)(int, void *, size_t);
static ssize_t (*real_pread64)(int, void *, size_t, off64_t);
static ssize_t (*real_write)(int, const void *, size_t);
static ssize_t (*real_pwrite64)(int, const void *, size_t, off64_t);
static int (*real_fsync)(int);

__attribute__((constructor)) static void init(void)
{
    real_read = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
    real_pread64 = (ssize_t (*)(int, void *, size_t, off64_t))dlsym(RTLD_NEXT, "pread64");
    real_write = (ssize_t (*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
    real_pwrite64 = (ssize_t (*)(int, const void *, size_t, off64_t))dlsym(RTLD_NEXT, "pwrite64");
    real_fsync = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
}

/* ASCII only and without the locale: this runs inside Wine's file I/O, where
 * the C library must not load anything. */
static int same_name(const char *pattern, const char *name)
{
    if (strcmp(pattern, "*") == 0)
        return 1;
    for (; *pattern && *name; pattern++, name++) {
        char a = *pattern >= 'A' && *pattern <= 'Z' ? *pattern + 32 : *pattern;
        char b = *name >= 'A' && *name <= 'Z' ? *name + 32 : *name;
        if (a != b)
            return 0;
    }
    return *pattern == *name;
}

/* The name of fd's file, without its folder, into path; NULL if unknown. */
static const char *file_name(int fd, char *path, size_t size)
{
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t len = readlink(link, path, size - 1);
    if (len <= 0)
        return NULL;
    path[len] = '\0';
    return strrchr(path, '/') ? strrchr(path, '/') + 1 : path;
}

/* The limit that the rules set for this kind of access to fd's file, or -1. */
__attribute__((noinline)) static long long limit_from_rules(const char *ctl, int fd, const char *kind)
{
    char path[1024];
    const char *name = file_name(fd, path, sizeof path);
    if (!name)
        return -1;

    char rules[512];
    int cfd = open(ctl, O_RDONLY | O_CLOEXEC);
    if (cfd < 0)
        return -1;
    ssize_t got = real_read(cfd, rules, sizeof rules - 1);
    close(cfd);
    rules[got > 0 ? got : 0] = '\0';

    long long limit = -1;
    char *next;
    for (char *line = strtok_r(rules, "\r\n", &next); line; line = strtok_r(NULL, "\r\n", &next)) {
        char k[8], pattern[64];
        long long n;
        if (sscanf(line, "%7s %63s %lld", k, pattern, &n) == 3 && strcmp(k, kind) == 0 && same_name(pattern, name))
            limit = n;
    }
    return limit;
}

/* Cheap checks first, on a small stack: Wine also talks to its server through
 * read and write, some of it in signal handlers. */
static long long armed_limit(int fd, const char *kind)
{
    const char *ctl = getenv("TAVORINE_FAULTS");
    struct stat st;
    if (!ctl || stat(ctl, &st) != 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return limit_from_rules(ctl, fd, kind);
}

/* Shortens the access to end at the limit; false, with errno set, at or past it. */
static int allowed(int fd, const char *kind, off64_t pos, size_t *count)
{
    long long limit = armed_limit(fd, kind);
    if (limit < 0 || pos < 0)
        return 1;
    if (pos >= limit) {
        errno = strcmp(kind, "write") == 0 ? ENOSPC : EIO;
        return 0;
    }
    if ((long long)(pos + *count) > limit)
        *count = (size_t)(limit - pos);
    return 1;
}

/* A held read waits, at most a minute, for the test to remove its rule. */
static void hold(int fd, off64_t pos)
{
    long long limit = armed_limit(fd, "hold");
    if (limit < 0 || pos < limit)
        return;
    char held[1024];
    snprintf(held, sizeof held, "%s.held", getenv("TAVORINE_FAULTS"));
    close(open(held, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    for (int i = 0; i < 6000 && armed_limit(fd, "hold") >= 0; i++)
        usleep(10000);
    unlink(held);
}

static void log_flush(int fd)
{
    const char *ctl = getenv("TAVORINE_FAULTS");
    char path[1024], log[1024], line[1100];
    struct stat st;
    const char *name = file_name(fd, path, sizeof path);
    if (!ctl || !name || fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
        return;
    snprintf(log, sizeof log, "%s.flushes", ctl);
    int lfd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (lfd < 0)
        return;
    int n = S_ISDIR(st.st_mode) ? snprintf(line, sizeof line, "%s/\n", name)
                                : snprintf(line, sizeof line, "%s %lld\n", name, (long long)st.st_size);
    real_write(lfd, line, (size_t)n);
    close(lfd);
}

int fsync(int fd)
{
    log_flush(fd);
    return real_fsync(fd);
}

ssize_t read(int fd, void *buf, size_t count)
{
    off64_t pos = lseek64(fd, 0, SEEK_CUR);
    hold(fd, pos);
    if (!allowed(fd, "read", pos, &count))
        return -1;
    return real_read(fd, buf, count);
}

ssize_t pread64(int fd, void *buf, size_t count, off64_t pos)
{
    hold(fd, pos);
    if (!allowed(fd, "read", pos, &count))
        return -1;
    return real_pread64(fd, buf, count, pos);
}

ssize_t write(int fd, const void *buf, size_t count)
{
    if (!allowed(fd, "write", lseek64(fd, 0, SEEK_CUR), &count))
        return -1;
    return real_write(fd, buf, count);
}

ssize_t pwrite64(int fd, const void *buf, size_t count, off64_t pos)
{
    if (!allowed(fd, "write", pos, &count))
        return -1;
    return real_pwrite64(fd, buf, count, pos);
}

#if __SIZEOF_LONG__ == 8
/* A 64-bit process, as Wine's new WoW64 runs a 32-bit program in, calls them by these names. */
ssize_t pread(int fd, void *buf, size_t count, off_t pos)
{
    return pread64(fd, buf, count, pos);
}

ssize_t pwrite(int fd, const void *buf, size_t count, off_t pos)
{
    return pwrite64(fd, buf, count, pos);
}
#endif
