#!/usr/bin/env python3
"""clang-tidy's work list for scripts/lint.sh, one job a line for `xargs -L 1 clang-tidy-14`.

Most of clang-tidy's time on a source goes to the system headers it includes: parsing them and
running every matcher over their declarations, about 3 s even for a ten-line source. So the
sources are checked in the batches the unity build compiles them in, each batch as one
translation unit that includes its sources: every source is still checked once, the headers
once a batch rather than once a source. The batch file's name contains "UnifiedSource", which
makes the static analyzer treat the sources it includes as main files (path-sensitive checks
included); the header filter in .clang-tidy shows what is found in them.

What a batch cannot do is done source by source, in a second, light pass over every source of a
batch: the checks that look at the main file only, and a compile of the source alone, with its
own includes (a build without unity batches compiles it so).

A source with seeded faults, tests/lint/seeded_faults.cpp, goes through both passes like a
batched source; `verdict` then checks that exactly its seeded faults were reported, so a lint
that stops seeing into batches fails rather than passing quietly.

Usage: lint_batches.py jobs COMPILE_COMMANDS OUT_DIR <sources   (writes OUT_DIR, prints jobs)
       lint_batches.py verdict LOG                               (exit 1 on any other finding)
"""
import json
import os
import re
import shlex
import sys

SEEDED = "tests/lint/seeded_faults.cpp"
# Checks that clang-tidy 14 runs on the main file only; a canary source with a fault for each of
# about seventy checks, linted alone and inside a batch, showed these three and no others.
MAIN_FILE_CHECKS = "-*,misc-unused-using-decls,misc-unused-alias-decls," \
    "readability-redundant-preprocessor"
# The tests' analysis does not step into the standard library: every gtest assertion forks into
# a failure message formatted through std::ostringstream, and after three assertions a test's
# whole analysis budget went there. The tests' own statements are followed.
TEST_ANALYSIS = ["-Xclang", "-analyzer-config", "-Xclang", "c++-stdlib-inlining=false"]
FINDING = re.compile(r"^(\S+?):(\d+):\d+: (?:warning|error): .*\[([^\]]+)\]$")


def batches(compile_commands, sources):
    """(sources, build) per unity batch or separately compiled source, each source once.

    A source built twice keeps the build with more definitions: entry/posix_export.cpp's two
    builds differ only in CMake's <target>_EXPORTS macro, and tools/serve/commit_hook.cpp's
    BRINDLE_FAULT_HOOKS build only adds code."""
    found = []
    for entry in compile_commands:
        args = entry.get("arguments") or shlex.split(entry["command"])
        if "/Unity/unity_" in entry["file"]:
            with open(entry["file"], encoding="utf-8") as unity:
                members = re.findall(r'#include "([^"]+)"', unity.read())
        else:
            members = [entry["file"]]
        members = [os.path.relpath(m) for m in members if os.path.relpath(m) in sources]
        defines = sum(1 for a in args if a.startswith("-D") and not a.endswith("_EXPORTS"))
        found.append((members, (args, entry["file"], entry["directory"]), defines))
    owner = {}
    for index, (members, _, defines) in enumerate(found):
        for source in members:
            if source not in owner or defines > found[owner[source]][2]:
                owner[source] = index
    missing = sources - set(owner)
    if missing:
        sys.exit("lint: no compile command for " + " ".join(sorted(missing)))
    for index, (members, build, _) in enumerate(found):
        mine = [m for m in members if owner[m] == index]
        if mine:
            yield mine, build


def command(build, source, tests):
    """BUILD's compile command (arguments, source, directory) for SOURCE, the tests' analyzer
    setting added."""
    args, built, directory = build
    source = os.path.abspath(source)
    args = [source if a == built else a for a in args] + (TEST_ANALYSIS if tests else [])
    return dict(directory=directory, file=source, arguments=args)


def jobs(compile_commands_path, out):
    # The seeded source is checked only in the batch made for it below.
    sources = {line.strip() for line in sys.stdin if line.strip()} - {SEEDED}
    with open(compile_commands_path, encoding="utf-8") as handle:
        compile_commands = json.load(handle)
    listed = list(batches(compile_commands, sources))
    # The seeded source joins a batch of its own behind the smallest source, with its flags.
    smallest = min((s for members, _ in listed for s in members), key=os.path.getsize)
    listed.append(([smallest, SEEDED], next(b for members, b in listed if smallest in members)))
    os.makedirs(out, exist_ok=True)
    root = os.getcwd()
    whole, alone, order = [], [], []
    for number, (members, build) in enumerate(listed):
        tests = members[0].startswith("tests/")
        if len(members) == 1:
            name = members[0]
        else:
            name = f"{out}/UnifiedSource-{number}.cpp"
            with open(name, "w", encoding="utf-8") as batch:
                for member in members:
                    batch.write(f'#include "{root}/{member}"  // NOLINT(bugprone-suspicious-include)\n')
            # The smallest source has its per-source job with its own batch already.
            alone += [command(build, m, tests) for m in members
                      if m == SEEDED or SEEDED not in members]
        whole.append(command(build, name, tests))
        order.append((sum(os.path.getsize(m) for m in members), f"-p {out} {name}"))
    with open(f"{out}/compile_commands.json", "w", encoding="utf-8") as handle:
        json.dump(whole, handle, indent=1)
    os.makedirs(f"{out}/alone", exist_ok=True)
    with open(f"{out}/alone/compile_commands.json", "w", encoding="utf-8") as handle:
        json.dump(alone, handle, indent=1)
    # Largest first: a large batch started last would keep one core busy alone at the end. The
    # light per-source pass fills in behind.
    for _, job in sorted(order, reverse=True):
        print(job)
    for entry in alone:
        print(f"-p {out}/alone -checks={MAIN_FILE_CHECKS} {os.path.relpath(entry['file'])}")


def verdict(log_path):
    seeded = set()
    with open(SEEDED, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            for check in re.findall(r"seeded: ([\w.,\- ]+)$", line):
                seeded |= {(number, c.strip()) for c in check.split(",")}
    reported, others = set(), []
    with open(log_path, encoding="utf-8", errors="replace") as log:
        for line in log:
            line = line.rstrip("\n")
            match = FINDING.match(line)
            if match and os.path.relpath(match[1]) == SEEDED:
                reported |= {(int(match[2]), c) for c in match[3].split(",")
                             if c != "-warnings-as-errors"}
            elif match or "error:" in line or "Error while processing" in line:
                others.append(line)
    for line in others:
        print(line)
    for number, check in sorted(seeded - reported):
        print(f"lint: the seeded fault at {SEEDED}:{number} [{check}] was not reported")
    for number, check in sorted(reported - seeded):
        print(f"lint: {SEEDED}:{number} [{check}] was reported but not seeded")
    return 1 if others or seeded != reported else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["jobs"] and len(sys.argv) == 4:
        jobs(sys.argv[2], sys.argv[3])
    elif sys.argv[1:2] == ["verdict"] and len(sys.argv) == 3:
        sys.exit(verdict(sys.argv[2]))
    else:
        sys.exit(__doc__)
