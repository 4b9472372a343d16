#include "dll_check.h"

#include <stddef.h>
#include <string.h>

namespace {

// Reads exactly size bytes at offset, or fails.
bool ReadAt(HANDLE file, ULONGLONG offset, void* buf, DWORD size) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(file, buf, size, &got, &at) && got == size;
}

// Where len bytes at rva lie in the file, if a section holds them all there.
bool RvaToOffset(const BYTE* table, DWORD sections, DWORD rva, DWORD len, DWORD* offset) {
    for (DWORD i = 0; i < sections; i++) {
        IMAGE_SECTION_HEADER s;
        memcpy(&s, table + i * sizeof s, sizeof s);
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.SizeOfRawData &&
            len <= s.SizeOfRawData - (rva - s.VirtualAddress)) {
            *offset = s.PointerToRawData + (rva - s.VirtualAddress);
            return true;
        }
    }
    return false;
}

// The export directory names the library, in any capitals: another library's
// bytes under this name would leave its importers without their functions.
bool ExportsAs(HANDLE file, const BYTE* table, DWORD sections, const IMAGE_DATA_DIRECTORY& exports,
               const char* name) {
    IMAGE_EXPORT_DIRECTORY dir;
    char found[MAX_PATH];
    DWORD len = static_cast<DWORD>(strlen(name)) + 1, at;
    return exports.Size >= sizeof dir && RvaToOffset(table, sections, exports.VirtualAddress, sizeof dir, &at) &&
           ReadAt(file, at, &dir, sizeof dir) && RvaToOffset(table, sections, dir.Name, len, &at) &&
           ReadAt(file, at, found, len) && found[len - 1] == '\0' && _stricmp(found, name) == 0;
}

const DWORD Chunk = 65536;

// Data that a download never wrote: a download manager or torrent client that
// gave the file its full size first leaves zeros where the data should be.
// The genuine libraries' longest run of zeros is about 8 KB.
const DWORD MissingData = 65536;

// One read of the whole file, chunk by chunk (the first chunk is already in
// the buffer), for the sum behind the PE checksum and the longest run of zero
// bytes. The checksum adds the file's 16-bit words with every carry folded
// back in, so the words can be added four bytes at a time and folded once at
// the end; the field is taken out by its two words, as imagehlp takes it out.
// The sum is left below 0xFFFF. No position passes the size, so none can wrap.
bool ReadWhole(HANDLE file, DWORD size, BYTE* chunk, DWORD field, DWORD* sum, DWORD* longestZeros) {
    ULONGLONG total = 0;
    DWORD zeros = 0, longest = 0, n;
    for (DWORD at = 0; at < size; at += n) {
        n = size - at < Chunk ? size - at : Chunk;
        if (at > 0 && !ReadAt(file, at, chunk, n))
            return false;
        memset(chunk + n, 0, 3);  // a short last group of four ends in zeros, which add nothing
        for (DWORD i = 0; i < n; i += 4) {
            DWORD four;
            memcpy(&four, chunk + i, 4);
            total += four;
            if (four == 0) {
                zeros += 4;
                continue;
            }
            zeros += __builtin_ctz(four) / 8;  // its first bytes end a run
            if (zeros > longest)
                longest = zeros;
            zeros = __builtin_clz(four) / 8;  // its last bytes start one
        }
    }
    zeros -= (4 - size % 4) % 4;  // those padding zeros are no bytes of the file
    while (total > 0xFFFF)
        total = (total & 0xFFFF) + (total >> 16);
    *sum = (static_cast<DWORD>(total) + 0xFFFF - field % 0xFFFF) % 0xFFFF;
    *longestZeros = zeros > longest ? zeros : longest;
    return true;
}

// The field holds the sum plus the file's length, the sum folded to 16 bits.
// Ones' complement has two zeros, 0 and 0xFFFF: linkers and imagehlp write
// either.
bool ChecksumIs(DWORD field, DWORD sum, DWORD size) {
    DWORD folded = field - size;
    return folded <= 0xFFFF && folded % 0xFFFF == sum;
}

}  // namespace

// A whole 32-bit x86 DLL that is the library it is named as: the signatures,
// machine, DLL flag and PE32 optional header; every section's raw data and the
// certificate table in the file; the export directory naming the library. A
// checksum field that matches the bytes says the file is as it was linked. The
// loader never checks it, and tools that append data, strip a signature or
// edit a header leave it stale, so a field of 0 or one that does not match
// refuses only a file that holds data a download left out. Headers lie in the
// first chunk; three bytes more let ReadWhole pad the last group of four.
bool IsWholeDll(HANDLE file, DWORD size, const char* name) {
    BYTE chunk[Chunk + 3];
    DWORD first = size < Chunk ? size : Chunk;
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    if (first < sizeof dos || !ReadAt(file, 0, chunk, first))
        return false;
    memcpy(&dos, chunk, sizeof dos);
    DWORD at = static_cast<DWORD>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || at > first || first - at < sizeof nt)
        return false;
    memcpy(&nt, chunk + at, sizeof nt);
    const IMAGE_OPTIONAL_HEADER32& opt = nt.OptionalHeader;
    DWORD table = at + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    DWORD sections = nt.FileHeader.NumberOfSections;
    if (nt.Signature != IMAGE_NT_SIGNATURE || nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
        !(nt.FileHeader.Characteristics & IMAGE_FILE_DLL) || opt.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
        nt.FileHeader.SizeOfOptionalHeader < sizeof opt || opt.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT ||
        table > first || (first - table) / sizeof(IMAGE_SECTION_HEADER) < sections)
        return false;
    for (DWORD i = 0; i < sections; i++) {
        IMAGE_SECTION_HEADER s;
        memcpy(&s, chunk + table + i * sizeof s, sizeof s);
        if (ULONGLONG(s.PointerToRawData) + s.SizeOfRawData > size)
            return false;
    }
    const IMAGE_DATA_DIRECTORY& certificates = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    if (opt.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY &&
        ULONGLONG(certificates.VirtualAddress) + certificates.Size > size)
        return false;
    // The export directory is read with small buffers of its own: the chunk
    // still holds the start of the file for the checksum.
    if (!ExportsAs(file, chunk + table, sections, opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT], name))
        return false;
    DWORD sum, zeros;
    if (!ReadWhole(file, size, chunk, opt.CheckSum, &sum, &zeros))
        return false;
    return (opt.CheckSum != 0 && ChecksumIs(opt.CheckSum, sum, size)) || zeros < MissingData;
}
