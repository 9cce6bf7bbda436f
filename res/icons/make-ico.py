# Packs PNG images into a Windows icon file whose images stay stored as PNG.
import struct
import sys


def png_size(data):
    width, height = struct.unpack(">II", data[16:24])
    return width, height


def main():
    out, images = sys.argv[1], [open(p, "rb").read() for p in sys.argv[2:]]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for data in images:
        w, h = png_size(data)
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(images))


main()
