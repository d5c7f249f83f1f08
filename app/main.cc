// RAVOST: synthesis of shaped, axially symmetric dual-reflector antennas.
//
//   ravost [--double] [--feed FILE] [--report DIR [--wavelength W] [--physical-optics]] [ANSWERS | DESIGN.toml]
//   ravost [--feed FILE] --to-toml ANSWERS
//   ravost sweep DESIGN.toml --vary KEY=LO:HI:N ... --out DIR
//   ravost optimize DESIGN.toml --free KEY=LO:HI ... --maximize FIGURE --out DIR
//
// Without arguments the program asks its questions on the console; with an
// answer file it runs that file as if "y" and its name had been typed; a
// file ending in .toml is a design file, checked whole and then run.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "app/design_file_run.h"
#include "dialog/driver.h"
#include "feedfile/feed_file.h"
#include "io/folder.h"
#include "io/interrupt.h"
#include "sweep/command.h"

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

// Output the console never received (a full disk, a closed pipe).
diag::Diagnostic console_lost() { return diag::error("cannot write the console output."); }

}  // namespace

int main(int argc, char** argv) {
  // Sweeps and optimisation have command lines of their own.
  if (argc > 1 && (std::string_view(argv[1]) == "sweep" || std::string_view(argv[1]) == "optimize")) {
    std::ios::sync_with_stdio(false);
    io::install_interrupt_handlers();
    const std::vector<std::string> args(argv + 2, argv + argc);
    std::ostream* progress = ::isatty(STDERR_FILENO) != 0 ? &std::cerr : nullptr;
    int status = 1;
    try {
      status = std::string_view(argv[1]) == "sweep" ? sweep::sweep_command(args, std::cout, std::cerr, progress)
                                                    : sweep::optimize_command(args, std::cout, std::cerr, progress);
    } catch (const io::RunError& e) {
      std::cerr << e.what() << '\n';
    } catch (const std::exception& e) {
      std::cerr << diag::render(diag::error(e.what())) << '\n';
    }
    std::cout.flush();
    if (!std::cout) {
      std::cerr << diag::render(console_lost()) << '\n';
      return status == 0 ? 1 : status;
    }
    return status;
  }
  CLI::App app{
      "RAVOST designs a shaped, axially symmetric dual-reflector antenna from a normalised\n"
      "geometry, a feed beamwidth and a wanted aperture distribution.",
      "ravost"};
  dialog::RunOptions options;
  bool use_double = false;
  std::string answers;
  app.add_flag("--double", use_double,
               "Compute the design in 64-bit reals (default: 32-bit, as the listings have always "
               "been computed)");
  app.add_option("INPUT", answers,
                 "A design file (ending in .toml): check it whole, then run it; or an answer "
                 "file: run it as if \"y\" and its name had been typed at the first two questions")
      ->check(CLI::ExistingFile);
  bool to_toml = false;
  app.add_flag("--to-toml", to_toml,
               "Print the design file equivalent to the answer file INPUT, and write nothing "
               "else");
  std::string report_dir;
  std::string wavelength_text;
  auto* report = app.add_option("--report", report_dir,
                                "When the run ends normally, write the design report (ray trace, "
                                "efficiencies, far field; JSON, SVG, CSV, HTML) into this folder");
  report->check([](const std::string& dir) -> std::string {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec)) {
      return "the report folder \"" + dir + "\" is a file";
    }
    return {};
  });
  app.add_option("--wavelength", wavelength_text,
                 "Wavelength for the report, in the unit of the main-reflector diameter "
                 "(default: D/lambda = 100)")
      ->check([](const std::string& text) -> std::string {
        if (positive_number(text)) return {};
        return "--wavelength must be a positive number (in the unit of the diameter), not \"" +
               text + "\"";
      })
      ->needs(report);
  bool physical_optics = false;
  app.add_flag("--physical-optics", physical_optics,
               "Add the physical optics of the design to the report (directivity, spillover, "
               "co- and cross-polar cuts)")
      ->needs(report);
  std::string feed_file;
  app.add_option("--feed", feed_file,
                 "Shape for the feed pattern in FILE (a table of angle and power in dB, or "
                 "pattern cuts; told by content) instead of asking for a beamwidth")
      ->type_name("FILE");
  app.set_version_flag("--version", std::string("ravost ") + RAVOST_VERSION);
  app.get_formatter()->column_width(22);
  app.footer(
      "Files: ravost.out (the listing) in the working directory; plot, surface and object files "
      "as answered.\nExit status: 0 at a normal end, 1 after an error report or a stop of the "
      "dialog, 2 for a wrong command line, 130/143 when interrupted.\n"
      "Sweeps and optimisation: ravost sweep --help, ravost optimize --help.");
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
    if (const auto colon = what.find(": --wavelength"); colon != std::string::npos) {
      what = what.substr(colon + 2);
    }
    std::cerr << diag::render(diag::error(what)) << '\n'
              << "Usage: ravost [--double] [--feed FILE] [--report DIR [--wavelength W] [--physical-optics]] "
                 "[ANSWERS | DESIGN.toml] (ravost --help for more)\n";
    return 2;
  }
  if (to_toml && answers.empty()) {
    std::cerr << "ravost: --to-toml needs an answer file\n";
    return 2;
  }
  if (use_double) options.precision = dialog::Precision::double_;
  options.show_progress = ::isatty(STDERR_FILENO) != 0;
  if (!answers.empty()) options.answer_file = answers;
  if (!report_dir.empty()) {
    options.report = writers::ReportRequest{report_dir, wavelength_text.empty() ? 0.0 : std::stod(wavelength_text),
                                            physical_optics};
    // A report that cannot be written is found before any question.
    if (const auto problem = io::folder_problem(report_dir)) {
      std::cerr << diag::render(*problem) << '\n';
      return 1;
    }
  }

  const bool design_file = std::filesystem::path(answers).extension() == ".toml";
  if (!feed_file.empty()) {
    if (design_file) {
      std::cerr << diag::render(diag::error("--feed is for the dialog and answer files; a design file "
                                            "names its feed in its [feed] section."))
                << '\n';
      return 2;
    }
    // The feed is read whole before any question: a bad file ends the run
    // with its line.
    feedfile::ReadResult feed = feedfile::read(feed_file, feed_file);
    if (!feed.table) {
      std::cerr << diag::render(*feed.error) << '\n';
      return 1;
    }
    design::FeedSpec feed_choice;
    feed_choice.model = feed.format;
    feed_choice.file = feed_file;
    feed_choice.table = std::make_shared<const design::FeedTable>(std::move(*feed.table));
    options.feed = feed_choice;
  }

  std::ios::sync_with_stdio(false);
  io::install_interrupt_handlers();
  int status = 0;
  if (to_toml) {
    status = app::answers_to_design_file(answers, std::cout, std::cerr, ".", options);
  } else if (design_file) {
    status = app::run_design_file(answers, std::cout, std::cerr, ".",
                                  app::DesignFileOptions{use_double, options.report, options.show_progress});
  } else {
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    dialog::Chosen chosen;
    io::InterruptibleInput input_buffer(STDIN_FILENO);
    std::istream input(&input_buffer);
    status = dialog::run(input, std::cout, std::cerr, ".", terminal, options, &chosen);
    // A person's answers are kept, so that a run can be repeated or mended
    // one line at a time.
    if (terminal && !chosen.typed_answers.empty()) {
      const auto problem = app::save_typed_answers(chosen, ".");
      if (problem) std::cerr << diag::render(*problem) << '\n';
      if (status != 0 && !problem) {
        std::cerr << "The answers typed are saved in ravost.ans: mend the one at fault and run "
                     "\"ravost ravost.ans\".\n";
      }
    }
  }
  // Output that never arrived (a full disk, a closed pipe) is a failure too.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << diag::render(console_lost()) << '\n';
    return status == 0 ? 1 : status;
  }
  return status;
}
