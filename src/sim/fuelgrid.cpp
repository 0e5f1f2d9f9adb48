#include "sim/fuelgrid.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "model/curvelookup.h"
#include "sim/hermite.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

constexpr int32_t GridSize = FuelGrid::Size;
// The intervals between the grid's equally spaced points along each axis.
constexpr double GridIntervals = 19.0;
static_assert(GridIntervals == GridSize - 1);

// Speed lines of the map: runs of consecutive points of one speed, each opened by its
// motoring point of zero fuel. The entries of line L (0-based) are lineStart[L] up to
// lineStart[L + 1] of the tables, so the tables hold one entry per map point and line.
struct SpeedLines {
  int32_t nLines = 0;
  std::vector<double> lineSpeed;         // [rpm]
  std::vector<std::size_t> lineStart;    // nLines + 1 entries
  std::vector<double> lineTorque;        // [N·m]
  std::vector<double> lineFuel;          // [l/h]
  std::vector<double> lineDeriv;         // [l/h per N·m]

  int32_t count(int32_t L) const {
    return static_cast<int32_t>(lineStart[static_cast<std::size_t>(L) + 1] - lineStart[static_cast<std::size_t>(L)]);
  }
};

// Splits the map into speed lines and lowers torqueMin [N·m] to the motoring torque of
// every line but the first.
SpeedLines speed_lines(const FuelMap& map, const TorqueCurve& motoring, double& torqueMin) {
  const int32_t n = map.point_count();
  SpeedLines s;
  for (int32_t p = 0; p < n; ++p) {
    if (p == 0 || map.speeds_rpm[p] != map.speeds_rpm[p - 1]) ++s.nLines;
  }
  const std::size_t entries = static_cast<std::size_t>(n) + static_cast<std::size_t>(s.nLines);
  s.lineSpeed.reserve(static_cast<std::size_t>(s.nLines));
  s.lineStart.reserve(static_cast<std::size_t>(s.nLines) + 1);
  s.lineTorque.reserve(entries);
  s.lineFuel.reserve(entries);
  s.lineDeriv.assign(entries, 0.0);

  for (int32_t p = 0; p < n; ++p) {
    if (s.lineSpeed.empty() || map.speeds_rpm[p] != s.lineSpeed.back()) {
      const double tmot = curve_lookup(motoring, map.speeds_rpm[p]);
      if (!s.lineSpeed.empty()) torqueMin = std::min(torqueMin, tmot);
      s.lineSpeed.push_back(map.speeds_rpm[p]);
      s.lineStart.push_back(s.lineTorque.size());
      s.lineTorque.push_back(tmot);
      s.lineFuel.push_back(0.0);
    }
    s.lineTorque.push_back(map.torques_nm[p]);
    s.lineFuel.push_back(map.fuel_rates_l_per_h[p]);
  }
  s.lineStart.push_back(s.lineTorque.size());
  return s;
}

// Pass 1: interpolates every speed line along torque at the grid torques into firstPass
// (nLines x 20, column-major).
void along_torque(SpeedLines& s, const FuelGrid& grid, std::vector<double>& firstPass) {
  const int32_t nLines = s.nLines;
  std::array<double, GridSize> fe{};
  // Grid torques that increase are evaluated interval by interval, to the same values.
  const bool torquesIncrease = hermite_increasing(GridSize, grid.torque_axis_nm.data());
  for (int32_t L = 0; L < nLines; ++L) {
    const int32_t count = s.count(L);
    const std::size_t at = s.lineStart[static_cast<std::size_t>(L)];
    int32_t ierr = 0;
    hermite_derivatives(count, &s.lineTorque[at], &s.lineFuel[at], &s.lineDeriv[at], 1, ierr);
    if (ierr < 0) hermite_error(HermiteCall::MapSlopesAlongTorque, ierr);
    if (torquesIncrease) {
      hermite_evaluate_increasing(count, &s.lineTorque[at], &s.lineFuel[at], &s.lineDeriv[at], GridSize,
                                  grid.torque_axis_nm.data(), fe.data());
    } else {
      bool skip = true;
      hermite_evaluate(count, &s.lineTorque[at], &s.lineFuel[at], &s.lineDeriv[at], 1, skip, GridSize,
                       grid.torque_axis_nm.data(), fe.data(), ierr);
      if (ierr < 0) hermite_error(HermiteCall::MapValuesAlongTorque, ierr);
    }
    for (int32_t k = 0; k < GridSize; ++k) firstPass[static_cast<std::size_t>(k) * nLines + L] = fe[k];
  }
}

// Pass 2: interpolates every grid torque's column of firstPass along speed at the grid
// speeds into the grid.
void along_speed(const SpeedLines& s, const std::vector<double>& firstPass, FuelGrid& grid) {
  const int32_t nLines = s.nLines;
  std::vector<double> deriv(nLines);
  const bool speedsIncrease = hermite_increasing(GridSize, grid.speed_axis_rpm.data());
  for (int32_t k = 0; k < GridSize; ++k) {
    const double* column = &firstPass[static_cast<std::size_t>(k) * nLines];
    int32_t ierr = 0;
    hermite_derivatives(nLines, s.lineSpeed.data(), column, deriv.data(), 1, ierr);
    if (ierr < 0) hermite_error(HermiteCall::GridSlopesAlongSpeed, ierr);
    double* const values = &grid.fuel_rate_table_l_per_h[static_cast<std::size_t>(k) * GridSize];
    if (speedsIncrease) {
      hermite_evaluate_increasing(nLines, s.lineSpeed.data(), column, deriv.data(), GridSize, grid.speed_axis_rpm.data(),
                                  values);
    } else {
      bool skip = true;
      hermite_evaluate(nLines, s.lineSpeed.data(), column, deriv.data(), 1, skip, GridSize, grid.speed_axis_rpm.data(),
                       values, ierr);
      if (ierr < 0) hermite_error(HermiteCall::GridValuesAlongSpeed, ierr);
    }
  }
}

}  // namespace

void build_fuel_grid(FuelGrid& grid, const FuelMap& map, const TorqueCurve& motoring) {
  const int32_t n = map.point_count();
  if (n < 1) throw Error(ErrorKind::VehicleCheck, "Failed to build fuel grid: the fuel map has no data points");

  grid.speed_count = GridSize;
  grid.torque_count = GridSize;
  grid.idle_fuel_rate_l_per_h = map.idle_fuel_rate_l_per_h;

  double speedMin = map.speeds_rpm[0], speedMax = map.speeds_rpm[0];
  double torqueMin = map.torques_nm[0], torqueMax = map.torques_nm[0];
  for (int32_t p = 1; p < n; ++p) {
    speedMin = std::min(speedMin, map.speeds_rpm[p]);
    speedMax = std::max(speedMax, map.speeds_rpm[p]);
    torqueMin = std::min(torqueMin, map.torques_nm[p]);
    torqueMax = std::max(torqueMax, map.torques_nm[p]);
  }

  SpeedLines lines = speed_lines(map, motoring, torqueMin);

  const double speedStep = (speedMax - speedMin) / GridIntervals;
  const double torqueStep = (torqueMax - torqueMin) / GridIntervals;
  for (int32_t k = 0; k < GridSize; ++k) {
    grid.speed_axis_rpm[k] = static_cast<double>(k) * speedStep + speedMin;
    grid.torque_axis_nm[k] = static_cast<double>(k) * torqueStep + torqueMin;
  }

  std::vector<double> firstPass(static_cast<std::size_t>(lines.nLines) * GridSize);
  along_torque(lines, grid, firstPass);
  along_speed(lines, firstPass, grid);
}

namespace {

// The grid's derivatives along speed, each worked out the first time a step needs it,
// and the column values at the engine speed last asked for. The first pass of the
// interpolation then costs one cubic per column, and the second pass reads only the
// columns around the torque.
class GridInterpolator {
 public:
  // Sets nothing up: prepare does, at the first step that needs the grid.
  explicit GridInterpolator(const FuelGrid& grid)
      : grid_(grid), nS_(std::min(grid.speed_count, GridSize)), nT_(std::min(grid.torque_count, GridSize)) {}

  bool prepared() const { return prepared_; }

  // Checks both axes as the interpolation's first calls would (along speed, then along
  // torque) and works out the terms of the axes.
  void prepare() {
    const FuelGrid& grid = grid_;
    int32_t ierr = 0;
    if (nT_ >= 1) {
      ierr = hermite_table_check(nS_, grid.speed_axis_rpm.data(), 1);
      if (ierr < 0) hermite_error(HermiteCall::RateSlopesAlongSpeed, ierr);
    }
    ierr = hermite_table_check(nT_, grid.torque_axis_nm.data(), 1);
    if (ierr < 0) hermite_error(HermiteCall::RateSlopesAlongTorque, ierr);
    for (int32_t j = 1; j + 1 < nT_; ++j) weights_[static_cast<std::size_t>(j)] = hermite_weights(grid.torque_axis_nm.data(), j);
    for (int32_t i = 1; i + 1 < nS_; ++i) speedWeights_[static_cast<std::size_t>(i)] = hermite_weights(grid.speed_axis_rpm.data(), i);
    speedGuess_ = IntervalGuess(nS_, grid.speed_axis_rpm.data());
    torqueGuess_ = IntervalGuess(nT_, grid.torque_axis_nm.data());
    prepared_ = true;
  }

  // Fuel rate [l/h] at engine speed ne [rpm] and torque te [N·m], interpolated along
  // speed, then along torque, clipped at zero.
  double fuel(double ne, double te) {
    const uint64_t bits = std::bit_cast<uint64_t>(ne);
    const uint64_t teBits = std::bit_cast<uint64_t>(te);
    // A step driven exactly as the one before (steady speed, same gradient) has its rate.
    if (haveLast_ && bits == lastNe_ && teBits == lastTe_) return last_;
    if (!haveSpeed_ || bits != neBits_) {
      haveSpeed_ = true;
      neBits_ = bits;
      speedInterval_ = interval(nS_, grid_.speed_axis_rpm.data(), ne, speedInterval_, speedGuess_);
      // Every cubic of the interval starts at its left end: this is the offset each of them
      // takes, by the same subtraction.
      alongSpeed_ = ne - grid_.speed_axis_rpm[static_cast<std::size_t>(speedInterval_ - 1)];
      ready_ = 0;
      derivReady_ = 0;
      torqueInterval_ = -1;
    }
    const double* torque = grid_.torque_axis_nm.data();
    const int32_t k = interval(nT_, torque, te, lastTorqueInterval_, torqueGuess_);
    lastTorqueInterval_ = k;
    // The cubic along torque depends on the engine speed and the torque interval alone.
    if (k != torqueInterval_) {
      // Columns k - 2 to k + 1, those on the grid, at this speed.
      if (k >= 2 && k <= nT_ - 2) {
        const uint32_t wanted = 0xFU << (k - 2);
        if ((wanted & ~ready_) != 0) columns(k - 2, k + 1, wanted);
        along_torque<true>(k);
      } else {
        const int32_t first = std::max(0, k - 2), last = std::min(nT_ - 1, k + 1);
        const uint32_t wanted = ((2U << last) - 1U) & ~((1U << first) - 1U);
        if ((wanted & ~ready_) != 0) columns(first, last, wanted);
        along_torque<false>(k);
      }
      torqueInterval_ = k;
    }
    haveLast_ = true;
    lastNe_ = bits;
    lastTe_ = teBits;
    last_ = std::max(0.0, hermite_cubic_value(alongTorque_, te));
    return last_;
  }

 private:
  // A first guess at the interval of a point on an axis of equally spaced points, from
  // which hermite_interval_near finds the interval itself (on any axis).
  struct IntervalGuess {
    double origin = 0.0, scale = 0.0, last = 0.0;  // first point; intervals per unit; n - 2
    IntervalGuess() = default;
    IntervalGuess(int32_t n, const double* x) {
      if (n < 3) return;
      origin = x[0];
      scale = static_cast<double>(n - 1) / (x[n - 1] - x[0]);
      last = static_cast<double>(n - 2);
    }
    int32_t operator()(double xe) const {
      const double at = (xe - origin) * scale;
      if (!(at >= 0.0)) return 1;  // below the axis, or NaN
      return 1 + static_cast<int32_t>(std::min(at, last));
    }
  };

  // The interval of xe on axis x of n points as hermite_interval_near finds it, trying
  // first interval k (the last one found: steps move little): the only one that brackets xe.
  static int32_t interval(int32_t n, const double* x, double xe, int32_t k, const IntervalGuess& guess) {
    if (k >= 2 && x[k - 1] <= xe && (k == n - 1 || (k < n - 1 && xe < x[k]))) return k;
    return hermite_interval_near(n, x, xe, guess(xe));
  }

  // The cubics along speed of every column on one interval between grid speeds, as
  // hermite_cubic sets them (each starts at the interval's left end), term by term.
  struct SpeedCubics {
    std::array<double, GridSize> f1, d1, c2, c3;
  };

  // Columns first to last (bits `wanted`) at the engine speed, on the cubics of interval
  // speedInterval_. A column already at this speed is worked out again, to the same value.
  void columns(int32_t first, int32_t last, uint32_t wanted) {
    const auto m = static_cast<std::size_t>(speedInterval_);
    for (uint32_t todo = wanted & ~cubicReady_[m]; todo != 0; todo &= todo - 1U) cubic_along_speed(std::countr_zero(todo));
    cubicReady_[m] |= wanted;
    const SpeedCubics& c = cubics_[m];
    const double t = alongSpeed_;
    const auto from = static_cast<std::size_t>(first);
    if (last - first == 3) {
      std::array<double, 4> value;
      for (std::size_t i = 0; i < 4; ++i) {
        value[i] = c.f1[from + i] + t * (c.d1[from + i] + t * (c.c2[from + i] + t * c.c3[from + i]));
      }
      std::copy(value.begin(), value.end(), column_.begin() + first);
    } else {
      for (auto j = from; j <= static_cast<std::size_t>(last); ++j) {
        column_[j] = c.f1[j] + t * (c.d1[j] + t * (c.c2[j] + t * c.c3[j]));
      }
    }
    ready_ |= wanted;
  }

  // Sets the cubic along speed of column j on interval speedInterval_.
  void cubic_along_speed(int32_t j) {
    const int32_t m = speedInterval_;
    const double* x = grid_.speed_axis_rpm.data();
    const double* f = &grid_.fuel_rate_table_l_per_h[static_cast<std::size_t>(j) * static_cast<std::size_t>(nS_)];
    HermiteCubic cubic{};
    // The speed axis is checked to increase: the interval has a length.
    hermite_cubic(x[m - 1], x[m], f[m - 1], f[m], speed_derivative(j, m - 1), speed_derivative(j, m), cubic);
    SpeedCubics& c = cubics_[static_cast<std::size_t>(m)];
    const auto at = static_cast<std::size_t>(j);
    c.f1[at] = cubic.f1;
    c.d1[at] = cubic.d1;
    c.c2[at] = cubic.c2;
    c.c3[at] = cubic.c3;
  }

  // The derivative along speed at grid speed i of column j, as hermite_derivatives sets it.
  double speed_derivative(int32_t j, int32_t i) {
    const std::size_t at = static_cast<std::size_t>(j) * GridSize + static_cast<std::size_t>(i);
    if ((speedReady_[static_cast<std::size_t>(j)] >> i & 1U) == 0) {
      const double* f = &grid_.fuel_rate_table_l_per_h[static_cast<std::size_t>(j) * static_cast<std::size_t>(nS_)];
      speedDeriv_[at] = i > 0 && i < nS_ - 1 && nS_ > 2
                            ? hermite_derivative_at(speedWeights_[static_cast<std::size_t>(i)], f, i)
                            : hermite_derivative_at(nS_, grid_.speed_axis_rpm.data(), f, i);
      speedReady_[static_cast<std::size_t>(j)] |= 1U << i;
    }
    return speedDeriv_[at];
  }

  // Sets the cubic along torque of interval k at the engine speed from its columns. The slope
  // of the columns over the interval is taken by the cubic and by the derivatives at both its
  // ends (the axis is checked to increase: h is not 0). Inside: k - 1 and k are inner points.
  template <bool Inside>
  void along_torque(int32_t k) {
    const double* torque = grid_.torque_axis_nm.data();
    const double h = torque[k] - torque[k - 1];
    const double slope = (column_[static_cast<std::size_t>(k)] - column_[static_cast<std::size_t>(k - 1)]) / h;
    const double d1 = derivative<Inside>(k - 1, k, slope);
    const double d2 = derivative<Inside>(k, k, slope);
    hermite_cubic_of_slope(torque[k - 1], h, column_[static_cast<std::size_t>(k - 1)], slope, d1, d2, alongTorque_);
  }

  // The derivative along torque at grid torque j (k - 1 or k) of the column values at the
  // engine speed, `slope` being theirs over the interval [k - 1, k].
  // Inside: both are inner points of the axis.
  template <bool Inside>
  double derivative(int32_t j, int32_t k, double slope) {
    const auto at = static_cast<std::size_t>(j);
    if ((derivReady_ >> j & 1U) == 0) {
      const double* f = column_.data();
      if (Inside || (j > 0 && j < nT_ - 1 && nT_ > 2)) {
        const HermiteWeights& w = weights_[at];
        deriv_[at] = j == k ? hermite_derivative_of_slopes(w, slope, (f[j + 1] - f[j]) / w.h2)
                            : hermite_derivative_of_slopes(w, (f[j] - f[j - 1]) / w.h1, slope);
      } else {
        deriv_[at] = hermite_derivative_at(nT_, grid_.torque_axis_nm.data(), f, j);
      }
      derivReady_ |= 1U << j;
    }
    return deriv_[at];
  }

  const FuelGrid& grid_;
  int32_t nS_;
  int32_t nT_;
  bool prepared_ = false;
  IntervalGuess speedGuess_, torqueGuess_;
  bool haveSpeed_ = false;
  uint64_t neBits_ = 0;
  int32_t speedInterval_ = 1;
  double alongSpeed_ = 0.0;  // the engine speed less the speed at the interval's left end [rpm]
  uint32_t ready_ = 0;  // bit j: column_[j] holds column j at the engine speed neBits_
  int32_t torqueInterval_ = -1;  // of alongTorque_ at the engine speed neBits_; -1: none
  int32_t lastTorqueInterval_ = 1;  // of the last torque looked up
  HermiteCubic alongTorque_{};
  bool haveLast_ = false;
  uint64_t lastNe_ = 0, lastTe_ = 0;
  double last_ = 0.0;  // the rate at the engine speed lastNe_ and torque lastTe_
  std::array<double, GridSize> column_{};
  uint32_t derivReady_ = 0;  // bit j: deriv_[j] holds derivative(j) at the engine speed neBits_
  std::array<double, GridSize> deriv_{};
  // By interior grid torque, and by interior grid speed, the terms of the derivative there
  // that depend on the axis alone.
  std::array<HermiteWeights, GridSize> weights_{};
  std::array<HermiteWeights, GridSize> speedWeights_{};
  // By column, bit i: speedDeriv_ holds the derivative along speed at grid speed i (the
  // table is read only where set, so it is not cleared).
  std::array<uint32_t, GridSize> speedReady_{};
  std::array<double, GridSize * GridSize> speedDeriv_;
  // By interval (its right end), bit j: cubics_ holds the cubic along speed of column j
  // there (read only where set).
  std::array<uint32_t, GridSize> cubicReady_{};
  std::array<SpeedCubics, GridSize> cubics_;
};

}  // namespace

namespace {

// Rates gathered before they are handed on: few enough that copying them stays a plain copy.
constexpr std::size_t RateBatch = 128;

// Where the rates go, RateBatch at a time: flush(target, first, rates, count) takes the
// rates of steps first .. first + count - 1.
struct RateSink {
  void* target = nullptr;
  void (*flush)(void* target, std::size_t first, const double* rates, std::size_t count) = nullptr;
};

// Room left above the highest torque of a motoring curve for the rounding of its lookup,
// relative to the curve's torques: the lookup rounds a few times, each by less than 2^-52
// of its operands.
constexpr double MotoringRoundingShare = 1e-9;

// The highest torque [N·m] a lookup of the curve can give at a speed from its first to its
// last point, rounding included; +inf when that is not known: fewer than two points,
// speeds that do not strictly ascend, torques that are not finite.
double motoring_ceiling(const TorqueCurve& curve) {
  const std::size_t n = static_cast<std::size_t>(curve.point_count());
  constexpr double Unknown = std::numeric_limits<double>::infinity();
  if (n < 2 || curve.torques_nm.size() < n) return Unknown;
  double lowest = curve.torques_nm[0], highest = curve.torques_nm[0];
  for (std::size_t i = 0; i < n; ++i) {
    const double t = curve.torques_nm[i];
    if (!std::isfinite(t) || !std::isfinite(curve.speeds_rpm[i])) return Unknown;
    if (i > 0 && !(curve.speeds_rpm[i] > curve.speeds_rpm[i - 1])) return Unknown;
    lowest = std::min(lowest, t);
    highest = std::max(highest, t);
  }
  const double room = (std::fabs(highest) + (highest - lowest)) * MotoringRoundingShare;
  return std::isfinite(room) ? highest + room : Unknown;
}

std::size_t rate_steps(const DriveCycle& cycle, std::span<const double> Ne, std::span<const double> Te,
                       std::span<const int32_t> Shift) {
  return std::min({static_cast<std::size_t>(std::max(cycle.n, 0)), Ne.size(), Te.size(), Shift.size()});
}

}  // namespace

struct FuelRateReader::Parts {
  Parts(const FuelGrid& g, const TorqueCurve& motoring)
      : grid(g),
        motoringAt(motoring),
        ceiling(motoring_ceiling(motoring)),
        firstSpeed(std::isfinite(ceiling) ? motoring.speeds_rpm.front() : 0.0),
        lastSpeed(std::isfinite(ceiling) ? motoring.speeds_rpm[static_cast<std::size_t>(motoring.point_count()) - 1] : 0.0),
        gridFuel(g) {}

  // The fuel rate of each of the first n steps, handed to the sink in step order.
  void rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift, std::size_t n,
             const EngineData& eng, const RateSink& sink);

  const FuelGrid& grid;
  IndexedCurve motoringAt;
  // Above this torque [N·m] the engine is not driven by the vehicle at a speed from
  // firstSpeed to lastSpeed [rpm]: the curve is not looked up there.
  double ceiling;
  double firstSpeed, lastSpeed;
  int segment = -1;  // of the last motoring lookup
  // Prepared at the first step that needs the grid, where its checks would first fail.
  GridInterpolator gridFuel;
};

void FuelRateReader::Parts::rates(std::span<const double> Ne, std::span<const double> Te,
                                  std::span<const int32_t> Shift, std::size_t n, const EngineData& eng,
                                  const RateSink& sink) {
  std::array<double, RateBatch> batch;
  for (std::size_t first = 0; first < n; first += RateBatch) {
    const std::size_t count = std::min(RateBatch, n - first);
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t q = first + k;
      const double ne = Ne[q], te = Te[q];
      if (Shift[q] == 0 || ne == eng.idle_speed_rpm) {
        batch[k] = grid.idle_fuel_rate_l_per_h;
        continue;
      }
      // Engine driven by the vehicle: no fuel.
      if (!(te > ceiling && ne >= firstSpeed && ne <= lastSpeed) && motoringAt.near(ne, segment) >= te) {
        batch[k] = 0.0;
        continue;
      }
      if (!gridFuel.prepared()) gridFuel.prepare();
      batch[k] = gridFuel.fuel(ne, te);
    }
    sink.flush(sink.target, first, batch.data(), count);
  }
}

FuelRateReader::FuelRateReader(const FuelGrid& grid, const TorqueCurve& motoring)
    : parts_(std::make_unique<Parts>(grid, motoring)) {}

FuelRateReader::~FuelRateReader() = default;

void FuelRateReader::calc(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                          std::span<double> FC, const DriveCycle& cycle, const EngineData& eng) {
  const std::size_t n = std::min(rate_steps(cycle, Ne, Te, Shift), FC.size());
  const RateSink sink{FC.data(), [](void* target, std::size_t first, const double* rates, std::size_t count) {
                        std::copy(rates, rates + count, static_cast<double*>(target) + first);
                      }};
  parts_->rates(Ne, Te, Shift, n, eng, sink);
}

void FuelRateReader::append(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                            std::vector<double>& FC, const DriveCycle& cycle, const EngineData& eng) {
  const std::size_t n = rate_steps(cycle, Ne, Te, Shift);
  FC.reserve(FC.size() + n);
  const RateSink sink{&FC, [](void* target, std::size_t, const double* rates, std::size_t count) {
                        auto& column = *static_cast<std::vector<double>*>(target);
                        column.insert(column.end(), rates, rates + count);
                      }};
  parts_->rates(Ne, Te, Shift, n, eng, sink);
}

void calc_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                     std::span<double> FC, const DriveCycle& cycle, const TorqueCurve& motoring,
                     const FuelGrid& grid, const EngineData& eng) {
  FuelRateReader(grid, motoring).calc(Ne, Te, Shift, FC, cycle, eng);
}

void append_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                       std::vector<double>& FC, const DriveCycle& cycle, const TorqueCurve& motoring,
                       const FuelGrid& grid, const EngineData& eng) {
  FuelRateReader(grid, motoring).append(Ne, Te, Shift, FC, cycle, eng);
}

}  // namespace hdfe
