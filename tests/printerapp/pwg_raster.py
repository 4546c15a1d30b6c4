"""PWG raster files for tests: pages of dots as clients send them, and
damaged ones as careless or hostile clients might."""

import struct


def header(width, height, bits=1, colour_space=3, bytes_per_line=None, dpi=203):
    """A page header (the 1796 bytes after "RaS2" or before each page)."""
    fields = bytearray(1796)
    fields[0:9] = b"PwgRaster"

    def put(offset, value):
        fields[offset:offset + 4] = struct.pack(">I", value)

    put(276, dpi)
    put(280, dpi)
    put(352, width * 72 // dpi)
    put(356, height * 72 // dpi)
    put(372, width)
    put(376, height)
    put(384, 1 if bits == 1 else 8)
    put(388, bits)
    put(392, bytes_per_line if bytes_per_line is not None else (width * bits + 7) // 8)
    put(400, colour_space)
    put(420, 1)
    return bytes(fields)


def encode_line(line):
    """One line (bytes) as a group of one line: PackBits-like runs of bytes."""
    out = bytearray([0])
    i = 0
    while i < len(line):
        j = i
        while j + 1 < len(line) and line[j + 1] == line[i] and j - i < 127:
            j += 1
        out += bytes([j - i, line[i]])
        i = j + 1
    return bytes(out)


def black_1(rows, width):
    """A black_1 file of one page; `rows` are lists of dot bytes (1 = black)."""
    return b"RaS2" + header(width, len(rows)) + b"".join(encode_line(bytes(r)) for r in rows)


def pbm(rows, width):
    """The same page as a raw PBM, for labelprint."""
    return b"P4\n%d %d\n" % (width, len(rows)) + b"".join(bytes(r) for r in rows)


def box_page(width=812, height=1218):
    """A label with a black frame and a bar: rows of dot bytes."""
    stride = (width + 7) // 8
    rows = []
    for y in range(height):
        if y < 8 or y >= height - 8:
            rows.append([0xFF] * stride)
        else:
            row = [0] * stride
            row[0] = 0xFF
            row[-1] = 0xFF
            if 300 <= y < 400:
                row[10:60] = [0xFF] * 50
            rows.append(row)
    return rows
