#include "sim/runcycle.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <type_traits>
#include <utility>

#include "model/curvelookup.h"
#include "sim/cycles.h"
#include "sim/simstep.h"
#include "sim/stepper.h"
#include "hdfe/units.h"

namespace hdfe {

namespace {

// Appends a step's values to every column the simulation fills.
inline void append_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque) {
  const double nSpan = eng.rated_speed_rpm - eng.idle_speed_rpm;
  trace.speed_km_per_h.push_back(step.V);
  trace.gear.push_back(step.gear);
  trace.engine_speed_rpm.push_back(step.engine_speed_rpm);
  trace.engine_torque_nm.push_back(step.engine_torque_nm);
  trace.normalised_speed_percent.push_back((step.engine_speed_rpm - eng.idle_speed_rpm) / nSpan * Percent);
  trace.normalised_torque_percent.push_back(step.engine_torque_nm / fullLoadTorque * Percent);
}

// A step's values in the columns the simulation fills, kept together while the cycle runs.
struct StepRow {
  double V = 0.0;
  double engine_speed_rpm = 0.0;
  double engine_torque_nm = 0.0;
  double normalised_speed_percent = 0.0;
  double normalised_torque_percent = 0.0;
  int32_t gear = 0;
};

// Rows kept before they are moved to the columns: few enough to stay in the cache.
constexpr std::size_t RowBatch = 512;

// One member of consecutive rows as a random-access sequence.
template <auto Member>
class MemberOfRows {
 public:
  using value_type = std::remove_cvref_t<decltype(std::declval<const StepRow&>().*Member)>;
  using iterator_category = std::random_access_iterator_tag;
  using difference_type = std::ptrdiff_t;
  using pointer = const value_type*;
  using reference = const value_type&;

  explicit MemberOfRows(const StepRow* row) : row_(row) {}
  reference operator*() const { return row_->*Member; }
  MemberOfRows& operator++() {
    ++row_;
    return *this;
  }
  MemberOfRows& operator--() {
    --row_;
    return *this;
  }
  MemberOfRows& operator+=(difference_type n) {
    row_ += n;
    return *this;
  }
  difference_type operator-(const MemberOfRows& other) const { return row_ - other.row_; }
  bool operator==(const MemberOfRows& other) const { return row_ == other.row_; }

 private:
  const StepRow* row_;
};

// Appends one member of every row to a column, in a pass that writes each place once.
template <auto Member, class Column>
void append_column(Column& column, const std::vector<StepRow>& rows) {
  const StepRow* const begin = rows.data();
  column.insert(column.end(), MemberOfRows<Member>(begin), MemberOfRows<Member>(begin + rows.size()));
}

// Moves the rows to the columns.
void append_rows(CycleTrace& trace, std::vector<StepRow>& rows) {
  append_column<&StepRow::V>(trace.speed_km_per_h, rows);
  append_column<&StepRow::gear>(trace.gear, rows);
  append_column<&StepRow::engine_speed_rpm>(trace.engine_speed_rpm, rows);
  append_column<&StepRow::engine_torque_nm>(trace.engine_torque_nm, rows);
  append_column<&StepRow::normalised_speed_percent>(trace.normalised_speed_percent, rows);
  append_column<&StepRow::normalised_torque_percent>(trace.normalised_torque_percent, rows);
  rows.clear();
}

}  // namespace

void record_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque) {
  append_step(trace, step, eng, fullLoadTorque);
}

CycleSimulation run_cycle(const DriveCycle& cycle, const VehicleSpec& spec, const EngineData& eng,
                          const TransmissionData& trn, const TorqueCurve& fullLoad) {
  CycleSimulation run;
  CycleTrace& trace = run.trace;
  // Each second's values are appended to a table of rows, which is moved to the columns
  // every RowBatch seconds: appending to six columns at every second, or zero-filling them
  // first, costs more.
  const std::size_t seconds = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  for (std::vector<double>* column : {&trace.speed_km_per_h, &trace.engine_speed_rpm, &trace.engine_torque_nm,
                                      &trace.normalised_speed_percent, &trace.normalised_torque_percent}) {
    column->reserve(seconds);
  }
  trace.gear.reserve(seconds);
  std::vector<StepRow> rows;
  rows.reserve(std::min(seconds, RowBatch));
  const double nSpan = eng.rated_speed_rpm - eng.idle_speed_rpm;
  int32_t exhausted = 0;  // in the whole cycle, so that the context can bound it
  // The stepper keeps the evaluations that need the speed search: about one in twelve
  // seconds of the example vehicles' cycles.
  GearEvaluator evaluator(spec, eng, trn, fullLoad, seconds / 8);
  const SimContext context{cycle, spec, eng, trn, fullLoad, &exhausted, evaluator};
  Stepper stepper(context);
  const IndexedCurve& fullLoadAt = evaluator.full_load_index();
  const auto note_exhausted = [&](int32_t second) {
    const std::size_t noted = run.exhausted_searches.size();
    if (static_cast<std::size_t>(exhausted) == noted) return;
    run.exhausted_searches.insert(run.exhausted_searches.end(), static_cast<std::size_t>(exhausted) - noted, second);
  };
  int32_t hold = 3;
  // A preparatory step 1 settles speed and gear before the cycle starts.
  StepOutcome step = stepper.step(1, cycle.target_speed_km_per_h[1], trn.gear_count(), hold);
  note_exhausted(0);
  run.start_speed_km_per_h = step.V;
  int segment = -1;  // of the last full-load lookup: the engine speed moves little per second
  for (int64_t first = 1; first <= cycle.n; first += static_cast<int64_t>(RowBatch)) {
    const auto last = static_cast<int32_t>(std::min<int64_t>(cycle.n, first + static_cast<int64_t>(RowBatch) - 1));
    for (auto i = static_cast<int32_t>(first); i <= last; ++i) {
      step = stepper.step(i, step.V, step.gear, hold);
      evaluator.release_unkept();
      note_exhausted(i);
      const double tmax = fullLoadAt.near(step.engine_speed_rpm, segment);
      rows.push_back({step.V, step.engine_speed_rpm, step.engine_torque_nm,
                      (step.engine_speed_rpm - eng.idle_speed_rpm) / nSpan * Percent,
                      step.engine_torque_nm / tmax * Percent, step.gear});
    }
    append_rows(trace, rows);
  }
  return run;
}

}  // namespace hdfe
