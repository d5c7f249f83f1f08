// Fixtures of the output-stage tests: one stage run on in-memory console
// streams with its files in a temporary folder, and small hand-made designs
// whose values can be checked by hand.
#pragma once

#include <array>
#include <sstream>
#include <string>

#include "ravost/stages.h"
#include "tests/test_util.h"

namespace testutil {

// One stage run on in-memory console streams, with the listing file and any
// other files in a temporary folder; answers come from the console or, when
// `from_file` is set, from an answer file named "design.ans".
struct StageRun {
  explicit StageRun(const std::string& answers, bool from_file = false)
      : console_in(from_file ? "" : answers), file_in(answers), dialog(console_in, console_out),
        listing(dir.path() / "ravost.out", "ravost.out"),
        session{dialog, listing, dir.path(), plothpfa::PLOTIF{0.1f}} {
    if (from_file) dialog.use_answer_file(file_in, "design.ans");
  }
  // The listing file as written so far; closes it.
  std::string listing_text() {
    listing.close();
    return read_file(dir.path() / "ravost.out");
  }
  // Another file the stage wrote into the folder.
  std::string file(const std::string& name) const { return read_file(dir.path() / name); }

  TempDir dir;
  std::istringstream console_in;
  std::istringstream file_in;
  std::ostringstream console_out;
  ravost::Dialog dialog;
  ravost::OutFile listing;
  ravost::Session session;
};

// `text` with every line feed preceded by a carriage return, as the files
// end their lines.
inline std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A five-ray design in ray order, as the synthesis leaves it: the main radius
// rises from the hole rim (0.2) to 1 on z = r^2 - 1; the subreflector points
// are given rim first, falling toward the axis.
inline ravost::Design five_ray_design(const std::array<float, 5>& sub_r,
                                      const std::array<float, 5>& sub_z) {
  ravost::Design d;
  d.main_inner_radius = 0.2f;
  d.output_steps = 4;
  const float main_r[] = {0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
  const float main_z[] = {-0.96f, -0.84f, -0.64f, -0.36f, 0.0f};
  for (int i = 0; i < 5; ++i) {
    d.rays.main_r[i] = main_r[i];
    d.rays.main_z[i] = main_z[i];
    d.rays.sub_r[i] = sub_r[i];
    d.rays.sub_z[i] = sub_z[i];
  }
  return d;
}

// The five-ray design with the subreflector on z = 1 - r^2 at r = 0 (z 1),
// 0.1, 0.2, 0.3, 0.4, scaled to diameter 2 so the values stay normalised.
// `scaling_answers` answer the diameter and extrapolation questions.
inline ravost::Design scaled_design(const std::string& scaling_answers = "2\nn\n") {
  ravost::Design d =
      five_ray_design({0.4f, 0.3f, 0.2f, 0.1f, 0.0f}, {0.84f, 0.91f, 0.96f, 0.99f, 1.0f});
  StageRun setup(scaling_answers);
  ravost::scale_design(d, setup.session);
  return d;
}

}  // namespace testutil
