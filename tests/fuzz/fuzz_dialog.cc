// Answer-file fuzzer: generates answer files from seeds and runs the program
// on each in a scratch folder with a time limit.
//
// Every run must end with status 0 and a complete "ravost.out" (or a stop of
// the dialog), or with a non-zero status and an error report on standard
// error and at the end of ravost.out; never a signal, a sanitizer report, a
// time-out, a NaN in any output or a half-written file (".part") left behind.
//
//   fuzz_dialog --binary PATH [--seeds FIRST-LAST] [--timeout SECONDS] [--keep DIR]
//               [--arg ARGUMENT]...
//   fuzz_dialog --emit DIR [--seeds FIRST-LAST]
//
// --emit only writes the answer file of each seed as DIR/seed-N.ans, for
// comparing the output of two builds run by run (tests/fuzz/snapshot.sh).
//
// It prints one line per failing seed and closes with "N passed, M failed".
// The answer file of a failing seed is kept under --keep when given.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Rng = std::mt19937_64;

double uniform(Rng& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}
int pick(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

std::string num(double v) {
  std::ostringstream s;
  s.precision(6);
  s << v;
  return s.str();
}

// One answer file of a plausible design, every stage answered; the run stays
// short because the step counts are kept moderate.
std::vector<std::string> valid_design(Rng& rng) {
  std::vector<std::string> a;
  a.push_back(num(uniform(rng, 0.05, 0.5)));   // main hole to feed
  a.push_back(num(uniform(rng, 0.25, 0.8)));   // feed to subreflector rim
  a.push_back(num(uniform(rng, 0.1, 0.35)));   // subreflector radius
  a.push_back(num(uniform(rng, 0.05, 0.3)));   // main inner radius
  a.push_back(num(uniform(rng, 20, 90)) + (chance(rng, 0.5) ? ", " : " ") +
              num(-uniform(rng, 0, 20)));
  int kind = pick(rng, 1, 3);
  a.push_back(std::to_string(kind));
  if (kind == 2) a.push_back(num(uniform(rng, -20, 20)));
  if (kind == 3) {
    a.push_back(num(uniform(rng, 15, 40)));
    a.push_back(std::to_string(pick(rng, 1, 12)));
  }
  // Intervals whose rows end on the rim: a whole number of rows, each a
  // whole number of integration steps.
  const double hole = std::stod(a[3]);
  const double output = (1.0 - hole) / pick(rng, 5, 200);
  a.push_back(num(output / pick(rng, 1, 20)));
  a.push_back(num(output));
  bool plot = chance(rng, 0.5);
  a.push_back(plot ? "y" : "n");
  if (plot) a.push_back("figure.plt");
  a.push_back(num(uniform(rng, 0.5, 500)));
  bool extrapolate = chance(rng, 0.5);
  a.push_back(extrapolate ? "y" : "n");
  if (extrapolate) a.push_back(num(uniform(rng, 0.5, 600)));
  for (int k = 0; k < 2; ++k) {
    bool yes = chance(rng, 0.6);
    a.push_back(yes ? "y" : "n");
    if (yes) a.push_back(num(uniform(rng, -5, 50)) + " " + num(uniform(rng, -5, 60)) + " " +
                         num(uniform(rng, -5, 10)));
  }
  for (int k = 0; k < 2; ++k) {
    bool yes = chance(rng, 0.6);
    a.push_back(yes ? "y" : "n");
    if (yes) {
      a.push_back(k == 0 ? "main.rsf" : "sub.rsf");
      a.push_back(std::to_string(pick(rng, -2, 300)));
      a.push_back("label " + std::to_string(k));
    }
  }
  for (int k = 0; k < 2; ++k) {
    bool yes = chance(rng, 0.6);
    a.push_back(yes ? "y" : "n");
    if (yes) {
      a.push_back(k == 0 ? "main.tor" : "sub.tor");
      a.push_back(std::to_string(pick(rng, 1, 4)));
      a.push_back(std::to_string(pick(rng, -2, 1100)));
    }
  }
  return a;
}

std::string random_bytes(Rng& rng) {
  std::string s;
  int n = pick(rng, 0, 80);
  for (int i = 0; i < n; ++i) {
    char c = static_cast<char>(pick(rng, 0, 255));
    if (c == '\n') c = ' ';
    s += c;
  }
  return s;
}

std::string odd_number(Rng& rng) {
  static const char* values[] = {
      "0",        "-0",      "1e38",      "-1e38",   "3.4e38",  "1e39",      "1e-38",
      "1e-45",    "1e-50",   "NaN",       "nan",     "Infinity", "-Infinity", "inf",
      "-1",       "-1000",   "2147483647", "-2147483648", "99999999999", "1e9", "1000000",
      "0.0000001", "360",    "720",       "1,",      ",",       ",,",        "abc",
      "1.5",      "3*",      "2*0.1",     "/",       "+",       "-",         "1e",
      "5000",     "1001",    "1000",      "999",     "2",       "1"};
  return values[pick(rng, 0, static_cast<int>(std::size(values)) - 1)];
}

std::string odd_name(Rng& rng) {
  static const std::string names[] = {"",           " ",          ".",  "..",
                                      "/",          "no_such_folder/x.out", "ravost.out",
                                      "answers.ans", "./",        std::string(80, 'n')};
  return names[pick(rng, 0, 9)];
}

std::vector<std::string> answers_for(std::uint64_t seed) {
  Rng rng(seed);
  std::vector<std::string> a = valid_design(rng);
  switch (seed % 10) {
    case 0:  // the valid design as it stands
      break;
    case 1:  // truncated
      a.resize(static_cast<size_t>(pick(rng, 0, static_cast<int>(a.size()))));
      break;
    case 2:  // lines of random bytes
      for (int k = pick(rng, 1, 4); k > 0; --k) {
        a[static_cast<size_t>(pick(rng, 0, static_cast<int>(a.size()) - 1))] = random_bytes(rng);
      }
      break;
    case 3:  // huge, tiny, non-finite and malformed numbers
    case 4:
      for (int k = pick(rng, 1, 3); k > 0; --k) {
        a[static_cast<size_t>(pick(rng, 0, static_cast<int>(a.size()) - 1))] = odd_number(rng);
      }
      break;
    case 5:  // odd file names
      for (auto& line : a) {
        if (line.find('.') != std::string::npos && line.find_first_of("0123456789") == std::string::npos &&
            chance(rng, 0.7)) {
          line = odd_name(rng);
        }
      }
      break;
    case 6:  // answers shifted: one dropped or one repeated
      if (!a.empty()) {
        size_t at = static_cast<size_t>(pick(rng, 0, static_cast<int>(a.size()) - 1));
        if (chance(rng, 0.5)) {
          a.erase(a.begin() + static_cast<long>(at));
        } else {
          a.insert(a.begin() + static_cast<long>(at), a[at]);
        }
      }
      break;
    case 8:  // wild geometry, feed and intervals in an otherwise sound file
    case 9: {
      for (size_t i = 0; i < 4; ++i) a[i] = num(uniform(rng, -1.5, 1.5));
      a[4] = num(uniform(rng, -400, 400)) + " " + num(uniform(rng, -60, 60));
      // The intervals stand just before the plot question.
      size_t plot = 0;
      while (plot < a.size() && a[plot] != "y" && a[plot] != "n") ++plot;
      if (plot >= 2) {
        a[plot - 2] = num((chance(rng, 0.5) ? -1 : 1) * std::pow(10.0, uniform(rng, -4.5, 0)));
        a[plot - 1] = num((chance(rng, 0.5) ? -1 : 1) * std::pow(10.0, uniform(rng, -3, 0)));
      }
      break;
    }
    case 7:  // everything odd at once
      for (auto& line : a) {
        if (chance(rng, 0.15)) line = chance(rng, 0.5) ? odd_number(rng) : random_bytes(rng);
      }
      break;
  }
  return a;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Outcome {
  bool ok = true;
  std::string why;
};

// Runs the program in `dir` with the answer file there; judges the result.
Outcome run_one(const std::string& binary, const std::vector<std::string>& extra,
                const fs::path& dir, double timeout_s) {
  {
    std::ofstream stdin_text(dir / "console.in", std::ios::binary);
    stdin_text << "y\nanswers.ans\n";
  }
  pid_t pid = fork();
  if (pid < 0) return {false, "fork failed"};
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(120);
    int in = open("console.in", O_RDONLY);
    int out = open("console.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open("console.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("ASAN_OPTIONS", "exitcode=86:detect_leaks=1", 1);
    setenv("UBSAN_OPTIONS", "halt_on_error=1:exitcode=87:print_stacktrace=1", 1);
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : extra) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(122);
  }
  auto start = std::chrono::steady_clock::now();
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
        timeout_s) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return {false, "time-out"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::string console = slurp(dir / "console.out");
  std::string errors = slurp(dir / "console.err");
  if (WIFSIGNALED(status)) return {false, "signal " + std::to_string(WTERMSIG(status))};
  if (errors.find("Sanitizer") != std::string::npos ||
      errors.find("runtime error") != std::string::npos) {
    return {false, "sanitizer report: " + errors.substr(0, 300)};
  }
  int code = WEXITSTATUS(status);
  if (code >= 120) return {false, "could not start the program (" + std::to_string(code) + ")"};
  // No table, output file or computed console line may carry a NaN or an
  // infinity.  Lines that repeat the user's own text are passed over: prompt
  // lines with their echo, error reports quoting an answer, and the label
  // line of a surface file.
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string file = entry.path().filename().string();
    if (!entry.is_regular_file() || file == "answers.ans" || file == "console.in" ||
        file == "console.err") {
      continue;
    }
    std::istringstream text(slurp(entry.path()));
    std::string line;
    for (int n = 1; std::getline(text, line); ++n) {
      // The report that ends a failed run's listing may quote the answer.
      if (file == "ravost.out" && line.starts_with("Error")) break;
      if (file == "console.out" &&
          (line.find(" Enter") != std::string::npos || line.find('?') != std::string::npos ||
           line.starts_with("Error") || line.starts_with(" The file"))) {
        continue;
      }
      if (file != "console.out" && file != "ravost.out" && n == 1) continue;
      if (line.find("NaN") != std::string::npos || line.find("Inf") != std::string::npos ||
          line.find("nan") != std::string::npos || line.find("inf") != std::string::npos) {
        return {false, "NaN or Inf in " + file + ": " + line.substr(0, 100)};
      }
    }
  }
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().ends_with(".part")) {
      return {false, "half-written file left behind: " + entry.path().filename().string()};
    }
  }
  if (code == 0) {
    if (console.find("Stop - Program terminated.") != std::string::npos) return {};
    std::string listing = slurp(dir / "ravost.out");
    if (listing.find(" Design scaled to Diameter = ") == std::string::npos) {
      return {false, "status 0 without a complete ravost.out"};
    }
    return {};
  }
  // Reports go to standard error, never to standard output.
  if (errors.find("Error") == std::string::npos) {
    return {false, "status " + std::to_string(code) + " without an error report"};
  }
  if (console.find("Error") != std::string::npos) {
    return {false, "error report on standard output"};
  }
  // A failed run's listing ends with its report.
  if (fs::exists(dir / "ravost.out") &&
      slurp(dir / "ravost.out").find("Error") == std::string::npos) {
    return {false, "failed run whose ravost.out does not say so"};
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::string binary;
  std::uint64_t first = 0, last = 99;
  double timeout_s = 20.0;
  std::string keep;
  std::string emit;
  std::vector<std::string> extra;  // passed to the program before any answer
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i], val = argv[i + 1];
    if (opt == "--binary") {
      binary = val;
    } else if (opt == "--seeds") {
      auto dash = val.find('-');
      first = std::stoull(val.substr(0, dash));
      last = dash == std::string::npos ? first : std::stoull(val.substr(dash + 1));
    } else if (opt == "--timeout") {
      timeout_s = std::stod(val);
    } else if (opt == "--keep") {
      keep = val;
    } else if (opt == "--emit") {
      emit = val;
    } else if (opt == "--arg") {
      extra.push_back(val);
    }
  }
  if (!emit.empty()) {
    fs::create_directories(emit);
    for (std::uint64_t seed = first; seed <= last; ++seed) {
      std::ofstream out(fs::path(emit) / ("seed-" + std::to_string(seed) + ".ans"), std::ios::binary);
      for (const auto& line : answers_for(seed)) out << line << '\n';
    }
    return 0;
  }
  if (binary.empty()) {
    std::cerr << "usage: fuzz_dialog --binary PATH [--seeds A-B] [--timeout S] [--keep DIR]\n"
                 "       fuzz_dialog --emit DIR [--seeds A-B]\n";
    return 2;
  }
  binary = fs::absolute(binary).string();
  fs::path base = fs::temp_directory_path() / ("ravost-fuzz-" + std::to_string(getpid()));
  int passed = 0, failed = 0;
  for (std::uint64_t seed = first; seed <= last; ++seed) {
    fs::path dir = base / std::to_string(seed);
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
      std::ofstream out(dir / "answers.ans", std::ios::binary);
      for (const auto& line : answers_for(seed)) out << line << '\n';
    }
    Outcome o = run_one(binary, extra, dir, timeout_s);
    if (o.ok) {
      ++passed;
    } else {
      ++failed;
      std::cout << "seed " << seed << ": " << o.why << '\n';
      if (!keep.empty()) {
        fs::create_directories(keep);
        fs::copy_file(dir / "answers.ans", fs::path(keep) / ("seed-" + std::to_string(seed) + ".ans"),
                      fs::copy_options::overwrite_existing);
      }
    }
    fs::remove_all(dir);
  }
  fs::remove_all(base);
  std::cout << passed << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}
