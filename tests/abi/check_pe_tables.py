#!/usr/bin/env python3
"""Reads a built PE image's export and import tables and checks them.

usage: check_pe_tables.py DLL EXPORTS_LIST
Exports must equal the list exactly; imports may name only Windows system DLLs. The DLL must be
stripped, with a debug link to the file that holds its debug information.
"""
import struct
import sys

# DLLs that every Windows installation has. Anything else (libgcc, libstdc++, winpthread,
# zlib1, ...) would have to be shipped beside the library.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msacm32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "version.dll", "winmm.dll", "ws2_32.dll", "wsock32.dll", "strmiids.dll",
}


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        machine, nsections, _, symtab, nsymbols = struct.unpack_from("<HHIII", data, pe + 4)
        if machine != 0x14C:
            raise ValueError("machine 0x%X is not i386" % machine)
        optsize = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        if struct.unpack_from("<H", data, opt)[0] != 0x10B:
            raise ValueError("not a PE32 image")
        self.dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(16)]
        self.sections = []
        self.names = []
        for i in range(nsections):
            s = opt + optsize + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, rawsize), raw))
            name = data[s:s + 8].rstrip(b"\0")
            if name.startswith(b"/"):  # a long name, kept in the string table after the symbols
                at = symtab + 18 * nsymbols + int(name[1:])
                name = data[at:data.index(b"\0", at)]
            self.names.append(name.decode("ascii"))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError("RVA 0x%X outside every section" % rva)

    def cstr(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("ascii")

    def exports(self):
        rva, size = self.dirs[0]
        if not size:
            return []
        off = self.offset(rva)
        names = struct.unpack_from("<I", self.data, off + 24)[0]
        names_rva = struct.unpack_from("<I", self.data, off + 32)[0]
        table = self.offset(names_rva)
        return [self.cstr(struct.unpack_from("<I", self.data, table + 4 * i)[0]) for i in range(names)]

    def imports(self):
        rva, size = self.dirs[1]
        result = []
        off = self.offset(rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, off)
            if entry == (0, 0, 0, 0, 0):
                return result
            result.append(self.cstr(entry[3]))
            off += 20


def main():
    dll, listfile = sys.argv[1], sys.argv[2]
    with open(dll, "rb") as f:
        pe = PE(f.read())
    expected = [l.strip() for l in open(listfile) if l.strip() and not l.startswith("#")]
    actual = pe.exports()
    failed = 0
    for name in sorted(set(expected) - set(actual)):
        print("missing export: %s" % name)
        failed += 1
    for name in sorted(set(actual) - set(expected)):
        print("unexpected export: %s" % name)
        failed += 1
    if len(actual) != len(set(actual)):
        print("duplicate exports")
        failed += 1
    imports = pe.imports()
    for name in imports:
        if name.lower() not in SYSTEM_DLLS:
            print("imports a DLL that is not part of Windows: %s" % name)
            failed += 1
    debug = [name for name in pe.names if name.startswith(".debug")]
    if debug or ".gnu_debuglink" not in pe.names:
        print("not stripped, or no debug link: sections %s" % ", ".join(pe.names))
        failed += 1
    print("exports: %d checked; imports: %s" % (len(actual), ", ".join(imports)))
    print("%d passed, %d failed" % (1 if not failed else 0, 1 if failed else 0))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
