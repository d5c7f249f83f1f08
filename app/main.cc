// RAVOST: synthesis of shaped, axially symmetric dual-reflector antennas.
//
//   ravost [--double] [--feed FILE] [--report DIR] [--wavelength W | --frequency F] [--physical-optics]
//          [ANSWERS | DESIGN.toml]
//   ravost [--feed FILE] --to-toml ANSWERS
//   ravost sweep DESIGN.toml --vary KEY=LO:HI:N ... --out DIR
//   ravost optimize DESIGN.toml --free KEY=LO:HI ... --maximize FIGURE --out DIR
//   ravost geometry FAMILY --diameter D --focal-length F --sub-diameter DS --feed-angle THETA ...
//
// Without arguments the program asks its questions on the console; with an
// answer file it runs that file as if "y" and its name had been typed; a
// file ending in .toml is a design file, checked whole and then run.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/design_file_run.h"
#include "app/geometry_command.h"
#include "app/sweep_command.h"
#include "dialog/driver.h"
#include "feedfile/feed_file.h"
#include "io/folder.h"
#include "io/interrupt.h"
#include "run/summary.h"
#include "writers/frequency.h"

#ifndef RAVOST_VERSION
#define RAVOST_VERSION "unknown"
#endif

namespace {

// A finite number above 0, written whole ("abc", "nan", "1e999" are not).
bool positive_number(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  double v = 0.0;
  const auto [end, ec] = std::from_chars(first, last, v);
  return ec == std::errc() && end == last && std::isfinite(v) && v > 0.0;
}

// Output that never arrived (a full disk, a closed pipe) is a failure too.
int finish(int status) {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << diag::render(diag::error("cannot write the console output.")) << '\n';
    return status == 0 ? 1 : status;
  }
  return status;
}

constexpr const char* kUsage =
    "Usage: ravost [--double] [--feed FILE] [--report DIR] [--wavelength W | --frequency F] [--physical-optics] "
    "[ANSWERS | DESIGN.toml] (ravost --help for more)\n";

// `ravost sweep ...` and `ravost optimize ...`: command lines of their own.
int sweep_or_optimize(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  io::install_interrupt_handlers();
  const std::vector<std::string> args(argv + 2, argv + argc);
  std::ostream* progress = ::isatty(STDERR_FILENO) != 0 ? &std::cerr : nullptr;
  int status = 1;
  try {
    status = std::string_view(argv[1]) == "sweep" ? app::sweep_command(args, std::cout, std::cerr, progress)
                                                  : app::optimize_command(args, std::cout, std::cerr, progress);
  } catch (const io::RunError& e) {
    std::cerr << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << diag::render(diag::error(e.what())) << '\n';
  }
  return finish(status);
}

// What the command line of a design run holds.
struct CommandLine {
  bool use_double = false;
  std::string answers;  // an answer file or a design file; empty: the console dialog
  bool to_toml = false;
  std::string report_dir;
  std::string wavelength_text;
  std::string frequency_text;
  bool physical_optics = false;
  std::string feed_file;
};

void define_options(CLI::App& app, CommandLine& line) {
  app.add_flag("--double", line.use_double,
               "Compute the design in 64-bit reals (default: 32-bit, as the listings have always "
               "been computed)");
  app.add_option("INPUT", line.answers,
                 "A design file (ending in .toml): check it whole, then run it; or an answer "
                 "file: run it as if \"y\" and its name had been typed at the first two questions")
      ->check(CLI::ExistingFile);
  app.add_flag("--to-toml", line.to_toml,
               "Print the design file equivalent to the answer file INPUT, and write nothing "
               "else");
  auto* report = app.add_option("--report", line.report_dir,
                                "When the run ends normally, write the design report (ray trace, "
                                "efficiencies, far field; JSON, SVG, CSV, HTML) into this folder");
  report->check([](const std::string& dir) -> std::string {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec)) {
      return "the report folder \"" + dir + "\" is a file";
    }
    return {};
  });
  auto* wavelength =
      app.add_option("--wavelength", line.wavelength_text,
                     "Wavelength for the report, in the unit of the main-reflector diameter "
                     "(default: D/lambda = 100)")
          ->check([](const std::string& text) -> std::string {
            if (positive_number(text)) return {};
            return "--wavelength must be a positive number (in the unit of the diameter), not \"" +
                   text + "\"";
          })
          ->type_name("W");
  app.add_option("--frequency", line.frequency_text,
                 "Frequency for the report, in Hz (12e9, 12GHz, 1.5 MHz): the wavelength in the "
                 "design's length unit (a design file's [scale] unit, else its object files' unit)")
      ->check([](const std::string& text) -> std::string {
        std::string problem;
        if (writers::parse_frequency(text, problem)) return {};
        return "--frequency \"" + text + "\" " + problem;
      })
      ->type_name("F")
      ->excludes(wavelength);
  app.add_flag("--physical-optics", line.physical_optics,
               "Add the physical optics of the design to the report (directivity, spillover, "
               "co- and cross-polar cuts)");
  app.add_option("--feed", line.feed_file,
                 "Shape for the feed pattern in FILE (a table of angle and power in dB, or "
                 "pattern cuts; told by content) instead of asking for a beamwidth")
      ->type_name("FILE");
  app.set_version_flag("--version", std::string("ravost ") + RAVOST_VERSION);
  app.get_formatter()->column_width(22);
  app.footer(
      "Files: ravost.out (the listing) in the working directory; plot, surface and object files "
      "as answered.\nExit status: 0 at a normal end, 1 after an error report or a stop of the "
      "dialog, 2 for a wrong command line, 130/143 when interrupted.\n"
      "Sweeps and optimisation: ravost sweep --help, ravost optimize --help.\n"
      "A classical design file from engineering parameters: ravost geometry --help.");
}

// Parses the command line; the exit status when the run ends here (help,
// version, a wrong command line).
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << '\n';
    return 0;
  } catch (const CLI::ParseError& e) {
    // One line on what is wrong and the usage line; --help has the rest.
    std::string what = e.what();
    for (const char* option : {": --wavelength", ": --frequency"}) {
      if (const auto colon = what.find(option); colon != std::string::npos) {
        what = what.substr(colon + 2);
        break;
      }
    }
    std::cerr << diag::render(diag::error(what)) << '\n' << kUsage;
    return 2;
  }
  return std::nullopt;
}

// What the command line says of the report: --report, --wavelength,
// --frequency and --physical-optics, as the parts of a request that they
// give (a design file's [report] keys give the rest).
app::ReportOptions report_options(const CommandLine& line) {
  app::ReportOptions r;
  if (!line.report_dir.empty()) r.dir = line.report_dir;
  if (!line.wavelength_text.empty()) r.wavelength = std::stod(line.wavelength_text);
  std::string problem;
  if (!line.frequency_text.empty()) r.frequency = writers::parse_frequency(line.frequency_text, problem);
  r.physical_optics = line.physical_optics;
  return r;
}

// The report's request of the dialog, its folder checked before any
// question; the exit status when there is none to make or it cannot be
// written.
std::optional<int> request_report(const CommandLine& line, dialog::RunOptions& options) {
  const app::ReportOptions r = report_options(line);
  if (!r.dir) {
    if (!r.given()) return std::nullopt;
    std::cerr << diag::render(diag::error(std::string(r.first_given()) +
                                          " is for the design report: give --report DIR too."))
              << '\n'
              << kUsage;
    return 2;
  }
  options.report = writers::ReportRequest{*r.dir, r.wavelength.value_or(0.0), r.physical_optics, r.frequency};
  if (const auto problem = io::folder_problem(*r.dir)) {
    std::cerr << diag::render(*problem) << '\n';
    return 1;
  }
  return std::nullopt;
}

// The feed file of --feed, read whole before any question: a bad file ends
// the run with its line.  The exit status when the run ends here.
std::optional<int> read_feed(const CommandLine& line, bool design_file, dialog::RunOptions& options) {
  if (line.feed_file.empty()) return std::nullopt;
  if (design_file) {
    std::cerr << diag::render(diag::error("--feed is for the dialog and answer files; a design file "
                                          "names its feed in its [feed] section."))
              << '\n';
    return 2;
  }
  feedfile::ReadResult feed = feedfile::read(line.feed_file, line.feed_file);
  if (!feed.table) {
    std::cerr << diag::render(*feed.error) << '\n';
    return 1;
  }
  design::FeedSpec feed_choice;
  feed_choice.model = feed.format;
  feed_choice.file = line.feed_file;
  feed_choice.table = std::make_shared<const design::FeedTable>(std::move(*feed.table));
  options.feed = feed_choice;
  return std::nullopt;
}

// The dialog on the console or from an answer file.  A person's answers are
// kept, so that a run can be repeated or mended one line at a time.
int run_dialog(const dialog::RunOptions& options, bool show_summary) {
  const bool terminal = ::isatty(STDIN_FILENO) != 0;
  dialog::Chosen chosen;
  io::InterruptibleInput input_buffer(STDIN_FILENO);
  std::istream input(&input_buffer);
  const int status = dialog::run(input, std::cout, std::cerr, ".", terminal, options, &chosen);
  if (terminal && !chosen.typed_answers.empty()) {
    bool kept_previous = false;
    const auto problem = app::save_typed_answers(chosen, ".", &kept_previous);
    if (problem) std::cerr << diag::render(*problem) << '\n';
    if (status != 0 && !problem) {
      std::cerr << "The answers typed are saved in ravost.ans: mend the one at fault and run "
                   "\"ravost ravost.ans\".\n";
      if (kept_previous) std::cerr << "The earlier answers are kept in ravost.ans~.\n";
    }
    if (!problem) {
      chosen.summary.files.push_back("ravost.ans");
      if (chosen.complete) chosen.summary.files.push_back("ravost.toml");
    }
  }
  // A normal end that wrote something says what, to a person at a terminal.
  if (status == 0 && show_summary && chosen.complete) {
    std::cout.flush();
    std::cerr << run::render(chosen.summary);
  }
  return status;
}

// The folder of the file the standard output is redirected to, or nothing
// (a terminal, a pipe, a system without /proc).
std::optional<std::filesystem::path> output_folder() {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::read_symlink("/proc/self/fd/1", ec);
  if (ec || !file.is_absolute()) return std::nullopt;
  return file.parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::string_view(argv[1]) == "sweep" || std::string_view(argv[1]) == "optimize")) {
    return sweep_or_optimize(argc, argv);
  }
  if (argc > 1 && std::string_view(argv[1]) == "geometry") {
    const std::vector<std::string> args(argv + 2, argv + argc);
    return finish(app::geometry_command(args, std::cout, std::cerr));
  }
  CLI::App app{
      "RAVOST designs a shaped, axially symmetric dual-reflector antenna from a normalised\n"
      "geometry, a feed beamwidth and a wanted aperture distribution.",
      "ravost"};
  CommandLine line;
  define_options(app, line);
  if (const auto status = parse(app, argc, argv)) return *status;
  if (line.to_toml && line.answers.empty()) {
    std::cerr << "ravost: --to-toml needs an answer file\n";
    return 2;
  }
  dialog::RunOptions options;
  if (line.use_double) options.precision = dialog::Precision::double_;
  // Progress and the summary of a normal end are for a person at a terminal.
  const bool error_terminal = ::isatty(STDERR_FILENO) != 0;
  options.show_progress = error_terminal;
  if (!line.answers.empty()) options.answer_file = line.answers;
  const bool design_file = std::filesystem::path(line.answers).extension() == ".toml";
  if (line.to_toml && design_file) {
    std::cerr << diag::render(diag::error("\"" + line.answers +
                                          "\" is already a design file; --to-toml turns an answer "
                                          "file into one."))
              << '\n';
    return 2;
  }
  // A design file's own [report] may take the report options; its folder is
  // checked once the file is read.
  if (!design_file) {
    if (const auto status = request_report(line, options)) return *status;
  }
  if (const auto status = read_feed(line, design_file, options)) return *status;

  std::ios::sync_with_stdio(false);
  io::install_interrupt_handlers();
  int status = 0;
  if (line.to_toml) {
    status = app::answers_to_design_file(line.answers, std::cout, std::cerr, ".", options, output_folder());
  } else if (design_file) {
    status = app::run_design_file(line.answers, std::cout, std::cerr, ".",
                                  app::DesignFileOptions{line.use_double, report_options(line), error_terminal, error_terminal});
  } else {
    status = run_dialog(options, error_terminal);
  }
  return finish(status);
}
