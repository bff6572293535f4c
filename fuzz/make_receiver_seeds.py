#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_receiver (fuzz/corpus/receiver/).

Each seed is a list of operations in the format that receiver_fuzz.cpp
describes: a control byte, then for a piece two size bytes and the contents.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "receiver")


def package(fnc_typ, message_id, datasize, fill=0x41):
    head = struct.pack("<HHIIIH4I", fnc_typ, 10001, message_id, datasize,
                       datasize, 0, 1, 2, 3, 4)
    return head + bytes([fill]) * max(0, datasize - len(head))


def piece(data, drain="all", limit=0):
    kind = {"none": 0, "all": 1, "some": 2}[drain]
    return bytes([kind | (limit << 3)]) + struct.pack("<H", len(data) - 1) + data


def pieces(data, size, drain="all"):
    return b"".join(piece(data[i:i + size], drain)
                    for i in range(0, len(data), size))


DRAIN_ALL = bytes([7])
FILL_TO_LIMIT = bytes([5 | (0 << 3)])
FILL_OVER_LIMIT = bytes([5 | (1 << 3)])
REFUSED_NULL = bytes([6 | (0 << 3)])

SEEDS = {
    "two_in_one_piece": piece(package(1, 7, 34) + package(2, 8, 100)),
    "split_in_pieces": pieces(package(1, 0x0101, 3000), 700),
    "header_cut_at_33": pieces(package(2, 5, 80), 33),
    "invalid_datasize": piece(package(1, 5, 0)[:34] + package(1, 6, 40)),
    "bad_magic_then_overflow": piece(b"\x01\x00\x12\x27" + bytes(30), "none")
    + FILL_OVER_LIMIT + piece(package(1, 9, 50)),
    "fill_to_limit": piece(package(1, 3, 60)[:20], "none") + FILL_TO_LIMIT
    + DRAIN_ALL + REFUSED_NULL + piece(package(2, 4, 34)),
    "drain_one_at_a_time": piece(package(1, 1, 40) + package(3, 2, 50)
                                 + package(0, 3, 34), "some", 1)
    + bytes([4 | (1 << 3)]) + DRAIN_ALL,
    "stale_header_bytes": piece(package(1, 1, 34) + package(1, 2, 256)[:9])
    + piece(package(1, 2, 256)[9:]),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
