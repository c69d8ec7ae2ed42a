#!/usr/bin/env python3
"""Compiles one source for Windows CE on ARM. No compiler here writes CE objects (PE/COFF with
ARM-mode code), so clang writes ARMv4 assembly for an ELF target, the ELF-only directives are
dropped or turned into their COFF forms, and the cross assembler makes the object.

Usage: compile.py AS CLANG ARGS...  (ARGS as for clang, with -c and -o OBJECT)"""

import os
import re
import subprocess
import sys
import tempfile

# Unwind tables, symbol types and sizes, ELF attributes: PE has no place for any of them.
DROPPED = {".eabi_attribute", ".fnstart", ".fnend", ".cantunwind", ".save", ".setfp", ".pad",
           ".vsave", ".type", ".size", ".file", ".hidden", ".ident", ".addrsig"}
# ELF section name prefix -> PE section and its COFF flags. Data that is read-only once
# relocated (the virtual tables) goes with the read-only data, as PE compilers put it.
SECTIONS = [(".text", ".text", "xr"), (".rodata", ".rdata", "dr"),
            (".data.rel.ro", ".rdata", "dr"), (".data", ".data", "dw"), (".bss", ".bss", "bw")]


# Sections that say something to ELF tools only (the stack note, the linker options); the data
# put into them is dropped with them, while symbol directives after them still count.
DISCARDED = {".note.GNU-stack", ".linker-options"}
DATA = {".ascii", ".asciz", ".byte", ".short", ".long", ".zero", ".p2align"}
# clang makes a complete-object constructor or destructor an alias of the base-object one
# (".set C1, C2"), which COFF gas leaves out of the symbol table; a second label on the same
# code says the same thing.
ALIAS = re.compile(r"\s*\.set\s+([\w.$]+),\s*([\w.$]+)\s*$")


def section(line):
    """The COFF lines for an ELF .section line (None: a discarded section); one section per
    function or object keeps them apart for --gc-sections, and inline functions' groups
    become link-once sections."""
    name, _, rest = line.split(None, 1)[1].partition(",")
    name = name.strip('"')
    if name in DISCARDED:
        return None
    for prefix, target, flags in SECTIONS:
        if name == prefix or name.startswith(prefix + "."):
            suffix = name[len(prefix) + 1:]
            lines = ['\t.section %s%s,"%s"' % (target, "$" + suffix if suffix else "", flags)]
            return lines + (["\t.linkonce discard"] if "comdat" in rest else [])
    # Static constructors and the like would need a runtime to run them; this build has none.
    raise SystemExit("compile.py: no PE section for %r" % name)


def to_coff(assembly):
    lines = assembly.splitlines()
    aliases = {}
    for match in filter(None, map(ALIAS.match, lines)):
        aliases.setdefault(match[2] + ":", []).append(match[1] + ":")
    out, discarding = [], False
    for line in lines:
        words = line.split(None, 1)
        directive = words[0] if words else ""
        out += aliases.get(directive, [])
        if ALIAS.match(line):
            continue
        if directive == ".section":
            coff = section(line)
            discarding = coff is None
            out += coff or []
        elif directive in (".text", ".data", ".bss"):
            discarding = False
            out.append(line)
        elif (discarding and directive in DATA) or directive in DROPPED or \
                directive.startswith(".addrsig"):
            continue
        elif directive == ".weak":  # only inline functions' link-once copies are weak here
            out.append("\t.globl\t" + words[1])
        else:
            out.append(line)
    return "\n".join(out) + "\n"


def main():
    assembler, clang, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    output = args[args.index("-o") + 1]
    with tempfile.TemporaryDirectory() as work:
        elf = os.path.join(work, "elf.s")
        command = [clang] + ["-S" if a == "-c" else a for a in args]
        command[command.index("-o") + 1] = elf
        subprocess.run(command, check=True)
        with open(elf, encoding="utf-8") as text:
            coff = to_coff(text.read())
        # The assembler takes only instructions of the processor the code is for.
        march = [a for a in args if a.startswith("-march=")][-1:]
        subprocess.run([assembler, *march, "-o", output, "-"], input=coff,
                       text=True, check=True)


if __name__ == "__main__":
    try:
        main()
    except subprocess.CalledProcessError as error:
        sys.exit(error.returncode or 1)
