import os
from pathlib import Path

import pytest

import lx

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.txt"


def pytest_configure(config):
    # Files the tests write go beside the library under test, in its build tree.
    if config.option.basetemp is None:
        config.option.basetemp = str(Path(lx.library_path()).resolve().parent / "python-tests")


@pytest.fixture
def sample():
    with lx.open(SAMPLE) as s:
        yield s


@pytest.fixture
def child_env():
    """Environment for a child Python that finds this lx and this library."""
    env = dict(os.environ, LX_LIBRARY=lx.library_path(), MPLBACKEND="Agg")
    env["PYTHONPATH"] = os.pathsep.join(
        [str(Path(lx.__file__).parent.parent), env.get("PYTHONPATH", "")]
    )
    return env
