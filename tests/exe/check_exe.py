#!/usr/bin/env python3
"""What Tavorine.exe is as a file: a small 32-bit GUI program that needs
nothing but system DLLs, hardened with ASLR and DEP, free of timestamps,
with Japanese resources, no manifest, no version record, and an icon group
of eight images."""
import os
import struct
import sys
import unittest

import pefile

EXE = ""
BUILD_PATHS = []  # the source and build trees, which must not show in the file
RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
RELOCATIONS, DEBUG, DELAY_IMPORTS = 5, 6, 13  # data directories
# The imports allowed, by DLL: Windows 2000's exports among the functions that Tavorine and
# mingw-w64's start-up code call, Debian 12's, 13's and sid's (command-line parsing adds
# _ismbblead on 13, IsDBCSLeadByte on sid; sid's reaches the environment and stdio through
# __p___initenv, __p__iob, setvbuf, fflush and atexit), its stack-protector and TLS support
# included. Windows 2000 is the oldest Windows the program runs on; what it lacks
# (GetTickCount64, SetDllDirectoryA, _set_invalid_parameter_handler) fails the test.
WINDOWS_2000 = {
    "advapi32.dll": "GetTokenInformation OpenProcessToken SetTokenInformation",
    "kernel32.dll": "CloseHandle CopyFileA CreateFileA DeleteCriticalSection DeleteFileA EnterCriticalSection "
                    "FindClose FindFirstFileA FlushFileBuffers FreeLibrary GetCurrentProcess GetCurrentProcessId "
                    "GetCurrentThreadId GetFileAttributesExA GetFileSize GetLastError GetModuleHandleA "
                    "GetModuleHandleW GetProcAddress GetStartupInfoA GetSystemDirectoryA GetSystemTimeAsFileTime "
                    "GetTickCount InitializeCriticalSection IsDBCSLeadByte IsDebuggerPresent LeaveCriticalSection LoadLibraryA "
                    "MoveFileA MultiByteToWideChar QueryPerformanceCounter ReadFile SetFileAttributesA SetLastError "
                    "SetUnhandledExceptionFilter Sleep TerminateProcess TlsGetValue UnhandledExceptionFilter "
                    "VirtualProtect VirtualQuery",
    "msvcrt.dll": "__dllonexit __getmainargs __initenv __p___initenv __p__acmdln __p__commode __p__fmode __p__iob "
                  "__set_app_type __setusermatherr _amsg_exit _cexit _controlfp _errno _fpreset _initterm _iob "
                  "_ismbblead _lock _onexit _stricmp _unlock _vsnprintf abort atexit calloc exit fflush fprintf free "
                  "fwrite malloc memcpy realloc setvbuf signal strlen strncmp vfprintf",
    "user32.dll": "DialogBoxParamW EndDialog GetDlgItem GetWindowLongA MessageBoxA MessageBoxW SetWindowTextA "
                  "SetWindowTextW",
}
MAX_SIZE = 48 * 1024
DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE = 0x40, 0x100, 0x8000
RELOCS_STRIPPED = 0x1
SCN_EXECUTE, SCN_WRITE = 0x20000000, 0x80000000


def resources(pe):
    """(type, name, language, data) for every resource; ids as ints, names as str."""
    def key(entry):
        return entry.id if entry.id is not None else str(entry.name)

    out = []
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                leaf = lang.data.struct
                out.append((key(rtype), key(name), lang.id, pe.get_data(leaf.OffsetToData, leaf.Size)))
    return out


class ExeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.data = f.read()
        cls.pe = pefile.PE(data=cls.data)
        cls.opt = cls.pe.OPTIONAL_HEADER
        cls.res = resources(cls.pe)

    def dir_size(self, index):
        return self.opt.DATA_DIRECTORY[index].Size

    def test_is_a_32_bit_gui_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, 0x14C)
        self.assertEqual(self.opt.Magic, 0x10B)
        self.assertEqual(self.opt.Subsystem, 2)

    def test_loads_on_windows_2000(self):
        self.assertLessEqual((self.opt.MajorSubsystemVersion, self.opt.MinorSubsystemVersion), (5, 0))
        self.assertLessEqual((self.opt.MajorOperatingSystemVersion, self.opt.MinorOperatingSystemVersion), (5, 0))
        entries = getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])
        self.assertTrue(entries, "no imports found")
        for e in entries:
            dll = e.dll.decode().lower()
            self.assertIn(dll, WINDOWS_2000)
            names = {i.name.decode() if i.name else f"#{i.ordinal}" for i in e.imports}
            self.assertLessEqual(names, set(WINDOWS_2000[dll].split()), dll)
        self.assertEqual(self.dir_size(DELAY_IMPORTS), 0, "delay-loaded imports")

    def test_is_small(self):
        self.assertLessEqual(len(self.data), MAX_SIZE)

    def test_is_hardened(self):
        self.assertTrue(self.opt.DllCharacteristics & DYNAMIC_BASE, "no ASLR")
        self.assertTrue(self.opt.DllCharacteristics & NX_COMPAT, "no DEP")
        self.assertTrue(self.opt.DllCharacteristics & TERMINAL_SERVER_AWARE, "not terminal-server aware")
        self.assertFalse(self.pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED, "relocations stripped")
        self.assertGreater(self.dir_size(RELOCATIONS), 0, "no relocation table")
        for section in self.pe.sections:
            both = section.Characteristics & SCN_EXECUTE and section.Characteristics & SCN_WRITE
            self.assertFalse(both, f"section {section.Name.decode('latin-1')} is writable and executable")

    def test_holds_no_timestamp_or_debug_record(self):
        self.assertEqual(self.pe.FILE_HEADER.TimeDateStamp, 0)
        self.assertEqual(self.dir_size(DEBUG), 0, "debug directory")
        self.assertEqual(self.pe.DIRECTORY_ENTRY_RESOURCE.struct.TimeDateStamp, 0, "resource timestamp")
        for tree in BUILD_PATHS:
            self.assertNotIn(os.fsencode(tree), self.data, "a build path")

    def test_resources_are_japanese_without_manifest_or_version(self):
        types = {r[0] for r in self.res}
        self.assertNotIn(RT_MANIFEST, types)
        self.assertNotIn(RT_VERSION, types)
        self.assertEqual({r[2] for r in self.res}, {1041})
        dialogs = {r[1] for r in self.res if r[0] == RT_DIALOG}
        self.assertEqual(dialogs, {103, 108})

    def test_first_icon_group_holds_the_eight_images(self):
        groups = [r for r in self.res if r[0] == RT_GROUP_ICON]
        self.assertEqual(groups[0][1], 107)
        data = groups[0][3]
        count = struct.unpack_from("<H", data, 4)[0]
        icons = {r[1]: r[3] for r in self.res if r[0] == RT_ICON}
        images = []
        for i in range(count):
            w, h, _, _, _, bpp, size, ident = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            header = struct.unpack_from("<IiiHH", icons[ident], 0)
            self.assertEqual((header[1], header[2], header[4]), (w, 2 * h, bpp), f"image {ident}")
            images.append((w, bpp))
        self.assertEqual(sorted(images), sorted([(32, 4), (16, 4), (48, 8), (32, 8), (16, 8),
                                                 (48, 32), (32, 32), (16, 32)]))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: check_exe.py EXE [SOURCE_DIR BUILD_DIR]")
    EXE = sys.argv.pop(1)
    while len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        BUILD_PATHS.append(sys.argv.pop(1))
    unittest.main(verbosity=1)
