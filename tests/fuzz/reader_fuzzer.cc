// libFuzzer target for the answer reader: the input is an answer file, read
// through every kind of answer in turn until it runs out.  Any input must end
// in answers or in the run's error report, never in a crash.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "dialog/dialog.h"
#include "dialog/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream console, file(text);
  std::ostringstream out;
  dialog::Dialog dialog(console, out);
  dialog.use_answer_file(file, "fuzz.ans");
  try {
    for (int round = 0; round < 64; ++round) {
      float a = 0, b = 0, c = 0;
      int n = 0;
      switch (round % 6) {
        case 0: dialog.read_yes(); break;
        case 1: dialog.read("a", a); break;
        case 2: dialog.read("a and b", a, b); break;
        case 3: dialog.read("n", n); break;
        case 4: dialog.read_range("range", a, b, c); break;
        case 5: dialog.read_text("text", round % 2 ? 40 : 70); break;
      }
    }
  } catch (const dialog::RunError&) {
  }
  return 0;
}
