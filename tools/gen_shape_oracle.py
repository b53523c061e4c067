#!/usr/bin/python3
"""Makes the shapefile test data and the expected answers the tests compare
with, so that the test suite itself needs no Python and no oracle package.

Run from anywhere with Debian's Python (the packages belong to it):

    /usr/bin/python3 tools/gen_shape_oracle.py

Needs python3-pyshp, python3-shapely, python3-geopandas (only for its
bundled data sets) and shapelib's command-line tools (shpcreate, shpadd,
dbfcreate, dbfadd). It writes, under tests/data/shapes/:

  real/      copies of two public sets bundled with python3-geopandas: the
             Natural Earth 110 m populated places (points) and the New York
             City borough boundaries (nybb_16a.zip, unpacked). The Natural
             Earth 110 m countries are in samples/naturalearth/ already.
  edge/      tiny sets of every shape type, built with shapelib's tools (and
             with pyshp's writer for MultiPatch and null shapes, which the
             tools cannot write).
  oracle/    what pyshp reads from each set:
             <set>.shapes.tsv     one line per record: index, type, box
                                  (minX minY maxX maxY, or - for point
                                  types), part starts, part types, point
                                  count, then FNV-1a 64 digests of the x/y,
                                  z and m values (see below);
             <set>.attributes.tsv one line per record: the field values,
                                  tab-separated, with \\t \\n \\\\ escaped;
                                  numbers as Python's repr, empty for none;
             naturalearth_points.txt  GEOS's answer (through shapely) for
                                  100,000 pseudo-random points over the
                                  globe: the index of the first country that
                                  contains the point, '-' for none, or 's'
                                  for a point within 1e-9 degrees of an edge
                                  (GEOS leaves boundary points out, the
                                  crossing test takes some of them in).

Digests: FNV-1a 64 over the little-endian bytes of each double in order
(x then y for points). For m, pyshp's "no data" (None: absent M block or
values not above -1e39) is hashed as the bytes of -1e39, and a record whose
m values are all "no data" (or absent) gets the word none. The points come
from splitmix64 seeded with 20261207: longitude = -180 + 360 u, latitude =
-90 + 180 u', with u = (next >> 11) * 2^-53, longitude drawn first. The C++
tests draw the same sequence.
"""

import os
import shutil
import struct
import subprocess
import sys
import zipfile

import shapefile
from shapely.geometry import Point, shape as to_shape
from shapely.prepared import prep

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "data", "shapes")
GEOPANDAS = "/usr/lib/python3/dist-packages/geopandas/datasets"
COUNTRIES = os.path.join(ROOT, "samples", "naturalearth", "naturalearth_lowres")
NODATA = -10e38
POINT_COUNT = 100000
SEED = 20261207
EDGE_DISTANCE = 1e-9


def fnv(values):
    h = 0xcbf29ce484222325
    for v in values:
        for b in struct.pack("<d", v):
            h ^= b
            h = (h * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def fmt(v):
    return repr(float(v))


def dump_shapes(base, out):
    r = shapefile.Reader(base)
    with open(out, "w") as f:
        for i, s in enumerate(r.iterShapes()):
            t = s.shapeType
            has_box = t in (3, 5, 8, 13, 15, 18, 23, 25, 28, 31)
            box = " ".join(fmt(v) for v in s.bbox) if has_box and t != 0 else "-"
            parts = ",".join(str(p) for p in getattr(s, "parts", [])) or "-"
            ptypes = ",".join(str(p) for p in getattr(s, "partTypes", [])) if t == 31 else "-"
            pts = s.points
            xy = fnv([c for p in pts for c in (p[0], p[1])])
            z = getattr(s, "z", None)
            zd = fnv(list(z)) if z is not None and len(z) > 0 else "none"
            m = getattr(s, "m", None)
            if m is None or all(v is None for v in m):
                md = "none"
            else:
                md = fnv([NODATA if v is None else v for v in m])
            f.write("\t".join([str(i), str(t), box, parts, ptypes, str(len(pts)), xy, zd, md]) + "\n")


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def dump_attributes(base, out):
    # latin-1 maps every byte to one character, so the stored bytes come
    # back unchanged when the file is written the same way.
    r = shapefile.Reader(base, encoding="latin-1")
    with open(out, "w", encoding="latin-1", newline="\n") as f:
        f.write("\t".join(escape(fld[0]) + ":" + fld[1] for fld in r.fields[1:]) + "\n")
        for rec in r.iterRecords():
            cells = []
            for v in rec:
                if v is None:
                    cells.append("")
                elif isinstance(v, float):
                    cells.append(repr(v))
                elif hasattr(v, "strftime"):
                    cells.append(v.strftime("%Y%m%d"))
                else:
                    cells.append(escape(str(v)))
            f.write("\t".join(cells) + "\n")


class SplitMix64:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def uniform(self):
        return (self.next() >> 11) * (1.0 / 9007199254740992.0)


def classify_points(base, out):
    r = shapefile.Reader(base)
    polys = []
    for s in r.iterShapes():
        g = to_shape(s.__geo_interface__)
        polys.append((g, prep(g), g.bounds))
    rng = SplitMix64(SEED)
    with open(out, "w") as f:
        for _ in range(POINT_COUNT):
            lon = -180 + 360 * rng.uniform()
            lat = -90 + 180 * rng.uniform()
            p = Point(lon, lat)
            answer = "-"
            for i, (g, pg, (x0, y0, x1, y1)) in enumerate(polys):
                if lon < x0 - 1e-6 or lon > x1 + 1e-6 or lat < y0 - 1e-6 or lat > y1 + 1e-6:
                    continue
                if g.boundary.distance(p) < EDGE_DISTANCE:
                    answer = "s"
                    break
                if answer == "-" and pg.contains(p):
                    answer = str(i)
            f.write(answer + "\n")


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def make_dbf(base, rows):
    run("dbfcreate", base, "-s", "NAME", "12", "-n", "VALUE", "8", "2")
    for name, value in rows:
        run("dbfadd", base, name, value)


def make_edge_sets(edge):
    os.makedirs(edge, exist_ok=True)
    sets = {
        # name: (shpcreate type, shpadd argument lists)
        "point": ("point", [["1.5", "2.5"], ["-3", "4.25"]]),
        "pointz": ("pointz", [["-zm", "1", "2", "3", "4"], ["-zm", "5", "6", "7", "8"]]),
        "pointm": ("pointm", [["-m", "1", "2", "3"], ["-m", "-1", "-2", "-3"]]),
        "arc": ("arc", [["0", "0", "1", "1", "2", "0", "+", "5", "5", "6", "6"]]),
        "arcz": ("arcz", [["-zm", "0", "0", "1", "2", "1", "1", "3", "4"]]),
        "polygon_holes": ("polygon", [
            ["0", "0", "0", "10", "10", "10", "10", "0", "0", "0",
             "+", "2", "2", "8", "2", "8", "8", "2", "8", "2", "2"],
            # counter-clockwise single ring
            ["20", "0", "30", "0", "30", "10", "20", "10", "20", "0"],
            # two outer rings
            ["40", "0", "40", "1", "41", "1", "41", "0", "40", "0",
             "+", "42", "0", "42", "1", "43", "1", "43", "0", "42", "0"]]),
        "polygonz": ("polygonz", [
            ["-z", "0", "0", "1", "0", "1", "2", "1", "1", "3", "1", "0", "4", "0", "0", "1"],
            ["-zm", "0", "0", "1", "9", "0", "1", "2", "8", "1", "1", "3", "7", "1", "0", "4", "6",
             "0", "0", "1", "9"]]),
        "polygonm": ("polygonm", [["-m", "0", "0", "1", "0", "1", "2", "1", "1", "3", "0", "0", "1"]]),
        "multipoint": ("multipoint", [["1", "1", "2", "2", "3", "3"]]),
        "multipointz": ("multipointz", [["-zm", "1", "1", "10", "100", "2", "2", "20", "200"],
                                        ["-z", "3", "3", "30"]]),
        "multipointm": ("multipointm", [["-m", "1", "1", "5", "2", "2", "6"]]),
    }
    for name, (kind, records) in sets.items():
        base = os.path.join(edge, name)
        run("shpcreate", base, kind)
        for args in records:
            run("shpadd", base, *args)
        make_dbf(base, [("rec%d" % i, "%d.5" % i) for i in range(len(records))])

    # MultiPatch and null shapes: written by pyshp.
    w = shapefile.Writer(os.path.join(edge, "multipatch"), shapeType=shapefile.MULTIPATCH)
    w.field("NAME", "C", 12)
    w.multipatch([[[0, 0, 0, 5], [1, 0, 0, 6], [0, 1, 1, 7], [1, 1, 1, 8]],
                  [[0, 0, 2, 1], [1, 0, 2, 2], [1, 1, 2, 3], [0, 0, 2, 1]]],
                 partTypes=[shapefile.TRIANGLE_STRIP, shapefile.OUTER_RING])
    w.record("patch")
    w.close()
    w = shapefile.Writer(os.path.join(edge, "polygon_nulls"), shapeType=shapefile.POLYGON)
    w.field("NAME", "C", 12)
    w.null()
    w.record("null0")
    w.poly([[[0, 0], [0, 1], [1, 1], [1, 0], [0, 0]]])
    w.record("square")
    w.null()
    w.record("null2")
    w.close()
    return sorted(list(sets) + ["multipatch", "polygon_nulls"])


def copy_real_sets(real):
    os.makedirs(real, exist_ok=True)
    for ext in ("shp", "shx", "dbf", "prj"):
        shutil.copy(os.path.join(GEOPANDAS, "naturalearth_cities", "naturalearth_cities." + ext), real)
    with zipfile.ZipFile(os.path.join(GEOPANDAS, "nybb_16a.zip")) as z:
        for member in z.namelist():
            name = os.path.basename(member)
            if name.startswith("nybb.") and name.split(".")[-1] in ("shp", "shx", "dbf", "prj"):
                with z.open(member) as src, open(os.path.join(real, name), "wb") as dst:
                    shutil.copyfileobj(src, dst)


def main():
    real = os.path.join(DATA, "real")
    edge = os.path.join(DATA, "edge")
    oracle = os.path.join(DATA, "oracle")
    os.makedirs(oracle, exist_ok=True)
    copy_real_sets(real)
    sets = {"naturalearth_lowres": COUNTRIES,
            "naturalearth_cities": os.path.join(real, "naturalearth_cities"),
            "nybb": os.path.join(real, "nybb")}
    for name in make_edge_sets(edge):
        sets[name] = os.path.join(edge, name)
    for name, base in sets.items():
        dump_shapes(base, os.path.join(oracle, name + ".shapes.tsv"))
        dump_attributes(base, os.path.join(oracle, name + ".attributes.tsv"))
    classify_points(COUNTRIES, os.path.join(oracle, "naturalearth_points.txt"))
    print("wrote", len(sets), "sets and the point answers under", DATA)


if __name__ == "__main__":
    sys.exit(main())
