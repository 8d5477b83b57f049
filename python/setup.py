"""Builds the lx package with the library of a build of this source tree inside it.

The library comes from LX_LIBRARY, else build-sample/ (the README's main build),
else build/. Its SONAME and the project's version are written into
lx/_install.py, so the module loads that copy and reports that version.
"""

import ctypes
import os
import re
import shutil
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

SOURCE_TREE = Path(__file__).resolve().parent.parent
DATA_MAJOR = 2  # as lx/_native.py


def cmake_value(file, pattern):
    found = re.search(pattern, (SOURCE_TREE / file).read_text())
    if not found:
        raise SystemExit(f"lx: {file} does not say {pattern}")
    return found.group(1)


VERSION = cmake_value("CMakeLists.txt", r"project\(lx VERSION ([0-9.]+)")
SONAME = "liblx.so." + cmake_value("cmake/install.cmake", r"set\(LX_SOVERSION ([0-9]+)\)")


def library():
    given = os.environ.get("LX_LIBRARY")
    tried = (
        [Path(given)] if given else [SOURCE_TREE / b / SONAME for b in ("build-sample", "build")]
    )
    for path in tried:
        if path.exists():
            check(path)
            return path.resolve()
    raise SystemExit(
        f"lx: no {SONAME} in {', '.join(map(str, tried))}: build the library first "
        "(bash tools/run-sample.sh) or set LX_LIBRARY to its path"
    )


def check(path):
    try:
        version = ctypes.CDLL(str(path)).lx_data_version()
    except (OSError, AttributeError) as e:
        raise SystemExit(f"lx: {path} is not a usable liblx: {e}") from None
    if version // 10000 != DATA_MAJOR:
        raise SystemExit(
            f"lx: {path} has data API {version // 10000}, this module needs {DATA_MAJOR}: "
            "rebuild it from this source tree (bash tools/run-sample.sh)"
        )


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        package = Path(self.build_lib) / "lx"
        shutil.copyfile(library(), package / SONAME)
        (package / "_install.py").write_text(f'VERSION = "{VERSION}"\nSONAME = "{SONAME}"\n')


class BinaryDistribution(Distribution):
    """A wheel for this platform: it holds a shared library."""

    def has_ext_modules(self):
        return True


setup(version=VERSION, cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution)
