#include "ravost/driver.h"

#include <fstream>
#include <istream>
#include <optional>
#include <ostream>

#include "numerics/pause.h"
#include "ravost/stages.h"

namespace ravost {
namespace {

// Asks a yes/no question; true only for a yes.
bool ask(Dialog& dialog, std::string_view question) {
  dialog.prompt(question);
  int code = 0;
  return dialog.NYES(code) == 1;
}

// Routes the interpolation pause through the dialog for the length of a run.
class PauseThroughDialog {
 public:
  explicit PauseThroughDialog(Dialog& dialog) {
    numerics::set_pause_handler([&dialog](std::string_view m) { dialog.pause(m); });
  }
  ~PauseThroughDialog() { numerics::set_pause_handler({}); }
  PauseThroughDialog(const PauseThroughDialog&) = delete;
  PauseThroughDialog& operator=(const PauseThroughDialog&) = delete;
};

void run_stages(Dialog& dialog, const std::filesystem::path& dir) {
  Design design;
  design.pi = 3.1415927f;
  design.deg = design.pi / 180.0f;

  std::ifstream answer_file;
  std::filesystem::path answer_path;
  if (ask(dialog, " File input? ")) {
    dialog.prompt(" Enter input file ");
    std::string name = file_name(dialog.read_text("the name of the answer file", 40));
    std::error_code ec;
    std::filesystem::path& path = answer_path;
    path = dir / name;
    if (name.empty() || !std::filesystem::is_regular_file(path, ec)) {
      throw RunError("Error: the answer file \"" + name + "\" does not exist or is not a file.");
    }
    answer_file.open(path, std::ios::binary);
    if (!answer_file.is_open()) {
      throw RunError("Error: cannot open the answer file \"" + name + "\".");
    }
    dialog.use_answer_file(answer_file, name);
  }

  OutFile listing(dir / "ravost.out", "ravost.out");
  Session session{dialog, listing, dir, plothpfa::PLOTIF{0.1f}};
  session.run_files.push_back(dir / "ravost.out");
  if (!answer_path.empty()) session.run_files.push_back(answer_path);
  PauseThroughDialog pause(dialog);

  design_inputs(design, session);
  synthesize(design, session);
  if (ask(dialog, " Plot dual reflector figure? ")) dual_reflector_figure(design, session);
  scale_design(design, session);
  if (ask(dialog, " List main reflector dimensions? ")) {
    list_dimensions(design, session, Reflector::main);
  }
  if (ask(dialog, " List subreflector dimensions? ")) {
    list_dimensions(design, session, Reflector::sub);
  }
  if (ask(dialog, " Write main reflector TICRA .rsf file? ")) {
    write_surface_file(design, session, Reflector::main);
  }
  if (ask(dialog, " Write subreflector TICRA .rsf file? ")) {
    write_surface_file(design, session, Reflector::sub);
  }
  if (ask(dialog, " CHAMP main reflector spline w/ variable Z? ")) {
    write_object_file(design, session, Reflector::main);
  }
  if (ask(dialog, " CHAMP subreflector spline w/ variable Z? ")) {
    write_object_file(design, session, Reflector::sub);
  }
  listing.close();
}

}  // namespace

int run(std::istream& console_in, std::ostream& console_out, const std::filesystem::path& dir,
        bool interactive) {
  Dialog dialog(console_in, console_out, interactive);
  try {
    run_stages(dialog, dir);
  } catch (const DialogStop&) {
    dialog.end_open_line();
    dialog.line("Stop - Program terminated.");
    return 0;
  } catch (const RunError& e) {
    dialog.end_open_line();
    dialog.line(e.what());
    console_out.flush();
    return 1;
  }
  // A normal end prints nothing; an unanswered prompt line is still ended.
  console_out.flush();
  return 0;
}

}  // namespace ravost
