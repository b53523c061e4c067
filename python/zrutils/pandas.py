"""zrutils over pandas: point in shape for a DataFrame's columns."""
import os

from zrutils import ShapeFile


def point_in_shape(df, shapefile, lat="lat", lon="lon", fields=()):
    """A copy of df with a column per field: the values of the first shape
    of shapefile (a path or an open ShapeFile) holding each row's point,
    None where none does. One batch call for all rows; each distinct shape
    is read once."""
    fields = list(fields)
    owned = not isinstance(shapefile, ShapeFile)
    shapes = ShapeFile(os.fspath(shapefile)) if owned else shapefile
    try:
        records = shapes.find_many(df[lat].to_numpy(), df[lon].to_numpy())
        found = shapes.attributes(records, fields)
    finally:
        if owned:
            shapes.close()
    result = df.copy()
    for field in fields:
        result[field] = found[field].to_numpy()
    return result
