#include "fuel/fuelgrid.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "fuel/curvelookup.h"
#include "fuel/hermite.h"
#include "textio/stop.h"

namespace hdfe {

namespace {

constexpr int32_t GridSize = FuelGrid::Size;

// Speed lines of the map: runs of consecutive points of one speed, each opened by its
// motoring point of zero fuel. Per-line tables are column-major with one row per line:
// 1-based (L, j) is at [(j - 1) * nLines + (L - 1)].
struct SpeedLines {
  int32_t nLines = 0;
  std::vector<double> lineSpeed;   // [rpm]
  std::vector<int32_t> lineCount;  // map points + 1
  std::vector<double> lineTorque;  // [N·m]
  std::vector<double> lineFuel;    // [l/h]
  std::vector<double> lineDeriv;   // [l/h per N·m]
};

// Splits the map into speed lines and lowers torqueMin [N·m] to the motoring torque of
// every line but the first.
SpeedLines speed_lines(const FuelMap& map, const TorqueCurve& motoring, double& torqueMin) {
  const int32_t n = map.PointCount;
  SpeedLines s;
  int32_t largest = 0;
  for (int32_t p = 0, run = 0; p < n; ++p) {
    if (p == 0 || map.Speeds[p] != map.Speeds[p - 1]) {
      ++s.nLines;
      run = 0;
    }
    largest = std::max(largest, ++run);
  }
  const int32_t nLines = s.nLines;
  const std::size_t size = static_cast<std::size_t>(nLines) * static_cast<std::size_t>(1 + largest);
  s.lineSpeed.assign(nLines, 0.0);
  s.lineCount.assign(nLines, 0);
  s.lineTorque.assign(size, 0.0);
  s.lineFuel.assign(size, 0.0);
  s.lineDeriv.assign(size, 0.0);

  const auto append = [&](int32_t L, double torque, double fuel) {
    const std::size_t at = static_cast<std::size_t>(s.lineCount[L]) * nLines + L;
    s.lineTorque[at] = torque;
    s.lineFuel[at] = fuel;
    ++s.lineCount[L];
  };
  int32_t L = -1;
  for (int32_t p = 0; p < n; ++p) {
    if (L < 0 || map.Speeds[p] != s.lineSpeed[L]) {
      ++L;
      s.lineSpeed[L] = map.Speeds[p];
      const double tmot = curve_lookup(motoring, map.Speeds[p]);
      append(L, tmot, 0.0);
      if (L > 0) torqueMin = std::min(torqueMin, tmot);
    }
    append(L, map.Torques[p], map.FuelRates[p]);
  }
  return s;
}

// Pass 1: interpolates every speed line along torque at the grid torques into firstPass
// (nLines x 20, column-major).
void along_torque(SpeedLines& s, const FuelGrid& grid, std::vector<double>& firstPass) {
  const int32_t nLines = s.nLines;
  std::vector<double> torques;
  std::array<double, GridSize> fe{};
  for (int32_t L = 0; L < nLines; ++L) {
    const int32_t count = s.lineCount[L];
    torques.resize(count);
    for (int32_t j = 0; j < count; ++j) torques[j] = s.lineTorque[static_cast<std::size_t>(j) * nLines + L];
    int32_t ierr = 0;
    hermite_derivatives(count, torques.data(), &s.lineFuel[L], &s.lineDeriv[L], nLines, ierr);
    if (ierr < 0) hermite_error(1, ierr);
    bool skip = true;
    hermite_evaluate(count, torques.data(), &s.lineFuel[L], &s.lineDeriv[L], nLines, skip, GridSize,
           grid.TorqueAxis.data(), fe.data(), ierr);
    if (ierr < 0) hermite_error(2, ierr);
    for (int32_t k = 0; k < GridSize; ++k) firstPass[static_cast<std::size_t>(k) * nLines + L] = fe[k];
  }
}

// Pass 2: interpolates every grid torque's column of firstPass along speed at the grid
// speeds into the grid.
void along_speed(const SpeedLines& s, const std::vector<double>& firstPass, FuelGrid& grid) {
  const int32_t nLines = s.nLines;
  std::vector<double> deriv(nLines);
  for (int32_t k = 0; k < GridSize; ++k) {
    const double* column = &firstPass[static_cast<std::size_t>(k) * nLines];
    int32_t ierr = 0;
    hermite_derivatives(nLines, s.lineSpeed.data(), column, deriv.data(), 1, ierr);
    if (ierr < 0) hermite_error(3, ierr);
    bool skip = true;
    hermite_evaluate(nLines, s.lineSpeed.data(), column, deriv.data(), 1, skip, GridSize, grid.SpeedAxis.data(),
           &grid.FuelRateTable[static_cast<std::size_t>(k) * GridSize], ierr);
    if (ierr < 0) hermite_error(4, ierr);
  }
}

}  // namespace

void build_fuel_grid(FuelGrid& grid, const FuelMap& map, const TorqueCurve& motoring) {
  const int32_t n = map.PointCount;
  if (n < 1) throw Error({" Failed to build fuel grid: the fuel map has no data points"}, 0, ErrorKind::VehicleCheck);

  grid.SpeedCount = GridSize;
  grid.TorqueCount = GridSize;
  grid.IdleFuelRate = map.IdleFuelRate;

  double speedMin = map.Speeds[0], speedMax = map.Speeds[0];
  double torqueMin = map.Torques[0], torqueMax = map.Torques[0];
  for (int32_t p = 1; p < n; ++p) {
    speedMin = std::min(speedMin, map.Speeds[p]);
    speedMax = std::max(speedMax, map.Speeds[p]);
    torqueMin = std::min(torqueMin, map.Torques[p]);
    torqueMax = std::max(torqueMax, map.Torques[p]);
  }

  SpeedLines lines = speed_lines(map, motoring, torqueMin);

  const double speedStep = (speedMax - speedMin) / 19.0;
  const double torqueStep = (torqueMax - torqueMin) / 19.0;
  for (int32_t k = 0; k < GridSize; ++k) {
    grid.SpeedAxis[k] = static_cast<double>(k) * speedStep + speedMin;
    grid.TorqueAxis[k] = static_cast<double>(k) * torqueStep + torqueMin;
  }

  std::vector<double> firstPass(static_cast<std::size_t>(lines.nLines) * GridSize);
  along_torque(lines, grid, firstPass);
  along_speed(lines, firstPass, grid);
}

namespace {

// Fuel rate [l/h] at engine speed ne [rpm] and torque te [N·m], interpolated in the grid
// along speed, then along torque, clipped at zero. deriv holds the grid's derivatives
// along speed (column-major like FuelRateTable).
double grid_fuel(const FuelGrid& grid, const std::array<double, GridSize * GridSize>& deriv, double ne,
                double te) {
  const int32_t nS = std::min(grid.SpeedCount, GridSize);
  const int32_t nT = std::min(grid.TorqueCount, GridSize);
  std::array<double, GridSize> column{};
  std::array<double, GridSize> columnDeriv{};
  int32_t ierr = 0;
  for (int32_t j = 0; j < nT; ++j) {
    const std::size_t at = static_cast<std::size_t>(j) * nS;
    bool skip = true;
    hermite_evaluate(nS, grid.SpeedAxis.data(), &grid.FuelRateTable[at], &deriv[at], 1, skip, 1, &ne, &column[j], ierr);
    if (ierr < 0) hermite_error(6, ierr);
  }
  hermite_derivatives(nT, grid.TorqueAxis.data(), column.data(), columnDeriv.data(), 1, ierr);
  if (ierr < 0) hermite_error(7, ierr);
  double fc = 0.0;
  bool skip = true;
  hermite_evaluate(nT, grid.TorqueAxis.data(), column.data(), columnDeriv.data(), 1, skip, 1, &te, &fc, ierr);
  if (ierr < 0) hermite_error(8, ierr);
  return std::max(0.0, fc);
}

}  // namespace

void calc_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
            std::span<double> FC, const DriveCycle& cycle, const TorqueCurve& motoring,
            const FuelGrid& grid, const EngineData& eng) {
  const std::size_t n = std::min({static_cast<std::size_t>(std::max(cycle.n, 0)), Ne.size(), Te.size(),
                                  Shift.size(), FC.size()});
  // The grid's derivatives along speed do not depend on the step: set once, at the first
  // step that needs the grid.
  std::array<double, GridSize * GridSize> deriv{};
  bool derivSet = false;
  for (std::size_t q = 0; q < n; ++q) {
    if (Shift[q] == 0 || Ne[q] == eng.Nidle) {
      FC[q] = grid.IdleFuelRate;
      continue;
    }
    const double tmot = curve_lookup(motoring, Ne[q]);
    if (tmot >= Te[q]) {
      FC[q] = 0.0;  // engine driven by the vehicle
      continue;
    }
    if (!derivSet) {
      const int32_t nS = std::min(grid.SpeedCount, GridSize);
      for (int32_t j = 0; j < std::min(grid.TorqueCount, GridSize); ++j) {
        const std::size_t at = static_cast<std::size_t>(j) * nS;
        int32_t ierr = 0;
        hermite_derivatives(nS, grid.SpeedAxis.data(), &grid.FuelRateTable[at], &deriv[at], 1, ierr);
        if (ierr < 0) hermite_error(5, ierr);
      }
      derivSet = true;
    }
    FC[q] = grid_fuel(grid, deriv, Ne[q], Te[q]);
  }
}

}  // namespace hdfe
