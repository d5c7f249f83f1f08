#include "dialog/files.h"

namespace dialog {

std::string file_name(std::string_view answer) {
  size_t end = answer.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view{} : answer.substr(0, end + 1));
}

OutFile::OutFile(const std::filesystem::path& path, std::string name) : name_(std::move(name)) {
  std::error_code ec;
  if (!name_.empty() && !std::filesystem::is_directory(path, ec)) {
    out_.open(path, std::ios::binary | std::ios::trunc);
  }
  if (!out_.is_open()) {
    throw RunError("Error: cannot create the file \"" + name_ + "\".");
  }
}

OutFile::~OutFile() {
  if (out_.is_open()) out_.close();
}

void OutFile::line(std::string_view text) {
  out_ << text << "\r\n";
}

void OutFile::close() {
  if (!out_.is_open()) return;
  out_.flush();
  bool failed = !out_;
  out_.close();
  if (failed) throw RunError("Error: cannot write the file \"" + name_ + "\".");
}

}  // namespace dialog
