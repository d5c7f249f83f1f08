// The feed models, each described in one place: its name in design files,
// its keys and their checks, and how a design's feed is made from its
// choices.  feeds() lists them; the design-file reader and writer and
// validate() ask the registry instead of naming the models.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "design/choices.h"

namespace design {

// One key a feed model takes in a design file's [feed] section.
struct FeedKey {
  std::string_view name;  // "taper_angle_deg"
  Input input;            // the input its problems name
  bool file = false;      // the name of a pattern file (read by the front end), else a real
};

class FeedKind {
 public:
  virtual ~FeedKind() = default;

  virtual FeedModelKind kind() const = 0;
  // Its name in design files: "gaussian".
  virtual std::string_view name() const = 0;
  virtual std::span<const FeedKey> keys() const = 0;
  // The comment above its [feed] section in a written design file.
  virtual std::string_view comment() const = 0;
  // Why its keys are needed ("a Gaussian feed needs its taper and the angle
  // of it"); empty: the key is simply missing.
  virtual std::string_view needs() const { return {}; }
  // A real key's value in / into the choices.
  virtual double get(const FeedSpec& f, std::string_view key) const = 0;
  virtual void set(FeedSpec& f, std::string_view key, double value) const = 0;

  // The problems of its keys on the design derived from the choices, all of
  // them or those of the input `only`.  built_on: the geometry is sound (the
  // subreflector's half angle is known).  Returns whether it added none.
  virtual bool check(const Design<float>& d, const Input* only, bool built_on,
                     std::vector<Problem>& out) const = 0;
  virtual bool check(const Design<double>& d, const Input* only, bool built_on,
                     std::vector<Problem>& out) const = 0;

  // The design's feed from its (rounded) choices: d.feed and d.feed_model.
  virtual void make(const FeedSpec& f, Design<float>& d) const = 0;
  virtual void make(const FeedSpec& f, Design<double>& d) const = 0;
};

// Every feed model, in the order of FeedModelKind.
std::span<const FeedKind* const> feeds();
// The model of a kind or a design-file name; nullptr: none.
const FeedKind* find_feed(FeedModelKind kind);
const FeedKind* find_feed(std::string_view name);

}  // namespace design
