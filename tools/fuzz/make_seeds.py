#!/usr/bin/env python3
"""Writes the seed corpus of the receive-path fuzzers (fuzz/corpus/).

The frames are built here from the protocol's rules with a CRC of its own, not
with the program's code. Input format: see tools/fuzz/fuzz_common.h.
Usage: tools/fuzz/make_seeds.py [corpus-dir]   (default: fuzz/corpus)
"""
import os
import sys

ESC, ENQ = b"\x1b", b"\x05"
EMPTY, SS, LU, UD, EN = range(5)


def crc_hex(payload: bytes) -> bytes:
    """CRC-16/MODBUS, low byte first, upper-case hex."""
    crc = 0xFFFF
    for b in payload:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return b"%02X%02X" % (crc & 0xFF, crc >> 8)


assert crc_hex(b"abc") == b"4957" and crc_hex(b"EN") == b"B314" and crc_hex(b"") == b"FFFF"


def frame(payload: bytes) -> bytes:
    return ESC + payload + crc_hex(payload) + ENQ


def chunk(content: bytes, mode=None, nested=False, sender=0, repeat=1, raw=False) -> bytes:
    """raw: the upgrade fuzzer leaves checksums alone (else it rewrites them)."""
    ctrl = (sender << 5) | (0x20 if raw else 0) | (0x10 if nested else 0) | (0x08 | mode if mode is not None else 0)
    return bytes([ctrl, len(content) & 0xFF, len(content) >> 8, repeat]) + content


def seed(mode, *chunks) -> bytes:
    return bytes([mode]) + b"".join(chunks)


def upgrade_seeds():
    good = frame(b"R0005")
    lower = good[:6] + good[6:10].lower() + ENQ
    return {
        "accept_start5": seed(LU, chunk(frame(b"R0005"))),
        "accept_alone": seed(LU, chunk(frame(b"R"))),
        "accept_bad_field_then_refusal": seed(LU, chunk(frame(b"Rzz") + frame(b"E81")), chunk(b"x")),
        "refuse_no_flash": seed(LU, chunk(frame(b"E80"))),
        "refuse_same_version": seed(LU, chunk(frame(b"E81xyz"))),
        "complete": seed(EN, chunk(frame(b"R"))),
        "resend_list": seed(EN, chunk(frame(b"R0003000100040007"))),
        "resend_zero": seed(EN, chunk(frame(b"R0000"))),
        "resend_count_too_big": seed(EN, chunk(frame(b"R00050001"))),
        "unknown_completion_reply": seed(EN, chunk(frame(b"X"))),
        "split_frame": seed(LU, chunk(good[:4]), chunk(good[4:])),
        "junk_before_frame": seed(EN, chunk(b"xy" + ENQ + ESC + b"abc"), chunk(ENQ + b"zz" + frame(b"R"))),
        "zero_byte_cuts": seed(LU, chunk(frame(b"E80") + b"\x00" + frame(b"R0001"))),
        "lower_case_checksum": seed(LU, chunk(lower, raw=True)),
        "bad_checksum": seed(LU, chunk(good[:-2] + b"0" + ENQ, raw=True)),
        "flood_then_frame": seed(EMPTY, *[chunk(b"A" * 200, repeat=60)] * 8,
                                 chunk(frame(b"R"), mode=EN)),
        "flood_after_esc": seed(EMPTY, chunk(b"q" + ESC), *[chunk(b"C" * 200, repeat=60)] * 7,
                                chunk(frame(b"R"), mode=EN)),
        "notice_with_nested_reply": seed(LU, chunk(frame(b"E80")),
                                         chunk(frame(b"R0002"), mode=LU, nested=True)),
        "accept_then_query_reply": seed(LU, chunk(frame(b"R0000")), chunk(frame(b"R00010003"), mode=EN)),
    }


def search_seeds():
    def reply(text: bytes) -> bytes:
        return ESC + text + ENQ

    return {
        "reply": seed(SS, chunk(reply(b"123456#S2.01"))),
        "reply_no_version": seed(SS, chunk(reply(b"123456"))),
        "reply_two_hashes": seed(SS, chunk(reply(b"A#B#C"))),
        "reply_then_update": seed(SS, chunk(reply(b"123456#S2.01")), chunk(reply(b" AB789 #S9"))),
        "scrubbed_bytes": seed(SS, chunk(reply(b"12\xff\xfb\x00\x0a34#S1"), sender=1)),
        "own_address": seed(SS, chunk(reply(b"123456#S2.01"), sender=5)),
        "empty_sender": seed(SS, chunk(reply(b"123456#S2.01"), sender=4)),
        "empty_serials": seed(SS, chunk(reply(b"") + reply(b"#S1"))),
        "blank_serial": seed(SS, chunk(reply(b"   #S1"), sender=2)),
        "two_replies_one_datagram": seed(SS, chunk(reply(b"111#S1") + reply(b"222#S2"), sender=3)),
        "probe_echo_then_reply": seed(SS, chunk(b"\xff\x04\x03\xfb", sender=5),
                                      chunk(reply(b"9#S3"), sender=6)),
        "three_senders": seed(SS, chunk(reply(b"1#S1"), sender=0), chunk(reply(b"2#S2"), sender=1),
                              chunk(reply(b"3#S3"), sender=2), chunk(reply(b"1b#S1"), sender=0)),
        "wrong_mode": seed(LU, chunk(reply(b"123456#S2.01")), chunk(reply(b"7#S7"), mode=SS, sender=7)),
        "flood_then_reply": seed(SS, *[chunk(b"B" * 200, repeat=60)] * 8, chunk(reply(b"5#S5"))),
        "flood_after_esc": seed(SS, chunk(ESC + b"77"), *[chunk(b"D" * 200, repeat=60)] * 7,
                                chunk(reply(b"8#S8"))),
        "split_reply": seed(SS, chunk(ESC + b"1234", sender=0), chunk(b"56#S2" + ENQ, sender=1)),
    }


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "fuzz", "corpus")
    for sub, seeds in (("upgrade", upgrade_seeds()), ("search", search_seeds())):
        directory = os.path.join(root, sub)
        os.makedirs(directory, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(directory, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
