#!/usr/bin/env python3
"""transcode-idl.py <in.idl> <out.idl> <codec>: a copy of a UTF-8 IDL file in
another code page, for widl to write a type library's strings in it."""
import sys

source, target, codec = sys.argv[1:4]
with open(source, encoding="utf-8") as f:
    text = f.read()
with open(target, "wb") as f:
    f.write(text.encode(codec))
