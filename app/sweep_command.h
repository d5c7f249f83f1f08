// The command lines of sweeps and optimisation:
//
//   ravost sweep DESIGN.toml --vary KEY=LO:HI:N [--vary ...] --out DIR
//                [--jobs N] [--shard K/N] [--best FIGURE]
//   ravost sweep --merge DIR... --out DIR [--best FIGURE]
//   ravost optimize DESIGN.toml --free KEY=LO:HI [--free ...] --maximize FIGURE
//                   [--constraint "FIGURE <= VALUE" ...] --out DIR
//
// Exit status: 0 when every design of the sweep was evaluated (a design that
// is refused or fails is a row with its reason) or the optimisation found a
// feasible design; 1 when the design file, a part to merge or the output
// folder is at fault, or no feasible design was found; 2 for a wrong command
// line (nothing is written); 130/143 when interrupted (the rows done so far
// are written, marked incomplete).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace app {

// `args` are the words after "sweep" or "optimize".  `progress` is where
// progress is shown (a terminal's error stream), or null.
int sweep_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  std::ostream* progress);
int optimize_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     std::ostream* progress);

}  // namespace app
