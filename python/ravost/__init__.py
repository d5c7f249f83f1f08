"""Shaped dual-reflector antenna design from Python.

The same design core as the command line ``ravost``: a design file is read
and checked as the program reads it, and synthesis, the design report and
sweeps give the same figures.

    import ravost
    design = ravost.load("examples/uniform.toml")
    design["geometry.sub_radius"] = 0.3        # a key by its dotted name
    table = ravost.synthesise(design)          # the ray table, numpy arrays
    figures = ravost.report(design, wavelength=1.0)   # what report.json holds
    rows = ravost.sweep(design, vary={"geometry.sub_radius": (0.2, 0.3, 5)})
    dish = ravost.geometry("cassegrain", diameter=1000, focal_length=350,
                           sub_diameter=100, feed_angle=15)   # a classical design

A design the program refuses raises DesignError, whose ``diagnostics`` list
every problem with its key and line.  Long calls release the GIL and stop on
Ctrl-C with KeyboardInterrupt.
"""

from ._ravost import Design, DesignError, Diagnostic, __version__, check, load, loads
from . import _ravost

__all__ = ["Design", "DesignError", "Diagnostic", "RayTable", "check", "geometry", "load", "loads",
           "report", "sweep", "synthesise", "synthesize"]


class RayTable:
    """The ray table of a synthesis, one numpy array per column of the listing.

    Rays run from the subreflector's rim (ray 1, which meets the main
    reflector at its hole's rim) to the main reflector's rim; lengths are
    normalised to a main-reflector outer radius of 1.

    feed_angle_deg  the ray's angle from the axis at the feed (degrees)
    sub_z, sub_radius    the point where it meets the subreflector
    main_z, main_radius  the point where it meets the main reflector
    path_length     its path from the feed to the aperture plane

    ``summary`` is a dict: precision, rows, steps (integration steps),
    steps_per_output, rim_level_db (the feed's power at the subreflector
    rim below its peak), largest_path_stray (relative) and its ray.
    ``warnings`` lists the diagnostics the run would show as warnings.
    """

    columns = ("feed_angle_deg", "sub_z", "sub_radius", "main_z", "main_radius", "path_length")

    def __init__(self, columns, summary, warnings):
        for name in self.columns:
            setattr(self, name, columns[name])
        self.summary = summary
        self.warnings = warnings

    def __len__(self):
        return len(self.feed_angle_deg)

    def __repr__(self):
        return "<ravost.RayTable of {} rays, {}>".format(len(self), self.summary["precision"])


def synthesise(design, precision="64-bit"):
    """Synthesises the design's two surfaces; returns a RayTable.

    precision is "64-bit" (as --double does) or "32-bit" (the program's
    default listings).  A design that is refused, or whose integration breaks
    down or fails its self-check, raises DesignError.
    """
    result = _ravost._synthesise(design, precision)
    return RayTable(result["columns"], result["summary"], result["warnings"])


synthesize = synthesise


def report(design, wavelength=None, physical_optics=False, precision="64-bit"):
    """The design report's figures: the dict report.json holds for the run
    ``ravost DESIGN.toml --double --report DIR --wavelength W``.

    wavelength is in the unit of the main-reflector diameter; None takes the
    design file's [report] wavelength, or D/lambda = 100 when it gives none.
    physical_optics adds the physical optics of the design (slow).
    """
    figures, _warnings = _ravost._report(design, wavelength, bool(physical_optics), precision)
    return figures


def sweep(design, vary, jobs=None):
    """Evaluates a grid of designs; returns the rows sweep.json holds.

    vary maps one or two numeric keys to (lo, hi, n): n values from lo to hi,
    both included.  Each design is synthesised in 64-bit reals and judged by
    the report's figures; a row holds its index, inputs, status ("ok",
    "refused" or "failed"), reason and figures (None when not ok).  jobs is
    the number of designs evaluated at once (default: the machine's cores).
    """
    if not isinstance(vary, dict):
        raise TypeError("vary is a dict of key: (lo, hi, n)")
    if jobs is not None and int(jobs) < 1:
        raise ValueError("jobs must be at least 1")
    return _ravost._sweep(design, list(vary.items()), 0 if jobs is None else int(jobs))


def geometry(family, diameter, focal_length, sub_diameter, feed_angle, hole_diameter=None,
             ring_radius=None, unit=None, name=None):
    """The geometry wizard: the Design of a family's classical dual reflector.

    family is "cassegrain", "gregorian", "adc", "ade", "adh" or "adg".  The
    main reflector's diameter, its focal length and the subreflector's
    diameter are lengths in one unit (unit: "in", "ft", "mm" or "m", or None
    to leave it unsaid); feed_angle is the half angle in degrees that the
    subreflector subtends at the feed.  A displaced-axis family takes one of
    hole_diameter (the main reflector's hole) and ring_radius (its ring
    focus); the centred ones take neither.  name (default: the family) names
    the figure file and the report folder.  The Design is the text that
    ``ravost geometry`` prints: classical shaping, a beamwidth feed 10 dB down
    at the subreflector's rim, a uniform aperture.  Parameters no design of
    the family has raise DesignError naming the one to change and which way.
    """
    def length(v):
        return None if v is None else float(v)
    text = _ravost._geometry(str(family), float(diameter), float(focal_length), float(sub_diameter),
                             float(feed_angle), length(hole_diameter), length(ring_radius),
                             "" if unit is None else str(unit), "" if name is None else str(name))
    return loads(text, name=(str(name) if name else str(family)) + ".toml")
