// Helpers shared by the test programs: temporary folders, whole files, the
// CR LF line reader, and one stage run on in-memory console streams with
// small hand-made ray tables whose values can be checked by hand.
#pragma once

#include <array>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "design/scaled.h"
#include "design/choices.h"
#include "design/synthesis.h"
#include "dialog/dialog.h"
#include "dialog/session.h"
#include "io/files.h"
#include "run/context.h"

namespace testutil {

// A fresh, empty directory under the system's temporary directory, removed
// again when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Whole contents of a file, bytes as they stand (CR LF kept).
std::string read_file(const std::filesystem::path& p);

void write_file(const std::filesystem::path& p, const std::string& text);

// How a run of the program ended: its exit status (-1 when it did not exit),
// whether a signal ended it, and what it wrote to its two streams.
struct ProgramExit {
  int status = -1;
  bool signalled = false;
  std::string out, err;
};
// Runs the program in `dir` through the shell with `args` and no standard
// input; its streams are captured (and their files removed).
ProgramExit run_program(const std::filesystem::path& dir, const std::string& args);

// The lines of a text whose every line ends in CR LF, without their ends.  A
// line without CR LF or a bare line feed fails the calling test.
std::vector<std::string> crlf_lines(const std::string& text);

// `text` with every line feed preceded by a carriage return, as the files
// end their lines.
std::string crlf(const std::string& text);

// The design of examples/uniform.ans: hole rim to feed 0.2, feed to
// subreflector rim 0.5, subreflector radius 0.25, hole radius 0.12, a 40
// degree feed at -10 dB, a uniform aperture, intervals 0.001 and 0.02, in
// 32-bit reals.  Tests derive their variants from it.
design::DesignSpec example_choices();

// The options of a run in the given reals.
inline run::RunOptions in_precision(design::Precision p) {
  run::RunOptions o;
  o.precision = p;
  return o;
}

// One stage run on in-memory console streams, with the listing file and any
// other files in a temporary folder; answers come from the console or, when
// `from_file` is set, from an answer file named "design.ans".
struct StageRun {
  explicit StageRun(const std::string& answers, bool from_file = false);

  // The listing file as written so far; closes it.
  std::string listing_text();
  // Another file the stage wrote into the folder.
  std::string file(const std::string& name) const { return read_file(dir.path() / name); }
  std::string console() const { return console_out.str(); }

  TempDir dir;
  std::istringstream console_in;
  std::istringstream file_in;
  std::ostringstream console_out;
  ::dialog::Dialog dialog;
  ::io::OutFile listing;
  ::run::Context context;
  ::dialog::Session<float> session;
};

// A hand-made ray table in ray order, as the synthesis leaves it: the main
// radius rises from the hole rim (0.2) to 1 on z = r^2 - 1; the subreflector
// points are given rim first, falling toward the axis.
struct FiveRays {
  design::RayTable<float> table;
  design::Design<float> in;  // the example design with a hole radius of 0.2
};
FiveRays five_rays(const std::array<float, 5>& sub_r, const std::array<float, 5>& sub_z);

// The five rays with the subreflector on z = 1 - r^2 at r = 0 (z 1), 0.1,
// 0.2, 0.3, 0.4, scaled to diameter 2 so the values stay normalised.
// `scaling_answers` answer the diameter and extrapolation questions.
design::ScaledDesign<float> scaled_design(const std::string& scaling_answers = "2\nn\n");

// The report with which `stage` ends the run, or "" when it ends normally.
template <class Stage>
std::string run_error(Stage&& stage) {
  try {
    stage();
  } catch (const io::RunError& e) {
    return e.what();
  }
  return {};
}

// The number of significant digits a number is written with: "0.0250" has
// three, "2.5e-05" two, "-40" one (an integer's trailing zeros do not count).
int significant_digits(const std::string& number);

// The texts of a drawing's <text> elements that are numbers (tick labels),
// in order, each with its text-anchor ("middle" below an axis, "end" beside
// one, "" for none).
struct NumberLabel {
  std::string text, anchor;
};
std::vector<NumberLabel> number_labels(const std::string& svg);

}  // namespace testutil
