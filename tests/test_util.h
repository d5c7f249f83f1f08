// Helpers shared by the test programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

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

// The lines of a text whose every line ends in CR LF, without their ends.  A
// line without CR LF or a bare line feed fails the calling test.
std::vector<std::string> crlf_lines(const std::string& text);

}  // namespace testutil
