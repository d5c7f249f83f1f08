// The design file the geometry wizard prints: a classical design of one
// family from its engineering parameters, ready to run, with the derived
// conic parameters in comments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "design/classical_families.h"

namespace designfile {

// What names the wizard's outputs besides the design.
struct WizardFileOptions {
  std::string name;  // base of the figure file and the report folder
  std::string unit;  // "in", "ft", "mm", "m", or empty: no [scale] unit
  std::string command;  // the command line that asked for it, for a comment; may be empty
};

// Why `name` cannot name the outputs (empty when it can): a plain file name
// of at most 30 letters, digits, '_', '-' or '.', not starting with '.'.
std::string wizard_name_problem(std::string_view name);
// Why `unit` is not a design file's length unit (empty when it is).
std::string wizard_unit_problem(std::string_view unit);

// The design file: [geometry] with the family, classical shaping and the
// four keys in their shortest exact decimals; a beamwidth feed 10 dB down
// at the subreflector's rim; a uniform aperture; the wizard's intervals in
// 64-bit precision (so the keys are used as written); the diameter; an
// HP-GL figure and the design report.  Lines end in "\n", as every design
// file the program writes.
std::string wizard_toml(const design::WizardDesign& w, const WizardFileOptions& options);

}  // namespace designfile
