# SMS-DELIVER PDUs for the score service's tests, built from `brindle encode` output.
import json
import subprocess


def swap_digits(digits):
    if len(digits) % 2:
        digits += "F"
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


def user_data(brindle, game_id, score, handle):
    # TP-UDL and TP-UD of the score message, as the sender builds them.
    out = subprocess.run([brindle, "encode", f"--game-id={game_id}", f"--score={score}",
                          f"--handle={handle}", "--json"], capture_output=True, text=True,
                         check=True).stdout
    pdu = json.loads(out)["pdu"]
    at = 6  # service centre, first octet, message reference
    digits = int(pdu[at:at + 2], 16)
    at += 4 + digits + digits % 2
    at += 6  # protocol id, coding, validity
    return pdu[at:]


def deliver(udl_ud, sender="+447700900123", when=(2026, 12, 6, 21, 15, 3, 4), first="04",
            coding="00"):
    return "00" + first + address(sender) + "00" + coding + stamp(*when) + udl_ud


def score_deliver(brindle, game_id, score, handle, **kwargs):
    return deliver(user_data(brindle, game_id, score, handle), **kwargs)


def scramble(byte):
    return ((byte >> 3) & 0x0F) | ((byte & 0x07) << 4) | (byte & 0x80)


def pack(text, header=b""):
    # TP-UDL and TP-UD: a user-data header (with its length octet), fill bits, septets.
    if header:
        header = bytes([len(header)]) + header
    header_septets = (len(header) * 8 + 6) // 7
    value = int.from_bytes(header, "little")
    bit = header_septets * 7
    for char in text:
        value |= ord(char) << bit  # score text characters keep their codes in GSM 7-bit
        bit += 7
    octets = (bit + 7) // 8
    return f"{header_septets + len(text):02X}" + value.to_bytes(octets, "little").hex().upper()


def raw_user_data(payload, header=b""):
    # The score text of any payload, as the sender scrambles it.
    text = "MID " + "".join(f"{scramble(b):02X}" for b in payload.encode("latin-1"))
    return pack(text, header)
