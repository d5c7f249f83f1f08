"""The feed's axial offset and the surface error's RMS from Python: keys of
the design like any other, in the report's figures and as sweep keys."""
import math

import pytest

import ravost
from conftest import EXAMPLES


def design_with(**keys):
    design = ravost.load(str(EXAMPLES / "uniform.toml"))
    design["report.folder"] = "report"
    design["report.wavelength"] = 1.0  # D/lambda 100
    for key, value in keys.items():
        design[key.replace("__", ".")] = value
    return design


def test_the_report_carries_the_offset_and_the_ruze_loss():
    smooth = ravost.report(design_with())
    rough = ravost.report(design_with(feed__axial_offset=0.0, report__surface_rms=0.025))
    factor = math.exp(-(math.pi / 10) ** 2)  # an RMS of lambda/40
    assert rough["efficiency"]["surface"] == pytest.approx(factor, rel=1e-12)
    assert rough["directivity_dbi"] - smooth["directivity_dbi"] == pytest.approx(-0.4286, abs=1e-4)
    assert rough["surface_error"]["rms_wavelengths"] == pytest.approx(0.025)
    moved = ravost.report(design_with(feed__axial_offset=-0.5))
    assert moved["feed_displacement"]["axial_offset_wavelengths"] == pytest.approx(-0.5)
    assert moved["efficiency"]["phase"] < smooth["efficiency"]["phase"]


def test_a_sweep_over_the_offset_and_a_refused_offset():
    design = design_with(feed__axial_offset=0.0)
    rows = ravost.sweep(design, {"feed.axial_offset": (-1.0, 1.0, 3)}, jobs=1)
    phases = [row["figures"]["phase"] for row in rows]
    assert phases[1] > phases[0] and phases[1] > phases[2]
    design["feed.axial_offset"] = -10.0  # the main reflector's hole rim
    (problem,) = ravost.check(design)
    assert problem.key == "feed.axial_offset" and problem.line is not None
    design["feed.axial_offset"] = 0.0
    design["report.surface_rms"] = -1e-3
    (problem,) = ravost.check(design)
    assert problem.key == "report.surface_rms"
