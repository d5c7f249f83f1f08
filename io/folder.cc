#include "io/folder.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "io/files.h"

namespace io {
namespace fs = std::filesystem;
namespace {

std::string quoted(const fs::path& p) {
  std::string text = "\"";
  text.append(p.string()).append("\"");
  return text;
}

// A name no other writer uses: the process and a count within it, so that two
// writers into one folder (or a probe beside a writer) keep apart.
std::string staging_name() {
  static std::atomic<unsigned> count{0};
  std::string name = ".";
  name.append(std::to_string(::getpid())).append("-").append(std::to_string(count++)).append(".staged");
  return name;
}

// Staged files wait in one sub-folder of the staging folder; older files they
// replace are set aside in the other until the commit is complete.
constexpr const char* kIncoming = "new";
constexpr const char* kReplaced = "old";

}  // namespace

FolderWriter::FolderWriter(fs::path dir) : dir_(std::move(dir)) {
  std::error_code ec;
  const fs::file_status status = fs::status(dir_, ec);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw RunError(diag::error("the folder " + quoted(dir_) + " is a file."));
  }
  if (!fs::exists(status)) {
    // The folder and every missing folder above it, innermost first: all of
    // them go again if the writer is not committed.
    for (fs::path p = dir_; !p.empty() && fs::status(p, ec).type() == fs::file_type::not_found; p = p.parent_path()) {
      created_.push_back(p);
      if (p.parent_path() == p) break;
    }
    fs::create_directories(dir_, ec);
    if (ec || !fs::is_directory(dir_)) {
      const std::string why = ec ? ": " + ec.message() : std::string();
      discard();
      throw RunError(diag::error("cannot create the folder " + quoted(dir_) + why + "."));
    }
  }
  for (int attempt = 0; attempt < 100 && staging_.empty(); ++attempt) {
    const fs::path candidate = dir_ / staging_name();
    if (fs::create_directory(candidate, ec)) staging_ = candidate;  // false: the name is taken
    if (ec) break;
  }
  if (!staging_.empty()) fs::create_directory(staging_ / kIncoming, ec);
  if (staging_.empty() || ec) {
    const std::string why = ec ? ": " + ec.message() : std::string();
    discard();
    throw RunError(diag::error("cannot write into the folder " + quoted(dir_) + why + "."));
  }
}

FolderWriter::~FolderWriter() { discard(); }

void FolderWriter::discard() {
  std::error_code ec;
  if (!staging_.empty() && !keep_staging_) fs::remove_all(staging_, ec);
  staging_.clear();
  if (!committed_) {
    // Each created folder only if it is empty; the first that is not ends it.
    for (const fs::path& p : created_) {
      fs::remove(p, ec);
      if (ec) break;
    }
  }
  created_.clear();
}

void FolderWriter::write(const std::string& name, std::string_view contents) {
  const fs::path leaf(name);
  if (name.empty() || name == "." || name == ".." || leaf != leaf.filename()) {
    throw std::invalid_argument("FolderWriter: \"" + name + "\" is not a plain file name");
  }
  if (staging_.empty()) throw std::logic_error("FolderWriter: write after commit");
  const fs::path path = staging_ / kIncoming / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    throw RunError(diag::error("cannot create the file " + quoted(dir_ / name) + ": " + std::strerror(errno) + "."));
  }
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  if (!out) {
    throw RunError(diag::error("cannot write the file " + quoted(dir_ / name) + "."));
  }
  if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(name);
}

void FolderWriter::own(std::vector<std::string> names) {
  for (std::string& name : names) {
    const fs::path leaf(name);
    if (name.empty() || name == "." || name == ".." || leaf != leaf.filename()) {
      throw std::invalid_argument("FolderWriter: \"" + name + "\" is not a plain file name");
    }
    owned_.push_back(std::move(name));
  }
}

void FolderWriter::commit() {
  if (staging_.empty()) throw std::logic_error("FolderWriter: commit twice");
  const fs::path incoming = staging_ / kIncoming, replaced = staging_ / kReplaced;
  std::vector<std::string> set_aside, placed;
  std::string failure;
  std::error_code ec;
  // One file after the other: the older file (if any) aside, the new one in
  // its place.  A folder is never set aside: it is not ours to replace.
  for (const std::string& name : names_) {
    const fs::path target = dir_ / name;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (fs::is_directory(status)) {
      failure = "cannot write the file " + quoted(target) + ": a folder of that name is in the way.";
      break;
    }
    if (fs::exists(status)) {
      if (set_aside.empty()) fs::create_directory(replaced, ec);
      if (!ec) fs::rename(target, replaced / name, ec);
      if (ec) {
        failure = "cannot replace the file " + quoted(target) + ": " + ec.message() + ".";
        break;
      }
      set_aside.push_back(name);
    }
    fs::rename(incoming / name, target, ec);
    if (ec) {
      failure = "cannot write the file " + quoted(target) + ": " + ec.message() + ".";
      break;
    }
    placed.push_back(name);
  }
  // An earlier run's file that this run does not write goes aside with the
  // replaced ones: removed with them, or put back with them.
  for (const std::string& name : owned_) {
    if (!failure.empty()) break;
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) continue;
    const fs::path target = dir_ / name;
    if (!fs::is_regular_file(fs::symlink_status(target, ec))) continue;
    if (set_aside.empty()) fs::create_directory(replaced, ec);
    if (!ec) fs::rename(target, replaced / name, ec);
    if (ec) {
      failure = "cannot remove the earlier file " + quoted(target) + ": " + ec.message() + ".";
      break;
    }
    set_aside.push_back(name);
  }
  if (failure.empty()) {
    committed_ = true;
    discard();
    return;
  }
  // Take the new files back and put the older ones where they were.
  for (const std::string& name : placed) {
    if (std::find(set_aside.begin(), set_aside.end(), name) == set_aside.end()) fs::remove(dir_ / name, ec);
  }
  for (const std::string& name : set_aside) {
    fs::rename(replaced / name, dir_ / name, ec);
    if (ec) keep_staging_ = true;
  }
  if (keep_staging_) failure += " The older files are kept in " + quoted(replaced) + ".";
  throw RunError(diag::error(failure));
}

std::optional<diag::Diagnostic> folder_problem(const fs::path& dir) {
  try {
    FolderWriter probe(dir);
    probe.write(".probe", "");
  } catch (const RunError& e) {
    return e.diagnostics().front();
  }
  return std::nullopt;
}

}  // namespace io
