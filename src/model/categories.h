// The standard vehicles of the 25 categories.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace hdfe {

struct CategoryRow {
  std::string_view Code;  // T...: truck, B...: bus (BR...: route bus)
  double Wcurb;           // curb weight [kg]
  double MaxPayload;      // [kg], 0 for buses
  int32_t Crew;           // crew (trucks) or passenger capacity (buses) [persons]
  double Height;          // [m]
  double Width;           // [m]
  double HighwayRatio;    // highway share [fraction 0..1]
  double LoadFactor;      // [fraction]
  double EngineInertia;   // engine-side inertia [kg m^2]
};

// In matching order: TT1, TT2, T1..T11, BR1..BR5, B1..B7.
extern const std::array<CategoryRow, 25> Categories;

}  // namespace hdfe
