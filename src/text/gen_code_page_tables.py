#!/usr/bin/env python3
"""Generates code_page_tables_generated.cpp from Microsoft's published Windows
code page tables (WindowsBestFit for the ANSI code pages, the PC tables for
the OEM ones; both from the Unicode Consortium's MAPPINGS/VENDORS/MICSFT).

Usage: gen_code_page_tables.py DATA_DIR OUTPUT
DATA_DIR holds bestfit/bestfitNNN.txt and oem/cpNNN.txt.

Each table is stored as two run streams of 16-bit words (see
code_page_table.h): the bytes-to-Unicode mapping, and the Unicode-to-bytes
mapping as its differences from the plain inverse of the first (best-fit
entries, and the choice among bytes that decode to the same character).
A third list names the byte codes the code page leaves undefined although
the best-fit table maps them: single bytes given a private-use character,
and double-byte pairs given the default character.
"""
import pathlib
import re
import sys

NONE = 0xFFFF
MIN_SEQUENTIAL = 4  # shorter counting runs are cheaper stored literally


def fields(line):
    return line.split(';', 1)[0].split()


def parse_bestfit(path):
    recs = [fields(l) for l in path.read_bytes().decode('latin-1').split('\n')]
    recs = [f for f in recs if f]
    t = dict(dbcs=False, leads=[], to_wide={}, to_mb={})
    i = 0

    def take(n, into, key=lambda code: code):
        nonlocal i
        for r in recs[i:i + n]:
            into[key(int(r[0], 16))] = int(r[1], 16)
        i += n

    while i < len(recs):
        f = recs[i]
        tag = f[0].upper()
        i += 1
        if tag == 'CODEPAGE':
            t['cp'] = int(f[1])
        elif tag == 'CPINFO':
            t['dbcs'] = f[1] == '2'
            t['default_byte'], t['default_wide'] = int(f[2], 16), int(f[3], 16)
        elif tag == 'MBTABLE':
            take(int(f[1]), t['to_wide'])
        elif tag == 'WCTABLE':
            take(int(f[1]), t['to_mb'])
        elif tag == 'DBCSRANGE':
            for _ in range(int(f[1])):
                lo, hi = int(recs[i][0], 16), int(recs[i][1], 16)
                i += 1
                t['leads'].append((lo, hi))
                for lead in range(lo, hi + 1):
                    assert recs[i][0].upper() == 'DBCSTABLE', f'{path}: lead 0x{lead:02X} has no DBCSTABLE'
                    i += 1
                    take(int(recs[i - 1][1]), t['to_wide'], lambda trail: (lead << 8) | trail)
        elif tag == 'ENDCODEPAGE':
            break
    return t


def parse_oem(path):
    to_wide = {}
    for line in path.read_text(encoding='latin-1').split('\n'):
        f = line.split('#', 1)[0].split()
        if len(f) == 2:
            to_wide[int(f[0], 16)] = int(f[1], 16)
    cp = int(re.search(r'cp(\d+)', path.name).group(1))
    to_mb = {}
    for b, u in sorted(to_wide.items()):
        to_mb.setdefault(u, b)
    return dict(cp=cp, dbcs=False, default_byte=0x3F, default_wide=0x3F, leads=[],
                to_wide=to_wide, to_mb=to_mb)


def undefined_codes(t):
    """Codes a strict decoding refuses. The best-fit files map a byte the code
    page leaves undefined to a private-use character ("Undefined -> EUDC")
    and an unassigned pair to the default character; the private-use pairs
    of the double-byte pages are user-defined characters and stay valid."""
    leads = {b for lo, hi in t['leads'] for b in range(lo, hi + 1)}
    own_default = t['to_mb'].get(t['default_wide'])
    codes = []
    for code, u in sorted(t['to_wide'].items()):
        if code < 0x100 and code not in leads and 0xE000 <= u <= 0xF8FF:
            codes.append(code)
        elif code >= 0x100 and u == t['default_wide'] and code != own_default:
            codes.append(code)
    return codes


def plain_inverse(to_wide):
    inv = {}
    for code, u in sorted(to_wide.items()):
        inv.setdefault(u, code)
    return inv


def encode_runs(mapping):
    """Run stream: start key, then (length << 1 | sequential), then either the
    first value (sequential: key+i -> value+i) or `length` values."""
    out = []
    keys = sorted(mapping)
    i = 0
    while i < len(keys):
        # one block of consecutive keys
        j = i
        while j + 1 < len(keys) and keys[j + 1] == keys[j] + 1:
            j += 1
        block = [mapping[k] for k in keys[i:j + 1]]
        start = keys[i]
        k = 0
        literal = []

        def flush_literal():
            if literal:
                out.extend([start + k - len(literal), len(literal) << 1] + literal)
                literal.clear()

        while k < len(block):
            n = 1
            while (k + n < len(block) and block[k + n] == block[k] + n and block[k] != NONE):
                n += 1
            if n >= MIN_SEQUENTIAL:
                flush_literal()
                out.extend([start + k, (n << 1) | 1, block[k]])
                k += n
            else:
                literal.append(block[k])
                k += 1
                if len(literal) == 0x7FFF:
                    flush_literal()
        flush_literal()
        i = j + 1
    for w in out:
        assert 0 <= w <= 0xFFFF
    return out


def table_source(t):
    for u in t['to_wide'].values():
        assert u != NONE, 'U+FFFF is the unmapped marker'
    inv = plain_inverse(t['to_wide'])
    diff = {u: mb for u, mb in t['to_mb'].items() if inv.get(u) != mb}
    diff.update({u: NONE for u in inv if u not in t['to_mb']})
    return encode_runs(t['to_wide']), encode_runs(diff)


def words(name, data):
    body = ','.join(str(w) for w in data)
    lines = []
    while len(body) > 100:
        cut = body.rindex(',', 0, 100) + 1
        lines.append(body[:cut])
        body = body[cut:]
    lines.append(body)
    return f'const uint16_t {name}[] = {{\n' + '\n'.join(lines) + '};\n'


def main():
    data_dir, output = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    tables = [parse_bestfit(p) for p in sorted((data_dir / 'bestfit').glob('bestfit*.txt'))]
    tables += [parse_oem(p) for p in sorted((data_dir / 'oem').glob('cp*.txt'))]
    tables.sort(key=lambda t: t['cp'])
    parts = [
        '// Generated by gen_code_page_tables.py from Microsoft\'s published Windows\n'
        '// code page tables (Unicode Consortium, Public/MAPPINGS/VENDORS/MICSFT:\n'
        '// WindowsBestFit/bestfit*.txt and PC/CP*.TXT). Do not edit.\n'
        '#include "text/code_page_table.h"\n\n'
        'namespace Halvex::Tessaran::PAL::detail {\n\nnamespace {\n\n'
    ]
    entries = []
    for t in tables:
        to_wide, to_mb = table_source(t)
        undefined = undefined_codes(t)
        cp = t['cp']
        parts.append(words(f'kToWide{cp}', to_wide))
        parts.append(words(f'kToBytes{cp}', to_mb) if to_mb else '')
        parts.append(words(f'kUndefined{cp}', undefined) if undefined else '')
        leads = ','.join(f'{{0x{a:02X},0x{b:02X}}}' for a, b in t['leads'])
        if leads:
            parts.append(f'const LeadRange kLeads{cp}[] = {{{leads}}};\n')
        parts.append('\n')
        entries.append(
            f'    {{{cp}, 0x{t["default_byte"]:02X}, 0x{t["default_wide"]:04X}, '
            + (f'kLeads{cp}, {len(t["leads"])}, ' if leads else 'nullptr, 0, ')
            + f'kToWide{cp}, {len(to_wide)}, '
            + (f'kToBytes{cp}, {len(to_mb)}, ' if to_mb else 'nullptr, 0, ')
            + (f'kUndefined{cp}, {len(undefined)}}},' if undefined else 'nullptr, 0},'))
    parts.append('}  // namespace\n\n')
    parts.append('const CodePageTableSource kCodePageTableSources[] = {\n' + '\n'.join(entries) + '\n};\n')
    parts.append('const size_t kCodePageTableSourceCount = std::size(kCodePageTableSources);\n\n')
    parts.append('}  // namespace Halvex::Tessaran::PAL::detail\n')
    output.write_text(''.join(parts))


if __name__ == '__main__':
    main()
