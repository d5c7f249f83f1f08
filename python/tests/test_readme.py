"""The README's Python example runs as written."""
import os
import re
import subprocess
import sys

from conftest import SOURCE


def test_the_readme_example_runs(tmp_path):
    readme = (SOURCE / "README.md").read_text()
    section = readme[readme.index("## From Python"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    # As from the source folder, in a scratch folder that sees its examples.
    (tmp_path / "examples").symlink_to(SOURCE / "examples")
    env = os.environ.copy()
    env["PYTHONPATH"] = os.pathsep.join(os.path.abspath(p) for p in env.get("PYTHONPATH", "").split(os.pathsep) if p)
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, env=env,
                         timeout=300)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[0] == "0.25" and lines[1] == "[]"
    assert lines[-1].startswith("error geometry.sub_radius 24 ")
    assert "sub_radius = -0.1" in (tmp_path / "my_design.toml").read_text()
