"""zrutils over Dask: point in shape for every partition of a Dask
DataFrame. The shape file's registry lives in each process: every worker
process opens the file once, at its first partition, and keeps it open."""
import os
import threading

import pandas as pd

import zrutils
from zrutils import ShapeFile
from zrutils import pandas as zpandas

_open_files = {}
_open_lock = threading.Lock()


def _worker_shape_file(path):
    with _open_lock:
        shapes = _open_files.get(path)
        if shapes is None:
            shapes = _open_files[path] = ShapeFile(path)
        return shapes


def _partition(df, path, lat, lon, fields):
    try:
        return zpandas.point_in_shape(df, _worker_shape_file(path), lat, lon, fields)
    except zrutils.ZrutilsError as error:
        # The library closes files left idle for a minute: open again.
        if error.code != 28021:
            raise
        with _open_lock:
            _open_files.pop(path, None)
        return zpandas.point_in_shape(df, _worker_shape_file(path), lat, lon, fields)


def point_in_shape(ddf, shapefile, lat="lat", lon="lon", fields=()):
    """A Dask DataFrame with a column per field, as zrutils.pandas does for
    each partition. The file is opened (and its index built) here, on the
    client, before the graph runs, so that workers never race to build it;
    the path must name the same file on every worker."""
    path = os.path.abspath(os.fspath(shapefile))
    fields = list(fields)
    ShapeFile(path).close()
    meta = ddf._meta.copy()
    for field in fields:
        meta[field] = pd.Series([], dtype=object)
    return ddf.map_partitions(_partition, path, lat, lon, fields, meta=meta)
