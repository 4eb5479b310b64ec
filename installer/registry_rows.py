#!/usr/bin/env python3
"""The installer's registry rows, generated without running the binaries.

A binary's registration is its registrar scripts (.rgs) and its type library.
This reads both as registration would apply them, machine-wide, and writes the
rows as WiX registry elements; the user keys a script writes become machine
keys, as the product is installed for every user.

  registry_rows.py wxi <out-dir> GROUP...
      writes <out-dir>/<file id>-registry.wxi for each group
  registry_rows.py compare <work-dir> <heat.wxi> <before.reg> <after.reg> <program> <file id> <wxi>...
      compares generated rows (the .wxi files written above) with a real
      registration: the library's rows as heat.exe harvested them, the
      program's as a Wine prefix's system.reg shows them before and after its
      /RegServer (<program>: its Windows path, which the rows name by <file id>)

A GROUP is:
  --binary FILE-ID --tlb TLB --rgs RGS [--rgs RGS...] [--quoted] [--set NAME=VALUE...]
FILE-ID names the installed file; %MODULE% is its path ("[#FILE-ID]", in
double quotes with --quoted, as an executable's registration writes it).
"""

import re
import struct
import sys
import uuid
from pathlib import Path
from xml.sax.saxutils import escape, quoteattr

FOLDER_ID = "INSTALLDIR"
# The type-library marshaler: what registration names as the proxy/stub of an
# Automation-compatible interface, and of a dispatch-only one.
PS_OA_INTERFACE = "{00020424-0000-0000-C000-000000000046}"
PS_DISPATCH = "{00020420-0000-0000-C000-000000000046}"


class Row:
    """One registry value; name None is the key's default value."""

    def __init__(self, root, key, name, kind, value):
        self.root, self.key, self.name, self.kind, self.value = root, key, name, kind, value

    def comparable(self):
        return (self.root, self.key.lower(), (self.name or "").lower(), self.kind, self.value)


# --- registrar scripts -------------------------------------------------------

# A word may be a braced GUID; other braces open and close keys.
TOKEN = re.compile(r"\s*(?:'((?:[^']|'')*)'|(\{[0-9A-Fa-f-]{36}\}|[^\s{}=']+)|([{}=]))")
ROOTS = {
    "HKCR": "HKCR",
    "HKEY_CLASSES_ROOT": "HKCR",
    "HKCU": "HKLM",
    "HKEY_CURRENT_USER": "HKLM",
    "HKLM": "HKLM",
    "HKEY_LOCAL_MACHINE": "HKLM",
}


def tokens(text):
    pos = 0
    text = text.rstrip()
    while pos < len(text):
        match = TOKEN.match(text, pos)
        if not match:
            raise ValueError(f"cannot read the script at: {text[pos:pos + 20]!r}")
        pos = match.end()
        quoted, word, punct = match.groups()
        if quoted is not None:
            yield ("word", quoted.replace("''", "'"))
        elif punct:
            yield (punct, punct)
        else:
            yield ("word", word)


def read_rgs(text, replacements):
    """The rows of a script in register mode, %NAME% replaced."""

    def replace(value):
        return re.sub(r"%([A-Za-z0-9_]+)%", lambda m: replacements[m.group(1)], value)

    items = list(tokens(text))
    rows = []
    pos = 0

    def take():
        nonlocal pos
        item = items[pos]
        pos += 1
        return item

    def peek():
        return items[pos] if pos < len(items) else (None, None)

    def typed_value():
        kind = take()[1].lower()
        value = replace(take()[1])
        if kind == "s":
            return ("string", value)
        if kind == "d":
            return ("integer", str(int(value, 0)))
        if kind == "b":
            return ("binary", value.upper())
        raise ValueError(f"value type {kind} is not supported")

    def block(root, path):
        """Entries up to the closing brace; True when the block held anything."""
        held = False
        take()  # {
        while peek()[0] != "}":
            word = take()[1]
            if word.lower() in ("noremove", "forceremove"):
                word = take()[1]
            if word.lower() == "delete":
                raise ValueError("Delete entries are not supported")
            held = True
            if word.lower() == "val":
                name = replace(take()[1])
                take()  # =
                kind, value = typed_value()
                rows.append(Row(root, path, name, kind, value))
                continue
            key = path + "\\" + replace(word) if path else replace(word)
            has_value = peek()[0] == "="
            if has_value:
                take()
                kind, value = typed_value()
                rows.append(Row(root, key, None, kind, value))
            has_children = peek()[0] == "{" and block(root, key)
            if not has_value and not has_children:
                # A key with neither values nor subkeys still has to exist.
                rows.append(Row(root, key, None, "string", ""))
        take()  # }
        return held

    while pos < len(items):
        root = ROOTS[take()[1].upper()]
        block(root, "")
    return rows


# --- type libraries ----------------------------------------------------------

TKIND_INTERFACE, TKIND_DISPATCH = 3, 4
TYPEFLAG_FDUAL, TYPEFLAG_FOLEAUTOMATION = 0x40, 0x100
SYSKINDS = {0: "win16", 1: "win32", 2: "mac", 3: "win64"}


class TypeLibrary:
    """What registration reads from a type library in the MSFT format."""

    def __init__(self, data, encoding):
        if data[:4] != b"MSFT":
            raise ValueError("not a type library in the MSFT format")
        header = struct.unpack_from("<4s17i", data, 0)
        (_, _, posguid, _, _, varflags, version, flags, count, helpstring, _, _, _, _, name,
         _) = header[:16]
        offset = 0x54 + (4 if varflags & 0x100 else 0)
        typeinfo_offsets = struct.unpack_from(f"<{count}i", data, offset)
        offset += 4 * count
        segments = [struct.unpack_from("<2i", data, offset + 16 * i) for i in range(15)]
        self._data, self._encoding = data, encoding
        self._guids, self._names, self._strings = segments[5][0], segments[7][0], segments[8][0]
        self.guid = self._guid(posguid)
        self.major, self.minor = version & 0xFFFF, version >> 16
        self.flags = flags
        self.syskind = SYSKINDS[varflags & 0xF]
        self.name = self._name(name)
        self.doc = self._string(helpstring)
        self.types = []
        for entry in typeinfo_offsets:
            fields = struct.unpack_from("<25i", data, segments[0][0] + entry)
            self.types.append({
                "kind": fields[0] & 0xF,
                "guid": self._guid(fields[11]),
                "flags": fields[12],
                "name": self._name(fields[13]),
            })

    def _guid(self, offset):
        if offset < 0:
            return None
        raw = self._data[self._guids + offset:self._guids + offset + 16]
        return "{" + str(uuid.UUID(bytes_le=raw)).upper() + "}"

    def _name(self, offset):
        start = self._names + offset
        length = self._data[start + 8]
        return self._data[start + 12:start + 12 + length].decode(self._encoding)

    def _string(self, offset):
        if offset < 0:
            return None
        start = self._strings + offset
        (length,) = struct.unpack_from("<H", self._data, start)
        return self._data[start + 2:start + 2 + length].decode(self._encoding)

    def rows(self, path, folder):
        """The keys RegisterTypeLib writes for the library and its interfaces."""
        version = f"{self.major}.{self.minor}"
        base = f"TypeLib\\{self.guid}\\{version}"
        rows = [
            Row("HKCR", base, None, "string", self.doc if self.doc is not None else self.name),
            Row("HKCR", base + "\\FLAGS", None, "string", str(self.flags)),
            Row("HKCR", base + "\\0\\" + self.syskind, None, "string", path),
            Row("HKCR", base + "\\HELPDIR", None, "string", folder),
        ]
        for info in self.types:
            dispatch = info["kind"] == TKIND_DISPATCH
            automation = info["kind"] == TKIND_INTERFACE and info["flags"] & TYPEFLAG_FOLEAUTOMATION
            if not dispatch and not automation:
                continue
            key = f"Interface\\{info['guid']}"
            stub = PS_DISPATCH if dispatch and not info["flags"] & TYPEFLAG_FDUAL else PS_OA_INTERFACE
            rows += [
                Row("HKCR", key, None, "string", info["name"]),
                Row("HKCR", key + "\\ProxyStubClsid", None, "string", stub),
                Row("HKCR", key + "\\ProxyStubClsid32", None, "string", stub),
                Row("HKCR", key + "\\TypeLib", None, "string", self.guid),
                Row("HKCR", key + "\\TypeLib", "Version", "string", version),
            ]
        return rows


# --- command line ------------------------------------------------------------


class Binary:
    """One binary's registration: its scripts, their replacements, its type library."""

    def __init__(self, file_id):
        self.file_id, self.tlb, self.rgs, self.quoted, self.replacements = file_id, None, [], False, {}

    def rows(self):
        path = f"[#{self.file_id}]"
        # Registration reads a type library's narrow strings in the system's
        # ANSI code page; the package carries them as code page 1252 reads
        # them (wixl cannot write text outside it).
        library = TypeLibrary(Path(self.tlb).read_bytes(), "cp1252")
        replacements = {
            "MODULE": f'"{path}"' if self.quoted else path,
            "LIBID": library.guid,
            **self.replacements,
        }
        rows = []
        for script in self.rgs:
            rows += read_rgs(Path(script).read_text(encoding="utf-8-sig"), replacements)
        return rows + library.rows(path, f"[{FOLDER_ID}]")


def groups(arguments):
    binaries = []
    items = iter(arguments)
    for option in items:
        if option == "--binary":
            binaries.append(Binary(next(items)))
        elif option == "--tlb":
            binaries[-1].tlb = next(items)
        elif option == "--rgs":
            binaries[-1].rgs.append(next(items))
        elif option == "--quoted":
            binaries[-1].quoted = True
        elif option == "--set":
            name, _, value = next(items).partition("=")
            binaries[-1].replacements[name] = value
        else:
            raise SystemExit(f"registry_rows.py: unknown option {option}")
    return binaries


def formatted(text, file_id):
    """Square brackets are Windows Installer's syntax in a formatted field."""
    reference = f"[#{file_id}]"
    folder = f"[{FOLDER_ID}]"
    parts = re.split(r"(\[#[^\]]+\]|\[" + FOLDER_ID + r"\])", text)
    return "".join(
        part if part in (reference, folder) else part.replace("[", "[\\[]").replace("]", "[\\]]")
        for part in parts)


def write_wxi(out_dir, binaries):
    for binary in binaries:
        lines = ['<?xml version="1.0" encoding="utf-8"?>',
                 f"<!-- The registry rows of {escape(binary.file_id)}, generated from its"
                 " registrar scripts and type library. -->", "<Include>"]
        for row in binary.rows():
            attributes = f"Root={quoteattr(row.root)} Key={quoteattr(formatted(row.key, binary.file_id))}"
            if row.name is not None:
                attributes += f" Name={quoteattr(formatted(row.name, binary.file_id))}"
            value = row.value if row.kind != "string" else formatted(row.value, binary.file_id)
            lines.append(f"<RegistryValue {attributes} Type={quoteattr(row.kind)}"
                         f" Value={quoteattr(value)} />")
        lines.append("</Include>")
        (Path(out_dir) / f"{binary.file_id}-registry.wxi").write_text("\n".join(lines) + "\n")


# --- a real registration ----------------------------------------------------


def read_wxi(path):
    """Rows of a WiX include, as heat.exe or this script writes them."""
    import xml.etree.ElementTree as ElementTree

    return [Row(e.get("Root"), e.get("Key"), e.get("Name"), e.get("Type"), e.get("Value"))
            for e in ElementTree.parse(path).getroot().iter("RegistryValue")]


def read_wine_registry(path):
    """{key: {name: (type, value)}} of a Wine registry file (name None: default)."""
    keys, current = {}, None
    text = Path(path).read_text(encoding="utf-8", errors="replace")

    escapes = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}

    def unescape(match):
        code = match.group(1)
        if code[0] == "x" and len(code) > 1:
            return chr(int(code[1:], 16))
        return escapes.get(code, code)

    def unquote(quoted):
        return re.sub(r"\\(x[0-9a-fA-F]{1,4}|.)", unescape, quoted)

    for line in text.splitlines():
        key = re.match(r'^\[(.*)\](?: \d+)?$', line)
        if key:
            current = keys.setdefault(unquote(key.group(1)), {})
            continue
        value = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if current is None or not value:
            continue
        name = None if value.group(1) == "@" else unquote(value.group(2))
        data = value.group(3)
        if data.startswith('"'):
            current[name] = ("string", unquote(data[1:-1]))
        elif data.startswith('str(2):"'):
            current[name] = ("expandable", unquote(data[8:-1]))
        elif data.startswith("dword:"):
            current[name] = ("integer", str(int(data[6:], 16)))
        else:
            current[name] = ("other", data)
    return keys


def registered_rows(before, after, under):
    """The rows a registration added under a key of HKLM (its classes, as HKCR)."""
    old, new = read_wine_registry(before), read_wine_registry(after)
    prefix = under.lower() + "\\"
    # A 64-bit registration also writes its interfaces into the 32-bit view.
    mirror = prefix + "wow6432node\\"
    added = {key: values for key, values in new.items()
             if key.lower().startswith(prefix) and not key.lower().startswith(mirror)
             and values != old.get(key)}
    rows = []
    for key, values in added.items():
        shown = key[len(prefix):]
        known = old.get(key, {})
        fresh = {name: value for name, value in values.items() if known.get(name) != value}
        for name, (kind, value) in fresh.items():
            rows.append(Row("HKCR", shown, name, kind, value))
        leaf = not any(other.lower().startswith(key.lower() + "\\") for other in new)
        if not values and leaf:
            rows.append(Row("HKCR", shown, None, "string", ""))
    return rows


def normalized(rows, paths, folders):
    """Comparable rows without what differs between machines: paths and bitness."""
    result = set()
    for row in rows:
        value = row.value
        for path, file_id in paths:
            value = value.replace(path, f"[#{file_id}]")
        for folder in folders:
            value = value.replace(folder + "\\", f"[{FOLDER_ID}]").replace(folder, f"[{FOLDER_ID}]")
        key = re.sub(r"\\0\\win(32|64)$", r"\\0\\<win>", row.key)
        if re.search(r"^TypeLib\\[^\\]+\\[^\\]+\\FLAGS$", key, re.I):
            # Wine's registration adds LIBFLAG_FHASDISKIMAGE (8), which says
            # only that it loaded the library from a file; the rows carry the
            # flags the library itself declares.
            value = str(int(value) & ~8)
        result.add(Row(row.root, key, row.name or None, row.kind, value).comparable())
    return result


def compare(argv):
    work, heat, before, after, exe_path, exe_id = argv[:6]
    generated = [row for wxi in argv[6:] for row in read_wxi(wxi)]
    real_exe = registered_rows(before, after, "Software\\Classes")
    real = read_wxi(heat) + real_exe
    folder = exe_path.rsplit("\\", 1)[0]
    ours = normalized(generated, [], [])
    theirs = normalized(real, [(exe_path, exe_id)], [folder])
    missing, extra = sorted(ours - theirs), sorted(theirs - ours)
    report = Path(work) / "registry-comparison.txt"
    with report.open("w", encoding="utf-8") as out:
        for label, rows in (("generated, not registered", missing), ("registered, not generated", extra)):
            for row in rows:
                out.write(f"{label}: {row}\n")
    print(f"registry rows: {len(ours)} generated, {len(theirs)} registered by the twin, "
          f"{len(missing)} only generated, {len(extra)} only registered")
    for label, rows in (("only generated", missing), ("only registered", extra)):
        for row in rows[:20]:
            print(f"  {label}: {row}")
    return 0 if not missing and not extra else 1


def main(argv):
    if len(argv) > 2 and argv[1] == "wxi":
        write_wxi(argv[2], groups(argv[3:]))
        return 0
    if len(argv) > 8 and argv[1] == "compare":
        return compare(argv[2:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
