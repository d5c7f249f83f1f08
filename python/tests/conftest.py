"""What the tests of the module share: the source folder, its examples and
the command-line program they are compared with."""
import os
import pathlib
import subprocess

import pytest

SOURCE = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = SOURCE / "examples"


@pytest.fixture(scope="session")
def program():
    """Runs the command line in a folder; returns the completed process."""
    binary = os.environ.get("RAVOST_BINARY", str(SOURCE / "build" / "release" / "app" / "ravost"))
    assert os.path.exists(binary), "set RAVOST_BINARY to the built program"

    def run(args, cwd):
        return subprocess.run([binary, *map(str, args)], cwd=cwd, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=600)
    return run
