"""Builds skykit for the python that runs this, through the kit's CMake build,
so that the module has the programs' flags and vector paths, and every value
is the double skytable prints: configure for this python, build the one
target, and put the module and its stub where setuptools packs them."""
import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        subprocess.run(["cmake", "-S", HERE, "-B", build, "-DBUILD_TESTING=OFF", "-DKIT_PYTHON=ON",
                        "-DCMAKE_BUILD_TYPE=Release", "-DPython3_EXECUTABLE=" + sys.executable], check=True)
        subprocess.run(["cmake", "--build", build, "--target", "skykit", "--parallel"], check=True)
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        built = glob.glob(os.path.join(build, "python", "skykit*.so"))
        if len(built) != 1:
            sys.exit("setup.py: the CMake build made %r, not one skykit module" % built)
        shutil.copyfile(built[0], target)
        shutil.copyfile(os.path.join(HERE, "python", "skykit.pyi"),
                        os.path.join(os.path.dirname(target), "skykit.pyi"))


with open(os.path.join(HERE, "CMakeLists.txt")) as cmake:
    VERSION = re.search(r"project\(skykit VERSION ([0-9.]+)", cmake.read()).group(1)

setup(version=VERSION, packages=[], py_modules=[], ext_modules=[Extension("skykit", sources=[])],
      cmdclass={"build_ext": CMakeBuild},
      zip_safe=False)
