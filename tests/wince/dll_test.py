# Brindle.dll for Windows CE read back: what a CE 3.0 loader on a StrongARM needs of the file.
# Arguments: DLL CORE-DEF (entry/win32/coredll.def, the functions it may import).

import re
import sys
import unittest

import capstone
import pefile

DLL, CORE_DEF = sys.argv[1:3]
EXPORT = b"?SendHighScore@@YAHPAGHHPAUHWND__@@@Z"
# Newer than ARMv4: branch-exchange and count leading zeros (v4T/v5), double-word and preload
# (v5TE), saturating arithmetic and DSP multiplies (v5TE), and any media or v6 instruction
# capstone names (which all start with these).
NEWER = re.compile(r"^(bx|blx|bxj|clz|ldrd|strd|pld|qd?(add|sub)|smla[btw]|smlal[bt]|smul[btw]|"
                   r"smulw|ldrex|strex|rev|sxt|uxt|sel|ssat|usat|pkh|[su]?q?(add|sub)(8|16)|"
                   r"cps|srs|rfe|setend|wfi|wfe|sev|yield|dmb|dsb|isb|movw|movt|ubfx|sbfx|bfi|bfc)")


class ReadBack(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(DLL)

    def test_header(self):
        pe, header = self.pe, self.pe.OPTIONAL_HEADER
        self.assertEqual(pe.FILE_HEADER.Machine, 0x1C0)  # ARM, not the Thumb-2 0x1C4
        self.assertEqual(header.Subsystem, 9)  # Windows CE GUI
        self.assertEqual((header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion,
                          header.MajorSubsystemVersion, header.MinorSubsystemVersion), (3, 0, 3, 0))
        self.assertTrue(pe.FILE_HEADER.Characteristics & 0x2000)  # a DLL
        self.assertFalse(pe.FILE_HEADER.Characteristics & 0x1)  # relocations not stripped
        relocations = sum(len(block.entries) for block in pe.DIRECTORY_ENTRY_BASERELOC)
        self.assertGreater(relocations, 10)

    def test_one_export_by_name_at_ordinal_one(self):
        exports = self.pe.DIRECTORY_ENTRY_EXPORT
        self.assertEqual(self.pe.get_string_at_rva(exports.struct.Name), b"Brindle.dll")
        self.assertEqual([(e.ordinal, e.name) for e in exports.symbols], [(1, EXPORT)])

    def test_imports_exactly_the_coredll_functions_listed(self):
        with open(CORE_DEF, encoding="utf-8") as listing:
            listed = {line.strip() for line in listing.read().split("EXPORTS")[1].splitlines()
                      if line.strip()}
        imports = {(lib.dll.decode().lower(), entry.name.decode())
                   for lib in self.pe.DIRECTORY_ENTRY_IMPORT for entry in lib.imports}
        self.assertEqual(imports, {("coredll.dll", name) for name in listed})

    def test_size(self):
        self.assertLessEqual(len(self.pe.__data__), 64 * 1024)

    def test_code_is_armv4_in_arm_mode(self):
        """Every instruction in the code sections; literal words (read pc-relative, or holding
        an address the loader relocates) are data, not code."""
        pe = self.pe
        relocated = {e.rva for block in pe.DIRECTORY_ENTRY_BASERELOC for e in block.entries}
        disassembler = capstone.Cs(capstone.CS_ARCH_ARM, capstone.CS_MODE_ARM)
        disassembler.skipdata = True
        words = {}
        for section in pe.sections:
            if section.Characteristics & 0x20000000:  # executable
                base = section.VirtualAddress
                for insn in disassembler.disasm(section.get_data(), base):
                    words[insn.address] = insn
        self.assertGreater(len(words), 1000)
        literals = set(relocated)
        for insn in words.values():
            match = re.match(r"\w+, \[pc, #(-?0x[0-9a-f]+|-?\d+)\]$", insn.op_str)
            if insn.mnemonic.startswith("ldr") and match:
                literals.add(insn.address + 8 + int(match[1], 0))
        newer = ["%#x: %s %s" % (a, i.mnemonic, i.op_str) for a, i in sorted(words.items())
                 if a not in literals and NEWER.match(i.mnemonic)]
        self.assertEqual(newer, [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
