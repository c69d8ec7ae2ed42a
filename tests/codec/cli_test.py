"""brindle encode/decode from the shell: output, JSON keys and exit statuses."""
import json
import subprocess
import sys
import unittest

BRINDLE = sys.argv.pop(1)
ANN_PDU = ("0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D5"
           "6C30DBCC16C3D9883622")


def run(*args, stdin=b""):
    done = subprocess.run([BRINDLE, *args], input=stdin, capture_output=True, timeout=30)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8", "replace")


class Encode(unittest.TestCase):
    def test_json_has_the_fixed_keys(self):
        status, out, _ = run("encode", "--game-id", "42", "--score", "12345", "--handle", "Ann",
                             "--json")
        self.assertEqual(status, 0)
        self.assertEqual(json.loads(out), {
            "payload": "0242011051234503Ann",
            "payloadHex": "30323432303131303531323334353033416E6E",
            "scoreText": "MID 06264626061616065616263646560636186D6D",
            "pdu": ANN_PDU, "cmgsLength": 51})

    def test_equals_form_takes_values_that_begin_with_a_dash(self):
        status, out, _ = run("encode", "--game-id=-7", "--score=-5", "--handle=-x-",
                             "--number=7654321", "--json")
        self.assertEqual(status, 0, out)
        result = json.loads(out)
        self.assertEqual(result["payload"], "02-701102-503-x-")
        self.assertTrue(result["pdu"].startswith("0011000781674523F1"))

    def test_handle_is_narrowed_to_latin1(self):
        status, out, _ = run("encode", "--game-id=1", "--score=2", "--handle=Zoë€", "--json")
        self.assertEqual(status, 0)
        self.assertEqual(json.loads(out)["payload"], "0110110120" + "4Zoë?")

    def test_refusals_exit_with_status_2(self):
        cases = {
            "score too large": ["--game-id=1", "--score=100000000", "--handle=ab"],
            "beyond int32": ["--game-id=1", "--score=4294967296", "--handle=ab"],
            "handle too short": ["--game-id=1", "--score=1", "--handle=a"],
            "number with letters": ["--game-id=1", "--score=1", "--handle=ab", "--number=+12a"],
            "missing option": ["--game-id=1", "--handle=ab"],
            "not a number": ["--game-id=x", "--score=1", "--handle=ab"],
        }
        for what, args in cases.items():
            with self.subTest(what):
                status, out, err = run("encode", *args)
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertTrue(err.strip())


class Decode(unittest.TestCase):
    def test_json_of_a_whole_pdu(self):
        status, out, _ = run("decode", ANN_PDU, "--json")
        self.assertEqual(status, 0)
        self.assertEqual(json.loads(out), {
            "payload": "0242011051234503Ann",
            "payloadHex": "30323432303131303531323334353033416E6E",
            "number": "+123456789012", "type": "submit", "gameId": 42, "fixed": 1,
            "score": 12345, "handle": "Ann"})

    def test_user_data_reads_as_decode_score_text_does(self):
        ann = ANN_PDU[30:]  # the user data behind its count
        fields = {"gameId": 42, "fixed": 1, "score": 12345, "handle": "Ann"}
        cases = {
            "count beyond the digits": ("2B" + ann, "0242011051234503Ann", fields),
            "count short of the digits": ("28" + ann, "0242011051234503An", {}),
            "octets after the counted ones": ("2A" + ann + "00", "0242011051234503Ann", fields),
            "odd number of digits": ("2A" + ann + "0", "0242011051234503Ann", fields),
            "lowercase digits": ("2a" + ann.lower(), "0242011051234503Ann", fields),
            "marker only": ("04CD241104", "", {}),
            "a lone digit": ("7", "", {}),
        }
        for what, (text, payload, want) in cases.items():
            with self.subTest(what):
                status, out, err = run("decode", "--user-data", text, "--json")
                self.assertEqual(status, 0, err)
                self.assertEqual(json.loads(out), {
                    "payload": payload, "payloadHex": payload.encode().hex().upper(), **want})

    def test_round_trip_with_latin1_handle(self):
        _, out, _ = run("encode", "--game-id=7", "--score=99999999", "--handle=Ünï", "--json")
        status, out, _ = run("decode", json.loads(out)["pdu"], "--json")
        self.assertEqual(status, 0)
        self.assertEqual(json.loads(out)["handle"], "Ünï")

    def test_bad_input_says_what_and_where(self):
        cases = {
            "not hex": ([ANN_PDU[:10] + "Z" + ANN_PDU[11:]], "offset 10"),
            "odd length": ([ANN_PDU[:-1]], "odd number"),
            "truncated": ([ANN_PDU[:20]], "ends inside"),
            "empty": ([""], "no PDU"),
            "user data not hex": (["--user-data", "2ACD24X1"], "not a hex digit at offset 6"),
            "user data empty": (["--user-data", " "], "no PDU"),
        }
        for what, (args, words) in cases.items():
            with self.subTest(what):
                status, out, err = run("decode", *args)
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertEqual(len(err.strip().splitlines()), 1)
                self.assertIn(words, err)

    def test_lines_one_object_each_and_refused_lines_say_why(self):
        deliver = ("07911326040000F0000C912143658709210000622160125130322ACD241104B3C96C34"
                   "9BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DBCC16C3D9883622")
        stdin = f"{ANN_PDU}\r\n  00ZZ\n\n{deliver}".encode()  # no end on the last line
        status, out, err = run("decode", "-", "--lines", stdin=stdin)
        self.assertEqual(status, 2)
        self.assertIn("2 of 4 lines refused; the first, line 2: not a hex digit at offset 4", err)
        self.assertEqual(len(err.strip().splitlines()), 1)
        got = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([row["line"] for row in got], [1, 2, 3, 4])
        self.assertEqual(got[0]["handle"], "Ann")
        self.assertEqual(got[1], {"line": 2, "error": "not a hex digit", "offset": 4})
        self.assertEqual(got[2], {"line": 3, "error": "no PDU text", "offset": 0})
        self.assertEqual((got[3]["type"], got[3]["sentAt"], got[3]["score"]),
                         ("deliver", "2026-12-06T21:15:03+05:45", 12345))
        status, out, _ = run("decode", "-", "--lines", "--user-data",
                             stdin=(ANN_PDU[28:] + "\n7\n").encode())
        self.assertEqual(status, 0)
        self.assertEqual([json.loads(line).get("gameId") for line in out.splitlines()], [42, None])

    def test_encode_lines_reads_json_objects(self):
        stdin = ('{"gameId": 42, "score": 12345, "handle": "Ann"}\n'
                 '{"gameId": 7, "score": -5, "handle": "Zoë", "number": "7654321"}\n'
                 '{"gameId": 1\n'
                 '{"gameId": 1, "score": 100000000, "handle": "ab"}\n').encode()
        status, out, err = run("encode", "--lines", stdin=stdin)
        self.assertEqual(status, 2)
        self.assertEqual(len(err.strip().splitlines()), 1)
        got = [json.loads(line) for line in out.splitlines()]
        self.assertEqual((got[0]["line"], got[0]["pdu"], got[0]["cmgsLength"]), (1, ANN_PDU, 51))
        self.assertEqual(got[1]["payload"], "01701102-503Zoë")
        self.assertTrue(got[1]["pdu"].startswith("0011000781674523F1"))
        self.assertEqual((got[2]["line"], got[2]["offset"]), (3, 12))  # its end
        self.assertEqual(got[3]["line"], 4)
        self.assertIn("100000000", got[3]["error"])
        self.assertNotIn("pdu", got[3])

    def test_binary_and_huge_input_never_crash(self):
        for what, data in {"binary": bytes(range(256)) * 8, "huge": b"00" * 600000,
                           "empty": b""}.items():
            with self.subTest(what):
                status, _, err = run("decode", "-", stdin=data)
                self.assertEqual(status, 2, err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
