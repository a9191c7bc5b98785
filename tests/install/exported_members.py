#!/usr/bin/env python3
"""Writes C++ that takes the address of every member of the exported classes
that the installed library defines, so that linking a host against the
installed tree proves each of them resolves.

usage: exported_members.py LIBRARY INCLUDE_DIR > members.inc
The classes are those whose headers lie in INCLUDE_DIR; the members are the
library's dynamic symbols of those classes that the headers declare public.
"""
import re
import subprocess
import sys
from pathlib import Path

lib, incdir = sys.argv[1], Path(sys.argv[2])

# Public part of every class declared in the installed headers.
public = {}
for h in sorted(incdir.glob("*.h")):
    text = h.read_text(encoding="latin-1")
    for m in re.finditer(r"^class\s+(C\w+)\s*(?::[^{]*)?\{", text, re.M):
        depth, i, start = 1, m.end(), m.end()
        while depth and i < len(text):
            depth += {"{": 1, "}": -1}.get(text[i], 0)
            i += 1
        body = text[start:i]
        # Members after "private:" or "protected:" (at the class's own level) are no host's business.
        cut = re.search(r"^\s*(private|protected)\s*:", body, re.M)
        public[m.group(1)] = body[: cut.start()] if cut else body

nm = subprocess.run(["nm", "-DC", "--defined-only", lib], check=True, capture_output=True, text=True).stdout
members = {}
for line in nm.splitlines():
    parts = line.split(" ", 2)
    if len(parts) < 3:
        continue
    sym = parts[2].replace("[abi:cxx11]", "")
    m = re.match(r"^(C\w+)::(~?\w+|operator=)(\((.*)\))?( const)?$", sym)
    if not m or m.group(1) not in public:
        continue
    cls, name = m.group(1), m.group(2)
    if name == cls or name == "~" + cls:
        continue  # constructors and destructors: the host makes objects
    word = re.escape(name) if name != "operator=" else r"operator\s*="
    if not re.search(r"(?<![\w:])" + word + r"\b" if name != "operator=" else word, public[cls]):
        continue  # not public
    sig = m.group(4)
    members.setdefault((cls, name), set()).add((sig, bool(m.group(5))))

def split_params(s):
    out, depth, cur = [], 0, ""
    for ch in s:
        if ch in "<(":
            depth += 1
        elif ch in ">)":
            depth -= 1
        if ch == "," and depth == 0:
            out.append(cur.strip())
            cur = ""
        else:
            cur += ch
    if cur.strip():
        out.append(cur.strip())
    return out

print("// Made by tests/install/exported_members.py from the installed library.")
print("template <class T> void Keep(T p) { static T s; s = p; asm volatile(\"\" : : \"r\"(&s) : \"memory\"); }")
print("inline int KeepExportedMembers() {")
count = 0
for (cls, name), sigs in sorted(members.items()):
    if len(sigs) == 1:
        print(f"    Keep(&{cls}::{name});")
    else:
        for sig, const in sorted(sigs, key=lambda x: (x[0] or "", x[1])):
            params = split_params(sig or "")
            args = ", ".join(f"std::declval<{p}>()" for p in params)
            ptype = ", ".join(params)
            cq = " const" if const else ""
            print(f"    Keep(static_cast<decltype(std::declval<{cls}&>().{name}({args})) ({cls}::*)({ptype}){cq}>(&{cls}::{name}));")
    count += len(sigs)
print(f"    return {count};")
print("}")
