"""The geometry wizard from Python: the same design file as the command line."""
import math

import pytest

import ravost


def test_geometry_returns_the_design_the_command_line_prints(program, tmp_path):
    design = ravost.geometry("adc", diameter=1000, focal_length=350, sub_diameter=100, feed_angle=15,
                             hole_diameter=100, unit="mm")
    printed = program(["geometry", "adc", "--diameter", "1000", "--focal-length", "350", "--sub-diameter",
                       "100", "--feed-angle", "15", "--hole-diameter", "100", "--unit", "mm"], tmp_path)
    assert printed.returncode == 0, printed.stderr
    # The same text but the comment that repeats the command line.
    strip = lambda text: [line for line in text.splitlines() if not line.startswith("#   ravost")]
    assert strip(design.to_toml()) == strip(printed.stdout)
    assert design["geometry.family"] == "adc" and design["geometry.shaping"] == "classical"
    assert design["scale.diameter"] == 1000.0 and design["scale.unit"] == "mm"
    assert design["feed.beamwidth_deg"] == 30.0 and design["feed.level_db"] == -10.0
    # The keys put the subreflector rim at the asked feed angle and radius,
    # and the hole rim at the asked radius.
    assert math.isclose(math.degrees(math.atan2(design["geometry.sub_radius"],
                                                design["geometry.feed_to_sub_rim"])), 15, rel_tol=1e-12)
    assert math.isclose(design["geometry.sub_radius"], 0.1, rel_tol=1e-12)
    assert math.isclose(design["geometry.main_inner_radius"], 0.1, rel_tol=1e-12)


def test_the_ade_design_runs_once_its_shaping_keys_are_left_out():
    design = ravost.geometry("ade", diameter=100, focal_length=35, sub_diameter=25, feed_angle=30,
                             hole_diameter=12, name="wiz")
    # The reader of this build takes no family or shaping key; the rest is the
    # shaped ade of the same geometry.
    del design["geometry.family"]
    del design["geometry.shaping"]
    assert ravost.check(design) == []
    table = ravost.synthesise(design)
    assert math.isclose(table.feed_angle_deg[0], 30, abs_tol=1e-9)
    assert math.isclose(table.main_radius[0], 0.12, abs_tol=1e-12)
    assert math.isclose(table.main_radius[-1], 1.0, abs_tol=1e-9)


@pytest.mark.parametrize("kwargs, key, words", [
    (dict(family="cassegrain", feed_angle=80), "feed_angle", "smaller"),
    (dict(family="gregorian", hole_diameter=50), "hole_diameter", "takes no hole"),
    (dict(family="adg"), "hole_diameter", "either"),
    (dict(family="horn"), "family", "gregorian"),
    (dict(family="cassegrain", unit="furlong"), "unit", "mm"),
])
def test_refusals_raise_design_error_naming_the_parameter(kwargs, key, words):
    asked = dict(diameter=1000, focal_length=350, sub_diameter=100, feed_angle=15)
    asked.update(kwargs)
    with pytest.raises(ravost.DesignError) as refused:
        ravost.geometry(**asked)
    assert refused.value.diagnostics[0].key == key
    assert words in str(refused.value)
