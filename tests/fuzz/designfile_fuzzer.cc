// libFuzzer target for design files: any input ends in a design or in error
// lines, never in a crash, and a design that is read writes a file that
// reads back as the same design.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "designfile/design_file.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const designfile::ReadResult r = designfile::parse(text, "fuzz.toml");
  if (!r.file) {
    check(!r.errors.empty());
    for (const diag::Diagnostic& d : r.errors) {
      const std::string line = diag::render(d);
      check(line.rfind("Error in fuzz.toml", 0) == 0);
      check(line.find('\n') == std::string::npos);
    }
    return 0;
  }
  check(r.errors.empty());
  const std::string written = designfile::to_toml(r.file->choices, r.file->plan);
  const designfile::ReadResult back = designfile::parse(written, "written.toml");
  check(back.file.has_value());
  check(designfile::to_toml(back.file->choices, back.file->plan) == written);
  return 0;
}
