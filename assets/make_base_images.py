#!/usr/bin/python3
"""Makes the sample base images RZ41902_15_3.sx and RZ41902_8_8.sx.

They stand in for the device firmware the configurator merges its banks into: an S0 header,
S1 records of the reset vectors, S2 records of some code pages, S2 records covering all five
bank pages (0x388000-0x3CBFFF, erased flash 0xFF) and an S9 end record, all with CR LF line
ends. The code bytes are pseudo-random but fixed by the image name, so running the script
again gives the same files.

usage: make_base_images.py [--out DIR] [--code-pages N] [NAME ...]
"""
import argparse
import hashlib
import os

BANK_PAGES = [0x38, 0x39, 0x3A, 0x3B, 0x3C]
PAGE_SIZE = 0x4000
RECORD_BYTES = 32


def record(kind, address, address_bytes, data):
    body = address.to_bytes(address_bytes, "big") + bytes(data)
    count = len(body) + 1
    checksum = (~(count + sum(body))) & 0xFF
    return "%s%02X%s%02X\r\n" % (kind, count, body.hex().upper(), checksum)


def code_bytes(name, page, length):
    out = bytearray()
    block = 0
    while len(out) < length:
        out += hashlib.sha256(("%s/%d/%d" % (name, page, block)).encode()).digest()
        block += 1
    return out[:length]


def code_pages(count):
    pages = [p for p in range(0x20, 0x40) if p not in BANK_PAGES]
    if count > len(pages):
        raise SystemExit("at most %d code pages" % len(pages))
    return pages[:count]


def image(name, pages):
    lines = [record("S0", 0, 2, name.encode("ascii"))]
    vectors = code_bytes(name, 0xFF, 0x80)
    for off in range(0, 0x80, RECORD_BYTES):
        lines.append(record("S1", 0xFF80 + off, 2, vectors[off:off + RECORD_BYTES]))
    for page in pages:
        data = code_bytes(name, page, PAGE_SIZE)
        base = (page << 16) | 0x8000
        for off in range(0, PAGE_SIZE, RECORD_BYTES):
            lines.append(record("S2", base + off, 3, data[off:off + RECORD_BYTES]))
    for page in BANK_PAGES:
        base = (page << 16) | 0x8000
        for off in range(0, PAGE_SIZE, RECORD_BYTES):
            lines.append(record("S2", base + off, 3, b"\xFF" * RECORD_BYTES))
    lines.append(record("S9", 0, 2, b""))
    return "".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--code-pages", type=int, default=3)
    parser.add_argument("names", nargs="*", default=["RZ41902_15_3", "RZ41902_8_8"])
    args = parser.parse_args()
    for name in args.names:
        path = os.path.join(args.out, name + ".sx")
        with open(path, "w", newline="") as f:
            f.write(image(name, code_pages(args.code_pages)))
        print(path, os.path.getsize(path))


if __name__ == "__main__":
    main()
