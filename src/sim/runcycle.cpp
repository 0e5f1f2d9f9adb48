#include "sim/runcycle.h"

#include <algorithm>
#include <array>
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

using Record = Stepper::Record;

// Steps simulated before they are moved to the columns: few enough to stay in the cache.
constexpr std::size_t RowBatch = 512;

// One member of consecutive records as a random-access sequence.
template <auto Member>
class MemberOfRecords {
 public:
  using value_type = std::remove_cvref_t<decltype(std::declval<const Record&>().*Member)>;
  using iterator_category = std::random_access_iterator_tag;
  using difference_type = std::ptrdiff_t;
  using pointer = const value_type*;
  using reference = const value_type&;

  explicit MemberOfRecords(const Record* record) : record_(record) {}
  reference operator*() const { return record_->*Member; }
  MemberOfRecords& operator++() {
    ++record_;
    return *this;
  }
  MemberOfRecords& operator--() {
    --record_;
    return *this;
  }
  MemberOfRecords& operator+=(difference_type n) {
    record_ += n;
    return *this;
  }
  difference_type operator-(const MemberOfRecords& other) const { return record_ - other.record_; }
  bool operator==(const MemberOfRecords& other) const { return record_ == other.record_; }

 private:
  const Record* record_;
};

// Appends one member of every record to a column, in a pass that writes each place once.
template <auto Member, class Column>
void append_column(Column& column, const Record* records, std::size_t count) {
  column.insert(column.end(), MemberOfRecords<Member>(records), MemberOfRecords<Member>(records + count));
}

}  // namespace

void record_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque) {
  append_step(trace, step, eng, fullLoadTorque);
}

CycleSimulation run_cycle(const DriveCycle& cycle, const VehicleSpec& spec, const EngineData& eng,
                          const TransmissionData& trn, const TorqueCurve& fullLoad) {
  CycleSimulation run;
  CycleTrace& trace = run.trace;
  // The steps are simulated RowBatch at a time into a table of records, which is then
  // moved to the columns: appending to six columns at every second, or zero-filling them
  // first, costs more.
  const std::size_t seconds = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  for (std::vector<double>* column : {&trace.speed_km_per_h, &trace.engine_speed_rpm, &trace.engine_torque_nm,
                                      &trace.normalised_speed_percent, &trace.normalised_torque_percent}) {
    column->reserve(seconds);
  }
  trace.gear.reserve(seconds);
  std::array<Record, RowBatch> records;  // not cleared: each batch writes what it reads
  const double nSpan = eng.rated_speed_rpm - eng.idle_speed_rpm;
  int32_t exhausted = 0;  // in the whole cycle, so that the context can bound it
  // The stepper keeps the evaluations that need the speed search: about one in twelve
  // seconds of the example vehicles' cycles.
  GearEvaluator evaluator(spec, eng, trn, fullLoad, seconds / 8);
  const SimContext context{cycle, spec, eng, trn, fullLoad, &exhausted, evaluator};
  Stepper stepper(context);
  const IndexedCurve& fullLoadAt = evaluator.full_load_index();
  // A preparatory step 1 settles speed and gear before the cycle starts; what it notes
  // belongs to second 0.
  Stepper::Start from{cycle.target_speed_km_per_h[1], trn.gear_count(), HoldSeconds};
  stepper.steps(1, 1, from, records.data(), run.exhausted_searches);
  std::fill(run.exhausted_searches.begin(), run.exhausted_searches.end(), 0);
  run.start_speed_km_per_h = from.V;
  int segment = -1;  // of the last full-load lookup: the engine speed moves little per second
  for (int64_t first = 1; first <= cycle.n; first += static_cast<int64_t>(RowBatch)) {
    const auto last = static_cast<int32_t>(std::min<int64_t>(cycle.n, first + static_cast<int64_t>(RowBatch) - 1));
    stepper.steps(static_cast<int32_t>(first), last, from, records.data(), run.exhausted_searches);
    const std::size_t count = static_cast<std::size_t>(last - first + 1);
    std::array<double, RowBatch> speedShare, torqueShare;  // normalised engine speed and torque [%]
    for (std::size_t k = 0; k < count; ++k) {
      const Record& row = records[k];
      const double tmax = row.full_load_torque_nm ? *row.full_load_torque_nm
                                                  : fullLoadAt.near(row.engine_speed_rpm, segment);
      speedShare[k] = (row.engine_speed_rpm - eng.idle_speed_rpm) / nSpan * Percent;
      torqueShare[k] = row.engine_torque_nm / tmax * Percent;
    }
    append_column<&Record::V>(trace.speed_km_per_h, records.data(), count);
    append_column<&Record::gear>(trace.gear, records.data(), count);
    append_column<&Record::engine_speed_rpm>(trace.engine_speed_rpm, records.data(), count);
    append_column<&Record::engine_torque_nm>(trace.engine_torque_nm, records.data(), count);
    trace.normalised_speed_percent.insert(trace.normalised_speed_percent.end(), speedShare.begin(),
                                          speedShare.begin() + static_cast<std::ptrdiff_t>(count));
    trace.normalised_torque_percent.insert(trace.normalised_torque_percent.end(), torqueShare.begin(),
                                           torqueShare.begin() + static_cast<std::ptrdiff_t>(count));
  }
  return run;
}

}  // namespace hdfe
