# Brindle.dll as built, read back with binutils and icoutils: one export at ordinal 1 under the
# Windows compiler's name, system imports only, and dialog 129 as the control table in
# dialog/dialog_template.cpp says. Arguments: DLL OBJDUMP EXPORT-NAME [SIZE-LIMIT].

import os
import re
import struct
import subprocess
import sys
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
DLL, OBJDUMP, EXPORT = sys.argv[1:4]
SIZE_LIMIT = int(sys.argv[4]) if len(sys.argv) > 4 else None
CLASSES = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC"}


def run(*command):
    return subprocess.run(command, capture_output=True, check=True).stdout


def table_in_source():
    """(dialog fields, controls) of kHighscoreDialog, read from its source."""
    with open(os.path.join(ROOT, "dialog", "dialog_template.h"), encoding="utf-8") as header:
        ids = dict(re.findall(r"inline constexpr int (\w+) = (\d+);", header.read()))
    with open(os.path.join(ROOT, "dialog", "dialog_template.cpp"), encoding="utf-8") as source:
        text = source.read()
    controls = [(int(ids[i]), cls, title, int(style, 16), *map(int, box))
                for i, cls, title, style, *box in re.findall(
                    r'\{(\w+), u"(\w+)", u"([^"]*)", (0x[0-9A-F]+), '
                    r"(-?\d+), (-?\d+), (\d+), (\d+)\}", text)]
    style, *rest = re.search(r'(0x[0-9A-F]+), (\d+), (\d+), (\d+), (\d+), u"([^"]*)", '
                             r'u"([^"]*)", (\d+), (\d+), kControls', text).groups()
    fields = (int(style, 16), *map(int, rest[:4]), rest[4], rest[5], int(rest[6]), int(rest[7]))
    return fields, controls


def read_name(data, at):
    """A DLGTEMPLATE name field: an ordinal after 0xFFFF, else a terminated UTF-16 text."""
    if data[at:at + 2] == b"\xff\xff":
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def parse_dialog(data):
    style, ex_style, count, *box = struct.unpack_from("<IIH4h", data)
    menu, at = read_name(data, 18)
    cls, at = read_name(data, at)
    title, at = read_name(data, at)
    (points,) = struct.unpack_from("<H", data, at)
    font, at = read_name(data, at + 2)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        c_style, c_ex, *c_box, c_id = struct.unpack_from("<II4hH", data, at)
        c_cls, at = read_name(data, at + 18)
        c_title, at = read_name(data, at)
        (extra,) = struct.unpack_from("<H", data, at)
        at += 2 + extra
        controls.append((c_id, CLASSES.get(c_cls, c_cls), c_title, c_style, *c_box, c_ex, extra))
    return (style, *box, title, font, points), (ex_style, menu, cls), controls


class ReadBack(unittest.TestCase):
    def test_one_export_at_ordinal_one(self):
        dump = run(OBJDUMP, "-p", DLL).decode()
        self.assertRegex(dump, r"Name\s+[0-9a-f]+ Brindle\.dll\n")
        self.assertRegex(dump, r"Ordinal Base\s+1\n")
        self.assertRegex(dump, r"Export Address Table\s+00000001\n")
        table = dump.split("[Ordinal/Name Pointer] Table\n")[-1].split("\n\n")[0]
        self.assertEqual(table.split("\n"), ["\t[   0] " + EXPORT])
        imports = {name.upper() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertTrue(imports and imports <= {"KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"},
                        imports)

    def test_dialog_129_is_the_control_table(self):
        listing = run("wrestool", "-l", "--type=5", DLL).decode()
        self.assertEqual(re.findall(r"--name=(\d+) --language=(\d+)", listing),
                         [("129", "1033")])
        fields, extra, controls = parse_dialog(
            run("wrestool", "-x", "--raw", "--type=5", "--name=129", DLL))
        want_fields, want_controls = table_in_source()
        self.assertEqual(fields, want_fields[:-1])
        self.assertEqual(want_fields[-1], 1033)
        self.assertEqual(extra, (0, "", ""))
        self.assertEqual(len(controls), 11)
        self.assertEqual(controls, [(*c, 0, 0) for c in want_controls])

    @unittest.skipIf(SIZE_LIMIT is None, "no size limit for this build")
    def test_size_within_limit(self):
        self.assertLessEqual(os.path.getsize(DLL), SIZE_LIMIT)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
