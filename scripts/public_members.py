#!/usr/bin/env python3
"""Counts the public members each class or struct in the given headers declares."""
import re
import sys

for path in sys.argv[1:]:
    text = re.sub(r"//[^\n]*", "", open(path).read())
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    for m in re.finditer(r"\b(class|struct)\s+(\w+)[^;{]*\{", text):
        kind, name = m.group(1), m.group(2)
        i, depth, public, count, stmt = m.end(), 1, kind == "struct", 0, ""
        while depth and i < len(text):
            c = text[i]
            if c == "{":
                if depth == 1 and public and stmt.strip():
                    count += 1
                    stmt = "#"
                depth += 1
            elif c == "}":
                depth -= 1
                if depth == 1 and stmt == "#":
                    stmt = ""
            elif depth == 1:
                stmt += c
                s = stmt.strip()
                if re.fullmatch(r"(public|private|protected)\s*:", s):
                    public = s.startswith("public")
                    stmt = ""
                elif c == ";":
                    if public and s not in (";", "#;") and not s.startswith("friend"):
                        count += 1
                    stmt = ""
            i += 1
        print(f"{count:4d}  {path}: {kind} {name}")
