#!/usr/bin/python3
"""Makes the Jaro similarities the fuzzy-comparison test compares with, so
that the test suite itself needs no Python.

Run from anywhere with Debian's Python (python3-jellyfish belongs to it):

    /usr/bin/python3 tools/gen_jaro_oracle.py

It writes tests/data/text/jaro_jellyfish.tsv: one pair a line, the two texts
and jellyfish's jaro_similarity as Python's repr, tab-separated. The pairs
are surname-like texts made from syllables, each beside a copy with a few
random edits (swaps, deletions, insertions, substitutions), beside another
surname, or beside itself; a few are long enough to leave small buffers.
Texts hold ASCII letters, spaces, hyphens and apostrophes only.
"""
import os
import random

import jellyfish

STARTS = ["b", "br", "c", "ch", "cl", "d", "f", "g", "gr", "h", "j", "k", "l", "m", "mc",
          "n", "o'", "p", "ph", "r", "s", "sch", "sh", "st", "t", "th", "v", "w", "wr", "y", "z"]
VOWELS = ["a", "e", "i", "o", "u", "y", "ai", "ea", "ee", "ie", "ou", "oo"]
ENDS = ["", "n", "r", "s", "t", "ll", "ck", "ng", "rd", "nd", "son", "ton", "ley", "man",
        "er", "ing", "worth", "field", "ski", "ez", "x", "tz", "gh"]


def surname(rng):
    text = "".join(rng.choice(STARTS) + rng.choice(VOWELS) for _ in range(rng.randint(1, 3)))
    text += rng.choice(ENDS)
    if rng.random() < 0.05:
        text += rng.choice(["-", " "]) + surname(rng)
    return text.capitalize() if rng.random() < 0.7 else text.upper()


def edited(rng, text):
    letters = list(text)
    for _ in range(rng.randint(1, 3)):
        kind = rng.randrange(4)
        i = rng.randrange(len(letters) + 1)
        if kind == 0 and i + 1 < len(letters):
            letters[i], letters[i + 1] = letters[i + 1], letters[i]
        elif kind == 1 and i < len(letters):
            del letters[i]
        elif kind == 2:
            letters.insert(i, rng.choice("abcdefghijklmnopqrstuvwxyz"))
        elif i < len(letters):
            letters[i] = rng.choice("abcdefghijklmnopqrstuvwxyz")
    return "".join(letters)


def main():
    rng = random.Random(20261207)
    pairs = [("", ""), ("", "A"), ("MARTHA", "MARHTA"), ("DWAYNE", "DUANE"),
             ("DIXON", "DICKSONX"), ("abcxyz", "bcaxyz")]
    for _ in range(3000):
        a = surname(rng)
        choice = rng.random()
        b = edited(rng, a) if choice < 0.6 else surname(rng) if choice < 0.95 else a
        if rng.random() < 0.5:
            a, b = b, a
        pairs.append((a, b))
    for _ in range(40):
        a = " ".join(surname(rng) for _ in range(rng.randint(8, 30)))
        pairs.append((a, edited(rng, a)))
        pairs.append((a, a[: rng.randint(0, 12)]))
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "text",
                       "jaro_jellyfish.tsv")
    with open(out, "w") as f:
        for a, b in pairs:
            f.write("%s\t%s\t%r\n" % (a, b, jellyfish.jaro_similarity(a, b)))


if __name__ == "__main__":
    main()
