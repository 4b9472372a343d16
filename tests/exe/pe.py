"""Just enough of the PE format to check what Tavorine.exe is made of."""
import struct


class Pe:
    def __init__(self, data):
        self.data = data
        off = struct.unpack_from("<I", data, 0x3C)[0]
        if data[off:off + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        (self.machine, nsect, self.timestamp, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, off + 4)
        self.opt = off + 24
        self.magic = struct.unpack_from("<H", data, self.opt)[0]
        self.checksum_offset = self.opt + 64
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, self.opt + 68)
        ndirs = struct.unpack_from("<I", data, self.opt + 92)[0]
        self.dirs = [struct.unpack_from("<II", data, self.opt + 96 + 8 * i) for i in range(ndirs)]
        self.sections = []
        s = self.opt + opt_size
        for i in range(nsect):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, s + 40 * i)
            chars = struct.unpack_from("<I", data, s + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), va, max(vsize, rawsize), rawptr, chars))

    def offset(self, rva):
        for _, va, size, rawptr, _ in self.sections:
            if va <= rva < va + size:
                return rva - va + rawptr
        raise ValueError(f"rva {rva:#x} is in no section")

    def cstring(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("latin-1")

    def imports(self):
        rva, size = self.dirs[1]
        names = []
        o = self.offset(rva) if size else None
        while o is not None:
            name_rva = struct.unpack_from("<I", self.data, o + 12)[0]
            if name_rva == 0:
                break
            names.append(self.cstring(name_rva))
            o += 20
        return names

    def resources(self):
        """(type, name, language, data) for every resource; ids as ints, names as str."""
        rva, size = self.dirs[2]
        if not size:
            return []
        base = self.offset(rva)
        out = []

        def entries(o):
            named, ided = struct.unpack_from("<HH", self.data, o + 12)
            for i in range(named + ided):
                ident, target = struct.unpack_from("<II", self.data, o + 16 + 8 * i)
                if ident & 0x80000000:
                    p = base + (ident & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, p)[0]
                    ident = self.data[p + 2:p + 2 + 2 * n].decode("utf-16-le")
                yield ident, target

        for rtype, t in entries(base):
            for name, n in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + leaf)
                    o = self.offset(data_rva)
                    out.append((rtype, name, lang, self.data[o:o + data_size]))
        return out
