// The spec values, described once: every surface (the spec reader, batch and --set
// overrides, the JSON, --check, the Python attributes and pickling, the app) is driven from
// this table.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "hdfe/vehicle.h"

namespace hdfe {

enum class ValueKind {
  Text,     // a name, read free-form (quoted or up to the first blank)
  Real,     // a number
  Integer,  // a whole number
  Switch,   // on or off, written as a whole number: 1 is on, any other value off
  // An engineering value: a number, or none for the standard vehicle's value. Not read from
  // the spec file; set through --set, a manifest column, the library or Python.
  OptionalReal,
};

// The whole number that writes a switch on.
inline constexpr int32_t SwitchOn = 1;

// The member of SpecValues a value is held in.
using SpecMember = std::variant<std::string SpecValues::*, double SpecValues::*, int32_t SpecValues::*,
                                bool SpecValues::*, std::optional<double> SpecValues::*>;

// A spec value's text, number, whole number, switch or optional number.
using SpecValue = std::variant<std::string, double, int32_t, bool, std::optional<double>>;

struct SpecValueInfo {
  std::string_view file_name;  // as spec files, manifests and --set write it, e.g. "FinalRatio"
  std::string_view name;       // the member and the Python attribute, e.g. "final_ratio"
  ValueKind kind = ValueKind::Real;
  std::string_view unit;       // empty when the value has none
  // The range a run accepts (numbers only); the run stops outside it.
  std::optional<double> min;             // inclusive lower bound
  std::optional<double> above;           // exclusive lower bound
  std::optional<double> max;             // inclusive upper bound
  std::string_view meaning;    // one line
  SpecMember member;
  // The range of the values that make physical sense (numbers only): a run takes a value
  // outside it as given, and --check and the run's warnings name it.
  std::optional<double> usual_min;  // inclusive
  std::optional<double> usual_max;  // inclusive
  std::string_view usual;           // why, for the warning; e.g. "a resistance cannot push"
};

// The seventeen values of the spec file in file order, then the engineering values
// (OptionalReal).
std::span<const SpecValueInfo> spec_value_table();

// The value of that file name (e.g. "FinalRatio") or member name (e.g. "final_ratio");
// none when there is no such value.
const SpecValueInfo* find_spec_value(std::string_view name);

// The value as held, and the value set (the variant's alternative must match the kind:
// Text std::string, Real double, Integer int32_t, Switch bool, OptionalReal
// std::optional<double> or double; Error otherwise).
SpecValue get_spec_value(const SpecValues& values, const SpecValueInfo& info);
void set_spec_value(SpecValues& values, const SpecValueInfo& info, const SpecValue& value);

}  // namespace hdfe
