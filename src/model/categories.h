// The standard vehicles of the 25 categories.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace hdfe {

struct CategoryRow {
  std::string_view code;  // T...: truck, B...: bus (BR...: route bus)
  double curb_weight_kg;           // curb weight [kg]
  double max_payload_kg;      // [kg], 0 for buses
  int32_t crew;           // crew (trucks) or passenger capacity (buses) [persons]
  double height_m;          // [m]
  double width_m;           // [m]
  double highway_ratio;    // highway share [fraction 0..1]
  double load_factor;      // [fraction]
  double engine_inertia_kg_m2;   // engine-side inertia [kg m^2]
};

// In matching order: TT1, TT2, T1..T11, BR1..BR5, B1..B7.
extern const std::array<CategoryRow, 25> Categories;

}  // namespace hdfe
