// Design files: a whole design and the outputs of its run in one TOML file,
// read, checked and written.
//
// FORMAT
//
// A design file is TOML (UTF-8, at most 1 MB).  Every key belongs in a
// section; keys and sections not listed here are refused, so a misspelt name
// is reported instead of being ignored.  Reals may be written as integers
// (10 for 10.0) and must be finite.  Lengths of the geometry are normalised
// to a main-reflector outer radius of 1.
//
//   [geometry]                        all required
//   main_hole_to_feed = 0.2           axial distance, main hole rim to feed
//   feed_to_sub_rim = 0.5             axial distance, feed to subreflector rim
//   sub_radius = 0.25                 subreflector rim radius
//   main_inner_radius = 0.12          radius of the main reflector's hole
//
//   [feed]
//   model = "beamwidth"               optional: "beamwidth" (default),
//                                     "gaussian", "table" or "cut"
//   beamwidth_deg = 40.0              beamwidth: full beamwidth, degrees ...
//   level_db = -10.0                  ... at this level (dB; sign ignored;
//                                     not 0)
//   taper_db = 10.0                   gaussian: the taper in dB below the
//   taper_angle_deg = 20.0            axis at this angle from it
//   file = "horn.csv"                 table, cut: the feed file, relative to
//                                     the design file's folder
//   Each model takes its own keys, all required; another model's are refused.
//
//   [aperture]
//   distribution = "uniform"          "uniform", "gaussian" or "taylor"
//   taper_db = 10.0                   Gaussian only, required there: edge taper
//   sidelobe_db = 25.0                Taylor only, required there: sidelobe
//                                     level (its size is used)
//   nbar = 4                          Taylor only, required there: the first
//                                     unchanged zero, a whole number 1..20
//
//   [synthesis]
//   calc_interval = 0.001             required: integration step in r
//   output_interval = 0.02            required: spacing of the ray table's
//                                     rows, a whole multiple of calc_interval
//   precision = "32-bit"              optional: "32-bit" (default) or "64-bit"
//
//   [scale]
//   diameter = 100.0                  required: main reflector diameter
//   extrapolate_sub_diameter = 26.0   optional: extend the subreflector to
//                                     this larger diameter
//   unit = "mm"                       optional: "in", "ft", "mm" or "m", the
//                                     unit of the diameter and every length
//                                     (a frequency needs it for the report)
//
//   [figure]                          optional section: the HP-GL figure
//   file = "uniform.plt"              at most 40 characters
//
//   [listing.main], [listing.sub]     optional sections: dimension listings
//   start = 6.0, stop = 50.0, step = 4.0   radii, in the unit of the diameter
//
//   [surface.main], [surface.sub]     optional sections: surface files
//   file = "uniform_main.rsf"         at most 70 characters
//   points = 21                       number of radius points, 1..9999
//   label = "Main reflector"          optional, at most 40 characters
//
//   [object.main], [object.sub]       optional sections: spline objects
//   file = "uniform_main.tor"         at most 70 characters
//   unit = "mm"                       "in", "ft", "mm" or "m"
//   points = 21                       spline nodes, 2..999
//
//   [report]                          optional section: the design report
//   folder = "report"                 required in the section
//   wavelength = 0.03                 optional, > 0, in the unit of the
//                                     diameter (default: D/lambda = 100)
//   frequency_ghz = 12.0              optional, > 0: the wavelength from a
//                                     frequency in GHz; needs [scale] unit,
//                                     not with wavelength
//
// A 32-bit design computes with each real rounded to 32 bits, so every real
// it uses must lie within the range of 32-bit reals (and not round to 0).
// File names and labels are one line of text each, and no two outputs may
// name the same file.
//
// ERRORS
//
// A file is checked whole before anything is computed.  Each thing wrong
// with it is one diagnostic (file, line, key, message), printed as one line:
//
//   Error in FILE, line N: KEY: SENTENCE
//
// with KEY the dotted name of the key or section (geometry.sub_radius,
// listing.main).  A key or section that is missing is reported at the line
// of its section header, or at line 1 when there is none.  A file that is
// not TOML (or holds a byte that is not UTF-8, or a control character) gives
// one line with the place and the reason, without a key; a file that cannot
// be read or is too large gives one line without a place.  At most 100 lines
// are given.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "design/choices.h"
#include "diag/diagnostic.h"
#include "writers/output_plan.h"

namespace designfile {

// Files larger than this are refused unread.
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;

struct DesignFile {
  design::DesignSpec choices;
  writers::OutputPlan plan;
};

// Either a design file that passed every check, or its errors (at least
// one, each with the file, and its line and key where it has them), in the
// order of their lines in the file.  The reals are
// the values the file gives, in 64 bits; a 32-bit design rounds them when it
// is made.
struct ReadResult {
  std::optional<DesignFile> file;
  std::vector<diag::Diagnostic> errors;
};

// Reads and checks the file at `path`; errors name it as given.
ReadResult read(const std::filesystem::path& path);
// Checks `text` as a design file; errors name it `display_name`.  A feed
// file it names is read relative to `base`.
ReadResult parse(std::string_view text, std::string_view display_name,
                 const std::filesystem::path& base = {});

// The design file of a choices and plan, with a comment per section.  Reals are
// written so that they read back as the same value in the choices's precision:
// the shortest decimal of the 32-bit value in a 32-bit choices, of the 64-bit
// value in a 64-bit choices.  The report's wavelength, which the report uses in
// 64 bits, is always written in 64 bits.  A choices or plan that does not pass
// the checks is written as it stands and is refused when read back.
std::string to_toml(const design::DesignSpec& choices, const writers::OutputPlan& plan);

// What a key's value is: a real, a whole number, a text (a name or one of
// the words a key takes, such as "gaussian" or "64-bit"), or true/false.
enum class ValueKind { real, whole, text, flag };
struct KnownKey {
  std::string key;  // dotted: "aperture.taper_db", "listing.main.start"
  ValueKind kind;
};
// Every key a design file may hold, section by section (a key that only some
// distributions or feed models take is listed once).
const std::vector<KnownKey>& known_keys();

// The key of a design input, e.g. "geometry.sub_radius".  The inputs of the
// outputs that exist once per reflector or per file give their key without
// the reflector: "listing", "surface.points", "surface.label",
// "object.unit", "object.points", "file".
std::string key_of(design::Input input);
// The key of a problem's input: the key a described input names.
std::string key_of(const design::Problem& p);

}  // namespace designfile
