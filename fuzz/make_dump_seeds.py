#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_dump_decoder (fuzz/corpus/dump_decoder).

Each seed: one byte for the direction (odd: client>server), one byte N for
the number of piece sizes, N piece sizes, then the recorded stream."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "dump_decoder")


def package(fnc_typ, message_id, payload, datasize=None):
    size = 34 + len(payload) if datasize is None else datasize
    header = struct.pack("<HHIIIH4I", fnc_typ, 10001, message_id, size, size,
                         0, 1, 2, 3, 4)
    return header + payload


def seed(name, client, cuts, stream):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes([1 if client else 0, len(cuts)]) + bytes(cuts) + stream)


os.makedirs(OUT, exist_ok=True)
calls = package(0, 1, b"abc") + package(0, 2, bytes(range(200)))
answers = package(2, 1, b"abc") + package(1, 7, b"event 1")
seed("calls", False, [], calls)
seed("calls_in_pieces", False, [1, 7, 33], calls)
seed("answers", True, [5], answers)
seed("garbage_front", True, [3, 0], b"\x11\x27garbage" + answers)
seed("datasize_zero", True, [], package(1, 9, b"", 0) + answers)
seed("datasize_small", True, [2], package(2, 9, b"xx", 20) + answers)
seed("type_three", True, [], package(3, 4, b"three") + answers)
seed("message_id_zero", True, [9], package(2, 0, b"zero") + answers)
seed("huge", True, [], package(2, 5, b"", 10485726) + answers)
seed("cut_off", False, [4], calls + package(0, 3, b"x" * 100)[:50])
