#include "io/files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace io {

OutFile::OutFile(const std::filesystem::path& path, std::string name, Mode mode, LineEnd end) {
  if (std::string problem = open(path, std::move(name), mode, end); !problem.empty()) {
    throw RunError(diag::error(problem));
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
    end_ = other.end_;
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

std::string OutFile::open(const std::filesystem::path& path, std::string name, Mode mode, LineEnd end) {
  discard();
  name_ = std::move(name);
  target_ = path;
  end_ = end;
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

void OutFile::line(std::string_view text) { out_ << text << (end_ == LineEnd::crlf ? "\r\n" : "\n"); }

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
    throw RunError(diag::error("cannot write the file \"" + name_ + "\"."));
  }
  if (!temporary_.empty()) {
    std::error_code ec;
    std::filesystem::rename(temporary_, target_, ec);
    if (ec) {
      discard();
      throw RunError(diag::error("cannot write the file \"" + name_ + "\": " + ec.message() + "."));
    }
    temporary_.clear();
  }
}

}  // namespace io
