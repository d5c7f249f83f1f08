// A folder of files written as one, such as the design report: the files are
// staged in a hidden folder inside the target folder and moved into it only
// when commit() is called.  A writer destroyed without commit() removes what
// it staged (and the folders it created), so a failed run leaves the old
// files whole and no partial set of new ones.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diag/diagnostic.h"

namespace io {

class FolderWriter {
 public:
  // Creates the folder (and any missing folders above it) and a staging
  // folder inside it; throws RunError when either cannot be created.
  explicit FolderWriter(std::filesystem::path dir);
  FolderWriter(const FolderWriter&) = delete;
  FolderWriter& operator=(const FolderWriter&) = delete;
  ~FolderWriter();

  // Stages one file of the folder with these contents (bytes as given); a
  // name staged again is replaced.  `name` is a plain file name, without a
  // folder.  Throws RunError when the file cannot be written.
  void write(const std::string& name, std::string_view contents);
  // Names of files that this kind of folder may hold (plain names, as
  // write() takes them): at commit, a regular file of one of these names
  // that was not staged now is an earlier run's and is removed, so that the
  // folder holds this run's files alone.  Other files are never touched.
  void own(std::vector<std::string> names);
  // Moves every staged file into the folder, replacing older files, and
  // removes the owned files not staged.  Either all of that happens or,
  // when a file cannot take its place (a folder of that name is in the way,
  // say), none does: the files already moved are taken back, the older files
  // restored, and RunError is thrown.
  void commit();

  const std::filesystem::path& dir() const { return dir_; }

 private:
  void discard();

  std::filesystem::path dir_;
  std::filesystem::path staging_;  // empty once committed or discarded
  std::vector<std::string> names_;
  std::vector<std::string> owned_;
  std::vector<std::filesystem::path> created_;  // folders this writer created, innermost first
  bool committed_ = false;
  bool keep_staging_ = false;      // older files could not be put back and are kept there
};

// Whether files can be created in `dir` (created if missing, and removed
// again when it was): nothing, or what is wrong.
std::optional<diag::Diagnostic> folder_problem(const std::filesystem::path& dir);

}  // namespace io
