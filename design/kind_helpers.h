// Helpers shared by the checks of the design's inputs and the registries of
// kinds (distributions, feed models, geometry families): a problem of one
// input, whether a check is wanted, and a lookup in a registry.
#pragma once

#include "design/choices.h"

namespace design::kinds {

// A problem of `input` with its value.
inline Problem problem(Input input, Problem::Fault fault, double value = 0) {
  Problem p{input, fault};
  p.value = value;
  return p;
}

// Whether the checks of `input` run: all inputs (only == nullptr) or the one asked.
inline bool wanted(const Input* only, Input input) { return only == nullptr || *only == input; }

// The kind of a registry whose `get` (kind() or name()) equals `key`, or nullptr.
template <class Registry, class Key, class Get>
auto find_in(const Registry& all, const Key& key, Get get) -> typename Registry::value_type {
  for (auto* k : all) {
    if (get(*k) == key) return k;
  }
  return nullptr;
}

}  // namespace design::kinds
