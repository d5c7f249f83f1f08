#include "app/design_file_run.h"

#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "designfile/design_file.h"
#include "io/folder.h"
#include "io/interrupt.h"
#include "run/messages.h"
#include "run/pipeline.h"
#include "run/summary.h"
#include "writers/frequency.h"

namespace app {
namespace {

// Writes each line of a report (lines separated by \n) to the listing.
void to_listing(io::OutFile& listing, std::string_view report) {
  for (std::size_t start = 0; start <= report.size();) {
    const std::size_t end = std::min(report.find('\n', start), report.size());
    listing.line(report.substr(start, end - start));
    start = end + 1;
  }
}

// The feed file's name (as given on the command line, from the working
// folder) as a design file in `folder` must write it: a design file reads it
// relative to its own folder.  Relative when a relative name leads from
// there to the file, absolute otherwise (no folder known, or another root).
std::string feed_file_from(const std::string& given, const std::optional<std::filesystem::path>& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target = fs::absolute(given, ec).lexically_normal();
  if (ec) return given;
  if (!folder) return target.string();
  const fs::path base = fs::absolute(*folder, ec).lexically_normal();
  if (ec) return target.string();
  const fs::path relative = target.lexically_relative(base);
  // The reader joins the name to its folder lexically: the name must lead back.
  if (relative.empty() || (base / relative).lexically_normal() != target) return target.string();
  return relative.generic_string();
}

// The choices with a tabulated feed's file named as a design file in
// `folder` reaches it.
design::DesignSpec with_feed_from(design::DesignSpec choices, const std::optional<std::filesystem::path>& folder) {
  if (choices.feed.model != design::FeedModelKind::beamwidth && choices.feed.model != design::FeedModelKind::gaussian &&
      !choices.feed.file.empty()) {
    choices.feed.file = feed_file_from(choices.feed.file, folder);
  }
  return choices;
}

// Whether the answer file at `path` holds the lines of `text` (line ends
// aside: an older file ends its lines with CR LF).
bool same_answers(const std::filesystem::path& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  std::string old;
  for (char c; in.get(c);) {
    if (c != '\r') old += c;
  }
  return old == text;
}

}  // namespace

std::optional<diag::Diagnostic> apply_report_options(const ReportOptions& options, writers::OutputPlan& plan) {
  if (options.dir) {
    if (plan.report) {
      plan.report->dir = *options.dir;
    } else {
      plan.report = writers::ReportRequest{*options.dir};
    }
  }
  if (!options.given()) return std::nullopt;
  if (!plan.report) {
    return diag::error(std::string(options.first_given()) +
                       " is for the design report: give --report DIR, or a [report] section in the design file.");
  }
  writers::ReportRequest& request = *plan.report;
  if (options.physical_optics) request.physical_optics = true;
  if (options.wavelength) request.wavelength = *options.wavelength;
  if (options.frequency) {
    const std::optional<writers::LengthUnit> unit = writers::length_unit_of(plan);
    if (!unit) {
      return diag::error(
          "--frequency needs the design's length unit: add unit = \"mm\" (or \"in\", \"ft\", \"m\") to the "
          "design file's [scale] section, or give --wavelength in the unit of the diameter.");
    }
    const std::optional<double> wavelength = writers::wavelength_in(*options.frequency, *unit);
    if (!wavelength) {
      return diag::error("--frequency gives a wavelength out of range in the design's unit (\"" +
                         std::string(writers::unit_name(*unit)) + "\").");
    }
    request.wavelength = *wavelength;
    request.frequency = options.frequency;
  }
  return std::nullopt;
}

int run_design_file(const std::filesystem::path& path, std::ostream& out, std::ostream& err,
                    const std::filesystem::path& dir, const DesignFileOptions& options) {
  designfile::ReadResult read = designfile::read(path);
  if (!read.file) {
    for (const diag::Diagnostic& d : read.errors) err << diag::render(d) << '\n';
    err.flush();
    return 1;
  }
  designfile::DesignFile& file = *read.file;
  if (options.force_double && file.choices.precision != design::Precision::double_) {
    // The file was checked in 32 bits; a 64-bit design is checked again.
    file.choices.precision = design::Precision::double_;
    const std::vector<design::Problem> problems = design::validate(file.choices);
    for (const design::Problem& p : problems) {
      diag::Diagnostic d = diag::at(run::diagnose(p), path.string(), 0);
      d.key = designfile::key_of(p);
      err << diag::render(d) << '\n';
    }
    if (!problems.empty()) return 1;
  }
  if (const auto problem = apply_report_options(options.report, file.plan)) {
    err << diag::render(*problem) << '\n';
    err.flush();
    return 2;
  }
  // A report folder that cannot be written is found before any work.
  if (file.plan.report) {
    if (const auto problem = io::folder_problem(file.plan.report->dir)) {
      err << diag::render(*problem) << '\n';
      err.flush();
      return 1;
    }
  }

  io::OutFile listing;
  run::Context context{
      run::Console{[&out](std::string_view text) { out << text << '\n'; },
                   [&out, &err](const diag::Diagnostic& d) {
                     out.flush();
                     err << diag::render(d) << '\n';
                     err.flush();
                   },
                   [&out](std::string_view message) { out << message << '\n'; }},
      listing, dir};
  if (options.show_progress) context.console.progress = &err;
  try {
    listing = io::OutFile(dir / "ravost.out", "ravost.out", io::OutFile::Mode::in_place);
    context.run_files.push_back(dir / "ravost.out");
    context.run_files.push_back(path);  // no output may overwrite the design file
    const run::RunResult result = run::run_design(file.choices, file.plan, {}, context);
    listing.close();
    if (options.show_summary) {
      out.flush();
      err << run::render(run::summarise(result));
      err.flush();
    }
  } catch (const io::RunError& e) {
    out.flush();
    if (listing.is_open()) {
      to_listing(listing, e.what());
      try {
        listing.close();
      } catch (const io::RunError&) {
        // The report below names the first failure.
      }
    }
    err << e.what() << '\n';
    err.flush();
    if (const auto* signal = dynamic_cast<const io::Interrupted*>(&e)) return signal->exit_status();
    return 1;
  }
  out.flush();
  return 0;
}

std::optional<diag::Diagnostic> save_typed_answers(const dialog::Chosen& chosen, const std::filesystem::path& dir,
                                                   bool* kept_previous) {
  namespace fs = std::filesystem;
  if (kept_previous) *kept_previous = false;
  try {
    const fs::path path = dir / "ravost.ans";
    io::OutFile answers(path, "ravost.ans", io::OutFile::Mode::replace_when_complete, io::OutFile::LineEnd::lf);
    std::string text;
    for (const std::string& line : chosen.typed_answers) {
      answers.line(line);
      text.append(line).append("\n");
    }
    // The answers of an earlier dialog are set aside as ravost.ans~ before
    // the new ones take their name, unless they are the same answers: a
    // dialog ended after one answer must not cost a complete set.
    std::error_code ec;
    if (fs::is_regular_file(path, ec) && !same_answers(path, text)) {
      const fs::path previous = dir / "ravost.ans~";
      fs::rename(path, previous, ec);
      if (ec) {
        throw io::RunError(diag::error("cannot keep the earlier answers as \"ravost.ans~\": " + ec.message() +
                                       "; the answers typed are not saved."));
      }
      if (kept_previous) *kept_previous = true;
    }
    answers.close();
    if (chosen.complete) {
      io::OutFile design(dir / "ravost.toml", "ravost.toml", io::OutFile::Mode::replace_when_complete,
                         io::OutFile::LineEnd::lf);
      const std::string toml = designfile::to_toml(with_feed_from(chosen.choices, dir), chosen.plan);
      for (std::size_t start = 0; start < toml.size();) {
        const std::size_t end = std::min(toml.find('\n', start), toml.size());
        design.line(std::string_view(toml).substr(start, end - start));
        start = end + 1;
      }
      design.close();
    }
  } catch (const io::RunError& e) {
    return e.diagnostics().front();
  }
  return std::nullopt;
}

int answers_to_design_file(const std::string& answers, std::ostream& out, std::ostream& err,
                           const std::filesystem::path& dir, const dialog::RunOptions& options,
                           const std::optional<std::filesystem::path>& written_in) {
  dialog::RunOptions dry = options;
  dry.answer_file = answers;
  dry.dry = true;
  std::istringstream no_console;
  std::ostringstream console;
  dialog::Chosen chosen;
  const int status = dialog::run(no_console, console, err, dir, false, dry, &chosen);
  if (status != 0) return status;
  if (!chosen.complete) {
    err << diag::render(diag::at(diag::error("the answers stop the dialog before the design is complete."),
                                 answers, 0))
        << '\n';
    return 1;
  }
  const std::string text = designfile::to_toml(with_feed_from(chosen.choices, written_in), chosen.plan);
  // Names and labels an answer file takes may hold bytes a design file
  // cannot (it is UTF-8 text): the design file must read back as written.
  const designfile::ReadResult back = designfile::parse(text, "design.toml", written_in.value_or(std::filesystem::path()));
  if (!back.file) {
    const std::string why = back.errors.empty() ? std::string("it cannot be read") : diag::text(back.errors.front());
    err << diag::render(diag::error("the answers of \"" + answers + "\" make no design file that reads back: " + why))
        << '\n';
    return 1;
  }
  out << text;
  out.flush();
  return out ? 0 : 1;
}

}  // namespace app
