#include "io/folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "io/files.h"

namespace io {
namespace fs = std::filesystem;

FolderWriter::FolderWriter(fs::path dir) : dir_(std::move(dir)) {
  std::error_code ec;
  if (fs::exists(dir_, ec) && !fs::is_directory(dir_, ec)) {
    throw RunError("Error: the folder \"" + dir_.string() + "\" is a file.");
  }
  if (!fs::exists(dir_, ec)) {
    created_dir_ = fs::create_directories(dir_, ec);
    if (ec || !fs::is_directory(dir_)) {
      throw RunError("Error: cannot create the folder \"" + dir_.string() + "\"" +
                     (ec ? ": " + ec.message() : std::string()) + ".");
    }
  }
  staging_ = dir_ / ("." + std::to_string(::getpid()) + ".staged");
  fs::remove_all(staging_, ec);
  if (!fs::create_directory(staging_, ec) || ec) {
    const std::string why = ec ? ": " + ec.message() : std::string();
    staging_.clear();
    discard();
    throw RunError("Error: cannot write into the folder \"" + dir_.string() + "\"" + why + ".");
  }
}

FolderWriter::~FolderWriter() { discard(); }

void FolderWriter::discard() {
  std::error_code ec;
  if (!staging_.empty()) fs::remove_all(staging_, ec);
  staging_.clear();
  if (created_dir_ && !committed_) fs::remove(dir_, ec);  // only if it is empty
  created_dir_ = false;
}

void FolderWriter::write(const std::string& name, std::string_view contents) {
  const fs::path path = staging_ / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    throw RunError("Error: cannot create the file \"" + (dir_ / name).string() +
                   "\": " + std::strerror(errno) + ".");
  }
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  if (!out) {
    throw RunError("Error: cannot write the file \"" + (dir_ / name).string() + "\".");
  }
  names_.push_back(name);
}

void FolderWriter::commit() {
  for (const std::string& name : names_) {
    std::error_code ec;
    fs::rename(staging_ / name, dir_ / name, ec);
    if (ec) {
      throw RunError("Error: cannot write the file \"" + (dir_ / name).string() +
                     "\": " + ec.message() + ".");
    }
  }
  committed_ = true;
  discard();
}

std::string folder_problem(const fs::path& dir) {
  try {
    FolderWriter probe(dir);
    probe.write(".probe", "");
  } catch (const RunError& e) {
    std::string text = e.what();
    if (text.rfind("Error: ", 0) == 0) text.erase(0, 7);
    return text;
  }
  return {};
}

}  // namespace io
