// plothpfa: an HP-GL plot-file writer (pens, absolute moves, patterned lines,
// arrowheads).
//
// Drawing coordinates are inches (32-bit reals).  MOVEAP turns them into
// window units of 1/1000 inch, and SPLOT turns window units into plotter units
// through the window scale fixed at initialisation.  The plot file is always
// initialised with the window (0, 0)-(10160, 10160) in plotter units, so one
// inch of drawing becomes 1016 plotter units (0.025 mm each) and the drawing's
// origin is the plotter's origin.  Every command group is one line ending in
// CR LF; coordinates are written as I6 fields, pen numbers as I1.
#pragma once

#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <string>
#include <string_view>

namespace plothpfa {

// Pen codes of the absolute and patterned moves.  Any other value (cast from
// an int) is an unknown code, which MOVEAP ignores.
enum class PenMove { up = -1, down = 1 };

// The pens of the program's figures.
enum class Pen { outline = 1, ray = 2 };

// The plotting library's settings.
struct PLOTIF {
  float dash_length = 0.1f;  // inches, one step of a patterned line
};

// The plot writer with the state it carries from call to call: the plot
// stream, the window scale and offsets, and where a patterned line stands.
// One object draws one plot file.
class Plotter {
 public:
  explicit Plotter(PLOTIF settings = {});
  Plotter(const Plotter&) = delete;
  Plotter& operator=(const Plotter&) = delete;

  // Opens the plot file `name` (a 40-character answer; trailing blanks are not
  // part of the name) in `folder`, created or rewritten from its start, and
  // initialises the writer on it.  The device number is accepted as given:
  // every device is a plot file.  False, with nothing initialised, when the
  // file cannot be opened.  A second call closes the former file first.
  bool PINITF(int device, std::string_view name, const std::filesystem::path& folder = {});
  // Initialises the writer on a stream the caller owns and keeps open.
  void PINITF(int device, std::ostream& stream);

  // Selects a pen: "SPn;".
  void PPEN(int pen);

  // Moves to (x, y) inches with the pen up, or draws to it with the pen
  // down; any other code writes nothing.
  void MOVEAP(PenMove move, float x, float y);

  // PenMove::up moves to (x, y) and restarts the pattern; any other code
  // draws a patterned line from the last point towards (x, y) in steps of
  // dash_length.  The remainder shorter than one step is left undrawn and the
  // next line starts where the last step ended.  Patterns 1 to 7 as in the
  // table in plothpfa.cc; any other pattern draws solid.
  void MOVEPP(PenMove move, float x, float y, int pattern);

  // The command writer.  Code -3: initialise with the window (a, b)-(c, d) in
  // plotter units and write "IN;".  Code 1 with b = 0: select pen c.  Code 1
  // with b != 0: pen code a (-1 up, 1 down) to window coordinates (c, d).
  // Pen and coordinate commands write nothing before initialisation; other
  // codes are ignored.
  void SPLOT(int code, int a, int b, int c, int d);

  // An arrowhead of length s inches with its tip at (px, py), pointing along
  // the unit vector (dx, dy); fill = 1 draws a filled polygon with a notched
  // back, any other value an open outline.
  void ARROW(float s, float px, float py, float dx, float dy, int fill);

  // Flushes and closes a plot file that PINITF opened by name.  False when
  // anything written to it was lost.  The writer is no longer initialised
  // afterwards; closing twice is harmless.
  bool close();

  bool initialised() const { return out_ != nullptr; }

 private:
  void write_line(std::string_view text);

  PLOTIF settings_;

  // Command writer.
  std::ofstream file_;           // the plot file when opened by name
  std::ostream* out_ = nullptr;  // the initialised plot stream
  float scale_x_ = 1.0f;
  float scale_y_ = 1.0f;
  int offset_x_ = 0;
  int offset_y_ = 0;

  // Patterned lines: the last point in inches and the pattern counter (-1
  // right after a pen-up move).
  float last_x_ = 0.0f;
  float last_y_ = 0.0f;
  int counter_ = -1;
};

}  // namespace plothpfa
