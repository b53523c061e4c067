#!/usr/bin/python3
"""Country name per point for 1,000,000 points on the Natural Earth 110 m
countries, the same set the C benchmarks use, by five paths side by side
in one run:

  C batch      zruPointInShapeBatch called from C (point_in_shape_batch_driver,
               built with the benchmarks), records only
  pandas       zrutils.pandas.point_in_shape(df, shapes, fields=["name"])
  find loop    ShapeFile.find(lat, lon, ["name"]) per point, timed on a
               subset and scaled to the whole
  geopandas    geopandas.sjoin(points, countries, predicate="within"), the
               points' GeoDataFrame built beforehand (its building is
               timed apart); the join builds the points' R-tree (rtree)
  Dask         zrutils.dask.point_in_shape on a distributed.LocalCluster of
               2 worker processes (1 thread each), 8 partitions: with the
               partitions already held by the workers and the result kept
               there ("resident"), and from the client's DataFrame to the
               client's result ("round trip"); resident again on workers
               started with MALLOC_ARENA_MAX=1 beside Dask's own
               MALLOC_TRIM_THRESHOLD_

The index is built before any timing at the default precision, and the
files are memory-mapped. Before timing, the answers of every path are
compared (geopandas' "within" leaves out points on a boundary, the library
counts them in: such differences are listed with their distance to the
boundary). Each round times every path, in wall time and, for the paths
that run in one process, in processor time (which a loaded machine
disturbs less), and reports the load average around it; ratios are taken
within a round. The table goes to stdout, a plot to --png.

Run with Debian's interpreter from the source folder after building the
benchmarks of a Release build:

    /usr/bin/python3 bench/python/point_in_shape_bench.py --build build-rel
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
COUNTRIES = os.path.join(SOURCE, "samples", "naturalearth", "naturalearth_lowres")
FIELDS = ["name"]


def load_average():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def timed(function, runs):
    """(best, median) wall seconds and the best processor seconds of this
    process over runs calls, and the last result."""
    seconds = []
    processor = []
    result = None
    for _ in range(runs):
        start, start_processor = time.perf_counter(), time.process_time()
        result = function()
        seconds.append(time.perf_counter() - start)
        processor.append(time.process_time() - start_processor)
    return min(seconds), statistics.median(seconds), min(processor), result


def prepare(scratch):
    """Copies the countries, writes a configuration mapping the files and
    returns the copy's path. The library is loaded after this."""
    for extension in (".shp", ".shx", ".dbf", ".prj"):
        if os.path.exists(COUNTRIES + extension):
            shutil.copy(COUNTRIES + extension, os.path.join(scratch, "countries" + extension))
    config = os.path.join(scratch, "morvel")
    with open(config, "w") as f:
        f.write("ZRUtils/FileMapShapeFiles=Yes\n")
    os.environ["MORVEL_CONFIG_FILE"] = config
    return os.path.join(scratch, "countries.shp")


class Shapes:
    """The benchmark's open ShapeFile. The library closes files idle for a
    minute, and the slow paths take longer than that: reopen() before each
    timed path (an open of a file already open, or of a built index, only
    reads it)."""

    def __init__(self, path):
        import zrutils
        self.path = path
        self.file = zrutils.ShapeFile(path)

    def reopen(self):
        import zrutils
        try:
            self.file.close()
        except zrutils.ZrutilsError:
            pass
        self.file = zrutils.ShapeFile(self.path)
        self.file.find_many([10.0], [10.0])
        return self.file


def on_workers(client, make, runs):
    """(best, median) wall seconds of computing the collection make() gives
    into the workers' memory, and the processor seconds per run of the
    busier worker process. After each run the result is released and
    forgotten by the scheduler before the next starts, which would find it
    there otherwise (its keys are the same)."""
    import distributed

    def held(keys, dask_scheduler=None):
        return any(key in dask_scheduler.tasks for key in keys)

    seconds = []
    processor = client.run(time.process_time)
    with client.as_current():
        for _ in range(runs):
            start = time.perf_counter()
            persisted = client.persist(make())
            distributed.wait(persisted)
            seconds.append(time.perf_counter() - start)
            keys = [future.key for future in distributed.futures_of(persisted)]
            client.cancel(persisted)
            del persisted
            while client.run_on_scheduler(held, keys):
                time.sleep(0.01)
    after = client.run(time.process_time)
    busier = max(after[worker] - processor[worker] for worker in after) / runs
    return min(seconds), statistics.median(seconds), busier


def c_batch(driver, path, lats, lons, scratch, runs):
    points = os.path.join(scratch, "points.bin")
    records = os.path.join(scratch, "records.bin")
    np.concatenate([lats, lons]).astype(np.float64).tofile(points)
    run = subprocess.run([driver, path, points, records, str(runs)], capture_output=True,
                         text=True, check=True, cwd=scratch)
    values = dict(item.split("=") for item in run.stdout.split())
    return (float(values["best"]), float(values["median"]), float(values["cpu_best"]),
            np.fromfile(records, dtype=np.int32))


def geopandas_frames(path, lats, lons):
    import geopandas
    countries = geopandas.read_file(path)
    seconds, _, processor, points = timed(
        lambda: geopandas.GeoDataFrame({"id": np.arange(len(lats))},
                                       geometry=geopandas.points_from_xy(lons, lats),
                                       crs=countries.crs), 1)
    return countries, points, (seconds, seconds, processor)


def sjoin_names(countries, points):
    import geopandas
    return geopandas.sjoin(points, countries, predicate="within")


def names_of_join(joined, count):
    names = pd.Series([None] * count, dtype=object)
    first = joined[~joined.index.duplicated(keep="first")]
    names[first.index.to_numpy()] = first["name"].to_numpy()
    return names.to_numpy()


def compare(label, expected, found, lats, lons, countries=None):
    """Prints how many points differ; with countries, the largest distance
    (degrees) of a differing point to the boundaries of the countries
    involved, which tells boundary cases from errors."""
    expected = pd.Series(expected, dtype=object).fillna("-")
    found = pd.Series(found, dtype=object).fillna("-")
    differ = np.flatnonzero(expected.to_numpy() != found.to_numpy())
    line = "%s: %d of %d points differ" % (label, len(differ), len(expected))
    if len(differ) and countries is not None:
        from shapely.geometry import Point
        by_name = {name: geometry for name, geometry in zip(countries["name"],
                                                            countries.geometry)}
        farthest = 0.0
        for k in differ:
            point = Point(lons[k], lats[k])
            for name in (expected.iloc[k], found.iloc[k]):
                if name in by_name:
                    farthest = max(farthest, by_name[name].boundary.distance(point))
        line += "; farthest from a boundary: %.3g degrees" % farthest
    print(line, flush=True)
    return len(differ)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build-rel", help="build folder with libzrutils.so "
                        "and bench/point_in_shape_batch_driver")
    parser.add_argument("--points", type=int, default=1000000)
    parser.add_argument("--loop-points", type=int, default=20000,
                        help="points of the find loop's subset")
    parser.add_argument("--check-points", type=int, default=100000,
                        help="points of geopandas' check before timing")
    parser.add_argument("--runs", type=int, default=5, help="timed runs of the fast paths")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--png", default=os.path.join(SOURCE, "docs", "python_bench.png"))
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    os.environ["ZRUTILS_LIBRARY"] = os.path.join(build, "libzrutils.so")
    driver = os.path.join(build, "bench", "point_in_shape_batch_driver")
    sys.path.insert(0, os.path.join(SOURCE, "python"))
    os.environ["PYTHONPATH"] = os.path.join(SOURCE, "python")
    scratch = tempfile.mkdtemp(prefix="zru_pybench_")
    os.chdir(scratch)
    try:
        run(args, driver, scratch)
    finally:
        os.chdir(SOURCE)
        shutil.rmtree(scratch, ignore_errors=True)


def run(args, driver, scratch):
    import dask
    import dask.dataframe as dd
    import distributed
    import zrutils
    import zrutils.dask
    import zrutils.pandas

    path = prepare(scratch)
    start = time.perf_counter()
    shapes = Shapes(path)
    print("index built (default precision) in %.1f s" % (time.perf_counter() - start))
    cores = len(os.sched_getaffinity(0))
    random = np.random.default_rng(2024)
    lats = random.uniform(-90, 90, args.points)
    lons = random.uniform(-180, 180, args.points)
    df = pd.DataFrame({"lat": lats, "lon": lons})
    subset = slice(0, args.loop_points)

    # Answers first: every path against the pandas path.
    expected = zrutils.pandas.point_in_shape(df, shapes.file, fields=FIELDS)["name"].to_numpy()
    print("%d points, %d in a country" % (args.points, pd.notna(expected).sum()), flush=True)
    c_records = c_batch(driver, path, lats, lons, scratch, 1)[3]
    assert np.array_equal(c_records, shapes.file.find_many(lats, lons)), "C batch differs"
    loop = [shapes.file.find(lat, lon, FIELDS) for lat, lon in zip(lats[subset], lons[subset])]
    assert [v[0] if v else None for v in loop] == list(expected[subset]), "find loop differs"
    # geopandas is slow: its answers are checked on a subset here, and on
    # every point after each timed join.
    check = slice(0, args.check_points)
    countries, points, _ = geopandas_frames(path, lats[check], lons[check])
    compare("geopandas.sjoin vs pandas, first %d points" % len(points), expected[check],
            names_of_join(sjoin_names(countries, points), len(points)), lats, lons, countries)

    # Dask's workers as it starts them, and with one malloc arena: Dask sets
    # MALLOC_TRIM_THRESHOLD_ for its workers, and with it glibc's arena of
    # the thread that runs the tasks gives memory back and takes it again
    # at every large array, which triples a partition's time.
    clusters = {}
    for name, environ in (("Dask resident", {}),
                          ("Dask resident, MALLOC_ARENA_MAX=1", {"MALLOC_ARENA_MAX": 1})):
        with dask.config.set({"distributed.nanny.pre-spawn-environ." + key: value
                              for key, value in environ.items()}):
            cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1,
                                               processes=True, dashboard_address=None)
        client = distributed.Client(cluster, set_as_default=False)
        with client.as_current():
            resident = client.persist(dd.from_pandas(df, npartitions=8))
            distributed.wait(resident)
            result = client.compute(zrutils.dask.point_in_shape(
                resident, path, fields=FIELDS)).result()
        assert result["name"].sort_index().equals(pd.Series(expected, name="name")), \
            name + " differs"
        clusters[name] = (cluster, client, resident)
    print("C batch, find loop and Dask answer as pandas", flush=True)

    # Built once: 1,000,000 shapely points take minutes on a loaded machine.
    countries, points, build_points = geopandas_frames(path, lats, lons)
    rounds = []
    for number in range(args.rounds):
        figures = {"load before": load_average()}
        figures["C batch"] = c_batch(driver, path, lats, lons, scratch, args.runs)[:3]
        file = shapes.reopen()
        figures["pandas"] = timed(
            lambda: zrutils.pandas.point_in_shape(df, file, fields=FIELDS), args.runs)[:3]
        file = shapes.reopen()
        scale = args.points / args.loop_points
        figures["find loop"] = tuple(value * scale for value in timed(
            lambda: [file.find(lat, lon, FIELDS) for lat, lon in zip(lats[subset], lons[subset])],
            2)[:3])
        shapes.reopen()
        # Processor time of the busier worker (mean per run, the workers'
        # own chores included): with a free core each, the wall time.
        for name, (_, client, resident) in clusters.items():
            figures[name] = on_workers(client, lambda: zrutils.dask.point_in_shape(
                resident, path, fields=FIELDS), args.runs)
        client = clusters["Dask resident"][1]
        figures["Dask round trip"] = timed(lambda: client.compute(zrutils.dask.point_in_shape(
            dd.from_pandas(df, npartitions=8), path, fields=FIELDS)).result(), 2)[:2] + (None,)
        figures["geopandas points"] = build_points
        # The join builds an R-tree of the points (most of its time) and
        # keeps it with them: each round joins a copy without one.
        fresh = points.copy(deep=True)
        assert not fresh.has_sindex
        seconds, _, processor, joined = timed(lambda: sjoin_names(countries, fresh), 1)
        figures["geopandas.sjoin"] = (seconds, seconds, processor)
        figures["load after"] = load_average()
        compare("geopandas.sjoin vs pandas, all points", expected,
                names_of_join(joined, len(lats)), lats, lons, countries)
        rounds.append(figures)
        report(number + 1, figures, cores, args)
    for cluster, client, _ in clusters.values():
        client.close()
        cluster.close()
    plot(rounds, cores, args)


PATHS = ["C batch", "pandas", "Dask resident", "Dask resident, MALLOC_ARENA_MAX=1",
         "Dask round trip", "find loop",
         "geopandas.sjoin", "geopandas points"]


def ratios(figures):
    """The targets' ratios of best wall times, then the single-process ones
    again in processor time, which the load disturbs less."""
    best = {name: figures[name][0] for name in PATHS}
    processor = {name: figures[name][2] for name in PATHS}
    return {
        "geopandas.sjoin / pandas (target >= 20)": best["geopandas.sjoin"] / best["pandas"],
        "pandas / C batch (target <= 2)": best["pandas"] / best["C batch"],
        "pandas / Dask resident (target >= 1.6)": best["pandas"] / best["Dask resident"],
        "pandas / Dask resident, MALLOC_ARENA_MAX=1":
            best["pandas"] / best["Dask resident, MALLOC_ARENA_MAX=1"],
        "pandas / Dask round trip": best["pandas"] / best["Dask round trip"],
        "find loop / pandas": best["find loop"] / best["pandas"],
        "processor time: geopandas.sjoin / pandas":
            processor["geopandas.sjoin"] / processor["pandas"],
        "processor time: pandas / C batch": processor["pandas"] / processor["C batch"],
        "processor time: pandas / Dask resident's busier worker":
            processor["pandas"] / processor["Dask resident"],
        "processor time: pandas / busier worker, MALLOC_ARENA_MAX=1":
            processor["pandas"] / processor["Dask resident, MALLOC_ARENA_MAX=1"],
    }


def report(number, figures, cores, args):
    print("\nround %d: %d points, %d cores, load average %.2f before, %.2f after"
          % (number, args.points, cores, figures["load before"], figures["load after"]))
    print("| path | best s | median s | best processor s | million points/s |")
    print("|---|---|---|---|---|")
    for name in PATHS:
        best, median, processor = figures[name]
        print("| %s | %.3f | %.3f | %s | %.2f |" % (
            name, best, median, "-" if processor is None else "%.3f" % processor,
            args.points / best / 1e6))
    for name, value in ratios(figures).items():
        print("%s: %.2f" % (name, value))
    sys.stdout.flush()


def plot(rounds, cores, args):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    figure, (left, right) = plt.subplots(1, 2, figsize=(13, 5),
                                         gridspec_kw={"width_ratios": [3, 2]})
    names = PATHS[:-1]
    height = 0.8 / len(rounds)
    for r, figures in enumerate(rounds):
        y = np.arange(len(names)) + r * height
        values = [figures[name][0] for name in names]
        bars = left.barh(y, values, height, label="round %d (load %.1f-%.1f)"
                         % (r + 1, figures["load before"], figures["load after"]))
        for bar, value in zip(bars, values):
            left.text(value * 1.1, bar.get_y() + bar.get_height() / 2, "%.2f s" % value,
                      va="center", fontsize=8)
    left.set_xscale("log")
    left.set_yticks(np.arange(len(names)) + height * (len(rounds) - 1) / 2)
    left.set_yticklabels([name.replace(", MALLOC_ARENA_MAX=1", ",\none malloc arena")
                          for name in names])
    left.invert_yaxis()
    left.set_xlabel("seconds for %s points (best run, log scale)" % format(args.points, ","))
    left.set_xlim(right=max(f["geopandas.sjoin"][0] for f in rounds) * 8)
    left.legend(loc="upper right", fontsize=8)
    left.set_title("Country name per point, Natural Earth 110 m")

    labels = ["sjoin /\npandas\n(>= 20)", "pandas /\nC batch\n(<= 2)",
              "pandas /\nDask\n(>= 1.6)", "pandas / Dask,\none arena\n(>= 1.6)"]
    targets = [20, 2, 1.6, 1.6]
    for r, figures in enumerate(rounds):
        values = list(ratios(figures).values())[:4]
        x = np.arange(4) + r * height
        bars = right.bar(x, values, height, label="round %d" % (r + 1))
        for bar, value in zip(bars, values):
            right.text(bar.get_x() + bar.get_width() / 2, value * 1.05, "%.2f" % value,
                       ha="center", fontsize=8)
    for k, target in enumerate(targets):
        right.hlines(target, k - 0.2, k + height * len(rounds) - 0.2, colors="black",
                     linestyles="dashed")
    right.set_yscale("log")
    right.set_xticks(np.arange(4) + height * (len(rounds) - 1) / 2)
    right.set_xticklabels(labels, fontsize=8)
    right.set_title("Ratios of best wall times (dashed: target)")
    right.legend(loc="upper right", fontsize=8)
    figure.suptitle("%s points, %d cores shared with other work (load average in the legend)"
                    % (format(args.points, ","), cores), fontsize=9)
    figure.tight_layout()
    figure.savefig(args.png, dpi=100)
    print("plot written to %s" % args.png)


if __name__ == "__main__":
    main()
