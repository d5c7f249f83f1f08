// The geometry wizard's command line:
//
//   ravost geometry FAMILY --diameter D --focal-length F --sub-diameter DS
//                   --feed-angle THETA [--hole-diameter DB | --ring-radius R]
//                   [--unit in|ft|mm|m] [--name NAME]
//
// prints the design file of the family's classical design with those
// parameters on the standard output.  Exit status: 0 when it is printed; 2
// for a wrong command line or parameters no design of the family realises
// (one line naming the option to change and which way, then the usage).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace app {

// `args` are the words after "geometry".
int geometry_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace app
