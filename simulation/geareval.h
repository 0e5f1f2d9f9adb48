// Road load and the evaluation of one gear over one second.
#pragma once
#include <cstdint>
#include <memory>
#include "records/input.h"

namespace hdfe {

// Outcome of driving one second in a gear.
struct GearEvalResult {
  double V = 0.0;     // achieved speed [km/h]
  double Ne = 0.0;    // engine speed [rpm]
  double Te = 0.0;    // engine torque [N·m]
  double Tmax = 0.0;  // full-load torque available [N·m]
  int32_t status = 0; // gear status 0..5
  bool search_exhausted = false;  // the speed search ran all its passes (the run warns)
};

// Gear g, target speed V [km/h], gradient s [%], previous speed Vp [km/h].
GearEvalResult gear_eval(int32_t g, double V, double s, double Vp, const VehicleSpec& spec, const EngineData& eng,
                         const TransmissionData& trn, const TorqueCurve& fullLoad);

// The gear evaluations of one run: the full-load curve indexed, the resistance of each
// gradient met computed once, and every evaluation kept under its exact arguments, so
// that a repeat gives the same result, its exhausted-search flag included, without being
// computed again. Belongs to one run; never shared between runs or threads. The records
// must outlive it unchanged.
class GearEvaluator {
 public:
  GearEvaluator(const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn,
                const TorqueCurve& fullLoad);
  ~GearEvaluator();
  GearEvaluator(const GearEvaluator&) = delete;
  GearEvaluator& operator=(const GearEvaluator&) = delete;

  // As gear_eval with the records given at construction.
  GearEvalResult operator()(int32_t g, double V, double s, double Vp);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Stops the run when gear g is not a row of the gear table (1..GearCount).
void check_gear(int32_t g, const EngineData& eng, const TransmissionData& trn);

}  // namespace hdfe
