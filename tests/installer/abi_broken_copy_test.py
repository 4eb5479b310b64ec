#!/usr/bin/env python3
"""abi_broken_copy_test.py <source-dir> <objdump> <nporvela.dll> <work-dir>

The shipped ABI check fails on a copy of nporvela.dll broken on purpose, for
each kind of fault it looks for, and names the fault; the unbroken copy passes.
Prints "broken copies: passed".
"""

import shutil
import struct
import subprocess
import sys
from importlib.machinery import SourceFileLoader
from pathlib import Path

source, objdump, original, work = sys.argv[1:5]
abi = SourceFileLoader("check_shipped_abi",
                       str(Path(source) / "scripts" / "check-shipped-abi")).load_module()
work = Path(work)
shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
data = Path(original).read_bytes()
image = abi.Image(data)
(pe,) = struct.unpack_from("<I", data, 0x3C)


def replaced(old, new):
    assert len(old) == len(new) and old in data, old
    return data.replace(old, new, 1)


def at(offset, new):
    return data[:offset] + new + data[offset + len(new):]


def cdecl_returns(export):
    """The export's `ret $N` instructions made plain `ret`s (and padding)."""
    patched = data
    address = image.image_base + image.exports()[export]
    for ret, _ in abi.returns(objdump, Path(original), address):
        offset = image.offset(ret - image.image_base)
        patched = patched[:offset] + b"\xc3\x90\x90" + patched[offset + 3:]
    return patched


dll_name = next(name for name in image.imports() if name.upper() == "OLEAUT32.DLL").encode()
faults = {
    "machine": (at(pe + 4, struct.pack("<H", 0x8664)), "not i386"),
    "no ASLR": (at(pe + 24 + 70, struct.pack("<H", image.dll_characteristics & ~0x40)),
                "no DYNAMICBASE"),
    "no DEP": (at(pe + 24 + 70, struct.pack("<H", image.dll_characteristics & ~0x100)),
               "no NXCOMPAT"),
    "cdecl return": (cdecl_returns("NP_GetEntryPoints"),
                     "NP_GetEntryPoints returns popping [0] bytes, not 4"),
    "runtime import": (replaced(dll_name + b"\0", b"MSVCR100.dll\0"), "imports a compiler runtime"),
    "decorated export": (replaced(b"DllInstall\0", b"DllInsta@8\0"), "decorated export names"),
    "version field": (replaced("application/x-orvela".encode("utf-16-le"),
                               "application/x-orvelb".encode("utf-16-le")),
                      "MIMEType is 'application/x-orvelb'"),
}

failures = 0


def run(name, contents):
    copy = work / name.replace(" ", "-") / "nporvela.dll"
    copy.parent.mkdir()
    copy.write_bytes(contents)
    result = subprocess.run([sys.executable, str(Path(source) / "scripts" / "check-shipped-abi"),
                             objdump, str(copy)], capture_output=True, text=True)
    return result.returncode, result.stdout


status, output = run("unbroken", data)
print(f"unbroken copy: exit code {status}")
if status != 0:
    print(output)
    print("FAIL the unbroken copy does not pass")
    failures += 1
for name, (contents, expected) in faults.items():
    status, output = run(name, contents)
    found = [line for line in output.splitlines() if line.startswith("FAIL:")]
    print(f"{name}: exit code {status}; " + ("; ".join(found) or "no fault reported"))
    if status == 0 or not any(expected in line for line in found):
        print(f"FAIL the check did not report {expected!r} for the copy with {name}")
        failures += 1
print("broken copies: " + ("passed" if not failures else f"{failures} failure(s)"))
sys.exit(1 if failures else 0)
