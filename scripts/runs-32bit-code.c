/* Exits 0 where this 64-bit process can run 32-bit x86 code, as Wine's new WoW64 runs a
 * 32-bit Windows program; dies of SIGSEGV where the kernel offers no 32-bit code segment
 * (its ia32 emulation off, or a hypervisor without it). setup.sh runs it under new WoW64. */
#include <sys/mman.h>

int main(void)
{
    /* Code and stack at 32-bit addresses. */
    unsigned char *low = mmap(0, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (low == MAP_FAILED)
        return 2;
    unsigned long back = (unsigned long)low + 16;
    const unsigned char code[] = {
        /* 32-bit: far return to the 64-bit code segment (0x33) at low + 16 */
        0x6A, 0x33,                                                       /* push 0x33 */
        0x68, back & 0xFF, back >> 8 & 0xFF, back >> 16 & 0xFF, back >> 24, /* push back */
        0xCB,                                                             /* retf */
        0, 0, 0, 0, 0, 0, 0, 0,
        /* 64-bit again, at low + 16: exit(0) */
        0xB8, 60, 0, 0, 0,                                                /* mov eax, 60 */
        0x31, 0xFF,                                                       /* xor edi, edi */
        0x0F, 0x05,                                                       /* syscall */
    };
    for (unsigned i = 0; i < sizeof code; i++)
        low[i] = code[i];
    /* Into the user 32-bit code segment (0x23) at low, on a stack at the page's end. */
    __asm__ volatile("mov %0, %%rsp\n\tpushq $0x23\n\tpushq %1\n\tlretq"
                     :: "r"(low + 4096), "r"((unsigned long)low) : "memory");
    return 3;
}
