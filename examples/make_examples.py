#!/usr/bin/env python3
"""Writes the two example files of this folder; the output is the same on every run.

  stand-in-loader.s19  256 bytes at 0x0000, the loader the virtual controller accepts
  demo-program.s19     32 KB at 0x8000-0xFFFF, a program image for the demo and the tests
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def s_record(kind, address, data):
    body = bytes([len(data) + 3, address >> 8, address & 0xFF]) + bytes(data)
    checksum = 0xFF - (sum(body) & 0xFF)
    return "S%d%s%02X" % (kind, body.hex().upper(), checksum)


def write_s19(name, address, data, per_record):
    lines = [s_record(0, 0, name.encode("ascii"))]
    for offset in range(0, len(data), per_record):
        lines.append(s_record(1, address + offset, data[offset:offset + per_record]))
    lines.append(s_record(9, 0, b""))
    with open(os.path.join(HERE, name), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def stand_in_loader():
    # A branch to itself first: a real 68HC11 that is given this file by
    # mistake just loops in RAM and touches nothing.
    image = bytearray(b"\x20\xfe")
    image += b"KESTON-VC-TALKER"
    image += b" stand-in loader for the virtual controller only;"
    image += b" a real controller needs a talker that answers the protocol."
    image += bytes(256 - len(image))
    return bytes(image)


def demo_program():
    # xorshift32: deterministic bytes that exercise every bit of the flash.
    state = 0x4B455354
    image = bytearray()
    for _ in range(0x8000):
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        image.append(state & 0xFF)
    image[0x7FFE:0x8000] = b"\x80\x00"  # reset vector: the program's first byte
    return bytes(image)


if __name__ == "__main__":
    write_s19("stand-in-loader.s19", 0x0000, stand_in_loader(), 16)
    write_s19("demo-program.s19", 0x8000, demo_program(), 32)
