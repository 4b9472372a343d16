/* Preloaded into 32-bit Wine processes that run under qemu-i386 (see
 * scripts/setup.sh). At start Wine tries to reserve all memory above 2 GiB,
 * 64 KiB at a time, with MAP_FIXED_NOREPLACE; qemu 7.2 takes that flag for a
 * mere hint and searches its whole address space for each of ~65,000 tries,
 * which makes every process start take a minute. The emulated address space
 * ends just above 2 GiB (QEMU_RESERVED_VA), so those tries can only fail:
 * fail them at once. A 32-bit Windows program never uses that memory. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <sys/mman.h>
#include <sys/types.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

static int beyond_2g(void *addr, int flags)
{
    return (flags & MAP_FIXED_NOREPLACE) && (unsigned long)addr >= 0x80000000ul;
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    static void *(*real)(void *, size_t, int, int, int, off64_t);
    if (beyond_2g(addr, flags)) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    if (!real)
        real = (void *(*)(void *, size_t, int, int, int, off64_t))dlsym(RTLD_NEXT, "mmap64");
    return real(addr, len, prot, flags, fd, off);
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t off)
{
    return mmap64(addr, len, prot, flags, fd, off);
}
