"""Shared set-up of the Python suites: the built `orvex` program and small simulated studies."""

import os
import subprocess

import pytest

ORVEX = os.environ.get("ORVEX_BIN", "")


def run_orvex(*args):
    """Runs the command line; its standard output."""
    done = subprocess.run([ORVEX, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture(scope="session")
def simulated(tmp_path_factory):
    """Three animals of 300 fixes (`orvex simulate`, seed 7), WGS 84 / UTM 33N."""
    if not os.path.exists(ORVEX):
        pytest.skip("ORVEX_BIN does not name the built orvex program")
    folder = tmp_path_factory.mktemp("simulated")
    run_orvex("simulate", "--out", folder, "--animals", 3, "--fixes", 300, "--seed", 7)
    return folder
