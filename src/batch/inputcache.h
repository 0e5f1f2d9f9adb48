// Input files read once and shared between the rows of a batch, and fuel grids built once.
#pragma once
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/route.h"
#include "hdfe/fuel_grid.h"
#include "run/loader.h"
#include "run/plausibility.h"

namespace hdfe {

// A value made once per key, by the first thread that asks; the others wait for it. A
// failure is kept and thrown again to every later asker. At most `Limit` keys are held:
// past it the memo starts afresh (values in use stay alive), so memory stays bounded.
template <class T>
class Memo {
 public:
  template <class Make>
  std::shared_ptr<const T> get(const std::string& key, Make make) {
    std::shared_ptr<Slot> slot;
    {
      const std::lock_guard lock(mutex_);
      auto found = slots_.find(key);
      if (found == slots_.end()) {
        if (slots_.size() >= Limit) slots_.clear();
        found = slots_.emplace(key, std::make_shared<Slot>()).first;
      }
      slot = found->second;
    }
    std::call_once(slot->once, [&] {
      try {
        slot->value = std::make_shared<const T>(make());
      } catch (...) {
        slot->error = std::current_exception();
      }
    });
    if (slot->error) std::rethrow_exception(slot->error);
    return slot->value;
  }

 private:
  static constexpr std::size_t Limit = 4096;
  struct Slot {
    std::once_flag once;
    std::shared_ptr<const T> value;
    std::exception_ptr error;
  };
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Slot>> slots_;
};

// The input source of a batch: each file, by the name opened, is read and digested once.
// Safe to use from many threads at once.
class InputCache final : public InputSource {
 public:
  SpecValues spec(const std::string& name) override;
  TransmissionInput transmission(const std::string& name) override;
  EngineInput engine(const std::string& name) override;
  TorqueCurve torque_curve(const std::string& name) override;
  FuelMap fuel_map(const std::string& name) override;
  std::string sha256(const std::string& name) override;
  std::shared_ptr<const std::vector<std::string>> lines(const std::string& name) override;
  // Once per set of files (roles, names and paths).
  std::shared_ptr<const InputText> input_text(const Vehicle& vehicle) override;

  // load_vehicle(values, spec, options, *this) for a spec file whose files were loaded before
  // under the same names: a copy of that vehicle with these values, checked as loading
  // checks them. The files read for a spec file, transmission and engine name are kept only
  // once they all loaded.
  Vehicle vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options);

  // The library cycle of that name or the cycle file (find_cycle), read once.
  std::shared_ptr<const Cycle> cycle(const std::string& name);
  // The route file, read once.
  std::shared_ptr<const Route> route(const std::string& name);

  // The fuel grid of the vehicle's fuel map and motoring curve, built once per pair of files.
  std::shared_ptr<const FuelGrid> grid(const Vehicle& vehicle);
  // The fuel grid of a loaded vehicle, built once for every row that carries the same one.
  std::shared_ptr<const FuelGrid> grid(const std::shared_ptr<const Vehicle>& vehicle);

 private:
  Memo<SpecValues> specs_;
  Memo<TransmissionInput> transmissions_;
  Memo<EngineInput> engines_;
  Memo<TorqueCurve> curves_;
  Memo<FuelMap> maps_;
  Memo<std::string> digests_;
  Memo<std::optional<std::vector<std::string>>> lines_;
  Memo<FuelGrid> grids_;
  Memo<Cycle> cycles_;
  Memo<Route> routes_;
  Memo<InputText> texts_;
  // Keyed by the vehicle's address: the slot holds the vehicle, so that no other vehicle can
  // take its address while the key is in use.
  struct LoadedGrid {
    std::shared_ptr<const Vehicle> vehicle;
    std::shared_ptr<const FuelGrid> grid;
  };
  Memo<LoadedGrid> loaded_grids_;
  // Vehicles kept for rows to copy; past this many the kept ones are let go.
  static constexpr std::size_t MaxVehicles = 256;
  std::mutex vehicles_mutex_;
  std::map<std::string, std::shared_ptr<const Vehicle>> vehicles_;  // by spec, file names and digests
};

}  // namespace hdfe
