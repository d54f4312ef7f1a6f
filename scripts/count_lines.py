#!/usr/bin/env python3
"""Counts non-blank, non-comment lines of .cpp/.h under tests/ and src/."""
import re
import sys
from pathlib import Path


def code_lines(path):
    text = path.read_text(errors="replace")
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    n = 0
    for line in text.splitlines():
        s = line.strip()
        if s and not s.startswith("//"):
            n += 1
    return n


def count(root):
    per = {}
    for p in sorted(Path(root).rglob("*")):
        if p.suffix in (".cpp", ".h") and p.is_file():
            key = str(p.parent.relative_to(root)) if p.parent != Path(root) else "."
            per[key] = per.get(key, 0) + code_lines(p)
    return per


def main():
    base = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    src = count(base / "src")
    tests = count(base / "tests")
    if "-v" in sys.argv:
        for name, table in (("src", src), ("tests", tests)):
            for k, v in sorted(table.items()):
                print(f"{name}/{k}: {v}")
    s, t = sum(src.values()), sum(tests.values())
    print(f"src {s}  tests {t}  ratio {100.0 * t / s:.1f} %")


if __name__ == "__main__":
    main()
