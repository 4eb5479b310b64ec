#!/usr/bin/env python3
"""fix-widl-typelib.py <file.idl> <file.tlb>

widl 7.0 damages the last byte of the library's own GUID in the type
library it writes when the library holds a dispinterface (a type library
then registers under a wrong LIBID). The GUID is taken from the uuid
attribute of the IDL's library block and written back where its first 15
bytes stand in the type library.
"""
import re
import sys
import uuid

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
if fixed:
    open(tlb_path, "wb").write(bytes(data))
