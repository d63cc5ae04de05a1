#!/usr/bin/env python3
"""The layering check (scripts/check_layering.py) on small source trees of its own: what
it lets through, and what it stops with the file, the include and the modules allowed.

    check_layering_test.py PATH/TO/check_layering.py
"""

import os
import subprocess
import sys
import tempfile

# A module table shaped like the program's: a bottom module, a chain, a platform part
# nested in the folder of the module above it, and a front end.
MODULES = [
    "common=common:",
    "files=files:common",
    "form=form:common",
    "settings=settings:common,form,files",
    "link=link:common",
    "protocol=protocol:common,link,settings",
    "sim=sim:common,link",
    "platform_linux=devices/linux:common,link",
    "devices=devices:common,link,sim,platform_linux",
    "cli=cli:common,protocol,devices",
]

# Each case: a tree (path -> text), then None when the check must pass, or the lines (each a
# list of pieces one line of the report must hold) it must report, and no others.
CASES = [
    ("own and used modules pass", {
        "files/a.cpp": '#include "files/a.h"\n#include "common/replace.h"\n',
        "protocol/p.cpp": '#include "link/l.h"\n#include "settings/s.h"\n#include "protocol/p.h"\n',
        "devices/d.cpp": '#include "devices/linux/port.h"\n#include "sim/e.h"\n',
        "cli/main.cpp": '#include "devices/d.h"\n#include "protocol/p.h"\n',
    }, None),
    ("a bottom module including one above it", {
        "files/a.cpp": '#include <string>\n\n#include "protocol/p.h"\n',
    }, [["src/files/a.cpp:3", '"protocol/p.h"', "module protocol", "module files",
         "those of: common"]]),
    ("a header counts as much as a source", {
        "link/l.h": '#pragma once\n#include "sim/e.h"\n',
    }, [["src/link/l.h:2", '"sim/e.h"', "module link", "those of: common"]]),
    ("a module may not use what its uses use", {
        "protocol/p.cpp": '#include "form/f.h"\n',
    }, [["src/protocol/p.cpp:1", '"form/f.h"', "module protocol",
         "those of: common, link, settings"]]),
    ("the platform part is a module of its own inside devices/", {
        "devices/linux/port.cpp": '#include "devices/linux/port.h"\n#include "devices/d.h"\n',
    }, [["src/devices/linux/port.cpp:2", '"devices/d.h"', "module devices",
         "module platform_linux (devices/linux/)"]]),
    ("nothing below includes a front end", {
        "settings/s.cpp": '#include "cli/options.h"\n',
    }, [["src/settings/s.cpp:1", '"cli/options.h"', "module cli"]]),
    ("the bottom module uses nothing", {
        "common/replace.cpp": '#include "files/a.h"\n',
    }, [["src/common/replace.cpp:1", '"files/a.h"', "those of: none"]]),
    ("angle brackets and spaces do not hide an include", {
        "files/a.cpp": '#include <settings/s.h>\n  #  include   "link/l.h"\n',
    }, [["src/files/a.cpp:1", '"settings/s.h"'], ["src/files/a.cpp:2", '"link/l.h"']]),
    ("a folder deeper in a module is that module's", {
        "files/detail/x.cpp": '#include "protocol/p.h"\n',
    }, [["src/files/detail/x.cpp:1", "module files"]]),
    ("headers of no module are not checked", {
        "files/a.cpp": ('#include <vector>\n#include <linux/hidraw.h>\n#include "local.h"\n'
                        '#include "nlohmann/json.hpp"\n#include "filesystem/x.h"\n'),
    }, None),
    ("an include in a comment is no include", {
        "files/a.cpp": '// #include "protocol/p.h"\n/* #include "link/l.h" */\n',
    }, None),
    ("files other than sources are not read", {
        "files/notes.txt": '#include "protocol/p.h"\n',
    }, None),
    ("every wrong include is named, across files", {
        "files/a.cpp": '#include "protocol/p.h"\n',
        "form/f.h": '#include "settings/s.h"\n',
    }, [["src/files/a.cpp:1"], ["src/form/f.h:1"]]),
]


def run(checker, tree):
    with tempfile.TemporaryDirectory() as root:
        src = os.path.join(root, "src")
        for path, text in tree.items():
            full = os.path.join(src, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(text)
        stamp = os.path.join(root, "stamp")
        command = [sys.executable, checker, "--src", src, "--stamp", stamp]
        for m in MODULES:
            command += ["--module", m]
        done = subprocess.run(command, capture_output=True, text=True)
        return done.returncode, done.stderr, os.path.exists(stamp)


def main():
    checker = sys.argv[1]
    failures = []
    for name, tree, expected in CASES:
        code, report, stamped = run(checker, tree)
        lines = [l for l in report.splitlines() if l.startswith("layering: src/")]
        if expected is None:
            if code != 0 or lines or not stamped:
                failures.append(f"{name}: expected a pass, got exit {code}:\n{report}")
            continue
        if code == 0 or stamped:
            failures.append(f"{name}: expected a failure, got exit {code}, stamp {stamped}")
            continue
        if len(lines) != len(expected):
            failures.append(f"{name}: expected {len(expected)} report line(s), got:\n{report}")
            continue
        for pieces in expected:
            if not any(all(p in l for p in pieces) for l in lines):
                failures.append(f"{name}: no report line holds {pieces}:\n{report}")
    for f in failures:
        print(f"FAIL {f}", file=sys.stderr)
    print(f"{len(CASES) - len(failures)} of {len(CASES)} cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
