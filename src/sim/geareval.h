// Road load and the evaluation of one gear over one second.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>
#include "hdfe/vehicle.h"

namespace hdfe {

class IndexedCurve;

// How a gear drives a second.
enum class GearStatus : int32_t {
  Meets = 0,       // the target speed is driven
  Lowered = 1,     // the engine cannot hold the target: the speed its full load holds
  OverSpeed = 2,   // the engine reaches its top speed Nex
  UnderSpeed = 3,  // the engine would run below the gear's lowest speed
  Idles = 4,       // slowing down below the release speed: the clutch opens, the engine idles
  Slips = 5,       // moving off below the engagement speed: the clutch slips
};

// Outcome of driving one second in a gear.
struct GearEvalResult {
  double V = 0.0;     // achieved speed [km/h]
  double engine_speed_rpm = 0.0;    // engine speed [rpm]
  double engine_torque_nm = 0.0;    // engine torque [N·m]
  double Tmax = 0.0;  // full-load torque available [N·m]
  GearStatus status = GearStatus::Meets;
  bool search_exhausted = false;  // the speed search ran all its passes (the run warns)
};

// Where a speed search starts [km/h], and whether its first pass, there, is known to fall
// short (the evaluation that called for the search found so, as the pass would).
struct SearchStart {
  double from = 0.0;
  bool fallsShort = false;
};

// Stops the run: gear g is not a row of the gear table.
[[noreturn]] void stop_gear_not_in_table(int32_t g, const TransmissionData& trn);

// The gear evaluations of one run: the full-load curve indexed, the resistance of each
// gradient met computed once, and every evaluation kept under its exact arguments, so
// that a repeat gives the same result, its exhausted-search flag included, without being
// computed again. Belongs to one run; never shared between runs or threads. The records
// must outlive it unchanged.
class GearEvaluator {
 public:
  // expected: about how many evaluations the run keeps (the table is sized for it and
  // grows past it).
  GearEvaluator(const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn,
                const TorqueCurve& fullLoad, std::size_t expected = 0);
  ~GearEvaluator();
  GearEvaluator(const GearEvaluator&) = delete;
  GearEvaluator& operator=(const GearEvaluator&) = delete;

  // Gear g driven towards target speed V [km/h] on gradient s [%] from speed Vp [km/h].
  // The reference holds as long as the evaluator, or, once the memo is full, until
  // release_unkept.
  const GearEvalResult& operator()(int32_t g, double V, double s, double Vp) {
    const Key key{g, std::bit_cast<uint64_t>(V), std::bit_cast<uint64_t>(s), std::bit_cast<uint64_t>(Vp)};
    std::size_t at = 0;
    if (const GearEvalResult* kept = find(key, at)) return *kept;
    return add(key, at, V, s, Vp);
  }

  // The same evaluation, kept more cheaply: the last evaluations are looked up in a small
  // table where each place holds one, and a plain evaluation that has left it is made
  // afresh, as it costs less than keeping it; one that needs the speed search is also
  // kept as above (the two share their table). The reference holds until the next call.
  const GearEvalResult& evaluate(int32_t g, double V, double s, double Vp) {
    if (!in_table(g)) stop_gear_not_in_table(g, records_trn());
    return evaluate_in_table(g, V, s, Vp);
  }

  // evaluate for a gear g that in_table passes. sine, when given, is the sine of the slope
  // angle of gradient s as the evaluation works it out (sin(atan(s / 100))), looked up
  // elsewhere.
  const GearEvalResult& evaluate_in_table(int32_t g, double V, double s, double Vp, const double* sine = nullptr) {
    const Key key{g, std::bit_cast<uint64_t>(V), std::bit_cast<uint64_t>(s), std::bit_cast<uint64_t>(Vp)};
    Entry& recent = recent_[hash(key) >> (64 - RecentBits)];
    if (!(recent.key == key)) evaluate_afresh(recent, g, V, s, Vp, sine);
    return recent.result;
  }

  // True once evaluate has given a result whose speed search ran out of passes.
  bool exhausted_seen() const { return exhausted_seen_; }

  // The full-load curve's index, for the run's other lookups of it.
  const IndexedCurve& full_load_index() const;

  // True when gear g is a row of the gear table (check_gear passes).
  bool in_table(int32_t g) const { return g >= 1 && g <= gears_; }

  // Frees the results that the full memo could not keep; a run calls it between its
  // steps, where it holds no result.
  void release_unkept() {
    if (!unkept_.empty()) unkept_.clear();
  }

 private:
  struct Key {
    int32_t g = 0;                  // first: a key of an empty place is told by it alone
    uint64_t V = 0, s = 0, Vp = 0;  // bits of the arguments
    bool operator==(const Key&) const = default;
  };
  struct Entry {
    Key key;
    GearEvalResult result;
  };
  struct Records;

  static uint64_t hash(const Key& k) {
    return ((k.V ^ std::rotl(k.Vp, 23) ^ std::rotl(k.s, 45)) + static_cast<uint64_t>(k.g)) * 0x9E3779B97F4A7C15ULL;
  }
  // The kept result of key, or none with at left at the free slot where it belongs.
  const GearEvalResult* find(const Key& key, std::size_t& at) const {
    at = hash(key) >> shift_;
    for (uint32_t e; (e = slots_[at]) != 0; at = (at + 1) & mask_) {
      const Entry& entry = chunks_[(e - 1) >> ChunkBits][(e - 1) & (ChunkSize - 1)];
      if (entry.key == key) return &entry.result;
    }
    return nullptr;
  }
  // Evaluates afresh and keeps the result at free slot at.
  const GearEvalResult& add(const Key& key, std::size_t at, double V, double s, double Vp);
  // Keeps result under key at free slot at.
  const GearEvalResult& keep(const Key& key, std::size_t at, const GearEvalResult& result);
  // evaluate's evaluation, which is not in the small table, put in its place there,
  // recent (the arguments by value: a key the caller keeps in registers).
  void evaluate_afresh(Entry& recent, int32_t g, double V, double s, double Vp, const double* sine);
  // evaluate_afresh for an evaluation that the speed search decides, from start against
  // the resistance gradeForce: kept as operator() keeps it.
  [[gnu::noinline]] void search_afresh(Entry& recent, const Key& key, const SearchStart& start, double gradeForce,
                                       double Vp);
  const TransmissionData& records_trn() const;
  void size_slots(std::size_t count);

  static constexpr int ChunkBits = 10;
  // evaluate's table of recent evaluations: 2^RecentBits places (a key with gear 0 marks
  // an empty one, as no evaluation has gear 0, and nothing else of it is set).
  static constexpr int RecentBits = 10;
  static constexpr std::size_t ChunkSize = std::size_t{1} << ChunkBits;

  std::unique_ptr<Records> records_;
  int32_t gears_ = 0;  // the gears check_gear passes: 1..gears_
  // Open addressing with linear probing over the high bits of the hash, at most half
  // full: entry + 1 by slot, 0 for a free slot.
  std::vector<uint32_t> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  // The entries in chunks that never move, so that results stay where they are.
  std::vector<std::vector<Entry>> chunks_;
  std::size_t count_ = 0;
  // Results past the memo's limit, kept until release_unkept.
  std::deque<GearEvalResult> unkept_;
  bool exhausted_seen_ = false;
  struct FreeRecent {
    void operator()(Entry* entries) const;
  };
  static std::unique_ptr<Entry[], FreeRecent> empty_recent();
  std::unique_ptr<Entry[], FreeRecent> recent_ = empty_recent();
};

// Stops the run when gear g is not a row of the gear table (1..GearCount).
inline void check_gear(int32_t g, const EngineData& eng, const TransmissionData& trn) {
  if (g < 1 || g > trn.gear_count() || static_cast<std::size_t>(g) > trn.gears.size() ||
      static_cast<std::size_t>(g) > eng.gear_min_speed_rpm.size())
    stop_gear_not_in_table(g, trn);
}

}  // namespace hdfe
