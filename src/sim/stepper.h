// The steps of one cycle run, each state the look-ahead reaches explored once.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/simstep.h"

namespace hdfe {

// The steps of one cycle run with what their look-ahead finds kept. A step looks ahead
// from every state it may drive on in (second, speed, gear and hold counter), and the next
// two steps look ahead from the same states again, one second further each: here a
// state's gear evaluations, look-ahead deficits and gear searches are made once and taken
// again, which gives sim_step's outcomes bit for bit.
//
// Taking them again leaves out the count of evaluations whose speed search ran out of
// passes, which sim_step makes on every use. So from the step that meets the first such
// evaluation, or that stops the run, to the end of the cycle the steps are sim_step's
// own: it counts from there as it would have from the start (no earlier use had one),
// and stops where it stops.
class Stepper {
 public:
  explicit Stepper(const SimContext& context);
  ~Stepper();
  Stepper(const Stepper&) = delete;
  Stepper& operator=(const Stepper&) = delete;

  // Where a step starts: the speed, gear and hold counter the step before left.
  struct Start {
    double V = 0.0;  // [km/h]
    int32_t gear = 0;
    int32_t hold = 0;
  };
  // Steps as the trace records them, RecordBatch at a time, column by column: step
  // first + k in place k. The columns of numbers are left unset when made, so that a batch
  // costs little until filled.
  static constexpr std::size_t RecordBatch = 512;
  struct Records {
    std::array<double, RecordBatch> V;  // [km/h]
    std::array<double, RecordBatch> engine_speed_rpm;
    std::array<double, RecordBatch> engine_torque_nm;
    // The full-load torque at the engine speed, when the step's evaluation looked it up
    // there [N·m].
    std::array<std::optional<double>, RecordBatch> full_load_torque_nm;
    std::array<int32_t, RecordBatch> gear;

    void set(std::size_t k, double v, double ne, double te, int32_t g) {
      V[k] = v;
      engine_speed_rpm[k] = ne;
      engine_torque_nm[k] = te;
      full_load_torque_nm[k].reset();
      gear[k] = g;
    }
  };
  // Steps first to last (at most RecordBatch of them) from `from`, which is left where the
  // last one ends, each as sim_step(context, i, from.V, from.gear, from.hold, LookAheadDepth,
  // 0.0) takes it; step i is recorded in place i - first. Each evaluation whose speed search
  // ran out of passes adds its step to exhausted (which holds one entry per count so far).
  void steps(int32_t first, int32_t last, Start& from, Records& records, std::vector<int32_t>& exhausted);

 private:
  struct States;
  const SimContext& context_;
  std::unique_ptr<States> states_;  // none once the steps are sim_step's
};

}  // namespace hdfe
