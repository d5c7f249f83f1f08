"""The module gives what the command line gives for the same design: the
ray table to its printed digits, report.json and sweep.json's rows to 1e-9."""
import json
import math
import shutil

import pytest

import ravost
from conftest import EXAMPLES


def close(a, b, path="", rel=1e-9):
    """Asserts two JSON values are equal, reals to `rel` (relative)."""
    if isinstance(a, float) or isinstance(b, float):
        assert isinstance(a, (int, float)) and isinstance(b, (int, float)), path
        assert math.isclose(a, b, rel_tol=rel, abs_tol=1e-300), "{}: {} != {}".format(path, a, b)
    elif isinstance(a, dict):
        assert isinstance(b, dict) and sorted(a) == sorted(b), path
        for key in a:
            close(a[key], b[key], path + "." + key, rel)
    elif isinstance(a, list):
        assert isinstance(b, list) and len(a) == len(b), path
        for i, (x, y) in enumerate(zip(a, b)):
            close(x, y, "{}[{}]".format(path, i), rel)
    else:
        assert a == b, "{}: {!r} != {!r}".format(path, a, b)


def listing_rows(stdout):
    """The rows of the ray table on the console, as text."""
    lines = stdout.splitlines()
    start = next(i for i, line in enumerate(lines) if line.strip().startswith("Angle")) + 2
    rows = []
    for line in lines[start:]:
        if not line.strip():
            break
        rows.append(line)
    return rows


def formatted(table, i):
    """A ray as the listing prints it: F7.2, four times 2X F8.5, 1PE12.5."""
    return "%7.2f" % table.feed_angle_deg[i] + "".join(
        "  %8.5f" % column[i] for column in (table.sub_z, table.sub_radius, table.main_z, table.main_radius)
    ) + "%12.5E" % table.path_length[i]


@pytest.mark.parametrize("example,args,precision", [
    ("uniform", ["--double"], "64-bit"),
    ("taylor", ["--double"], "64-bit"),
    ("gaussian", [], "32-bit"),
])
def test_ray_table_is_the_listing_to_its_printed_digits(program, tmp_path, example, args, precision):
    shutil.copy(EXAMPLES / (example + ".toml"), tmp_path)
    run = program([example + ".toml", *args], tmp_path)
    assert run.returncode == 0, run.stderr
    rows = listing_rows(run.stdout)
    table = ravost.synthesise(ravost.load(str(EXAMPLES / (example + ".toml"))), precision=precision)
    assert len(table) == len(rows) == table.summary["rows"]
    assert [formatted(table, i) for i in range(len(table))] == rows
    assert table.summary["precision"] == precision
    assert all(getattr(table, name).dtype == "float64" for name in table.columns)


@pytest.mark.parametrize("example,wavelength,physical_optics", [
    ("uniform", 0.5, False),
    ("taylor", 2.0, True),
])
def test_report_is_report_json(program, tmp_path, example, wavelength, physical_optics):
    shutil.copy(EXAMPLES / (example + ".toml"), tmp_path)
    args = [example + ".toml", "--double", "--report", "rep", "--wavelength", str(wavelength)]
    run = program(args + (["--physical-optics"] if physical_optics else []), tmp_path)
    assert run.returncode == 0, run.stderr
    expected = json.loads((tmp_path / "rep" / "report.json").read_text())
    figures = ravost.report(ravost.load(str(EXAMPLES / (example + ".toml"))), wavelength=wavelength,
                            physical_optics=physical_optics)
    close(figures, expected)
    assert figures["wavelength"] == wavelength and ("physical_optics" in figures) == physical_optics


def test_report_wavelength_defaults_to_the_design_files():
    figures = ravost.report(ravost.load(str(EXAMPLES / "uniform.toml")), wavelength=0.5)
    # Without a wavelength the design file's own is taken, and D/lambda = 100 without one.
    design = ravost.load(str(EXAMPLES / "uniform.toml"))
    assert ravost.report(design)["wavelength_assumed"]
    design["report.folder"] = "rep"
    design["report.wavelength"] = 0.5
    assert ravost.report(design)["directivity_dbi"] == figures["directivity_dbi"]
    with pytest.raises(ValueError):
        ravost.report(design, wavelength=0.0)


def test_sweep_rows_are_sweep_json_rows(program, tmp_path):
    shutil.copy(EXAMPLES / "uniform.toml", tmp_path)
    # At the high end the subreflector is wider than the diameter the design
    # file extrapolates it to: a refused row, with its reason.
    run = program(["sweep", "uniform.toml", "--vary", "geometry.sub_radius=0.1:0.3:5", "--out", "sw", "--jobs", "2"],
                  tmp_path)
    assert run.returncode == 0, run.stderr
    expected = json.loads((tmp_path / "sw" / "sweep.json").read_text())["rows"]
    design = ravost.load(str(tmp_path / "uniform.toml"))
    rows = ravost.sweep(design, vary={"geometry.sub_radius": (0.1, 0.3, 5)}, jobs=3)
    close(rows, expected)
    assert [row["index"] for row in rows] == [0, 1, 2, 3, 4]
    assert [row["status"] for row in rows] == ["ok"] * 4 + ["refused"]


def test_sweep_arguments_are_checked():
    design = ravost.load(str(EXAMPLES / "uniform.toml"))
    with pytest.raises(ValueError):
        ravost.sweep(design, vary={"geometry.sub_radius": (0.3, 0.2, 5)})
    with pytest.raises(ValueError):
        ravost.sweep(design, vary={"geometry.sub_radius": (0.2, 0.3)})
    with pytest.raises(ValueError):
        ravost.sweep(design, vary={})
    with pytest.raises(KeyError):
        ravost.sweep(design, vary={"geometry.colour": (0.2, 0.3, 2)})
    with pytest.raises(KeyError):
        ravost.sweep(design, vary={"aperture.distribution": (0.2, 0.3, 2)})
    with pytest.raises(ValueError):
        ravost.sweep(design, vary={"geometry.sub_radius": (0.2, 0.3, 2)}, jobs=0)
