"""Shared fixtures: the library under test (ZRUTILS_LIBRARY) and copies
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


def copy_countries(folder):
    base = os.path.join(SOURCE, "samples", "naturalearth", "naturalearth_lowres")
    for extension in (".shp", ".shx", ".dbf"):
        shutil.copy(base + extension, os.path.join(folder, "naturalearth_lowres" + extension))
    return os.path.join(folder, "naturalearth_lowres.shp")


@pytest.fixture
def countries(tmp_path):
    return copy_countries(str(tmp_path))


@pytest.fixture(autouse=True)
def private_configuration(tmp_path, monkeypatch):
    # The library reads its settings from this file only.
    monkeypatch.setenv("MORVEL_CONFIG_FILE", str(tmp_path / "config"))
