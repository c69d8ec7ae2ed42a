# Brindle.dll as built, read back with the cross binutils: one export at ordinal 1 under the
# Windows compiler's name, system imports only, and dialog 129 as the control table in
# dialog/dialog_template.cpp says. Arguments: DLL OBJDUMP EXPORT-NAME [SIZE-LIMIT]; the
# windres beside OBJDUMP writes the DLL's resources back as resource-script text.

import os
import re
import subprocess
import sys
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
DLL, OBJDUMP, EXPORT = sys.argv[1:4]
SIZE_LIMIT = int(sys.argv[4]) if len(sys.argv) > 4 else None


def run(*command):
    return subprocess.run(command, capture_output=True, check=True, text=True).stdout


def dialog_in_source():
    """kHighscoreDialog as windres writes a DIALOG back (every field that is not zero, empty
    or default gets a line of its own), from the table in its source."""
    with open(os.path.join(ROOT, "dialog", "dialog_template.h"), encoding="utf-8") as header:
        ids = dict(re.findall(r"inline constexpr int (\w+) = (\d+);", header.read()))
    with open(os.path.join(ROOT, "dialog", "dialog_template.cpp"), encoding="utf-8") as source:
        text = source.read()
    style, x, y, cx, cy, title, font, points, language = re.search(
        r'(0x[0-9A-F]+), (\d+), (\d+), (\d+), (\d+), u"([^"]*)", u"([^"]*)", (\d+), (\d+), '
        r"kControls", text).groups()
    lines = [f"LANGUAGE {int(language) & 0x3FF}, {int(language) >> 10}", "",
             f"{ids['IDD_SENDHIGHSCORE']} DIALOG {x}, {y}, {cx}, {cy}",
             f"STYLE {int(style, 16):#x}", f'CAPTION "{title}"', f'FONT {points}, "{font}"',
             "BEGIN"]
    lines += [f'  CONTROL "{name}", {ids[i]}, "{cls}", {int(bits, 16):#x}, {", ".join(box)}'
              for i, cls, name, bits, *box in re.findall(
                  r'\{(\w+), u"(\w+)", u"([^"]*)", (0x[0-9A-F]+), '
                  r"(-?\d+), (-?\d+), (\d+), (\d+)\}", text)]
    assert len(lines) == 7 + 11, lines
    return "\n".join(lines + ["END"]) + "\n"


class ReadBack(unittest.TestCase):
    def test_one_export_at_ordinal_one(self):
        dump = run(OBJDUMP, "-p", DLL)
        self.assertRegex(dump, r"Name\s+[0-9a-f]+ Brindle\.dll\n")
        self.assertRegex(dump, r"Ordinal Base\s+1\n")
        self.assertRegex(dump, r"Export Address Table\s+00000001\n")
        table = dump.split("[Ordinal/Name Pointer] Table\n")[-1].split("\n\n")[0]
        self.assertEqual(table.split("\n"), ["\t[   0] " + EXPORT])
        imports = {name.upper() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertTrue(imports and imports <= {"KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"},
                        imports)

    def test_dialog_129_is_the_control_table(self):
        script = run(OBJDUMP.replace("objdump", "windres"), "-J", "coff", "-O", "rc", "-i", DLL)
        self.assertEqual(re.findall(r"^(\w+) DIALOG", script, re.M), ["129"])
        self.assertIn(dialog_in_source(), script)

    @unittest.skipIf(SIZE_LIMIT is None, "no size limit for this build")
    def test_size_within_limit(self):
        self.assertLessEqual(os.path.getsize(DLL), SIZE_LIMIT)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
