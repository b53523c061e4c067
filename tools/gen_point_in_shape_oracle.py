#!/usr/bin/python3
"""Makes the expected answers of zruPointInShape on the Natural Earth 110 m
countries (samples/naturalearth/), so that the test suite needs no Python.

Run with Debian's Python (pyshp and shapely belong to it):

    /usr/bin/python3 tools/gen_point_in_shape_oracle.py

Writes tests/data/spatial/naturalearth_answers.tsv, one point a line:

    latitude TAB longitude TAB name TAB iso_a3 TAB metres

latitude and longitude in "%.17g" (they read back as the same doubles);
name and iso_a3 are the table's bytes (Windows-1252, as the table stores
them) of the first country in record order that contains the point (GEOS
through shapely), both empty for a point in no country; metres is, for the
first 40 points found in a country, the distance to that country's edge,
else "-".

The distance is computed as an independent check of the library's own:
shapely's nearest point on the country's boundary in a plane whose
longitudes are scaled by the length of a degree of longitude at the
country's mid-latitude (relative to a degree of a great circle), mapped back
and measured by the haversine formula on a sphere of radius 6371 km.

Points: 2000 uniform over the globe and 2000 uniform in the box of a
country chosen at random, from Python's random module seeded with 20261207.
Points within 1e-6 degrees of any country's boundary are left out: GEOS and
a crossing test may rightly differ there.
"""

import math
import os
import random

import shapefile
from shapely.geometry import Point, shape as to_shape
from shapely.affinity import scale
from shapely.ops import nearest_points
from shapely.prepared import prep

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COUNTRIES = os.path.join(ROOT, "samples", "naturalearth", "naturalearth_lowres")
OUT = os.path.join(ROOT, "tests", "data", "spatial", "naturalearth_answers.tsv")
EDGE_DISTANCE = 1e-6
DISTANCE_POINTS = 40


def haversine(lat1, lon1, lat2, lon2):
    p1, p2 = math.radians(lat1), math.radians(lat2)
    dp, dl = p2 - p1, math.radians(lon2 - lon1)
    a = math.sin(dp / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dl / 2) ** 2
    return 2 * 6371.0 * math.asin(min(1.0, math.sqrt(a)))


def edge_distance_metres(geometry, lat, lon):
    _, y0, _, y1 = geometry.bounds
    mid = (y0 + y1) / 2
    k = haversine(mid, 0.0, mid, 1.0) / (6371.0 * math.pi / 180)
    plane = scale(geometry.boundary, xfact=k, yfact=1.0, origin=(0, 0))
    nearest = nearest_points(plane, Point(lon * k, lat))[0]
    return haversine(nearest.y, nearest.x / k, lat, lon) * 1000.0


def main():
    reader = shapefile.Reader(COUNTRIES, encoding="latin-1")
    countries = []
    for shape_record in reader.iterShapeRecords():
        geometry = to_shape(shape_record.shape.__geo_interface__)
        countries.append((geometry, prep(geometry), geometry.bounds,
                          shape_record.record["name"], shape_record.record["iso_a3"]))
    rng = random.Random(20261207)
    points = []
    for _ in range(2000):
        points.append((-90 + 180 * rng.random(), -180 + 360 * rng.random()))
    for _ in range(2000):
        x0, y0, x1, y1 = rng.choice(countries)[2]
        points.append((y0 + (y1 - y0) * rng.random(), x0 + (x1 - x0) * rng.random()))
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    distances = 0
    with open(OUT, "w", encoding="latin-1", newline="\n") as f:
        for lat, lon in points:
            p = Point(lon, lat)
            near_edge = False
            hit = None
            for country in countries:
                geometry, prepared, (x0, y0, x1, y1), _, _ = country
                if lon < x0 - 1e-5 or lon > x1 + 1e-5 or lat < y0 - 1e-5 or lat > y1 + 1e-5:
                    continue
                if geometry.boundary.distance(p) < EDGE_DISTANCE:
                    near_edge = True
                    break
                if hit is None and prepared.contains(p):
                    hit = country
            if near_edge:
                continue
            name, iso, metres = "", "", "-"
            if hit is not None:
                name, iso = hit[3], hit[4]
                if distances < DISTANCE_POINTS:
                    metres = "%.3f" % edge_distance_metres(hit[0], lat, lon)
                    distances += 1
            f.write("%.17g\t%.17g\t%s\t%s\t%s\n" % (lat, lon, name, iso, metres))


if __name__ == "__main__":
    main()
