#include "dialog/driver.h"

#include <algorithm>
#include <fstream>
#include <istream>
#include <ostream>

#include "dialog/stages.h"
#include "io/interrupt.h"
#include "run/pipeline.h"
#include "writers/frequency.h"

namespace dialog {
namespace {

using design::Reflector;

// Asks whether answers come from a file and, if so, opens it; returns its path.
std::filesystem::path open_answer_file(Dialog& dialog, const std::filesystem::path& dir,
                                       const RunOptions& options, std::ifstream& file) {
  std::string name;
  auto problem = [&]() -> std::string {
    std::error_code ec;
    const std::filesystem::path path = dir / name;
    if (name.empty()) return "An answer file needs a name.";
    if (!std::filesystem::is_regular_file(path, ec)) {
      return "The answer file \"" + name + "\" does not exist or is not a file.";
    }
    file.open(path, std::ios::binary);
    if (!file.is_open()) return "The answer file \"" + name + "\" cannot be opened.";
    return {};
  };
  if (options.answer_file) {
    // As if typed: the questions show, the answers do not.
    dialog.prompt(" File input? ");
    dialog.prompt(" Enter input file ");
    name = *options.answer_file;
    if (std::string wrong = problem(); !wrong.empty()) throw RunError(diag::error(wrong));
  } else {
    if (!dialog.ask_yes(" File input? ")) {
      dialog.record_console();
      return {};
    }
    // The name goes into no field: it is taken whole.  A person at a
    // terminal may try another name; a pipe ends the run.
    dialog.ask(
        " Enter input file ", [&] { name = dialog.read_line("the name of the answer file"); },
        [&]() -> std::string {
          std::string wrong = problem();
          if (!wrong.empty() && !dialog.interactive()) throw RunError(diag::error(wrong));
          return wrong;
        });
  }
  dialog.use_answer_file(file, name);
  return dir / name;
}

template <design::RealType Real>
void run_stages(Dialog& dialog, const std::filesystem::path& dir, const RunOptions& options,
                io::OutFile& listing, Chosen* chosen) {
  std::ifstream answer_file;
  const std::filesystem::path answer_path = open_answer_file(dialog, dir, options, answer_file);

  if (options.dry) {
    listing = io::OutFile("/dev/null", "ravost.out", io::OutFile::Mode::in_place);
  } else {
    listing = io::OutFile(dir / "ravost.out", "ravost.out", io::OutFile::Mode::in_place);
  }
  // Whatever the listing holds is on disk before the program waits for a
  // person, who may end it there.
  dialog.before_wait([&listing] { listing.flush(); });
  run::Context context{
      run::Console{[&dialog](std::string_view text) { dialog.line(text); },
                   [&dialog](const diag::Diagnostic& d) { dialog.warn(diag::render(d)); },
                   [&dialog](std::string_view message) { dialog.pause(message); }},
      listing, dir};
  context.dry = options.dry;
  if (options.show_progress) context.console.progress = &dialog.errors();
  context.run_files.push_back(dir / "ravost.out");
  if (!answer_path.empty()) context.run_files.push_back(answer_path);
  Session<Real> s{dialog, context};
  s.given_feed = options.feed;
  s.report = options.report.has_value();

  run::Pipeline<Real>& stages = s.pipeline;
  stages.take_design(ask_design(s));
  stages.synthesise();
  if (dialog.ask_yes(" Plot dual reflector figure? ")) figure_stage(s);
  scaling_stage(s);
  if (dialog.ask_yes(" List main reflector dimensions? ")) listing_stage(s, Reflector::main);
  if (dialog.ask_yes(" List subreflector dimensions? ")) listing_stage(s, Reflector::sub);
  if (dialog.ask_yes(" Write main reflector TICRA .rsf file? ")) {
    surface_file_stage(s, Reflector::main);
  }
  if (dialog.ask_yes(" Write subreflector TICRA .rsf file? ")) {
    surface_file_stage(s, Reflector::sub);
  }
  if (dialog.ask_yes(" CHAMP main reflector spline w/ variable Z? ")) {
    object_file_stage(s, Reflector::main);
  }
  if (dialog.ask_yes(" CHAMP subreflector spline w/ variable Z? ")) {
    object_file_stage(s, Reflector::sub);
  }
  if (options.report) {
    writers::ReportRequest request = *options.report;
    if (request.frequency) {
      // The wavelength in the unit the answers gave the object files.
      const std::optional<writers::LengthUnit> unit = writers::length_unit_of(s.plan);
      const std::optional<double> wavelength = unit ? writers::wavelength_in(*request.frequency, *unit) : std::nullopt;
      if (!unit) {
        throw RunError(diag::error(
            "--frequency needs the design's length unit, which the dialog asks only for object files (one unit for "
            "both): give --wavelength in the unit of the diameter instead."));
      }
      if (!wavelength) {
        throw RunError(diag::error("--frequency gives a wavelength out of range in the length unit answered."));
      }
      request.wavelength = *wavelength;
    }
    s.plan.report = request;
    stages.report(request);
  }
  listing.close();
  if (chosen) *chosen = Chosen{s.choices, s.plan, true, {}, run::summarise(stages.result(), options.dry)};
}

}  // namespace

int run(std::istream& console_in, std::ostream& console_out, std::ostream& errors,
        const std::filesystem::path& dir, bool interactive, const RunOptions& options,
        Chosen* chosen) {
  Dialog dialog(console_in, console_out, errors, interactive);
  // The typed answers reach the caller however the run ends.
  struct KeepTyped {
    const Dialog& dialog;
    Chosen* chosen;
    ~KeepTyped() {
      if (chosen) chosen->typed_answers = dialog.typed_answers();
    }
  } keep_typed{dialog, chosen};
  io::OutFile listing;
  try {
    if (options.precision == Precision::double_) {
      run_stages<double>(dialog, dir, options, listing, chosen);
    } else {
      run_stages<float>(dialog, dir, options, listing, chosen);
    }
  } catch (const DialogStop& stop) {
    dialog.end_open_line();
    dialog.line("Stop - Program terminated.");
    dialog.before_wait({});
    // No design came of the run: a script must not take it for success, and
    // the listing says why it ends there.
    const std::string report = diag::render(diag::error(std::string("the dialog stops: ") + stop.what() + "."));
    try {
      if (listing.is_open()) listing.line(report);
      listing.close();
    } catch (const RunError& e) {
      dialog.warn(e.what());
      return 1;
    }
    dialog.warn(report);
    return 1;
  } catch (const RunError& e) {
    dialog.before_wait({});
    dialog.end_open_line();
    console_out.flush();
    // The listing ends with the report, so that it says the run failed.
    if (listing.is_open()) {
      std::string report = e.what();
      for (std::size_t start = 0; start <= report.size();) {
        const std::size_t end = std::min(report.find('\n', start), report.size());
        listing.line(std::string_view(report).substr(start, end - start));
        start = end + 1;
      }
      try {
        listing.close();
      } catch (const RunError&) {
        // The report below names the first failure.
      }
    }
    dialog.warn(e.what());
    if (const auto* signal = dynamic_cast<const io::Interrupted*>(&e)) return signal->exit_status();
    return 1;
  }
  // A normal end prints nothing.
  console_out.flush();
  return 0;
}

}  // namespace dialog
