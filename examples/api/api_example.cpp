// Loads the vehicle whose spec file is given, runs it, and prints the figures of every cycle.
//
//   hdfe_api_example examples/truck_T8_175kW_MT6/spec.txt
#include <hdfe/hdfe.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SPEC\n", argv[0]);
    return 2;
  }
  try {
    const hdfe::Vehicle vehicle = hdfe::load_vehicle(argv[1]);
    const hdfe::Result result = hdfe::run(vehicle);
    std::printf("%-9s %10s %10s %10s %10s\n", "cycle", "km/l", "km/h", "km", "l");
    for (const hdfe::CycleFigures& cycle : result.cycles) {
      std::printf("%-9s %10.4f %10.1f %10.3f %10.3f\n", cycle.name.c_str(), cycle.fuel_economy_km_per_l,
                  cycle.average_speed_km_per_h, cycle.distance_km, cycle.fuel_l);
    }
    std::printf("%-9s %10.4f\n", "AVERAGE", result.average_fuel_economy_km_per_l);
  } catch (const hdfe::Error& error) {
    std::fprintf(stderr, "%s: %s\n", hdfe::error_kind_name(error.kind()), error.what());
    return 1;
  }
  return 0;
}
