#!/usr/bin/env python3
"""What Tavorine.exe is as a file: a small 32-bit GUI program that needs
nothing but system DLLs, hardened with ASLR and DEP, free of timestamps,
with Japanese resources, no manifest, no version record, and an icon group
of eight images."""
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe import Pe  # noqa: E402

EXE = ""
BUILD_PATHS = []  # the source and build trees, which must not show in the file
RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll"}
MAX_SIZE = 48 * 1024
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
RELOCS_STRIPPED = 0x1
SCN_EXECUTE, SCN_WRITE = 0x20000000, 0x80000000


class ExeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.pe = Pe(f.read())
        cls.res = cls.pe.resources()

    def test_is_a_32_bit_gui_program(self):
        self.assertEqual(self.pe.machine, 0x14C)
        self.assertEqual(self.pe.magic, 0x10B)
        self.assertEqual(self.pe.subsystem, 2)

    def test_imports_only_system_dlls(self):
        imports = {n.lower() for n in self.pe.imports()}
        self.assertTrue(imports, "no imports found")
        self.assertLessEqual(imports, SYSTEM_DLLS)
        self.assertEqual(self.pe.dirs[13][1], 0, "delay-loaded imports")

    def test_is_small(self):
        self.assertLessEqual(len(self.pe.data), MAX_SIZE)

    def test_is_hardened(self):
        self.assertTrue(self.pe.dll_characteristics & DYNAMIC_BASE, "no ASLR")
        self.assertTrue(self.pe.dll_characteristics & NX_COMPAT, "no DEP")
        self.assertFalse(self.pe.characteristics & RELOCS_STRIPPED, "relocations stripped")
        self.assertGreater(self.pe.dirs[5][1], 0, "no relocation table")
        for name, _, _, _, chars in self.pe.sections:
            both = chars & SCN_EXECUTE and chars & SCN_WRITE
            self.assertFalse(both, f"section {name} is writable and executable")

    def test_holds_no_timestamp_or_debug_record(self):
        self.assertEqual(self.pe.timestamp, 0)
        self.assertEqual(self.pe.dirs[6][1], 0, "debug directory")
        rsrc = self.pe.offset(self.pe.dirs[2][0])
        self.assertEqual(struct.unpack_from("<I", self.pe.data, rsrc + 4)[0], 0, "resource timestamp")
        for tree in BUILD_PATHS:
            self.assertNotIn(os.fsencode(tree), self.pe.data, "a build path")

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
