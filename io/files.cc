#include "io/files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace io {

std::string sentence_case(std::string_view what) {
  std::string text(what);
  if (text.empty() || text[0] < 'A' || text[0] > 'Z') return text;
  // An ordinary word: its other letters are all lower case ("The", "A");
  // an abbreviation ("TOML") keeps its capitals.
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= 'A' && c <= 'Z') return text;
    if (!(c >= 'a' && c <= 'z')) break;
  }
  text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

std::string error_text(std::string_view what) { return "Error: " + sentence_case(what); }

std::string error_in(std::string_view file, long line, std::string_view what) {
  return "Error in " + std::string(file) + ", line " + std::to_string(line) + ": " +
         sentence_case(what);
}

OutFile::OutFile(const std::filesystem::path& path, std::string name, Mode mode) {
  if (std::string problem = open(path, std::move(name), mode); !problem.empty()) {
    throw RunError(error_text(problem));
  }
}

OutFile::OutFile(OutFile&& other) noexcept { *this = std::move(other); }

OutFile& OutFile::operator=(OutFile&& other) noexcept {
  if (this != &other) {
    discard();
    out_ = std::move(other.out_);
    name_ = std::move(other.name_);
    target_ = std::move(other.target_);
    temporary_ = std::move(other.temporary_);
    other.temporary_.clear();
  }
  return *this;
}

OutFile::~OutFile() { discard(); }

void OutFile::discard() {
  if (out_.is_open()) out_.close();
  if (!temporary_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temporary_, ec);
    temporary_.clear();
  }
}

std::string OutFile::open(const std::filesystem::path& path, std::string name, Mode mode) {
  discard();
  name_ = std::move(name);
  target_ = path;
  const std::string cannot = "The file \"" + name_ + "\" cannot be created";
  if (name_.empty()) return "A file needs a name.";
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) return cannot + ": it is a folder.";
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  if (!std::filesystem::is_directory(folder, ec)) return cannot + ": its folder does not exist.";

  const bool beside = mode == Mode::replace_when_complete &&
                      (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status));
  if (beside) {
    std::string part = ".";
    part.append(path.filename().string()).append(".").append(std::to_string(::getpid()));
    part.append(".part");
    temporary_ = folder / part;
    out_.open(temporary_, std::ios::binary | std::ios::trunc);
  } else {
    out_.open(path, std::ios::binary | std::ios::trunc);
  }
  if (!out_.is_open()) {
    const int error = errno;
    temporary_.clear();
    return cannot + (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) + ".";
  }
  return {};
}

void OutFile::line(std::string_view text) { out_ << text << "\r\n"; }

void OutFile::flush() {
  if (out_.is_open()) out_.flush();
}

void OutFile::close() {
  if (!out_.is_open()) return;
  out_.flush();
  const bool failed = !out_;
  out_.close();
  if (failed || out_.fail()) {
    discard();
    throw RunError("Error: cannot write the file \"" + name_ + "\".");
  }
  if (!temporary_.empty()) {
    std::error_code ec;
    std::filesystem::rename(temporary_, target_, ec);
    if (ec) {
      discard();
      throw RunError("Error: cannot write the file \"" + name_ + "\": " + ec.message() + ".");
    }
    temporary_.clear();
  }
}

}  // namespace io
