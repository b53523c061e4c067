#!/usr/bin/env python3
"""Writes text/unicode_tables.cpp from the Unicode Character Database files
in third_party/ucd/.

    python3 tools/gen_unicode_tables.py [repository folder]

Case mappings and general categories come from UnicodeData 5.1, full case
folding (statuses C and F) from CaseFolding 5.1, the binary property bits
from PropList and DerivedCoreProperties 5.2. The Windows-1252 byte tables use
Python's cp1252 codec for the code page's assignments. Only the standard
library is used, so the output can be regenerated anywhere; it is committed,
so the build needs no Python.
"""

import os
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
UCD = os.path.join(ROOT, "third_party", "ucd")
OUT = os.path.join(ROOT, "text", "unicode_tables.cpp")

CATEGORY_CODES = {
    "Lu": 0, "Ll": 1, "Lt": 2, "Lm": 3, "Lo": 4, "Mn": 8, "Me": 9, "Mc": 10,
    "Nd": 16, "Nl": 17, "No": 18, "Zs": 24, "Zl": 25, "Zp": 26, "Cc": 32,
    "Cf": 33, "Co": 34, "Cs": 35, "Pd": 40, "Ps": 41, "Pe": 42, "Pc": 43,
    "Po": 44, "Pi": 45, "Pf": 46, "Sm": 48, "Sc": 49, "Sk": 50, "So": 51,
}
# Property bit, property name, file of version 5.2 that lists it.
PROPERTY_BITS = [
    (6, "Alphabetic", "DerivedCoreProperties.txt"),
    (7, "Uppercase", "DerivedCoreProperties.txt"),
    (8, "Lowercase", "DerivedCoreProperties.txt"),
    (9, "White_Space", "PropList.txt"),
    (10, "Hex_Digit", "PropList.txt"),
    (11, "Noncharacter_Code_Point", "PropList.txt"),
    (12, "Default_Ignorable_Code_Point", "DerivedCoreProperties.txt"),
]
ACCENT_RANGES = [(0x00C0, 0x024F), (0x0370, 0x04FF), (0x1E00, 0x1FFF), (0x2100, 0x214F)]
# Letters without a canonical decomposition that still have an obvious base.
ACCENT_EXTRAS = {
    0x0110: 0x44, 0x0111: 0x64, 0x0126: 0x48, 0x0127: 0x68, 0x0141: 0x4C,
    0x0142: 0x6C, 0x0166: 0x54, 0x0167: 0x74, 0x00D8: 0x4F, 0x00F8: 0x6F,
    0x01C4: 0x01F1, 0x01C5: 0x01F2, 0x01C6: 0x01F3,
    0x212A: 0x4B, 0x212B: 0x41, 0x2126: 0x03A9,
}
# Added for in-place UTF-8 accent removal only.
UTF8_ACCENT_EXTRAS = {0x0131: 0x69, 0x013F: 0x4C, 0x0140: 0x6C, 0x0149: 0x6E,
                      0x017F: 0x73, 0x1E9A: 0x61}
# Windows-1252 letters whose base the decomposition does not give.
ANSI_ACCENT_EXTRAS = {0xD0: 0x44, 0xF0: 0x64}
MULTI_BASE = {2: 0xD800, 3: 0xDA00}


def data_lines(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def code_range(text):
    first, _, last = text.partition("..")
    return int(first, 16), int(last or first, 16)


def read_unicode_data(path):
    """Category, simple upper, simple lower and canonical decomposition per
    BMP code point, with the First>/Last> ranges expanded."""
    category, upper, lower, decomposition = {}, {}, {}, {}
    range_start = None
    for f in data_lines(path):
        code = int(f[0], 16)
        if f[1].endswith("First>"):
            range_start = code
            continue
        first = range_start if f[1].endswith("Last>") else code
        range_start = None
        for c in range(first, min(code, 0xFFFF) + 1):
            category[c] = f[2]
        if code > 0xFFFF:
            continue
        if f[12]:
            upper[code] = int(f[12], 16)
        if f[13]:
            lower[code] = int(f[13], 16)
        if f[5] and not f[5].startswith("<"):
            decomposition[code] = [int(x, 16) for x in f[5].split()]
    return category, upper, lower, decomposition


def first_of_full_decomposition(c, decomposition):
    while c in decomposition:
        c = decomposition[c][0]
    return c


def accent_table(category, decomposition):
    table = {}
    for first, last in ACCENT_RANGES:
        for c in range(first, last + 1):
            if category.get(c) in ("Lu", "Ll") and c in decomposition:
                table[c] = first_of_full_decomposition(c, decomposition)
    table.update(ACCENT_EXTRAS)
    return table


def two_level(entries, ctype, name):
    """C++ for a 256-entry page index and the distinct 256-entry pages."""
    pages, index = [], []
    for high in range(256):
        page = tuple(entries.get(high * 256 + low, 0) for low in range(256))
        if page not in pages:
            pages.append(page)
        index.append(pages.index(page))
    assert len(pages) <= 256
    out = ["const uint8_t %sIndex[256] = {" % name]
    out += ["    " + ", ".join(str(i) for i in index[k:k + 16]) + "," for k in range(0, 256, 16)]
    out.append("};")
    out.append("const %s %sPages[%d][256] = {" % (ctype, name, len(pages)))
    for page in pages:
        out.append("    {")
        out += ["        " + ", ".join("0x%X" % v for v in page[k:k + 12]) + ","
                for k in range(0, 256, 12)]
        out.append("    },")
    out.append("};")
    return out


def flat(values, ctype, name):
    out = ["const %s %s[%d] = {" % (ctype, name, len(values))]
    out += ["    " + ", ".join("0x%X" % v for v in values[k:k + 12]) + ","
            for k in range(0, len(values), 12)]
    out.append("};")
    return out


def ansi_char(b):
    try:
        return ord(bytes([b]).decode("cp1252"))
    except UnicodeDecodeError:
        return b


def ansi_byte(c):
    try:
        return chr(c).encode("cp1252")[0]
    except UnicodeEncodeError:
        return None


def ansi_table(mapping):
    """A 256-entry byte table: the byte of mapping[char], 0 when unchanged."""
    values = []
    for b in range(256):
        target = mapping(ansi_char(b))
        byte = ansi_byte(target) if target is not None else None
        values.append(byte if byte is not None and byte != b else 0)
    return values


def main():
    category, upper, lower, decomposition = read_unicode_data(
        os.path.join(UCD, "5.1.0", "UnicodeData.txt"))

    properties = {c: CATEGORY_CODES[cat] for c, cat in category.items() if cat != "Cn"}
    for bit, prop, filename in PROPERTY_BITS:
        for f in data_lines(os.path.join(UCD, "5.2.0", filename)):
            if f[1] != prop:
                continue
            first, last = code_range(f[0])
            for c in range(first, min(last, 0xFFFF) + 1):
                properties[c] = properties.get(c, 0) | (1 << bit)

    folds, multi = {}, {2: [], 3: []}
    for f in data_lines(os.path.join(UCD, "5.1.0", "CaseFolding.txt")):
        code = int(f[0], 16)
        if code > 0xFFFF or f[1] not in ("C", "F"):
            continue
        target = [int(x, 16) for x in f[2].split()]
        if len(target) == 1:
            folds[code] = target[0]
        else:
            folds[code] = MULTI_BASE[len(target)] + len(multi[len(target)])
            multi[len(target)].append(target)

    accents = accent_table(category, decomposition)
    utf8_accents = dict(accents)
    utf8_accents.update(UTF8_ACCENT_EXTRAS)
    # In-place removal relies on no base letter being longer in UTF-8 than
    # the two-byte letters it replaces.
    assert all(v < 0x800 for c, v in utf8_accents.items() if c < 0x1F00)

    def ansi_accent(c):
        base = first_of_full_decomposition(c, decomposition)
        return ANSI_ACCENT_EXTRAS.get(c, base if base != c else None)

    out = [
        "// Generated by tools/gen_unicode_tables.py from the Unicode Character",
        "// Database files in third_party/ucd/. Do not edit; rerun the generator.",
        "#include \"text/unicode_tables.h\"",
        "",
        "namespace zru_tables {",
        "",
        "// %d case-folding entries stand for two characters, %d for three."
        % (len(multi[2]), len(multi[3])),
        "const int kFold2Count = %d;" % len(multi[2]),
        "const int kFold3Count = %d;" % len(multi[3]),
        "// %d letters have a base letter." % len(accents),
        "const int kAccentCount = %d;" % len(accents),
        "",
    ]
    out += two_level({c: v for c, v in lower.items() if v != c}, "uint32_t", "kLower")
    out += two_level({c: v for c, v in upper.items() if v != c}, "uint32_t", "kUpper")
    out += two_level(properties, "uint16_t", "kProperty")
    out += two_level(folds, "uint32_t", "kFold")
    out += two_level(accents, "uint32_t", "kAccent")
    out.append("const uint16_t kFold2[%d][2] = {" % len(multi[2]))
    out += ["    {0x%X, 0x%X}," % tuple(t) for t in multi[2]]
    out.append("};")
    out.append("const uint16_t kFold3[%d][3] = {" % len(multi[3]))
    out += ["    {0x%X, 0x%X, 0x%X}," % tuple(t) for t in multi[3]]
    out.append("};")
    out += flat([utf8_accents.get(c, 0) for c in range(0x00C0, 0x0240)], "uint16_t",
                "kUtf8AccentC3")
    out += flat([utf8_accents.get(c, 0) for c in range(0x1E00, 0x1F00)], "uint16_t",
                "kUtf8AccentE1")
    out += flat(ansi_table(lambda c: upper.get(c)), "uint8_t", "kUpper1252")
    out += flat(ansi_table(lambda c: lower.get(c)), "uint8_t", "kLower1252")
    out += flat(ansi_table(ansi_accent), "uint8_t", "kAccent1252")
    out += ["", "}  // namespace zru_tables", ""]
    with open(OUT, "w", encoding="utf-8") as f:
        f.write("\n".join(out))
    print("wrote %s: %d two-character and %d three-character foldings, %d accents"
          % (OUT, len(multi[2]), len(multi[3]), len(accents)))


if __name__ == "__main__":
    main()
