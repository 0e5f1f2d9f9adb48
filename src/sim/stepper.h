// The steps of one cycle run, each state the look-ahead reaches explored once.
#pragma once
#include <cstdint>
#include <memory>

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

  // sim_step(context, i, Vin, gear_in, hold, LookAheadDepth, 0.0), but for the outcome's
  // deficit: 0, as a step's own deficit is not used.
  StepOutcome step(int32_t i, double Vin, int32_t gear_in, int32_t& hold);

 private:
  struct States;
  const SimContext& context_;
  std::unique_ptr<States> states_;  // none once the steps are sim_step's
};

}  // namespace hdfe
