#!/usr/bin/env python3
"""Computes the golden fingerprints pinned in ACFileSHA1Test.cpp.

Independent of the C++ code: Python's own zlib and hashlib. The raw deflate form is the zlib
stream of level -1, window bits 15, memory level 8, default strategy, after one full flush and the
finish, less its 2-byte header and its 6-byte tail. Run it once and paste its output into the test.
The contents generators must match those of the test.
"""

import hashlib
import zlib

LINE = "{:08d} every part file keeps the same fingerprint\n"


def text(length):
    out = bytearray()
    i = 0
    while len(out) < length:
        out += LINE.format(i).encode()
        i += 1
    return bytes(out[:length])


def noise(length, seed):
    out = bytearray(length)
    state = seed
    for i in range(length):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = state >> 24
    return bytes(out)


def deflate_data(data):
    if not data:
        return b""
    stream = zlib.compressobj(-1, zlib.DEFLATED, 15, 8, zlib.Z_DEFAULT_STRATEGY)
    produced = stream.compress(data) + stream.flush(zlib.Z_FULL_FLUSH) + stream.flush(zlib.Z_FINISH)
    raw = produced[2:-6]
    assert raw.endswith(b"\x00\x00\xff\xff")
    assert zlib.decompressobj(-15).decompress(raw) == data
    return raw


def fingerprint(data):
    raw = deflate_data(data)
    return "{}_{}".format(hashlib.sha1(raw).hexdigest(), len(raw))


def padded_case():
    # A short input whose digest has a byte below 0x10 first: the fingerprint starts with "0".
    i = 0
    while True:
        data = "padding {}".format(i).encode()
        if hashlib.sha1(deflate_data(data)).digest()[0] < 0x10:
            return data
        i += 1


def main():
    print("zlib", zlib.ZLIB_RUNTIME_VERSION)
    cases = [
        ('"empty"', "{}", b""),
        ('"one byte"', '{"a"}', b"a"),
        ('"text 1,024,000"', "text(1'024'000)", text(1_024_000)),
        ('"noise 1,024,000"', "noise(1'024'000, 1)", noise(1_024_000, 1)),
        ('"noise 2,500,000"', "noise(2'500'000, 2)", noise(2_500_000, 2)),
    ]
    padded = padded_case()
    cases.append(('"padded digest"', '{"' + padded.decode() + '"}', padded))
    for name, expression, data in cases:
        print("    {{{}, {}, \"{}\"}},".format(name, expression, fingerprint(data)))


if __name__ == "__main__":
    main()
