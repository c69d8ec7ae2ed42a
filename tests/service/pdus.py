# SMS-DELIVER PDUs for the score service's tests: score messages as `brindle encode --lines`
# sends them, each as it arrives on a phone (`brindle phone --deliver`). Every process takes a
# whole batch: starting one costs more than the messages.
import json
import subprocess

SENDER = "+447700900123"
WHEN = (2026, 12, 6, 21, 15, 3, 4)  # the offset in quarters of an hour


def sent_at(year, month, day, hour, minute, second, quarters):
    minutes = 15 * abs(quarters)
    return (f"{year:04d}-{month:02d}-{day:02d}T{hour:02d}:{minute:02d}:{second:02d}"
            f"{'-' if quarters < 0 else '+'}{minutes // 60:02d}:{minutes % 60:02d}")


def run(args, lines):
    return subprocess.run(args, input="".join(line + "\n" for line in lines),
                          capture_output=True, text=True, check=True).stdout.splitlines()


def submits(brindle, messages):
    # The SMS-SUBMITs of (game_id, score, handle) messages.
    lines = (json.dumps({"gameId": g, "score": s, "handle": h}) for g, s, h in messages)
    return [json.loads(line)["pdu"] for line in run([brindle, "encode", "--lines"], lines)]


def delivers(brindle, submit_pdus, sender=SENDER, when=WHEN, coding=None):
    # The SMS-DELIVER each SUBMIT becomes; `coding` (two hex digits) replaces its TP-DCS.
    options = ["--from", sender, "--sent", sent_at(*when)] + (["--coding", coding] if coding else [])
    return run([brindle, "phone", "--deliver", *options], submit_pdus)


def score_delivers(brindle, messages, **kwargs):
    # In their order, messages of (game_id, score, handle) or (game_id, score, handle, sender);
    # kwargs as delivers() takes them. One phone process for each sender.
    sent = submits(brindle, [message[:3] for message in messages])
    by_sender = {}
    for i, message in enumerate(messages):
        by_sender.setdefault(message[3] if len(message) > 3 else None, []).append(i)
    out = [None] * len(messages)
    for sender, indexes in by_sender.items():
        arrival = dict(kwargs, **({"sender": sender} if sender else {}))
        for i, pdu in zip(indexes, delivers(brindle, [sent[i] for i in indexes], **arrival)):
            out[i] = pdu
    return out


def score_deliver(brindle, game_id, score, handle, **kwargs):
    return score_delivers(brindle, [(game_id, score, handle)], **kwargs)[0]
