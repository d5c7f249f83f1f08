// Listings of one reflector's height at radii the user chooses: from a start
// radius in equal steps, sampled from the reflector's spline, on the console
// and in the listing file.
#include <cmath>
#include <string>

#include "fields/fields.h"
#include "ravost/profile.h"
#include "ravost/stages.h"

namespace ravost {
namespace {

// The most rows one listing may hold.  The row count follows from three
// free-form reals, so a tiny step could otherwise ask for billions of rows.
constexpr double kMaxListRows = 1.0e6;

// Number of rows: (stop - start) / step + 1.2 truncated toward zero, in double
// precision from the 32-bit answers.  A step of zero lists no rows.  Returns
// -1 for a listing longer than kMaxListRows.
int row_count(float start, float stop, float step) {
  if (step == 0.0f) return 0;
  const double quotient =
      (static_cast<double>(stop) - static_cast<double>(start)) / static_cast<double>(step) +
      static_cast<double>(1.2f);
  if (quotient < 1.0) return 0;
  if (!(quotient < kMaxListRows + 1.0)) return -1;
  return static_cast<int>(quotient);
}

// Radius of row i (1-based).
float row_radius(float start, float step, int i) {
  return start + static_cast<float>(i - 1) * step;
}

}  // namespace

void list_dimensions(const Design& d, Session& s, Reflector which) {
  const Profile p = reflector_profile(d, which);
  Dialog& dialog = s.dialog;

  float& start = s.answers.list_start;
  float& stop = s.answers.list_stop;
  float& step = s.answers.list_step;
  int& count = s.answers.list_count;
  dialog.end_open_line();
  dialog.line(" Radius min: " + fields::F(p.first_radius(), 8, 3) + " max: " +
              fields::F(p.last_radius(), 8, 3));
  for (;;) {
    dialog.prompt(" Enter start, stop, step ");
    dialog.read_range("the start, stop and step of the listing", start, stop, step);
    count = row_count(start, stop, step);
    if (count < 0) {
      dialog.reject("A listing holds at most 1000000 rows; choose a larger step.");
      continue;
    }
    // Outside its table the spline continues its end cubics; far enough out
    // their cubes overflow.  The rows run monotonically, so the two end
    // rows are the farthest out.
    if (count > 0) {
      const float first = row_radius(start, step, 1);
      const float last = row_radius(start, step, count);
      if (!std::isfinite(last) || !std::isfinite(p.height(first)) ||
          !std::isfinite(p.height(last))) {
        dialog.reject("These radii lie too far outside the reflector to list.");
        continue;
      }
    }
    break;
  }

  std::string header[5];
  if (which == Reflector::main) {
    header[1] = " Main reflector diameter: " + fields::F(d.main_diameter, 9, 3);
    header[3] = " Main Reflector";
  } else {
    header[1] = " Subreflector diameter: " + fields::F(d.sub_rim_diameter, 9, 3);
    header[3] = "  Subeflector";
  }
  header[4] = "   Radius    Z-axis";
  for (const std::string& text : header) dialog.line(text);
  for (const std::string& text : header) s.listing.line(text);

  for (int i = 1; i <= count; ++i) {
    const float r = row_radius(start, step, i);
    const std::string row = fields::F(r, 9, 4) + fields::F(p.height(r), 10, 4);
    s.listing.line(row);
    dialog.line(row);
  }
}

}  // namespace ravost
