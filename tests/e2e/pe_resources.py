#!/usr/bin/env python3
"""pe_resources.py EXE TYPE [OUT_DIR]: lists the resources of integer type TYPE
in the PE file EXE, one line each: "<id> <language as 0x%04x> <size>
<first two bytes as hex> <zlib check>", where the check inflates the data and
says "one-stream" when it is exactly one complete zlib stream with nothing
after it. With OUT_DIR, each inflated resource is written there as <id>."""
import os
import struct
import sys
import zlib


def sections(pe, header):
    count = struct.unpack_from("<H", pe, header + 6)[0]
    optional_size = struct.unpack_from("<H", pe, header + 20)[0]
    table = header + 24 + optional_size
    for i in range(count):
        at = table + 40 * i
        virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from("<IIII", pe, at + 8)
        yield virtual_address, max(virtual_size, raw_size), raw_pointer


def main():
    exe, wanted = sys.argv[1], int(sys.argv[2])
    out_dir = sys.argv[3] if len(sys.argv) > 3 else None
    pe = open(exe, "rb").read()
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[header:header + 4] != b"PE\0\0":
        sys.exit("not a PE file")
    optional = header + 24
    if struct.unpack_from("<H", pe, optional)[0] != 0x20B:
        sys.exit("not PE32+")
    resource_rva = struct.unpack_from("<I", pe, optional + 112 + 2 * 8)[0]  # data directory 2
    secs = list(sections(pe, header))

    def offset(rva):
        for address, size, raw in secs:
            if address <= rva < address + size:
                return raw + rva - address
        sys.exit("RVA 0x%x outside every section" % rva)

    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", pe, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", pe, base + directory + 16 + 8 * i)
            yield name, target

    for type_name, type_target in entries(0):
        if type_name & 0x80000000 or type_name != wanted:
            continue
        for id_name, id_target in entries(type_target & 0x7FFFFFFF):
            for language, leaf in entries(id_target & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", pe, base + leaf)
                data = pe[offset(data_rva):offset(data_rva) + size]
                inflater = zlib.decompressobj()
                try:
                    inflated = inflater.decompress(data)
                    check = "one-stream" if inflater.eof and not inflater.unused_data else "not-one-stream"
                except zlib.error:
                    inflated, check = b"", "bad-stream"
                print("%d 0x%04x %d %s %s" % (id_name, language, size, data[:2].hex(), check))
                if out_dir:
                    with open(os.path.join(out_dir, str(id_name)), "wb") as f:
                        f.write(inflated)


main()
