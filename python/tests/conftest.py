"""Shared fixtures: the library under test (ZRUTILS_LIBRARY) and a copy
of the Natural Earth countries, so that the index built on opening is
written into a scratch folder."""
import os
import shutil
import sys

import pytest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "python"))

for module in ("numpy", "pandas"):
    try:
        __import__(module)
    except ImportError:
        pytest.skip("%s is not installed for %s" % (module, sys.executable),
                    allow_module_level=True)


def copy_countries(folder, extensions=(".shp", ".shx", ".dbf", ".cpg")):
    base = os.path.join(SOURCE, "samples", "naturalearth", "naturalearth_lowres")
    for extension in extensions:
        shutil.copy(base + extension, os.path.join(folder, "naturalearth_lowres" + extension))
    return os.path.join(folder, "naturalearth_lowres.shp")


@pytest.fixture(scope="session")
def countries(tmp_path_factory):
    """One copy for the whole session, in samples/naturalearth/ of its
    folder as the README's examples name it. Its index (91 MB at the default
    precision) is built once and the file kept open to the end, so that the
    tests' opens only count a use."""
    import zrutils
    folder = tmp_path_factory.mktemp("root") / "samples" / "naturalearth"
    folder.mkdir(parents=True)
    path = copy_countries(str(folder))
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("MORVEL_CONFIG_FILE", str(folder / "config"))
        with zrutils.ShapeFile(path):
            yield path


@pytest.fixture(autouse=True)
def private_configuration(tmp_path, monkeypatch):
    # The library reads its settings from this file only.
    monkeypatch.setenv("MORVEL_CONFIG_FILE", str(tmp_path / "config"))
