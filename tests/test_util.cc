#include "tests/test_util.h"

#include <sys/wait.h>

#include <cstdlib>

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>

#include "dialog/stages.h"

namespace testutil {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("ravost-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ProgramExit run_program(const std::filesystem::path& dir, const std::string& args) {
  const std::string command = "cd '" + dir.string() + "' && '" RAVOST_BINARY "' " + args +
                              " </dev/null >stdout 2>stderr";
  const int status = std::system(command.c_str());
  ProgramExit e;
  e.signalled = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) >= 128);
  e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  e.out = read_file(dir / "stdout");
  e.err = read_file(dir / "stderr");
  std::filesystem::remove(dir / "stdout");
  std::filesystem::remove(dir / "stderr");
  return e;
}

void write_file(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

std::vector<std::string> crlf_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated line: " << text.substr(start);
    if (end == std::string::npos) break;
    EXPECT_EQ(text.find('\n', start), end + 1) << "bare line feed";
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

design::DesignSpec example_choices() {
  design::DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.12};
  s.feed = {40.0, -10.0};
  s.aperture.kind = design::Distribution::uniform;
  s.synthesis = {0.001, 0.02};
  s.precision = design::Precision::single;
  return s;
}

StageRun::StageRun(const std::string& answers, bool from_file)
    : console_in(from_file ? "" : answers),
      file_in(answers),
      dialog(console_in, console_out),
      listing(dir.path() / "ravost.out", "ravost.out", io::OutFile::Mode::in_place),
      context{run::Console{[this](std::string_view text) { dialog.line(text); },
                           [this](const diag::Diagnostic& d) { dialog.warn(diag::render(d)); },
                           [this](std::string_view message) { dialog.pause(message); }},
              listing, dir.path()},
      session{dialog, context} {
  if (from_file) dialog.use_answer_file(file_in, "design.ans");
}

std::string StageRun::listing_text() {
  listing.close();
  return read_file(dir.path() / "ravost.out");
}

FiveRays five_rays(const std::array<float, 5>& sub_r, const std::array<float, 5>& sub_z) {
  FiveRays f;
  design::DesignSpec choices = example_choices();
  choices.geometry.main_inner_radius = 0.2;
  f.in = design::make_design<float>(choices);
  f.table.counts.steps_per_output = 1;
  f.table.counts.output_steps = 4;
  const float main_r[] = {0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
  const float main_z[] = {-0.96f, -0.84f, -0.64f, -0.36f, 0.0f};
  for (size_t i = 0; i < 5; ++i) {
    f.table.rays.push_back({0.0f, sub_z[i], sub_r[i], main_z[i], main_r[i], 0.0f});
  }
  return f;
}

design::ScaledDesign<float> scaled_design(const std::string& scaling_answers) {
  const FiveRays f = five_rays({0.4f, 0.3f, 0.2f, 0.1f, 0.0f}, {0.84f, 0.91f, 0.96f, 0.99f, 1.0f});
  StageRun setup(scaling_answers);
  return dialog::scaling_stage(f.table, f.in, setup.session);
}

int significant_digits(const std::string& number) {
  const std::string mantissa = number.substr(0, number.find_first_of("eE"));
  std::string digits;
  for (char ch : mantissa)
    if (ch >= '0' && ch <= '9') digits += ch;
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 1;
  digits = digits.substr(first);
  if (mantissa.find('.') == std::string::npos)
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return static_cast<int>(digits.size());
}

std::vector<NumberLabel> number_labels(const std::string& svg) {
  static const std::regex text("<text([^>]*)>([^<]*)</text>");
  static const std::regex number("-?[0-9]+(\\.[0-9]*)?([eE][-+]?[0-9]+)?");
  static const std::regex anchor("text-anchor=\"([a-z]+)\"");
  std::vector<NumberLabel> out;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator(); ++it) {
    const std::string attributes = (*it)[1], content = (*it)[2];
    if (!std::regex_match(content, number)) continue;
    std::smatch a;
    out.push_back({content, std::regex_search(attributes, a, anchor) ? a[1].str() : std::string()});
  }
  return out;
}

}  // namespace testutil
