#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_receiver (fuzz/corpus/receiver/) and
fuzz_receiver_small (fuzz/corpus/receiver_small/).

Each seed is a list of operations in the format that receiver_fuzz.cpp or
receiver_small_fuzz.cpp describes: a control byte, then what it needs.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "receiver")
OUT_SMALL = os.path.join(HERE, "corpus", "receiver_small")


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


def small_pieces(data, size, kind=0):
    """Pieces of at most 32 bytes for receiver_small_fuzz.cpp (kind 0 drains
    everything, 1 nothing, 2 one package)."""
    size = min(size, 32)
    return b"".join(bytes([kind | ((len(data[i:i + size]) - 1) << 3)])
                    + data[i:i + size] for i in range(0, len(data), size))


def small_header(fnc_typ, message_id, datasize, stamp=1):
    return bytes([3, fnc_typ, message_id, datasize, stamp])


SMALL_SEEDS = {
    "two_in_one_piece": small_pieces(package(1, 7, 34) + package(2, 8, 40), 32),
    "split_in_pieces": small_pieces(package(1, 0x0101, 90), 7),
    "header_cut_at_33": small_pieces(package(2, 5, 80), 33, 1)
    + bytes([6]),
    "header_then_payload": small_header(1, 9, 60)
    + small_pieces(bytes(26), 13),
    "invalid_datasize": small_header(2, 4, 20) + small_header(1, 5, 34),
    "not_dispatched_types": small_header(0, 1, 34) + small_header(3, 2, 34)
    + small_header(4, 3, 34) + bytes([7]),
    "bad_magic_held": small_header(129, 1, 34) + bytes([5, 4 | (2 << 3)]),
    "drain_one_at_a_time": small_pieces(package(1, 1, 40) + package(2, 2, 50),
                                        16, 2) + bytes([4 | (1 << 3)]),
}


def write(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    write(OUT, SEEDS)
    write(OUT_SMALL, SMALL_SEEDS)


if __name__ == "__main__":
    main()
