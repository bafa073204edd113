#!/usr/bin/env python3
"""Writes the seed corpus of tga_reader_fuzz into corpus/ beside this script."""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def tga(width, height, bits, descriptor=0, image_type=2, pixels=None):
    head = bytes([0, 0, image_type, 0, 0, 0, 0, 0, 0, 0, 0, 0])
    head += struct.pack("<HHBB", width, height, bits, descriptor)
    if pixels is None:
        pixels = bytes((i * 37 + 11) & 0xFF for i in range(width * height * bits // 8))
    return head + pixels


seeds = {
    "valid_2x2_24.tga": tga(2, 2, 24),
    "valid_3x1_32.tga": tga(3, 1, 32),
    "valid_5x3_24_topleft.tga": tga(5, 3, 24, descriptor=0x20),
    "valid_1x1_32_trailer.tga": tga(1, 1, 32) + b"TRUEVISION-XFILE.\0",
    "cut_short_2x2_24.tga": tga(2, 2, 24)[:-1],
    "rle_type10.tga": tga(2, 2, 24, image_type=10),
    "bits16.tga": tga(2, 2, 16),
    "width0.tga": tga(0, 2, 24, pixels=b""),
    "huge_header.tga": tga(65535, 65535, 32, pixels=b"\x55" * 16),
    "header_only.tga": tga(4, 4, 24, pixels=b""),
}

os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
