// How a run ends early, and the output text files.
#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dialog {

// Ends the run at once with an error report (one or two lines) on the console
// and a non-zero exit status.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A stop asked for by the design dialog: "Stop - Program terminated.", status 0.
struct DialogStop {};

// A file name as answered: the text without its trailing blanks.
std::string file_name(std::string_view answer);

// An output text file, created or rewritten from its start.  Every line ends
// with CR LF.  The file is flushed and closed when the object goes away, on
// every path out of the run.
class OutFile {
 public:
  // Opens `path`; a file that cannot be created ends the run with a report
  // naming `name` (the name as the user gave it).
  OutFile(const std::filesystem::path& path, std::string name);
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  ~OutFile();

  // Writes text followed by CR LF.
  void line(std::string_view text);
  // Flushes and closes; a write that failed ends the run with a report.
  void close();

  const std::string& name() const { return name_; }

 private:
  std::ofstream out_;
  std::string name_;
};

}  // namespace dialog
