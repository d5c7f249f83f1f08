// Writing a design file: the sections in the order the reader documents them,
// each with a comment, the reals in their shortest exact form.
#include <charconv>
#include <cmath>
#include <system_error>

#include "design/distributions.h"
#include "design/families.h"
#include "design/feeds.h"
#include "designfile/design_file.h"

namespace designfile {
namespace {

// The smallest magnitudes that a 32-bit real rounds to infinity and the
// largest that it rounds to 0.
constexpr double kFloatOverflow = 0x1.ffffffp127;
constexpr double kFloatUnderflow = 0x1p-150;

// The shortest decimal that reads back as v, always with a point or an
// exponent so that it reads back as a real.
template <class Real>
std::string real_text(Real v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
  std::string text(buffer, r.ptr);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

// A 32-bit value as the reader takes it back: the decimal is read as a
// 64-bit real and then rounded to 32 bits.  For a very few values that
// double rounding misses the value of the shortest decimal (7.038531e-26 is
// one); those are written with the digits of their 64-bit value instead.
std::string float_text(float v) {
  std::string text = real_text(v);
  if (!std::isfinite(v)) return text;
  double back = 0;
  std::from_chars(text.data(), text.data() + text.size(), back);
  if (static_cast<float>(back) != v) text = real_text(static_cast<double>(v));
  return text;
}

// A TOML basic string: quotes, backslashes and control characters escaped,
// everything else as it stands.
std::string string_text(std::string_view s) {
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          static constexpr char hex[] = "0123456789ABCDEF";
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 0xf];
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

class Writer {
 public:
  explicit Writer(design::Precision precision) : single_(precision == design::Precision::single) {}

  void comment(std::string_view text) { out_.append("# ").append(text).append("\n"); }
  void section(std::string_view comment_text, std::string_view name) {
    out_ += "\n";
    comment(comment_text);
    out_.append("[").append(name).append("]\n");
  }
  // A real in the design's precision.  One that a 32-bit real cannot hold
  // (it would become infinite or 0) keeps its 64-bit value, so that reading
  // it back refuses it as it stands.
  void real(std::string_view key, double v) {
    const bool fits =
        std::isnan(v) || std::isinf(v) ||
        (std::fabs(v) < kFloatOverflow && (v == 0.0 || std::fabs(v) > kFloatUnderflow));
    put(key, single_ && fits ? float_text(static_cast<float>(v)) : real_text(v));
  }
  // A real used in 64 bits whatever the design's precision.
  void real64(std::string_view key, double v) { put(key, real_text(v)); }
  void whole(std::string_view key, int v) { put(key, std::to_string(v)); }
  void text(std::string_view key, std::string_view v) { put(key, string_text(v)); }
  void flag(std::string_view key, bool v) { put(key, v ? "true" : "false"); }

  std::string take() { return std::move(out_); }

 private:
  void put(std::string_view key, const std::string& value) {
    out_.append(key).append(" = ").append(value).append("\n");
  }

  bool single_;
  std::string out_;
};

std::string distribution_name(design::Distribution kind) {
  if (const design::DistributionKind* d = design::find_distribution(kind)) return std::string(d->name());
  // Not one of the kinds: written so that reading it back names the fault.
  return "kind " + std::to_string(static_cast<int>(kind));
}

std::string unit_name(writers::LengthUnit unit) {
  switch (unit) {
    case writers::LengthUnit::inch:
      return "in";
    case writers::LengthUnit::foot:
      return "ft";
    case writers::LengthUnit::millimetre:
      return "mm";
    case writers::LengthUnit::metre:
      return "m";
  }
  return "unit " + std::to_string(static_cast<int>(unit));
}

std::string_view reflector_name(bool main) { return main ? "main reflector" : "subreflector"; }

}  // namespace

std::string to_toml(const design::DesignSpec& choices, const writers::OutputPlan& plan) {
  const bool single = choices.precision == design::Precision::single;
  Writer w(choices.precision);
  w.comment("RAVOST design file: a dual-reflector design and the outputs of its run.");

  const design::GeometryFamily& family = design::family_of(choices);
  w.section(family.comment(), "geometry");
  // The defaults (the first family, shaped) are named by no key, so a design
  // of the established family is written as it always was.
  if (&family != design::families().front()) w.text("family", family.name());
  if (choices.geometry.classical) w.text("shaping", "classical");
  for (const design::GeometryKey& key : family.keys()) {
    w.real(key.name, family.get(choices.geometry, key.name));
  }

  if (const design::FeedKind* kind = design::find_feed(choices.feed.model)) {
    w.section(kind->comment(), "feed");
    // The first model is the default, named by no key.
    if (kind != design::feeds().front()) w.text("model", kind->name());
    for (const design::FeedKey& key : kind->keys()) {
      if (key.file) {
        w.text(key.name, choices.feed.file);
      } else {
        w.real(key.name, kind->get(choices.feed, key.name));
      }
    }
    if (choices.feed.phase_centre == design::FeedSpec::PhaseCentre::fit) w.text("phase_centre", "fit");
    if (choices.feed.phase_centre == design::FeedSpec::PhaseCentre::given) {
      w.real("phase_centre", choices.feed.phase_centre_offset);
    }
    // The report's defocus, in 64 bits as the report uses it.
    if (choices.feed.axial_offset != 0.0) w.real64("axial_offset", choices.feed.axial_offset);
  }

  w.section("Aperture distribution: uniform, gaussian (taper_db) or taylor (sidelobe_db, nbar).",
            "aperture");
  w.text("distribution", distribution_name(choices.aperture.kind));
  if (const design::DistributionKind* d = design::find_distribution(choices.aperture.kind)) {
    for (const design::DistributionKey& key : d->keys()) {
      const double value = d->get(choices.aperture, key.name);
      if (key.whole) {
        w.whole(key.name, static_cast<int>(value));
      } else {
        w.real(key.name, value);
      }
    }
  }

  w.section("Synthesis: integration step and row spacing in r; precision 32-bit or 64-bit.",
            "synthesis");
  w.real("calc_interval", choices.synthesis.calc_interval);
  w.real("output_interval", choices.synthesis.output_interval);
  w.text("precision", single ? "32-bit" : "64-bit");

  w.section("Scale: main reflector diameter; optionally a larger subreflector diameter.", "scale");
  w.real("diameter", plan.diameter);
  if (plan.extrapolated_sub_diameter) {
    w.real("extrapolate_sub_diameter", *plan.extrapolated_sub_diameter);
  }
  if (plan.unit) w.text("unit", unit_name(*plan.unit));

  if (plan.figure_file) {
    w.section("HP-GL plot file of the dual reflector figure.", "figure");
    w.text("file", *plan.figure_file);
  }

  for (const bool main : {true, false}) {
    const auto& listing = main ? plan.main_listing : plan.sub_listing;
    if (!listing) continue;
    w.section("Dimension listing of the " + std::string(reflector_name(main)) +
                  ": radii from start to stop by step.",
              main ? "listing.main" : "listing.sub");
    w.real("start", listing->start);
    w.real("stop", listing->stop);
    w.real("step", listing->step);
  }
  for (const bool main : {true, false}) {
    const auto& surface = main ? plan.main_surface : plan.sub_surface;
    if (!surface) continue;
    w.section(
        "Surface file of the " + std::string(reflector_name(main)) + ": radius points and a label.",
        main ? "surface.main" : "surface.sub");
    w.text("file", surface->file);
    w.whole("points", surface->points);
    w.text("label", surface->label);
  }
  for (const bool main : {true, false}) {
    const auto& object = main ? plan.main_object : plan.sub_object;
    if (!object) continue;
    w.section("Spline object file of the " + std::string(reflector_name(main)) +
                  ": length unit (in, ft, mm, m) and spline points.",
              main ? "object.main" : "object.sub");
    w.text("file", object->file);
    w.text("unit", unit_name(object->unit));
    w.whole("points", object->points);
  }

  if (plan.report) {
    w.section("Design report: its folder and the wavelength (default: D/lambda = 100).", "report");
    w.text("folder", plan.report->dir.string());
    if (plan.report->wavelength != 0.0) w.real64("wavelength", plan.report->wavelength);
    if (plan.report->physical_optics) w.flag("physical_optics", true);
    if (plan.report->surface_rms != 0.0) w.real64("surface_rms", plan.report->surface_rms);
  }
  return w.take();
}

}  // namespace designfile
