"""zrutils against the C entry points' own answers, GEOS and pandas."""
import os
import threading

import numpy as np
import pandas as pd
import pytest

import zrutils
import zrutils.pandas
from conftest import copy_countries


def random_points(count, seed=7):
    random = np.random.default_rng(seed)
    return random.uniform(-60, 80, count), random.uniform(-180, 180, count)


def test_validate_email_answers_as_the_entry():
    for address in ("nobody", "a@"):
        status, answer = zrutils.call("zruValidateEmail", "Level=1;" + address)
        assert status == 0
        assert zrutils.validate_email(address, level=1) == (int(answer[0]), answer[2:])
    assert zrutils.validate_email("nobody")[0] == 1


def test_list_round_trip_and_errors(tmp_path):
    path = str(tmp_path / "names.tsv")
    with zrutils.List() as names:
        assert names.search("Smith") == (0, "", False)
        first = names.search("Smith", insert=True)
        assert first[0] > 0 and first[1:] == ("Smith", True)
        assert names.search("Smith") == (first[0], "Smith", False)
        names.close(path)
    with zrutils.List(file=path) as again:
        assert again.search("Smith") == (first[0], "Smith", False)
    with pytest.raises(zrutils.ZrutilsError) as error:
        zrutils.List.search(type("Closed", (), {"handle": 999999})(), "x")
    assert error.value.code == 24203 and "handle" in error.value.text


def test_find_and_attributes_answer_as_the_entry(countries):
    lats, lons = random_points(2000)
    with zrutils.ShapeFile(countries) as shapes:
        records = shapes.find_many(lats, lons)
        assert (records >= 0).sum() > 200
        table = shapes.attributes(records, ["name", "iso_a3"])
        for k in range(len(lats)):
            status, answer = zrutils.call(
                "zruPointInShape", "ShapeFile=%s;LatLong=%.17g,%.17g;Fields=name,iso_a3;"
                % (countries, lats[k], lons[k]))
            assert status == 0
            found = shapes.find(lats[k], lons[k], ["name", "iso_a3"])
            assert found == (answer.split("|") if answer else None)
            expected = [None, None] if records[k] < 0 else answer.split("|")
            assert list(table.iloc[k]) == expected
        london = shapes.find(51.507222, -0.1275, ["name"], distance=True)
        status, answer = zrutils.call("zruPointInShape", "ShapeFile=%s;LatLong=51.507222,-0.1275;"
                                      "Fields=name;Distance=True;" % countries)
        assert london == ["United Kingdom", int(answer.split("|")[1][:-1])]
        whole = shapes.find(51.507222, -0.1275)
        record = shapes.find_many([51.507222], [-0.1275])[0]
        assert shapes.record_values(record) == whole


def test_attributes_decoded_from_the_code_page(countries, tmp_path):
    # The set's .dbf holds Latin-1 bytes and its .cpg says so; without a
    # .cpg, values that are not UTF-8 are read as Latin-1: no byte is lost.
    shapefile = pytest.importorskip("shapefile")
    names = [record["name"] for record in
             shapefile.Reader(countries, encoding="latin-1").records()]
    assert "Côte d'Ivoire" in names
    bare = copy_countries(str(tmp_path), (".shp", ".shx", ".dbf"))
    for path, precision, encoding in ((countries, None, "iso8859-1"), (bare, 1, "utf-8")):
        with zrutils.ShapeFile(path, precision) as shapes:
            assert shapes.encoding == encoding
            assert [shapes.record_values(k, ["name"])[0] for k in range(len(names))] == names
            assert shapes.find(7.5, -5.5, ["name"]) == ["Côte d'Ivoire"]
            records = shapes.find_many([7.5, 7.5], [-5.5, -30.0])
            assert shapes.attributes(records, ["name"])["name"].tolist() == ["Côte d'Ivoire", None]


def test_errors_carry_code_and_text(tmp_path):
    # A copy of its own, indexed coarsely: the session's copy stays open.
    countries = copy_countries(str(tmp_path))
    with zrutils.ShapeFile(countries, precision=1) as shapes:
        with pytest.raises(zrutils.ZrutilsError) as error:
            shapes.find(0, 10)
        assert (error.value.code, error.value.text) == (-2, "Missing or invalid LatLong")
        with pytest.raises(zrutils.ZrutilsError) as error:
            shapes.find(51.5, -0.1, ["nothing"])
        assert (error.value.code, error.value.text) == (28020, "ERR_SHAPEFILE_NO_SUCH_FIELD")
        with pytest.raises(zrutils.ZrutilsError) as error:
            shapes.record_values(100000)
        assert error.value.code == 28007
        with pytest.raises(ValueError):
            shapes.find_many([1.0, 2.0], [1.0])
    with pytest.raises(zrutils.ZrutilsError) as error:
        shapes.find_many([51.5], [-0.1])
    assert (error.value.code, error.value.text) == (28021, "ERR_SHAPEFILE_NOT_OPEN")
    with pytest.raises(zrutils.ZrutilsError) as error:
        zrutils.ShapeFile(os.path.join(os.path.dirname(countries), "missing.shp"))
    assert error.value.code != 0 and error.value.text


def test_threads_calling_at_once(countries):
    lats, lons = random_points(20000, seed=3)
    with zrutils.ShapeFile(countries) as shapes:
        expected = shapes.find_many(lats, lons)
        names = shapes.attributes(expected[:300], ["name"])["name"].tolist()
        failures = []

        def work():
            for _ in range(5):
                if not np.array_equal(shapes.find_many(lats, lons), expected):
                    failures.append("batch")
                for k in range(0, 300, 7):
                    found = shapes.find(lats[k], lons[k], ["name"])
                    if (found[0] if found else None) != names[k]:
                        failures.append(k)

        threads = [threading.Thread(target=work) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert failures == []


def test_find_many_agrees_with_geos(countries):
    shapefile = pytest.importorskip("shapefile")
    geometry = pytest.importorskip("shapely.geometry")
    vectorized = pytest.importorskip("shapely.vectorized")
    lats, lons = random_points(100000, seed=11)
    expected = np.full(len(lats), -1, dtype=np.int32)
    for record, shape in enumerate(shapefile.Reader(countries).shapes()):
        # GEOS asked only about the points in the shape's box not yet placed.
        west, south, east, north = shape.bbox
        candidates = np.flatnonzero((expected < 0) & (lons >= west) & (lons <= east)
                                    & (lats >= south) & (lats <= north))
        inside = vectorized.contains(geometry.shape(shape.__geo_interface__),
                                     lons[candidates], lats[candidates])
        expected[candidates[inside]] = record
    with zrutils.ShapeFile(countries) as shapes:
        records = shapes.find_many(lats, lons)
    assert (expected >= 0).sum() > 10000
    assert np.array_equal(records, expected), np.flatnonzero(records != expected)[:10]


def test_pandas_adds_the_fields(countries):
    lats, lons = random_points(5000)
    df = pd.DataFrame({"id": np.arange(len(lats)), "lat": lats, "lon": lons})
    result = zrutils.pandas.point_in_shape(df, countries, fields=["name", "continent"])
    assert list(result.columns) == ["id", "lat", "lon", "name", "continent"]
    with zrutils.ShapeFile(countries) as shapes:
        for k in range(0, len(df), 13):
            found = shapes.find(lats[k], lons[k], ["name", "continent"])
            assert list(result.iloc[k][["name", "continent"]]) == (found or [None, None])


def test_readme_examples_run_as_printed_and_dask_equals_pandas(countries, monkeypatch, capsys):
    """The README's examples, run in this process from the folder holding
    samples/naturalearth/. The Dask one is the test of the Dask path: a
    LocalCluster of 2 worker processes over 1,000,000 rows in 8 partitions,
    whose result must equal the single-process pandas result row for row."""
    pytest.importorskip("distributed")
    from conftest import SOURCE  # noqa: the source tree
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    section = text[text.index("## Python, pandas and Dask"):]
    blocks = [block.split("```", 1)[0] for block in section.split("```python\n")[1:]]
    assert len(blocks) == 2
    assert "n_workers=2" in blocks[1] and "npartitions=8" in blocks[1]
    monkeypatch.chdir(os.path.dirname(os.path.dirname(os.path.dirname(countries))))
    exec(compile(blocks[0], "README example 1", "exec"), {"__name__": "__main__"})
    printed = capsys.readouterr().out
    assert "['United Kingdom', 'GBR', 81923]" in printed
    assert "[43 -1]" in printed
    example = {"__name__": "__main__"}
    exec(compile(blocks[1], "README example 2", "exec"), example)
    df, result = example["df"], example["result"]
    assert len(df) == 1000000 and list(result.columns) == ["lat", "lon", "name", "iso_a3"]
    expected = zrutils.pandas.point_in_shape(df, countries, fields=["name", "iso_a3"])
    pd.testing.assert_frame_equal(result.sort_index(), expected)
