#!/usr/bin/env python3
"""Packs 24-bit BMP frames into an uncompressed 8-bit AVI, the kind the
animation control plays without a codec. Usage: pack-avi.py out.avi fps frame.bmp..."""
import struct
import sys


def read_bmp24(path):
    data = open(path, 'rb').read()
    if data[:2] != b'BM':
        sys.exit(path + ': not a BMP')
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height, planes, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24 or height <= 0:
        sys.exit(path + ': need a bottom-up 24-bit BMP')
    stride = (width * 3 + 3) & ~3
    rows = []  # bottom-up, as stored
    for y in range(height):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rows.append([row[i:i + 3] for i in range(0, width * 3, 3)])  # B, G, R
    return width, height, rows


def chunk(fourcc, payload):
    pad = b'\0' if len(payload) % 2 else b''
    return fourcc + struct.pack('<I', len(payload)) + payload + pad


def main():
    out, fps, paths = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    frames = [read_bmp24(p) for p in paths]
    width, height = frames[0][0], frames[0][1]
    palette = {}
    for w, h, rows in frames:
        if (w, h) != (width, height):
            sys.exit('frames differ in size')
        for row in rows:
            for px in row:
                palette.setdefault(px, len(palette))
    if len(palette) > 256:
        sys.exit('more than 256 colours')
    stride = (width + 3) & ~3
    size = stride * height
    pixels = []
    for _, _, rows in frames:
        buf = bytearray()
        for row in rows:
            buf += bytes(palette[px] for px in row) + b'\0' * (stride - width)
        pixels.append(bytes(buf))

    colours = sorted(palette.items(), key=lambda kv: kv[1])
    rgbquad = b''.join(px + b'\0' for px, _ in colours) + b'\0\0\0\0' * (256 - len(colours))
    bih = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, size, 0, 0, 256, 0) + rgbquad
    usec = 1000000 // fps
    avih = struct.pack('<IIIIIIIIII4I', usec, size * fps, 0, 0x10, len(frames), 0, 1, size, width, height, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'DIB ', 0, 0, 0, 0, 1, fps, 0, len(frames), size,
                       0xFFFFFFFF, 0, 0, 0, width, height)
    strl = b'LIST' + struct.pack('<I', 4 + len(chunk(b'strh', strh)) + len(chunk(b'strf', bih))) + b'strl' + \
        chunk(b'strh', strh) + chunk(b'strf', bih)
    hdrl_body = b'hdrl' + chunk(b'avih', avih) + strl
    hdrl = b'LIST' + struct.pack('<I', len(hdrl_body)) + hdrl_body
    movi_body = b'movi'
    index = b''
    for p in pixels:
        index += b'00db' + struct.pack('<III', 0x10, len(movi_body), len(p))
        movi_body += chunk(b'00db', p)
    movi = b'LIST' + struct.pack('<I', len(movi_body)) + movi_body
    body = b'AVI ' + hdrl + movi + chunk(b'idx1', index)
    with open(out, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)


main()
