#!/usr/bin/python3
"""Builds the font tests' fonts and their private fontconfig configuration.

usage: make_test_fonts.py OUTDIR

OUTDIR/fonts      the faces the private configuration lists
OUTDIR/external   faces registered by the tests at run time, not listed
OUTDIR/fonts.conf the configuration (FONTCONFIG_FILE), cache in OUTDIR/cache
OUTDIR/freetype   faces the FreeType tests open by path, not listed
OUTDIR/metrics    faces with known metrics tables and a copy of DejaVu Sans,
                  listed by OUTDIR/metrics.conf
OUTDIR/bitmap     a bitmap-only face, alone in OUTDIR/bitmap.conf
"""
import os
import shutil
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import newTable
from fontTools.ttLib.tables._c_m_a_p import CmapSubtable
from fontTools.ttLib.tables.O_S_2f_2 import Panose
from fontTools.ttLib.ttCollection import TTCollection

EN, JA = 0x0409, 0x0411

# Latin 1, Japanese, Greek code-page bits of OS/2 ulCodePageRange1.
CP_LATIN1, CP_EASTEUROPE, CP_CYRILLIC, CP_GREEK, CP_JIS = 1 << 0, 1 << 1, 1 << 2, 1 << 3, 1 << 17


PANOSE_FIELDS = ("bFamilyType", "bSerifStyle", "bWeight", "bProportion", "bContrast",
                 "bStrokeVariation", "bArmStyle", "bLetterForm", "bMidline", "bXHeight")


def box(width):
    pen = TTGlyphPen(None)
    pen.moveTo((50, 0))
    pen.lineTo((50, 700))
    pen.lineTo((width - 50, 700))
    pen.lineTo((width - 50, 0))
    pen.closePath()
    return pen.glyph()


def build(names, style_names, weight=400, italic=False, codepages=CP_LATIN1, panose=None,
          family_class=0, mono=False, os2_version=3, typographic=None, typographic_lang=EN, mac=None):
    """names/style_names: {windows language id: text}; the name table gets
    exactly those records (platform 3, encoding 1), nothing else.
    typographic: (family, style) in typographic_lang as name IDs 16 and 17.
    mac: (family, style) as Macintosh-platform English name IDs 1, 2 and 4."""
    fb = FontBuilder(1000, isTTF=True)
    order = [".notdef", "space", "A", "B"]
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({0x20: "space", 0x41: "A", 0x42: "B"})
    # A proportional face needs unequal advances, or fontconfig calls it mono.
    widths = {".notdef": 500, "space": 500, "A": 500, "B": 500} if mono else \
             {".notdef": 500, "space": 250, "A": 650, "B": 600}
    fb.setupGlyf({g: box(w) for g, w in widths.items()})
    fb.setupHorizontalMetrics({g: (w, 50) for g, w in widths.items()})
    fb.setupHorizontalHeader(ascent=800, descent=-200)
    name = fb.font["name"] = newTable("name")
    name.names = []
    for lang, text in names.items():
        name.setName(text, 1, 3, 1, lang)
        style = style_names.get(lang, next(iter(style_names.values())))
        name.setName(style, 2, 3, 1, lang)
        full = text if style in ("Regular", "標準") else text + " " + style
        name.setName(full, 4, 3, 1, lang)
    if typographic:
        name.setName(typographic[0], 16, 3, 1, typographic_lang)
        name.setName(typographic[1], 17, 3, 1, typographic_lang)
    if mac:
        name.setName(mac[0], 1, 1, 0, 0)
        name.setName(mac[1], 2, 1, 0, 0)
        name.setName(mac[0], 4, 1, 0, 0)
    p = Panose()
    for field in PANOSE_FIELDS:
        setattr(p, field, 0)
    for field, value in (panose or {}).items():
        setattr(p, field, value)
    selection = (1 if italic else 0) | (0x20 if weight >= 700 else 0) | \
                (0x40 if weight < 700 and not italic else 0)
    fb.setupOS2(version=os2_version, usWeightClass=weight, fsSelection=selection, panose=p,
                sFamilyClass=family_class, ulCodePageRange1=codepages, ulCodePageRange2=0,
                sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
    fb.setupPost(isFixedPitch=1 if mono else 0)
    fb.font["head"].macStyle = (1 if weight >= 700 else 0) | (2 if italic else 0)
    return fb.font


SANS = {"bFamilyType": 2, "bSerifStyle": 11}

FONTS = {
    "sans-regular.ttf": dict(names={EN: "Kvtest Sans"}, style_names={EN: "Regular"}, panose=SANS),
    "sans-bold.ttf": dict(names={EN: "Kvtest Sans"}, style_names={EN: "Bold"}, weight=700, panose=SANS),
    # Same family and style as sans-bold.ttf but for the letter case.
    "sans-bold-copy.ttf": dict(names={EN: "Kvtest Sans"}, style_names={EN: "bold"}, weight=700,
                               panose=SANS),
    "sans-italic.ttf": dict(names={EN: "Kvtest Sans"}, style_names={EN: "Italic"}, italic=True,
                            panose=SANS),
    # The legacy names are the listed ones, not the typographic ones.
    "sans-condensed.ttf": dict(names={EN: "Kvtest Sans Condensed"}, style_names={EN: "Regular"},
                               typographic=("Kvtest Sans", "Condensed"), panose=SANS),
    # Two families that share their typographic (Japanese) and Macintosh
    # names stay two: the legacy Windows names are the listed ones.
    "shared-a.ttf": dict(names={EN: "Kvtest Shared A"}, style_names={EN: "Regular"},
                         typographic=("ケーブイ共有", "標準"), typographic_lang=JA,
                         mac=("Kvtest Shared", "Regular")),
    "shared-b.ttf": dict(names={EN: "Kvtest Shared B"}, style_names={EN: "Regular"},
                         typographic=("ケーブイ共有", "標準"), typographic_lang=JA,
                         mac=("Kvtest Shared", "Regular")),
    # Japanese comes before Greek in the character-set order although its bit
    # is the higher one.
    "serif-black.ttf": dict(names={EN: "Kvtest Serif"}, style_names={EN: "Black"}, weight=900,
                            family_class=0x0105, codepages=CP_GREEK | CP_JIS),
    "serif-thin.ttf": dict(names={EN: "Kvtest Serif"}, style_names={EN: "Thin"}, weight=100,
                           family_class=0x0105, codepages=CP_EASTEUROPE | CP_CYRILLIC),
    "mono.ttf": dict(names={EN: "Kvtest Mono"}, style_names={EN: "Regular"}, mono=True,
                     panose={"bFamilyType": 2, "bSerifStyle": 11, "bProportion": 9}),
    # Version 0 OS/2 carries no code-page bits.
    "script.ttf": dict(names={EN: "Kvtest Script"}, style_names={EN: "Regular"},
                       panose={"bFamilyType": 3}, os2_version=0, codepages=0),
    "deco.ttf": dict(names={EN: "Kvtest Deco"}, style_names={EN: "Regular"}, family_class=0x0900),
    "marlett.ttf": dict(names={EN: "Marlett"}, style_names={EN: "Regular"}),
    "marlett-lower.ttf": dict(names={EN: "marlett"}, style_names={EN: "Regular"}),
    "local-regular.ttf": dict(names={EN: "Kvtest Local", JA: "ケーブイテスト"},
                              style_names={EN: "Regular", JA: "標準"}, codepages=CP_JIS),
    # No English names: only the alternate family-name table translates it.
    "local-bold.ttf": dict(names={JA: "ケーブイテスト"}, style_names={JA: "太字"}, weight=700,
                           codepages=CP_JIS),
    # No English names and a character set other than the Japanese system's.
    "local-latin.ttf": dict(names={JA: "ケーブイラテン"}, style_names={JA: "標準"}),
    "vertical.ttf": dict(names={EN: "Kvtest Vert", JA: "@ケーブイ縦"},
                         style_names={EN: "Regular", JA: "標準"}, codepages=CP_JIS),
    "dfkai.ttf": dict(names={EN: "DFKaiShu-SB"}, style_names={EN: "Regular"}),
    "dfkai-vertical.ttf": dict(names={EN: "@dfkaishu-sb"}, style_names={EN: "Regular"}),
}

# Faces of one collection; their code-page bits say Latin 1 only.
COLLECTION = [
    dict(names={EN: "Kvtest Coll A", JA: "コレA"}, style_names={EN: "Regular", JA: "標準"}),
    dict(names={EN: "Kvtest Coll B", JA: "コレB"}, style_names={EN: "Regular", JA: "標準"}),
]

EXTERNAL = {
    "external.ttf": dict(names={EN: "Kvtest External"}, style_names={EN: "Regular"}),
}

BITMAP = """STARTFONT 2.1
FONT -misc-kvtest bitmap-medium-r-normal--8-80-75-75-c-80-iso10646-1
SIZE 8 75 75
FONTBOUNDINGBOX 8 8 0 0
STARTPROPERTIES 3
FAMILY_NAME "Kvtest Bitmap"
FONT_ASCENT 8
FONT_DESCENT 0
ENDPROPERTIES
CHARS 1
STARTCHAR A
ENCODING 65
SWIDTH 500 0
DWIDTH 8 0
BBX 8 8 0 0
BITMAP
18
24
42
42
7E
42
42
00
ENDCHAR
ENDFONT
"""

def freetype_face(family, style, cmaps, bold=False, italic=False, mono=False):
    """A face whose "x" is 600 units wide (.notdef 500); cmaps: a list of
    (platform, encoding, {code: glyph}) in the order the table lists them."""
    fb = FontBuilder(1000, isTTF=True)
    widths = {".notdef": 500, "space": 500 if mono else 250, "x": 500 if mono else 600}
    fb.setupGlyphOrder(list(widths))
    fb.setupCharacterMap({})
    fb.setupGlyf({g: box(w) for g, w in widths.items()})
    fb.setupHorizontalMetrics({g: (w, 50) for g, w in widths.items()})
    fb.setupHorizontalHeader(ascent=800, descent=-200)
    fb.setupNameTable({"familyName": family, "styleName": style}, mac=False)
    fb.setupOS2(fsSelection=(1 if italic else 0) | (0x20 if bold else 0) | (0 if bold or italic else 0x40),
                usWeightClass=700 if bold else 400)
    fb.setupPost(isFixedPitch=1 if mono else 0)
    fb.font["head"].macStyle = (1 if bold else 0) | (2 if italic else 0)
    tables = []
    for platform, encoding, mapping in cmaps:
        t = CmapSubtable.newSubtable(4)
        t.platformID, t.platEncID, t.language, t.cmap = platform, encoding, 0, mapping
        tables.append(t)
    fb.font["cmap"].tables = tables
    return fb.font


UNICODE = (3, 1, {0x20: "space", 0x78: "x"})

FREETYPE = {
    # A Big5 map after the Unicode one: the first map decides the charset.
    "spacing.ttf": dict(family="Kvft Spacing", style="Bold", bold=True,
                        cmaps=[UNICODE, (3, 4, {0xA440: "x"})]),
    "big5.ttf": dict(family="Kvft Big5", style="Italic", italic=True, cmaps=[(3, 4, {0xA440: "x"})]),
    "symbol.ttf": dict(family="Kvft Symbol", style="Regular",
                       cmaps=[(3, 0, {0xF020: "space", 0xF078: "x"}), UNICODE]),
    "mono.ttf": dict(family="Kvft Mono", style="Bold Italic", bold=True, italic=True, mono=True,
                     cmaps=[UNICODE]),
    # No "x": the helpers fall back on .notdef.
    "no-x.ttf": dict(family="Kvft NoX", style="Regular", cmaps=[(3, 1, {0x20: "space"})]),
}


def broken_collection(path):
    """Three faces; the second's offset points past the end of the file and
    the third has an empty style name."""
    collection = TTCollection()
    collection.fonts = [freetype_face("Kvft Coll One", "Regular", [UNICODE]),
                        freetype_face("Kvft Coll Two", "Regular", [UNICODE]),
                        freetype_face("Kvft Coll Three", "", [UNICODE])]
    collection.save(path)
    with open(path, "r+b") as f:
        f.seek(12 + 4)  # after the tag, version and count: the second offset
        f.write((0x7FFFFFF0).to_bytes(4, "big"))


def rect(x0, y0, x1, y1):
    pen = TTGlyphPen(None)
    if x1 > x0:
        pen.moveTo((x0, y0))
        pen.lineTo((x0, y1))
        pen.lineTo((x1, y1))
        pen.lineTo((x1, y0))
        pen.closePath()
    return pen.glyph()


def metrics_face(family, upem, glyphs, cmap, hhea, os2, mono=False, cmap_ids=None):
    """glyphs: {name: (advance, (xMin, yMin, xMax, yMax)) or (advance, None)
    for an empty glyph}; hhea: (ascender, descender, lineGap); os2: the OS/2
    fields to set; cmap_ids: (platform, encoding) for a single subtable in
    place of the Unicode ones."""
    fb = FontBuilder(upem, isTTF=True)
    fb.setupGlyphOrder(list(glyphs))
    fb.setupCharacterMap(cmap if cmap_ids is None else {})
    fb.setupGlyf({g: rect(*box) if box else rect(0, 0, 0, 0) for g, (adv, box) in glyphs.items()})
    fb.setupHorizontalMetrics({g: (adv, box[0] if box else 0) for g, (adv, box) in glyphs.items()})
    fb.setupHorizontalHeader(ascent=hhea[0], descent=hhea[1], lineGap=hhea[2])
    fb.setupNameTable({"familyName": family, "styleName": "Regular"}, mac=False)
    fb.setupOS2(**os2)
    fb.setupPost(isFixedPitch=1 if mono else 0)
    if cmap_ids is not None:
        t = CmapSubtable.newSubtable(4)
        t.platformID, t.platEncID, t.language, t.cmap = cmap_ids[0], cmap_ids[1], 0, cmap
        fb.font["cmap"].tables = [t]
    return fb.font


def no_panose():
    p = Panose()
    for field in PANOSE_FIELDS:
        setattr(p, field, 0)
    return p


def sans_panose():
    p = no_panose()
    p.bFamilyType, p.bSerifStyle = 2, 11
    return p


# Each face's tables hold round numbers, so that the expected metrics can be
# worked out by hand from them (the tests show the arithmetic).
METRICS = {
    "outline.ttf": lambda: metrics_face(
        "Kvmetrics Outline", 2048,
        {".notdef": (1000, (100, 0, 900, 1400)), "space": (512, None),
         "A": (1400, (100, 0, 1300, 1434)), "f": (500, (-100, 0, 700, 1500)),
         "p": (1200, (150, -400, 1050, 1000)), "Oslash": (1400, (100, -100, 1300, 1500)),
         "smile": (2000, (100, 0, 1900, 1800))},
        {0x20: "space", 0x41: "A", 0x66: "f", 0x70: "p", 0xD8: "Oslash", 0x1F600: "smile"},
        (1800, -600, 200),
        dict(version=4, usWinAscent=1900, usWinDescent=500, sTypoAscender=1500, sTypoDescender=-548,
             sTypoLineGap=0, xAvgCharWidth=1100, usWeightClass=400, fsSelection=0x40,
             panose=sans_panose(), ulUnicodeRange1=0x3, ulUnicodeRange2=0, ulUnicodeRange3=0,
             ulUnicodeRange4=0, ulCodePageRange1=CP_LATIN1 | CP_JIS, ulCodePageRange2=0,
             usDefaultChar=0, usBreakChar=0x20)),
    # No "A" and an empty .notdef; OS/2 version 1; East European only; fixed pitch.
    "nocap.ttf": lambda: metrics_face(
        "Kvmetrics NoCap", 1000,
        {".notdef": (500, None), "space": (500, None), "x": (500, (50, 0, 450, 500))},
        {0x20: "space", 0x78: "x"},
        (800, -200, 90),
        dict(version=1, usWinAscent=800, usWinDescent=200, sTypoAscender=800, sTypoDescender=-200,
             sTypoLineGap=0, xAvgCharWidth=450, usWeightClass=400, fsSelection=0x40, panose=no_panose(),
             ulCodePageRange1=CP_EASTEUROPE, ulCodePageRange2=0),
        mono=True),
    "symbol.ttf": lambda: metrics_face(
        "Kvmetrics Symbol", 1000,
        {".notdef": (500, None), "space": (250, None), "bullet": (800, (100, 0, 700, 600))},
        {0xF020: "space", 0xF041: "bullet"},
        (800, -200, 0),
        dict(version=4, usWinAscent=800, usWinDescent=200, sTypoAscender=800, sTypoDescender=-200,
             sTypoLineGap=0, xAvgCharWidth=500, usWeightClass=400, fsSelection=0x40, panose=no_panose(),
             ulCodePageRange1=1 << 31, ulCodePageRange2=0),
        cmap_ids=(3, 0)),
    # A Big5 map only: 0xA440 is U+4E00.
    "big5.ttf": lambda: metrics_face(
        "Kvmetrics Big5", 1000,
        {".notdef": (500, None), "A": (600, (50, 0, 550, 700)), "one": (1000, (100, 300, 900, 400))},
        {0x41: "A", 0xA440: "one"},
        (880, -120, 0),
        dict(version=4, usWinAscent=880, usWinDescent=120, sTypoAscender=880, sTypoDescender=-120,
             sTypoLineGap=0, xAvgCharWidth=800, usWeightClass=400, fsSelection=0x40, panose=no_panose(),
             ulCodePageRange1=1 << 20, ulCodePageRange2=0),
        cmap_ids=(3, 4)),
}


def metrics_collection(path):
    """Three faces; the second's offset points past the end of the file."""
    def face(family, x_box, x_advance, win):
        return metrics_face(
            family, 1000, {".notdef": (500, None), "space": (250, None), "x": (x_advance, x_box)},
            {0x20: "space", 0x78: "x"}, (win[0], -win[1], 0),
            dict(version=4, usWinAscent=win[0], usWinDescent=win[1], sTypoAscender=win[0],
                 sTypoDescender=-win[1], sTypoLineGap=0, xAvgCharWidth=500, usWeightClass=400,
                 fsSelection=0x40, panose=no_panose(), ulCodePageRange1=CP_LATIN1, ulCodePageRange2=0))
    collection = TTCollection()
    collection.fonts = [face("Kvmetrics CollOne", (50, 0, 450, 500), 500, (800, 200)),
                        face("Kvmetrics CollTwo", (50, 0, 450, 500), 500, (800, 200)),
                        face("Kvmetrics CollThree", (50, 0, 650, 500), 700, (900, 300))]
    collection.save(path)
    with open(path, "r+b") as f:
        f.seek(12 + 4)
        f.write((0x7FFFFFF0).to_bytes(4, "big"))


# 16 pixels: 13 above the baseline, 3 below; "A" 8 by 10 at x 1 in 10.
METRICS_BITMAP = """STARTFONT 2.1
FONT -misc-kvmetrics bitmap-medium-r-normal--16-160-75-75-c-100-iso10646-1
SIZE 16 75 75
FONTBOUNDINGBOX 10 16 0 -3
STARTPROPERTIES 6
FAMILY_NAME "Kvmetrics Bitmap"
PIXEL_SIZE 16
FONT_ASCENT 13
FONT_DESCENT 3
CHARSET_REGISTRY "ISO10646"
CHARSET_ENCODING "1"
ENDPROPERTIES
CHARS 2
STARTCHAR space
ENCODING 32
SWIDTH 600 0
DWIDTH 10 0
BBX 1 1 0 0
BITMAP
00
ENDCHAR
STARTCHAR A
ENCODING 65
SWIDTH 600 0
DWIDTH 10 0
BBX 8 10 1 0
BITMAP
18
24
42
42
7E
42
42
42
42
42
ENDCHAR
ENDFONT
"""

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


CONF = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>{fonts}</dir>
  <cachedir>{cache}</cachedir>
</fontconfig>
"""


def main():
    out = os.path.abspath(sys.argv[1])
    fonts, external, cache, freetype = (os.path.join(out, d) for d in ("fonts", "external", "cache", "freetype"))
    for d in (fonts, external, cache, freetype):
        os.makedirs(d, exist_ok=True)
    for folder, table in ((fonts, FONTS), (external, EXTERNAL)):
        for file, params in table.items():
            build(**params).save(os.path.join(folder, file))
    collection = TTCollection()
    collection.fonts = [build(**params) for params in COLLECTION]
    collection.save(os.path.join(fonts, "collection.ttc"))
    for file, params in FREETYPE.items():
        freetype_face(**params).save(os.path.join(freetype, file))
    broken_collection(os.path.join(freetype, "collection.ttc"))
    with open(os.path.join(fonts, "bitmap.bdf"), "w") as f:
        f.write(BITMAP)
    with open(os.path.join(external, "not-a-font.ttf"), "w") as f:
        f.write("plain text, not a font\n")
    with open(os.path.join(out, "fonts.conf"), "w") as f:
        f.write(CONF.format(fonts=fonts, cache=cache))
    metrics, bitmap = os.path.join(out, "metrics"), os.path.join(out, "bitmap")
    for d in (metrics, bitmap):
        os.makedirs(d, exist_ok=True)
    for file, make in METRICS.items():
        make().save(os.path.join(metrics, file))
    metrics_collection(os.path.join(metrics, "collection.ttc"))
    for d in (metrics, bitmap):
        with open(os.path.join(d, "bitmap.bdf"), "w") as f:
            f.write(METRICS_BITMAP)
    shutil.copyfile(DEJAVU, os.path.join(metrics, "DejaVuSans.ttf"))
    for conf, d in (("metrics.conf", metrics), ("bitmap.conf", bitmap)):
        with open(os.path.join(out, conf), "w") as f:
            f.write(CONF.format(fonts=d, cache=cache))


if __name__ == "__main__":
    main()
