#!/usr/bin/python3
"""Writes the image tests' pictures (and the decoder's fuzz seeds) into OUTDIR.

Pictures are encoded with Pillow, independently of the decoder under test.
profile.icc is an RGB profile far from sRGB (wide primaries, linear tone
curves) made with Little CMS; the profiled.* pictures embed it.
"""
import ctypes
import struct
import sys
import zlib
from pathlib import Path

from PIL import Image


class XyY(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double), ("Y", ctypes.c_double)]


def wide_linear_profile():
    lcms = ctypes.CDLL("liblcms2.so.2")
    lcms.cmsBuildGamma.restype = ctypes.c_void_p
    lcms.cmsBuildGamma.argtypes = [ctypes.c_void_p, ctypes.c_double]
    lcms.cmsCreateRGBProfile.restype = ctypes.c_void_p
    lcms.cmsCreateRGBProfile.argtypes = [ctypes.POINTER(XyY), ctypes.POINTER(XyY * 3),
                                         ctypes.POINTER(ctypes.c_void_p * 3)]
    lcms.cmsSaveProfileToMem.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint32)]
    lcms.cmsCloseProfile.argtypes = [ctypes.c_void_p]
    lcms.cmsFreeToneCurve.argtypes = [ctypes.c_void_p]
    white = XyY(0.3127, 0.3290, 1.0)
    primaries = (XyY * 3)(XyY(0.7347, 0.2653, 1.0), XyY(0.1152, 0.8264, 1.0), XyY(0.1566, 0.0177, 1.0))
    linear = lcms.cmsBuildGamma(None, 1.0)
    curves = (ctypes.c_void_p * 3)(linear, linear, linear)
    profile = lcms.cmsCreateRGBProfile(ctypes.byref(white), ctypes.byref(primaries), ctypes.byref(curves))
    size = ctypes.c_uint32(0)
    lcms.cmsSaveProfileToMem(profile, None, ctypes.byref(size))
    data = ctypes.create_string_buffer(size.value)
    lcms.cmsSaveProfileToMem(profile, data, ctypes.byref(size))
    lcms.cmsCloseProfile(profile)
    lcms.cmsFreeToneCurve(linear)
    return data.raw


def picture(width, height, mode):
    """A colour ramp, so that a wrong row or channel order shows."""
    im = Image.new("RGB", (width, height))
    im.putdata([(255 * x // max(width - 1, 1), 255 * y // max(height - 1, 1), 96)
                for y in range(height) for x in range(width)])
    return im.convert(mode)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def interlaced_png(im):
    """Pillow writes no interlaced PNG: Adam7 passes of RGB rows, unfiltered."""
    width, height = im.size
    pixels = im.convert("RGB").load()
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    raw = b""
    for x0, y0, dx, dy in passes:
        for y in range(y0, height, dy):
            row = [pixels[x, y] for x in range(x0, width, dx)]
            if row:
                raw += b"\0" + bytes(c for px in row for c in px)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 1))
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def bombs(out):
    """Complete, valid pictures of at most a few dozen kilobytes that declare over 2^28
    pixels: decoded in full they would take a gigabyte."""
    # GIF: a 16384 x 16385 logical screen around one 1 x 1 frame.
    (out / "bomb.gif").write_bytes(
        b"GIF89a" + struct.pack("<HHBBB", 16384, 16385, 0x80, 0, 0) + b"\0\0\0\xff\xff\xff"
        + b",\0\0\0\0\1\0\1\0\0" + b"\2\2\x44\1\0" + b";")
    # PNG: 16385 x 16384 black 1-bit rows.
    width, height = 16385, 16384
    row = b"\0" * (1 + (width + 7) // 8)
    (out / "bomb.png").write_bytes(
        b"\x89PNG\r\n\x1a\n"
        + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0))
        + png_chunk(b"IDAT", zlib.compress(row * height, 9)) + png_chunk(b"IEND", b""))


def main(out):
    out.mkdir(parents=True, exist_ok=True)
    picture(37, 23, "RGBA").save(out / "picture.png")
    picture(41, 19, "RGB").save(out / "picture.jpg", quality=90)
    picture(29, 31, "P").save(out / "picture.gif")
    picture(33, 17, "RGB").save(out / "picture.bmp")
    picture(24, 40, "RGBA").save(out / "picture.ico", sizes=[(24, 40)], bitmap_format="bmp")
    picture(45, 13, "RGB").save(out / "picture.tiff", compression="tiff_deflate")
    (out / "interlaced.png").write_bytes(interlaced_png(picture(21, 27, "RGB")))

    profile = wide_linear_profile()
    (out / "profile.icc").write_bytes(profile)
    picture(16, 16, "RGBA").save(out / "profiled.png", icc_profile=profile)
    picture(16, 16, "RGB").save(out / "profiled.jpg", icc_profile=profile, quality=95)
    picture(16, 16, "RGB").save(out / "profiled.tiff", icc_profile=profile)
    bombs(out)


if __name__ == "__main__":
    main(Path(sys.argv[1]))
