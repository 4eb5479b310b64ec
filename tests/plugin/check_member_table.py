#!/usr/bin/env python3
"""Compares the guide's camera member table (between the markers
<!-- members:begin --> and <!-- members:end -->) with what orvela-members.exe
prints from the plug-in's own registration.

usage: check_member_table.py <docs/guide.md> <command that runs orvela-members...>
"""
import subprocess
import sys

guide = open(sys.argv[1], encoding="utf-8").read()
begin, end = "<!-- members:begin -->\n", "<!-- members:end -->"
if begin not in guide or end not in guide:
    sys.exit("FAIL the guide has no member table markers")
documented = guide[guide.index(begin) + len(begin):guide.index(end)].strip()
printed = subprocess.run(sys.argv[2:], capture_output=True, text=True, check=True).stdout
printed = printed.replace("\r\n", "\n").strip()
if documented != printed:
    print("FAIL the guide's member table is stale; print it again with orvela-members.exe:")
    print(printed)
    sys.exit(1)
print("the guide's member table matches the registration (%d members)"
      % (printed.count("\n") - 1))
