#!/usr/bin/env python3
"""Writes samples/arf/sample.arf: synthetic addresses for the stand-in
address-data library (tools/zrpaf/README.md describes the format).

Six made-up localities, each with its postcode, a few dozen streets running
out from its centre and houses every 15 m along them, odd numbers on one
side and even on the other. Codes: the coordinates, the ward (the quarter
of the locality the house lies in), the postcode, the locality and a
300 m grid cell (many values). A fixed seed makes every run write the same
file.

    /usr/bin/python3 tools/gen_sample_arf.py [OUTPUT]
"""
import math
import random
import sys

LOCALITIES = [  # name, postcode, centre latitude, longitude
    ("ASHFORD GREEN", "4101", -27.4705, 153.0260),
    ("BROOKVALE", "4102", -27.4890, 153.0410),
    ("CEDAR HILL", "4103", -27.4560, 153.0550),
    ("DUNMORE", "4104", -27.5050, 153.0120),
    ("ELMWOOD", "4105", -27.4420, 153.0180),
    ("FAIRVIEW", "4106", -27.4780, 153.0720),
]
NAMES = ["Acacia", "Banksia", "Coral", "Dingle", "Ember", "Fern", "Garnet", "Hazel",
         "Iris", "Juniper", "Kestrel", "Laurel", "Magnolia", "Nutmeg", "Orchard",
         "Pepper", "Quarry", "Rowan", "Saffron", "Tamarind", "Umber", "Violet",
         "Willow", "Yarrow", "Zinnia", "Bellbird", "Cobalt", "Dune", "Egret", "Fig"]
TYPES = ["Street", "Road", "Lane", "Avenue", "Close", "Way", "Crescent", "Court"]
DELIMITER = "|"
METRES_PER_DEGREE = 111194.9266


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "samples/arf/sample.arf"
    rng = random.Random(20261207)
    lines = ["ZRPAF-ARF 1",
             "# Synthetic addresses for the stand-in address-data library.",
             "# Fields 1-8: state, locality, postcode, street name, street type,",
             "# street suffix, street code, house number; 9-42 empty.",
             "delimiter " + DELIMITER,
             "codes Geo.Latitude+Longitude;Geo.Ward;Geo.Postcode;Geo.Locality;Geo.Cell300",
             "records"]
    street_code = 0
    for locality, postcode, lat0, lon0 in LOCALITIES:
        metres_per_lon = METRES_PER_DEGREE * math.cos(math.radians(lat0))
        used = set()
        for _ in range(14):
            # A name not used yet in this locality, and a type.
            while True:
                name = NAMES[int(rng.random() * len(NAMES))]
                kind = TYPES[int(rng.random() * len(TYPES))]
                if (name, kind) not in used:
                    used.add((name, kind))
                    break
            street_code += 1
            angle = rng.random() * 2 * math.pi
            start = 50 + rng.random() * 600
            length = 200 + rng.random() * 500
            for k in range(int(length / 15)):
                for side in (1, -1):
                    along = start + k * 15
                    across = side * 12
                    east = along * math.cos(angle) - across * math.sin(angle)
                    north = along * math.sin(angle) + across * math.cos(angle)
                    lat = lat0 + north / METRES_PER_DEGREE
                    lon = lon0 + east / metres_per_lon
                    number = 2 * k + (1 if side == 1 else 2)
                    ward = locality.title() + (" North" if north >= 0 else " South") + \
                        (" East" if east >= 0 else " West")
                    cell = "C%03d%03d" % (int((lat + 28) * METRES_PER_DEGREE / 300) % 1000,
                                          int((lon - 152.5) * metres_per_lon / 300) % 1000)
                    fields = ["QX", locality, postcode, name.upper(), kind.upper(), "",
                              "S%05d" % street_code, str(number)] + [""] * 34
                    codes = ["%.6f" % lat, "%.6f" % lon, ward, postcode, locality, cell]
                    lines.append(DELIMITER.join(fields + codes))
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
