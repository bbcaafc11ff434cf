#!/usr/bin/env python3
"""Checks the MSVC import library against the DLL's export table.

usage: check_import_library.py LIB DLL
Every member must be for i386; the names it imports must be exactly the DLL's exports, each
under the symbol an MSVC caller references: "_Name" for a cdecl C function, the decorated name
itself for a C++ function ("?Name@@..."). llvm-nm must list each symbol and its __imp_ pointer.
"""
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "abi"))
from check_pe_tables import PE  # noqa: E402

I386 = 0x14C


def members(data):
    if not data.startswith(b"!<arch>\n"):
        raise ValueError("not an archive")
    at = 8
    while at + 60 <= len(data):
        name = data[at:at + 16].decode("ascii").strip()
        size = int(data[at + 48:at + 58].decode("ascii"))
        yield name, data[at + 60:at + 60 + size]
        at += 60 + size + (size & 1)


def import_name(symbol, name_type):
    if name_type == 1:  # as it stands
        return symbol
    if name_type == 2:  # without its prefix character
        return symbol[1:] if symbol[:1] in "?@_" else symbol
    if name_type == 3:  # without prefix and without the "@..." suffix
        return (symbol[1:] if symbol[:1] in "?@_" else symbol).split("@")[0]
    raise ValueError("name type %d of %s" % (name_type, symbol))


def main():
    lib, dll = sys.argv[1], sys.argv[2]
    with open(dll, "rb") as f:
        exports = set(PE(f.read()).exports())
    failures = []
    imported = {}
    with open(lib, "rb") as f:
        for name, body in members(f.read()):
            if name in ("/", "//"):
                continue  # the linker's symbol indexes
            if body[:4] == b"\0\0\xff\xff":  # a short import record
                machine, = struct.unpack_from("<H", body, 6)
                kind, = struct.unpack_from("<H", body, 18)
                symbol, target = body[20:].split(b"\0")[:2]
                symbol = symbol.decode("ascii")
                if target != b"Trelvox.dll":
                    failures.append("%s imports from %s" % (symbol, target.decode("ascii")))
                imported[import_name(symbol, (kind >> 2) & 7)] = symbol
            else:
                machine, = struct.unpack_from("<H", body, 0)
            if machine != I386:
                failures.append("member %s has machine 0x%X, not i386" % (name, machine))
    for name in sorted(exports - set(imported)):
        failures.append("export %s is not in the import library" % name)
    for name in sorted(set(imported) - exports):
        failures.append("the import library names %s, which the DLL does not export" % name)
    for name, symbol in sorted(imported.items()):
        wanted = name if name.startswith("?") else "_" + name
        if symbol != wanted:
            failures.append("%s is imported as %s, MSVC callers reference %s" % (name, symbol, wanted))
    listed = set(subprocess.run(["llvm-nm", "--defined-only", "-j", lib], check=True, capture_output=True,
                                text=True).stdout.split())
    for symbol in sorted(imported.values()):
        for wanted in (symbol, "__imp_" + symbol):
            if wanted not in listed:
                failures.append("llvm-nm does not list %s" % wanted)
    for line in failures:
        print(line)
    print("import library: %d names checked against %d exports, %d failures" % (len(imported), len(exports),
                                                                              len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
