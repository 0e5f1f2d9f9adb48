// Runs every spec file given, prints each one's fuel-economy fields as the results file
// rounds them, then runs them all on four threads fifty times and checks every figure.
#include <hdfe/hdfe.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

std::vector<double> figures(const hdfe::Result& r) {
  std::vector<double> values;
  for (const hdfe::CycleFigures& c : r.cycles) {
    values.insert(values.end(), {c.fuel_economy_before_transient_km_per_l, c.fuel_economy_after_transient_km_per_l,
                                 c.fuel_economy_km_per_l, c.average_speed_km_per_h, c.fuel_l});
  }
  values.push_back(r.average_fuel_economy_km_per_l);
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<hdfe::Vehicle> vehicles;
  std::vector<std::vector<double>> expected;
  for (int i = 1; i < argc; ++i) {
    vehicles.push_back(hdfe::load_vehicle(argv[i]));
    const hdfe::Result r = hdfe::run(vehicles.back());
    expected.push_back(figures(r));
    const hdfe::CycleFigures& u = r.cycle("URBAN");
    const hdfe::CycleFigures& h = r.cycle("HIGHWAY");
    const hdfe::CycleFigures& m = r.cycle("MID-TOWN");
    std::printf("%s %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", argv[i], u.fuel_economy_before_transient_km_per_l,
                u.fuel_economy_after_transient_km_per_l, u.fuel_economy_km_per_l,
                h.fuel_economy_before_transient_km_per_l, h.fuel_economy_km_per_l, r.average_fuel_economy_km_per_l,
                m.fuel_economy_before_transient_km_per_l, m.fuel_economy_after_transient_km_per_l,
                m.fuel_economy_km_per_l);
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        const std::size_t k = (t + static_cast<std::size_t>(round)) % vehicles.size();
        if (figures(hdfe::run(vehicles[k])) != expected[k]) ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::printf("threaded runs: 200, mismatches: %d\n", mismatches.load());
  return mismatches == 0 ? 0 : 1;
}
