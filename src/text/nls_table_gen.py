#!/usr/bin/env python3
"""Generates nls_table.cpp, the national-language table, from the Windows
locale list (windows_locales_extended.csv: name, LCID and ANSI code page of
every locale a Windows installation enumerates).

The list leaves out the locales without an ANSI code page and the legacy
Serbia-and-Montenegro LCIDs; they are added below from the published Windows
Language Code Identifier reference. The GDI character set of a locale is the
one TranslateCharsetInfo gives for its ANSI code page, except where the
library's own charset tables fix another (CHARSET_OVERRIDES).

Usage: nls_table_gen.py <windows_locales_extended.csv> <nls_table.cpp>
"""
import csv
import re
import sys

# TranslateCharsetInfo(TCI_SRCCODEPAGE); 0 (no ANSI code page) has none.
CHARSET_OF_CODE_PAGE = {
    0: 1, 874: 222, 932: 128, 936: 134, 949: 129, 950: 136, 1250: 238,
    1251: 204, 1252: 0, 1253: 161, 1254: 162, 1255: 177, 1256: 178,
    1257: 186, 1258: 163, 1361: 130,
}

# Locales Windows knows with an LCID but without an ANSI code page, plus two
# legacy LCIDs that Windows still resolves but no longer enumerates:
# (name, LCID, ANSI code page, neutral name mapping to it or None).
EXTRA_LOCALES = [
    ("hy-AM", 0x042B, 0, "hy"), ("ka-GE", 0x0437, 0, "ka"),
    ("mt-MT", 0x043A, 0, "mt"), ("yi-001", 0x043D, 0, "yi"),
    ("kk-KZ", 0x043F, 0, "kk"), ("hi-IN", 0x0439, 0, "hi"),
    ("bn-IN", 0x0445, 0, None), ("bn-BD", 0x0845, 0, None),
    ("pa-IN", 0x0446, 0, "pa"), ("gu-IN", 0x0447, 0, "gu"),
    ("or-IN", 0x0448, 0, "or"), ("ta-IN", 0x0449, 0, "ta"),
    ("ta-LK", 0x0849, 0, None), ("te-IN", 0x044A, 0, "te"),
    ("kn-IN", 0x044B, 0, "kn"), ("ml-IN", 0x044C, 0, "ml"),
    ("as-IN", 0x044D, 0, "as"), ("mr-IN", 0x044E, 0, "mr"),
    ("sa-IN", 0x044F, 0, "sa"), ("bo-CN", 0x0451, 0, "bo"),
    ("km-KH", 0x0453, 0, "km"), ("lo-LA", 0x0454, 0, "lo"),
    ("kok-IN", 0x0457, 0, "kok"), ("syr-SY", 0x045A, 0, "syr"),
    ("si-LK", 0x045B, 0, "si"), ("chr-Cher-US", 0x045C, 0, None),
    ("iu-Cans-CA", 0x045D, 0, None), ("am-ET", 0x045E, 0, "am"),
    ("ne-NP", 0x0461, 0, "ne"), ("ne-IN", 0x0861, 0, None),
    ("ps-AF", 0x0463, 0, "ps"), ("dv-MV", 0x0465, 0, "dv"),
    ("ti-ET", 0x0473, 0, None), ("ti-ER", 0x0873, 0, None),
    ("ii-CN", 0x0478, 0, "ii"), ("mi-NZ", 0x0481, 0, "mi"),
    ("mn-Mong-CN", 0x0850, 0, None), ("mn-Mong-MN", 0x0C50, 0, None),
    ("sr-Latn-CS", 0x081A, 1250, None), ("sr-Cyrl-CS", 0x0C1A, 1251, None),
]

# Names with a script subtag that Windows resolves to a locale enumerated
# under its script-less name.
EXTRA_NAMES = [
    ("zh-Hans-CN", 0x0804), ("zh-Hans-SG", 0x1004), ("zh-Hant-HK", 0x0C04),
    ("zh-Hant-MO", 0x1404), ("zh-Hant-TW", 0x0404),
]

# Character sets fixed by the library's charset cache and charset-to-locale
# table where the ANSI code page alone would say otherwise: the Latin
# Azerbaijani and Uzbek locales use the East European fonts, Kazakh the
# Cyrillic ones, Hong Kong Chinese the GB2312 ones, and the Indic locales the
# Indic script extensions.
CHARSET_OVERRIDES = {
    0x042C: 238, 0x0443: 238, 0x043F: 204, 0x0C04: 134,
    0x0445: 256, 0x0446: 257, 0x0447: 258, 0x0449: 259, 0x044A: 260,
    0x044B: 261, 0x044C: 262, 0x0439: 263, 0x044E: 263, 0x044F: 263,
    0x0457: 263, 0x0448: 264,
}

REGION = re.compile(r"^([A-Z]{2}|[0-9]{3})$")


def iso_names(name):
    """ISO 639 language and ISO 3166 country of a specific locale name, as
    LOCALE_SISO639LANGNAME and LOCALE_SISO3166CTRYNAME give them."""
    base = name.split("_")[0]
    if base == "":
        return ("iv", "IV")  # the invariant locale
    tags = base.split("-")
    country = next((t for t in tags[1:] if REGION.match(t)), None)
    return (tags[0], country)


def main(csv_path, out_path):
    names = {}       # lower-case name -> (name, LCID)
    locales = {}     # LCID -> [language, country, ANSI code page]
    ansi = {}

    def add_name(name, lcid):
        key = name.lower()
        if key in names and names[key][1] != lcid:
            sys.exit(f"{name}: two LCIDs")
        names[key] = (name, lcid)

    def add_locale(name, lcid, cp):
        if ansi.setdefault(lcid, cp) != cp:
            sys.exit(f"{name}: LCID {lcid:#x} with two code pages")
        lang, country = iso_names(name)
        if country is None:
            return
        prev = locales.setdefault(lcid, (lang, country))
        if prev != (lang, country):
            sys.exit(f"{name}: LCID {lcid:#x} is also {prev}")

    with open(csv_path, encoding="utf-8-sig", newline="") as f:
        for row in csv.DictReader(f):
            name, lcid, cp = row["Locale Name"], int(row["LCID"], 16), int(row["ANSI CodePage"])
            add_name(name, lcid)
            add_locale(name, lcid, cp)
    for name, lcid, cp, neutral in EXTRA_LOCALES:
        if name.lower() in names:
            sys.exit(f"{name}: already listed")
        add_name(name, lcid)
        add_locale(name, lcid, cp)
        if neutral:
            add_name(neutral, lcid)
    for name, lcid in EXTRA_NAMES:
        add_name(name, lcid)

    missing = sorted(set(ansi) - set(locales))
    for lcid in missing:
        # Sort variants take the names of their base locale.
        if lcid & 0xFFFF in locales:
            locales[lcid] = locales[lcid & 0xFFFF]
        else:
            sys.exit(f"LCID {lcid:#x} has no specific name")

    out = []
    out.append("// Generated by nls_table_gen.py from the Windows locale list; do not edit.")
    out.append("// National-language data of the Windows Language Code Identifier reference:")
    out.append("// ISO names, default ANSI code page and GDI character set per LCID, and the")
    out.append("// locale names LocaleNameToLCID resolves.")
    out.append('#include "text/nls_table.h"')
    out.append("")
    out.append("namespace Halvex::Tessaran::PAL::detail {")
    out.append("")
    out.append("namespace {")
    out.append("")
    out.append("constexpr NlsLocale kLocales[] = {")
    for lcid in sorted(locales):
        lang, country = locales[lcid]
        cp = ansi[lcid]
        cs = CHARSET_OVERRIDES.get(lcid, CHARSET_OF_CODE_PAGE[cp])
        out.append(f'    {{0x{lcid:05X}, "{lang}", "{country}", {cp}, {cs}}},')
    out.append("};")
    out.append("")
    out.append("// Sorted by lower-case name.")
    out.append("constexpr NlsName kNames[] = {")
    for key in sorted(names):
        name, lcid = names[key]
        out.append(f'    {{"{key}", 0x{lcid:05X}}},')
    out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("std::span<const NlsLocale> nlsLocales() { return kLocales; }")
    out.append("std::span<const NlsName> nlsNames() { return kNames; }")
    out.append("")
    out.append("}  // namespace Halvex::Tessaran::PAL::detail")
    with open(out_path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
