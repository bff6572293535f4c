#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_profile (fuzz/corpus/profile/).

Each seed is what profile_fuzz.cpp reads: a byte for the buffer's size, a
byte for the defaults, the section's name and a NUL, the key's name and a
NUL, then the file.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "profile")


def seed(size, defaults, section, key, file):
    return bytes([size, defaults]) + section + b"\0" + key + b"\0" + file


SEEDS = {
    "crlf_server": seed(40, 0, b"server", b"port",
                        b"[server]\r\nport=1234\r\nip=10.0.0.7\r\n"),
    "case_and_blanks": seed(40, 1, b" Server ", b"IP",
                            b"  [ SERVER ]  \n\t ip \t=\t a b \v\f\n"),
    "comment_and_first_wins": seed(16, 2, b"s", b"k",
                                   b"[s]\n;k=5\nk=6\nk=7\n[S]\nk=8\n"),
    "no_value_wins": seed(20, 3, b"s", b"k", b"[s]\nk\nk=9\n"),
    "nameless_section": seed(20, 4, b"", b"k", b"k=12\n[]\nk=13\n"),
    "lone_cr_and_bom": seed(30, 5, b"s", b"k",
                            b"\xEF\xBB\xBF[s]\rk=0x1f\r[t]\rk=2"),
    "nul_ends_line": seed(30, 6, b"s", b"k", b"[s]\nk=ab\0cd\nx=1"),
    "quoted_cut": seed(5, 7, b"s", b"k", b"[s]\nk=\"abcd\"\n"),
    "numbers": seed(30, 8, b"s", b"k", b"[s]\nk=  -0o17junk\n"),
    "long_number": seed(30, 9, b"s", b"k",
                        b"[s]\nk=\"123456789012345678901234567890123\"\n"),
    "header_without_close": seed(30, 10, b"s", b"k", b"[s\nk=1\n[s] x\nk=2\n"),
    "size_zero": seed(0, 11, b"s", b"k", b"[s]\nk=1\n"),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
