#!/usr/bin/env python3
"""Writes the camera members into sdk/orvela.d.ts and sdk/orvela.js from the
member table that orvela-members.exe prints from the plug-in's registration
(the same table as the guide's), or checks that both are current.

usage: generate.py --check|--write --table FILE       (a file holding the table)
       generate.py --check|--write -- COMMAND...      (a command that prints it)
"""
import os
import subprocess
import sys

SDK = os.path.dirname(os.path.abspath(__file__))
BEGIN, END = "<!-- members:begin -->\n", "<!-- members:end -->"
JS_BEGIN, JS_END = "    // members:begin\n", "    // members:end\n"
TS_BEGIN, TS_END = "        // members:begin\n", "        // members:end\n"


def read_table(args):
    if args[0] == "--table":
        text = open(args[1], encoding="utf-8").read()
        if BEGIN in text:
            text = text[text.index(BEGIN) + len(BEGIN):text.index(END)]
    else:
        text = subprocess.run(args[1:], capture_output=True, text=True, check=True).stdout
    members = []
    for line in text.replace("\r\n", "\n").splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 4 or not cells[0].startswith("`"):
            continue
        arguments = [] if cells[1] == "none" else [a.strip() for a in cells[1].split(",")]
        members.append((cells[0].strip("`"), arguments, cells[2], cells[3]))
    if not members:
        sys.exit("FAIL no member table in the input")
    return members


def ts_type(kind):
    return "string" if kind == "text" else "number"


def js_block(members):
    rows = ['        ["%s", %d, "%s"]' % (name, len(arguments), result)
            for name, arguments, result, _ in members]
    return "    var MEMBERS = [\n" + ",\n".join(rows) + "\n    ];\n"


def ts_block(members):
    out = []
    for name, arguments, result, missing in members:
        params = ", ".join("arg%d: %s" % (i + 1, ts_type(kind)) for i, kind in enumerate(arguments))
        described = ", ".join(arguments) if arguments else "no arguments"
        out.append("        /** %s; answers %s without a camera. */\n" % (described, missing))
        out.append("        %s(%s): %s;\n" % (name, params, ts_type(result)))
    return "".join(out)


def splice(path, begin, end, block, write):
    text = open(path, encoding="utf-8").read()
    if begin not in text or end not in text:
        sys.exit("FAIL %s has no member markers" % path)
    current = text[text.index(begin) + len(begin):text.index(end)]
    if current == block:
        return True
    if write:
        text = text[:text.index(begin) + len(begin)] + block + text[text.index(end):]
        open(path, "w", encoding="utf-8").write(text)
        return True
    print("FAIL %s is stale; run: python3 sdk/generate.py --write --table docs/guide.md" % path)
    return False


def main():
    mode, args = sys.argv[1], sys.argv[2:]
    members = read_table(args)
    write = mode == "--write"
    ok = splice(os.path.join(SDK, "orvela.js"), JS_BEGIN, JS_END, js_block(members), write)
    ok = splice(os.path.join(SDK, "orvela.d.ts"), TS_BEGIN, TS_END, ts_block(members), write) and ok
    if not ok:
        sys.exit(1)
    print("orvela.js and orvela.d.ts list the %d camera members of the registration" % len(members))


main()
