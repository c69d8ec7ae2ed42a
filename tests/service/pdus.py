# SMS-DELIVER PDUs for the score service's tests, built from `brindle encode` output.
import json
import subprocess


def swap_digits(digits):
    digits += "F" * (len(digits) % 2)
    return "".join(digits[i + 1] + digits[i] for i in range(0, len(digits), 2))


def address(number):
    digits = number.lstrip("+")
    kind = "91" if number.startswith("+") else "81"
    return f"{len(digits):02X}{kind}{swap_digits(digits)}"


def stamp(year, month, day, hour, minute, second, quarters):
    # TP-SCTS: swapped decimal digits, the offset's sign in bit 3.
    fields = [year % 100, month, day, hour, minute, second]
    text = "".join(swap_digits(f"{v:02d}") for v in fields)
    zone = int(swap_digits(f"{abs(quarters):02d}"), 16) | (0x08 if quarters < 0 else 0)
    return text + f"{zone:02X}"


# The 14 octets an SMS-SUBMIT to the default number starts with, in hex digits: what follows
# them is TP-UDL and TP-UD.
SUBMIT_HEAD = 28


def user_data(brindle, game_id, score, handle):
    # TP-UDL and TP-UD of the score message, as the sender builds them.
    out = subprocess.run([brindle, "encode", f"--game-id={game_id}", f"--score={score}",
                          f"--handle={handle}", "--json"], capture_output=True, text=True,
                         check=True).stdout
    return json.loads(out)["pdu"][SUBMIT_HEAD:]


def user_data_lines(brindle, messages):
    # The same for many (game_id, score, handle) at once, through one `brindle encode --lines`.
    lines = "".join(json.dumps({"gameId": g, "score": s, "handle": h}) + "\n"
                    for g, s, h in messages)
    out = subprocess.run([brindle, "encode", "--lines"], input=lines, capture_output=True,
                         text=True, check=True).stdout
    return [json.loads(line)["pdu"][SUBMIT_HEAD:] for line in out.splitlines()]


def deliver(udl_ud, sender="+447700900123", when=(2026, 12, 6, 21, 15, 3, 4), first="04",
            coding="00"):
    return "00" + first + address(sender) + "00" + coding + stamp(*when) + udl_ud


def score_deliver(brindle, game_id, score, handle, **kwargs):
    return deliver(user_data(brindle, game_id, score, handle), **kwargs)

