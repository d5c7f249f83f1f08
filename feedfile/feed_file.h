// Feed pattern files: a table of power against angle (CSV) or pattern cuts
// in the plain-text cut format of reflector-analysis tools.  The format is
// told by the content, not by the name.
//
// TABLE (CSV)
//
//   # comment lines start with '#'; blank lines are skipped
//   theta_deg,e_plane_db,h_plane_db      a header of names (optional)
//   0.0,0.0000,0.0000                    angle (degrees), power (dB) ...
//
// One power column is the power in every plane; two are the E and H planes,
// averaged in linear power.  A column whose header name holds "phase" is the
// phase in degrees: of every plane, or of one plane when the name starts
// with "e" or "h" (e_phase_deg, h_phase_deg: then both planes' are given).
// The phase must be unwrapped: neighbouring angles differ by at most 180
// degrees.  Without a header a line holds two or three numbers.  Every line
// holds as many values as the first (or as the header names).
//
// THE PHASE
//
// The phase is that of the far field E(theta) e^{j phase} e^{-jkr}/r with
// time dependence e^{jwt}, about the file's reference point on the feed's
// axis.  A feed whose phase centre lies a distance d ahead of that point
// (along the axis, towards where the feed looks) has phase k d cos(theta) +
// c: the phase grows towards the axis.  Taken about the phase centre, the
// phase is the file's minus k d cos(theta).
//
// CUTS
//
// Per cut: one line of text; one line V_INI V_INC V_NUM C ICOMP ICUT NCOMP
// (first angle, step, number of angles, the cut's phi, the components, 1 for
// a polar cut, the number of components); then V_NUM lines of the two
// complex components as real and imaginary parts.  Polar cuts (ICUT 1) of
// two components (NCOMP 2), linear co/cross (ICOMP 3) or theta/phi
// (ICOMP 1); every cut on the same angles.  A cut sampled in stretches of
// different steps is a block per stretch: the first from 0 degrees, each
// later one with the same C starting past the last angle of the block
// before it (a reader that takes every block as a cut of its own gets the
// same angles).  The power is the sum of both
// components' power, averaged over the cuts; the cuts at phi 0 and 90 are
// the E and H planes of the figure when present.  The co-polar component's
// phase in the cuts at phi 0 and 90 is the E- and H-plane phase (one stands
// for the other when only one is there; the first cut's when neither is).
//
// Both: angles start at 0 degrees, increase, and end at 180 at most; every
// number is finite.  The power is normalised to 1 on the axis by the model.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "design/feed_model.h"
#include "diag/diagnostic.h"

namespace feedfile {

// Files larger than this are refused unread.
inline constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

struct ReadResult {
  std::optional<design::FeedTable> table;
  design::FeedModelKind format = design::FeedModelKind::table;  // table or cut
  // What is wrong when there is no table: with the file and its line for a
  // fault in the text, without them for a file that cannot be read.
  std::optional<diag::Diagnostic> error;
};

// Reads the file at `path`; the table and errors name it `display_name`.
ReadResult read(const std::filesystem::path& path, std::string_view display_name);
// Reads `text` as a feed file named `display_name`.
ReadResult parse(std::string_view text, std::string_view display_name);

// The phase of a table over the subreflector's cone: how far it varies, and
// the axial offset of the phase centre that fits it best (least squares of
// phase = k d cos(theta) + c), in wavelengths, positive towards the
// subreflector.
struct PhaseFit {
  double variation_deg = 0;
  double offset_wavelengths = 0;
};
// Empty when the table has no phase or fewer than two angles in the cone.
std::optional<PhaseFit> phase_fit(const design::FeedTable& t, double half_angle_rad);
// A phase that varies by more than this over the cone is worth a warning.
inline constexpr double kPhaseWarningDeg = 10.0;
// The warning for a table whose phase varies by more than the limit over the
// cone, or nothing.
std::optional<diag::Diagnostic> phase_warning(const design::FeedTable& t, double half_angle_rad);

}  // namespace feedfile
