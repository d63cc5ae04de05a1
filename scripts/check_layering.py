#!/usr/bin/env python3
"""Fails when a module of src/ includes a header of a module it may not use.

Run by the build before any module compiles (src/CMakeLists.txt passes the module
table), or by hand:

    check_layering.py --src src --module files=files:common --module settings=settings:i18n,form

Each --module is NAME=FOLDER:USES, FOLDER relative to --src, USES the modules NAME may
include from (comma-separated, may be empty). A file belongs to the module whose folder
is the longest prefix of its path (so src/devices/linux/ is a module of its own inside
src/devices/), and an #include "x/..." or <x/...> names the module whose folder is the
longest prefix of x/...; includes naming no module's folder (system and third-party
headers, files next to the includer) are not checked. A module may always include its
own headers.
"""

import argparse
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


class Module:
    def __init__(self, name, folder, uses):
        self.name = name
        self.folder = folder.strip("/")
        self.uses = uses


def parse_module(text):
    try:
        name, rest = text.split("=", 1)
        folder, uses = rest.split(":", 1)
    except ValueError:
        raise argparse.ArgumentTypeError(f"--module {text!r}: expected NAME=FOLDER:USES")
    return Module(name, folder, [u for u in uses.split(",") if u])


def owner(path, modules):
    """The module whose folder is the longest prefix of `path` (relative, with '/')."""
    best = None
    for m in modules:
        if path.startswith(m.folder + "/") and (best is None or len(m.folder) > len(best.folder)):
            best = m
    return best


def check(src, modules):
    errors = []
    by_name = {m.name: m for m in modules}
    for m in modules:
        for use in m.uses:
            if use not in by_name:
                errors.append(f"module {m.name} uses {use}, which is no module")
    seen = set()
    for m in sorted(modules, key=lambda m: m.folder):
        root = os.path.join(src, m.folder)
        for directory, _, names in os.walk(root):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                full = os.path.join(directory, name)
                rel = os.path.relpath(full, src).replace(os.sep, "/")
                if rel in seen or owner(rel, modules) is not m:
                    continue
                seen.add(rel)
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = owner(match.group(1), modules)
                        if target is None or target is m or target.name in m.uses:
                            continue
                        allowed = ", ".join(m.uses) if m.uses else "none"
                        errors.append(
                            f"{os.path.join(os.path.basename(os.path.normpath(src)), rel)}:{number}: "
                            f"includes \"{match.group(1)}\" of module {target.name}; module "
                            f"{m.name} ({m.folder}/) may include only its own headers and those "
                            f"of: {allowed}")
    return errors


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--src", required=True, help="the source root the includes are relative to")
    parser.add_argument("--module", action="append", type=parse_module, default=[],
                        help="NAME=FOLDER:USES, once per module")
    parser.add_argument("--stamp", help="a file to touch when the check passes")
    args = parser.parse_args(argv)
    errors = check(args.src, args.module)
    for e in errors:
        print(f"layering: {e}", file=sys.stderr)
    if errors:
        print(f"layering: {len(errors)} include(s) break the module map (the module table in src/CMakeLists.txt)",
              file=sys.stderr)
        return 1
    if args.stamp:
        with open(args.stamp, "w"):
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
