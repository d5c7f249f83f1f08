// Every file the program writes goes through here: a text file written
// beside its name and renamed when complete, and a folder of files (the
// report) staged and moved into place whole.  A failure is a RunError, the
// one way a run ends early with a report: it carries diagnostics.
#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "diag/diagnostic.h"

namespace io {

// Ends the run at once with an error report (its diagnostics, rendered as one
// or two lines) on standard error and in the listing file, and a non-zero
// exit status.
class RunError : public diag::Failure {
 public:
  using diag::Failure::Failure;
};

// An output text file.  Every line ends with CR LF (the listing, plot,
// surface and object files, in the layouts other tools read) or with LF
// alone (the files only this program reads and writes: saved answers and
// design files, which people edit with line-based tools).
//
// A file written whole by one stage goes to a temporary file beside it and
// takes its name only when close() has written it completely: a run that
// fails part-way leaves no half-written file behind, and an older file of
// that name survives.  A name that is not a regular file (a device such as
// /dev/null) is written in place.  The listing file is written in place
// from the start, so that whatever the run printed stays in it.
class OutFile {
 public:
  enum class Mode { replace_when_complete, in_place };
  enum class LineEnd { crlf, lf };

  OutFile() = default;
  // Opens `path`; a file that cannot be created ends the run with a report
  // naming `name` (the name as the user gave it).
  OutFile(const std::filesystem::path& path, std::string name, Mode mode, LineEnd end = LineEnd::crlf);
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  OutFile(OutFile&& other) noexcept;
  OutFile& operator=(OutFile&& other) noexcept;
  ~OutFile();

  // Opens `path`; returns what is wrong (a sentence) when it cannot be
  // created, or an empty text.
  std::string open(const std::filesystem::path& path, std::string name, Mode mode,
                   LineEnd end = LineEnd::crlf);

  // Writes text followed by the file's line end.
  void line(std::string_view text);
  // Pushes what is written so far to the file.
  void flush();
  // Flushes and closes; a file written beside its name takes the name now.
  // A write that failed ends the run with a report.
  void close();

  bool is_open() const { return out_.is_open(); }
  std::ostream& stream() { return out_; }
  const std::string& name() const { return name_; }

 private:
  void discard();

  std::ofstream out_;
  std::string name_;
  std::filesystem::path target_;
  std::filesystem::path temporary_;  // empty when written in place
  LineEnd end_ = LineEnd::crlf;
};

}  // namespace io
