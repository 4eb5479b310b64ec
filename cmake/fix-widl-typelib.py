#!/usr/bin/env python3
"""fix-widl-typelib.py <file.idl> <file.tlb>

widl 7.0 damages the last byte of the library's own GUID in the type
library it writes when the library holds a dispinterface (a type library
then registers under a wrong LIBID). The GUID is taken from the uuid
attribute of the IDL's library block and written back where its first 15
bytes stand in the type library.

In the same libraries widl writes a second reference to the imported
IDispatch without its GUID; the typelib marshaler then finds no proxy for
the dual interfaces built on it. Such references get IDispatch's GUID back.
"""
import re
import struct
import sys
import uuid



def fix_dispatch_imports(data):
    """Import entries that name a GUID (flag bit 16) but hold none get the
    offset of IDispatch's GUID; answers how many were fixed."""
    if data[:4] != b"MSFT":
        return 0
    varflags = struct.unpack_from("<i", data, 0x14)[0]
    typeinfos = struct.unpack_from("<i", data, 0x20)[0]
    segdir = 0x54 + (4 if varflags & 0x100 else 0) + 4 * typeinfos
    imp_off, imp_len = struct.unpack_from("<ii", data, segdir + 16 * 1)
    guid_off, guid_len = struct.unpack_from("<ii", data, segdir + 16 * 5)
    dispatch = uuid.UUID("00020400-0000-0000-C000-000000000046").bytes_le
    dispatch_at = None
    for entry in range(0, guid_len, 24):
        if data[guid_off + entry:guid_off + entry + 16] == dispatch:
            dispatch_at = entry
    if dispatch_at is None or imp_off < 0:
        return 0
    fixed = 0
    for entry in range(imp_off, imp_off + imp_len, 12):
        flags, _, guid = struct.unpack_from("<iii", data, entry)
        if flags & 0x10000 and guid == -1:
            struct.pack_into("<i", data, entry + 8, dispatch_at)
            fixed += 1
    return fixed


idl_path, tlb_path = sys.argv[1], sys.argv[2]
idl = open(idl_path, encoding="utf-8", errors="replace").read()
idl = re.sub(r"//[^\n]*", "", idl)
match = re.search(r"\[([^\[\]]*?)\]\s*library\s+\w+", idl, re.S)
if not match:
    sys.exit(0)
found = re.search(r"uuid\(\s*([0-9A-Fa-f-]{36})\s*\)", match.group(1))
if not found:
    sys.exit(0)
libid = uuid.UUID(found.group(1)).bytes_le
data = bytearray(open(tlb_path, "rb").read())
start = 0
fixed = 0
while True:
    pos = data.find(libid[:15], start)
    if pos < 0:
        break
    if data[pos + 15] != libid[15]:
        data[pos + 15] = libid[15]
        fixed += 1
    start = pos + 16
fixed += fix_dispatch_imports(data)
if fixed:
    open(tlb_path, "wb").write(bytes(data))
