"""ZRUtils from Python: the library's C entry points over ctypes.

The library is found through the environment variable ZRUTILS_LIBRARY (a
path to libzrutils.so), then beside this package, then by the system
loader. Every call may be made from any thread; the calls that take arrays
release the interpreter lock while the library works.
"""
import codecs
import ctypes
import os
import threading

__all__ = ["ZrutilsError", "validate_email", "List", "ShapeFile", "count_boundaries",
           "library"]

_library = None
_library_lock = threading.Lock()


class ZrutilsError(Exception):
    """A call the library answered with a non-zero status: the status code
    and the library's own text."""

    def __init__(self, code, text):
        super().__init__("%s (%d)" % (text, code))
        self.code = code
        self.text = text


def library():
    """The loaded libzrutils.so (loaded once per process)."""
    global _library
    with _library_lock:
        if _library is None:
            _library = _load()
        return _library


def _load():
    candidates = []
    if os.environ.get("ZRUTILS_LIBRARY"):
        candidates.append(os.environ["ZRUTILS_LIBRARY"])
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libzrutils.so")
    if os.path.exists(beside):
        candidates.append(beside)
    candidates.append("libzrutils.so")
    errors = []
    for name in candidates:
        try:
            lib = ctypes.CDLL(name)
            break
        except OSError as error:
            errors.append(str(error))
    else:
        raise OSError("libzrutils.so not found: " + "; ".join(errors))
    text_entry = [ctypes.c_char_p, ctypes.c_int]
    for entry in ("zruOpenList", "zruSearchList", "zruCloseList", "zruPointInShape",
                  "zruValidateEmail", "zruCountBoundaries"):
        function = getattr(lib, entry, None)
        if function is not None:
            function.argtypes = text_entry
            function.restype = ctypes.c_int
    lib.zruPointInShapeBatch.argtypes = [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_void_p,
                                         ctypes.c_int, ctypes.c_void_p]
    lib.zruPointInShapeBatch.restype = ctypes.c_int
    lib.zruShapeAttributes.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                       ctypes.c_char_p, ctypes.c_int]
    lib.zruShapeAttributes.restype = ctypes.c_int
    return lib


def _encode(text):
    return text.encode("utf-8") if isinstance(text, str) else bytes(text)


def _decode(raw, encoding="utf-8"):
    # The library answers stored bytes as they are; bytes not in the
    # encoding are read as Latin-1, which keeps every byte.
    try:
        return raw.decode(encoding)
    except UnicodeDecodeError:
        return raw.decode("latin-1")


def _shape_file_encoding(path):
    """The encoding of a shape file's attributes: the code page named by its
    .cpg file ("ISO-8859-1", "UTF-8", or a Windows code page number such as
    "1252"), UTF-8 without one or for a name Python does not know."""
    try:
        with open(os.path.splitext(path)[0] + ".cpg", encoding="ascii", errors="replace") as f:
            name = f.read().strip()
    except OSError:
        return "utf-8"
    if name.isdigit():
        name = "cp" + name
    try:
        return codecs.lookup(name).name
    except LookupError:
        return "utf-8"


def call(entry, parameters, size=4096, encoding="utf-8"):
    """Calls a text entry point (zruPointInShape, ...) with parameters and
    returns (status, answer), the answer decoded from the encoding. A
    "Buffer too small" answer (-6) is retried with a larger buffer."""
    function = getattr(library(), entry)
    data = _encode(parameters)
    while True:
        # The buffer holds size + 1 bytes and at least the parameters.
        buffer = ctypes.create_string_buffer(data, max(size, len(data)) + 1)
        status = function(buffer, size)
        if status == -6 and size < (1 << 24):
            size *= 8
            continue
        return status, _decode(buffer.value, encoding)


def _checked(entry, parameters, size=4096, encoding="utf-8"):
    status, answer = call(entry, parameters, size, encoding)
    if status != 0:
        raise ZrutilsError(status, answer)
    return answer


def validate_email(address, level=2):
    """zruValidateEmail: (verdict, text), the verdict digit as an int ('1'
    no "@", '3' no MX record, '4' MX records found, '5' no mail server
    accepted a connection, '6' one did) and the DNS client's error text."""
    answer = _checked("zruValidateEmail", "Level=%d;%s" % (level, address))
    verdict, _, text = answer.partition("\t")
    return int(verdict), text


class List:
    """A list of texts with numeric identifiers (zruOpenList). Closing it
    writes it to its file when it was changed. A context manager."""

    def __init__(self, file=None, name=None):
        items = []
        if file is not None:
            items.append("File=" + os.fspath(file))
        if name is not None:
            items.append("Name=" + name)
        self.handle = int(_checked("zruOpenList", "\t".join(items)))

    def search(self, text, insert=False):
        """(id, text, new): id 0 when the text is missing and was not added."""
        answer = _checked("zruSearchList", "%d\t%s%s" % (self.handle, text,
                                                         "\tInsertOnNotFound" if insert else ""))
        identifier, found, marker = answer.split("\t")
        return int(identifier), found, marker == "New"

    def close(self, file=None):
        if self.handle is None:
            return
        handle, self.handle = self.handle, None
        _checked("zruCloseList", "%d%s" % (handle, "" if file is None else "\tFile=" + os.fspath(file)))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class ShapeFile:
    """A shape file opened in the library's registry (zruPointInShape's
    "OpenShapeFile", which builds its .gos index when missing). Every open
    is matched by a close. Attribute values are decoded from the code page
    its .cpg file names (.encoding). A context manager; usable from many
    threads."""

    def __init__(self, path, precision=None):
        self.path = os.fspath(path)
        self._name = _encode(self.path)
        self.encoding = _shape_file_encoding(self.path)
        parameters = "OpenShapeFile=%s;" % self.path
        if precision is not None:
            parameters = "IndexPrecision=%d;" % precision + parameters
        _checked("zruPointInShape", parameters)
        self._open = True

    def close(self):
        if self._open:
            self._open = False
            _checked("zruPointInShape", "CloseShapeFile=%s;" % self.path)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def find(self, lat, lon, fields=None, distance=False):
        """The values of the fields (all without) of the first shape holding
        the point as a list of texts, with the distance to its edge in
        metres (int) last when asked; None when no shape holds it."""
        parameters = "ShapeFile=%s;LatLong=%.17g,%.17g;" % (self.path, lat, lon)
        if fields:
            parameters += "Fields=%s;" % ",".join(fields)
        if distance:
            parameters += "Distance=True;"
        answer = _checked("zruPointInShape", parameters, encoding=self.encoding)
        if answer == "":
            return None
        values = answer.split("|")
        if distance:
            values[-1] = int(values[-1][:-1])
        return values

    def find_many(self, lats, lons):
        """The zero-based record of the first shape holding each point, or
        -1, as a NumPy int32 array (one call of zruPointInShapeBatch)."""
        import numpy as np
        lats = np.ascontiguousarray(lats, dtype=np.float64)
        lons = np.ascontiguousarray(lons, dtype=np.float64)
        if lats.shape != lons.shape or lats.ndim != 1:
            raise ValueError("lats and lons must be one-dimensional and of one length")
        records = np.empty(len(lats), dtype=np.int32)
        status = library().zruPointInShapeBatch(self._name, lats.ctypes.data, lons.ctypes.data,
                                                len(lats), records.ctypes.data)
        if status != 0:
            raise ZrutilsError(status, _BATCH_TEXTS.get(status, "Error %d in searching shapefile"
                                                        % status))
        return records

    def record_values(self, record, fields=None):
        """The record's values of the fields (all without), as texts."""
        size = 4096
        field_text = None if not fields else _encode(",".join(fields))
        while True:
            buffer = ctypes.create_string_buffer(size + 1)
            status = library().zruShapeAttributes(self._name, int(record), field_text, buffer, size)
            if status == -6 and size < (1 << 24):
                size *= 8
                continue
            if status != 0:
                raise ZrutilsError(status, _decode(buffer.value))
            return _decode(buffer.value, self.encoding).split("|")

    def attributes(self, records, fields):
        """A pandas DataFrame with a column per field and a row per record
        (None where the record is negative); each distinct record is read
        once and its values spread to the rows by one indexing per field."""
        import numpy as np
        import pandas as pd
        records = np.asarray(records)
        fields = list(fields)
        # Hashing, not sorting: a million rows of a few hundred records cost
        # a pass, not a sort.
        rows, unique = pd.factorize(records, sort=False)
        table = [[None] * len(fields) if r < 0 else self.record_values(r, fields) for r in unique]
        columns = {}
        for k, field in enumerate(fields):
            values = np.array([row[k] for row in table], dtype=object)
            columns[field] = values[rows]
        return pd.DataFrame(columns, columns=fields)


_BATCH_TEXTS = {-1: "ShapeFile not provided", -2: "Invalid arguments",
                -5: "Shape File not supported", 28021: "ERR_SHAPEFILE_NOT_OPEN"}


def count_boundaries(parameters):
    """zruCountBoundaries with its parameter text ("Initialise[;<ARF>]",
    "Finalise[;<id>]" or a query); its answer split at TABs."""
    return _checked("zruCountBoundaries", parameters).split("\t")
