"""Designs read, checked and set by key as the program reads them."""
import pytest

import ravost
from conftest import EXAMPLES, SOURCE

UNIFORM = EXAMPLES / "uniform.toml"


def test_load_reads_the_file_and_keeps_its_text():
    design = ravost.load(str(UNIFORM))
    assert design.to_toml() == UNIFORM.read_text()
    assert ravost.check(design) == []
    assert design["geometry.sub_radius"] == 0.25
    assert design["listing.main"] == {"start": 6.0, "stop": 50.0, "step": 4.0}
    assert design["object.main.points"] == 21 and isinstance(design["object.main.points"], int)
    assert design["aperture.distribution"] == "uniform"
    assert "scale.extrapolate_sub_diameter" in design and "report.folder" not in design
    with pytest.raises(KeyError):
        design["geometry.no_such_key"]


def test_setting_a_key_changes_only_its_value_and_round_trips():
    design = ravost.load(str(UNIFORM))
    design["geometry.sub_radius"] = 0.3
    design["aperture.distribution"] = "gaussian"
    design["aperture.taper_db"] = 12.5            # a new key, under its section
    design["report.folder"] = "r\u00e9port \"a\""   # a new section, quoted text
    design["object.main.points"] = 25.0            # a whole number stays an integer
    text = design.to_toml()
    # Every other line, comments included, is as it was.
    old = UNIFORM.read_text().splitlines()
    new = text.splitlines()
    changed = [line for line in new if line not in old]
    assert changed == ["sub_radius = 0.3          # radius of the subreflector rim",
                       "taper_db = 12.5", 'distribution = "gaussian"', "points = 25",
                       "[report]", 'folder = "r\u00e9port \\"a\\""']
    back = ravost.loads(text)
    assert ravost.check(back) == []
    assert back["geometry.sub_radius"] == 0.3
    assert back["aperture.taper_db"] == 12.5
    assert back["report.folder"] == "r\u00e9port \"a\""
    assert back["object.main.points"] == 25
    # A real that needs all 17 digits reads back as the same double.
    design["geometry.sub_radius"] = 0.1 + 0.2
    assert ravost.loads(design.to_toml())["geometry.sub_radius"] == 0.1 + 0.2


def test_numpy_numbers_are_set_and_a_key_is_removed_with_its_line():
    numpy = pytest.importorskip("numpy")
    design = ravost.load(str(UNIFORM))
    design["geometry.sub_radius"] = numpy.float32(0.25)
    design["object.main.points"] = numpy.int64(30)
    assert design["geometry.sub_radius"] == float(numpy.float32(0.25))
    assert design["object.main.points"] == 30
    # Too wide a subreflector to extrapolate to 26 until the key is gone.
    design["geometry.sub_radius"] = 0.27
    with pytest.raises(ravost.DesignError) as refused:
        ravost.report(design)
    assert refused.value.diagnostics[0].key == "scale.extrapolate_sub_diameter"
    del design["scale.extrapolate_sub_diameter"]
    assert "extrapolate_sub_diameter = 26.0" not in design.to_toml()
    assert len(design.to_toml().splitlines()) == len(UNIFORM.read_text().splitlines()) - 1
    assert ravost.report(design)["geometry"]["subreflector_radius"] == pytest.approx(13.5, rel=1e-3)  # 27 across
    with pytest.raises(KeyError):
        del design["scale.extrapolate_sub_diameter"]


def test_a_value_after_a_non_ascii_character_on_its_line_is_set_in_place():
    design = ravost.loads('[figure]\nfile = "\u00e9t\u00e9.plt" # \u00e9\n')
    design["figure.file"] = "b.plt"
    assert design.to_toml() == '[figure]\nfile = "b.plt" # \u00e9\n'


def test_a_refused_design_carries_every_problem_with_its_key_and_line():
    text = UNIFORM.read_text().replace("sub_radius = 0.25", "sub_radius = \"wide\"")
    text = text.replace("level_db = -10.0", "level_db = -10.0\ncolour = 3")
    design = ravost.loads(text, name="two.toml")
    problems = ravost.check(design)
    assert [(p.severity, p.key, p.line, p.file) for p in problems] == [
        ("error", "geometry.sub_radius", 24, "two.toml"), ("error", "feed.colour", 32, "two.toml")]
    assert all(p.message and p.message[0].isupper() for p in problems)
    for call in (ravost.synthesise, ravost.report, lambda d: ravost.sweep(d, {"geometry.sub_radius": (0.2, 0.3, 2)})):
        with pytest.raises(ravost.DesignError) as refused:
            call(design)
        assert [(p.key, p.line) for p in refused.value.diagnostics] == [("geometry.sub_radius", 24),
                                                                       ("feed.colour", 32)]
        assert str(refused.value).startswith("Error in two.toml, line 24: geometry.sub_radius: ")
    # Mending the design by key clears it.
    design["geometry.sub_radius"] = 0.25
    assert [p.key for p in ravost.check(design)] == ["feed.colour"]


def test_a_design_computed_in_the_other_precision_is_checked_in_that_precision():
    design = ravost.load(str(UNIFORM))
    design["geometry.main_inner_radius"] = 1e-50   # 0 in 32-bit reals
    assert [(p.key, p.line) for p in ravost.check(design)] == [("geometry.main_inner_radius", 25)]
    assert len(ravost.synthesise(design, precision="64-bit")) == 51
    design["synthesis.precision"] = "64-bit"
    assert ravost.check(design) == []
    with pytest.raises(ravost.DesignError) as refused:
        ravost.synthesise(design, precision="32-bit")
    assert [(p.key, p.line) for p in refused.value.diagnostics] == [("geometry.main_inner_radius", 25)]
    with pytest.raises(ValueError):
        ravost.synthesise(design, precision="16-bit")


def test_text_that_is_not_toml_and_files_that_cannot_be_read():
    design = ravost.loads("[geometry\n", name="bad.toml")
    (problem,) = ravost.check(design)
    assert problem.line == 1 and problem.key == "" and problem.file == "bad.toml"
    with pytest.raises(ravost.DesignError):
        design["geometry.sub_radius"]
    with pytest.raises(ravost.DesignError) as refused:
        ravost.load(str(EXAMPLES / "no_such_file.toml"))
    assert refused.value.diagnostics[0].file.endswith("no_such_file.toml")
    with pytest.raises(TypeError):
        ravost.load(str(UNIFORM))["geometry.sub_radius"] = [1, 2]
    with pytest.raises(TypeError):
        ravost.load(str(UNIFORM))["geometry"] = 1.0


def test_a_breakdown_of_the_integration_is_refused_with_the_programs_advice():
    design = ravost.load(str(UNIFORM))
    design["geometry.main_hole_to_feed"] = 0.0
    design["geometry.feed_to_sub_rim"] = 0.05
    with pytest.raises(ravost.DesignError) as refused:
        ravost.synthesise(design)
    (problem,) = refused.value.diagnostics
    assert problem.severity == "error" and problem.key == ""
    assert problem.message.startswith("the integration breaks down at ray 2")
    assert "too weakly to shape" in problem.suggestion


def test_a_feed_file_is_read_from_the_designs_folder_in_every_call():
    feeds = SOURCE / "tests" / "data" / "feeds"
    text = UNIFORM.read_text().replace("beamwidth_deg = 40.0\nlevel_db = -10.0",
                                       'model = "table"\nfile = "corrugated_horn.csv"')
    # Relative to `base`, as to the folder of a design file.
    (missing,) = ravost.check(ravost.loads(text))
    assert "corrugated_horn.csv" in missing.message
    design = ravost.loads(text, base=str(feeds))
    assert ravost.check(design) == []
    assert len(ravost.synthesise(design)) == 45
    rows = ravost.sweep(design, vary={"geometry.sub_radius": (0.2, 0.25, 2)}, jobs=1)
    assert [row["status"] for row in rows] == ["ok", "ok"]


def test_the_runs_warnings_come_back_as_diagnostics_naming_the_design_file():
    design = ravost.load(str(EXAMPLES / "gaussian.toml"))
    assert ravost.synthesise(design).warnings == []
    # A taper below 0 dB makes the edge brighter than the centre: the run
    # goes on and says so.
    design["aperture.taper_db"] = -3.0
    (warning,) = ravost.synthesise(design).warnings
    assert warning.severity == "warning"
    assert warning.message.startswith("an edge taper of -3 dB")
    assert warning.file.endswith("gaussian.toml")
    assert str(warning).startswith("Warning in ")


def test_the_feeds_phase_centre_is_a_key_like_any_other(tmp_path):
    # The corrugated horn with its phase centre 2 wavelengths (at a wavelength
    # of 1) behind the file's reference point: phase -720 cos(theta) degrees.
    import math
    lines = (SOURCE / "tests" / "data" / "feeds" / "corrugated_horn.csv").read_text().splitlines()
    phased = []
    for line in lines:
        if line.startswith("#"):
            continue
        if line.startswith("theta"):
            phased.append(line + ",phase_deg")
        else:
            phased.append(line + ",%.9f" % (-720.0 * math.cos(math.radians(float(line.split(",")[0])))))
    (tmp_path / "phased.csv").write_text("\n".join(phased) + "\n")
    text = (EXAMPLES / "corrugated.toml").read_text().replace("feeds/corrugated_horn.csv", "phased.csv")
    design = ravost.loads(text, base=str(tmp_path))
    as_is = ravost.report(design, wavelength=1.0)
    design["feed.phase_centre"] = "fit"
    fit = ravost.report(design, wavelength=1.0)
    design["feed.phase_centre"] = -2.0
    given = ravost.report(design, wavelength=1.0)
    assert fit["phase_centre"]["source"] == "fit" and given["phase_centre"]["source"] == "given"
    assert abs(fit["phase_centre"]["offset_wavelengths"] + 2.0) < 1e-6
    assert abs(given["phase_centre"]["horn_reference_z"] - 2.0) < 1e-9
    assert fit["directivity_dbi"] - as_is["directivity_dbi"] > 0.15
    assert abs(fit["directivity_dbi"] - given["directivity_dbi"]) < 1e-6
    # The horn behind the main reflector's innermost point (10 behind the feed).
    design["feed.phase_centre"] = 10.5
    with pytest.raises(ravost.DesignError, match="feed.phase_centre"):
        ravost.report(design, wavelength=1.0)
