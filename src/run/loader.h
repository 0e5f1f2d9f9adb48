// Loading with the reads of the input files supplied by the caller, so that a batch can
// share each file read once between its rows.
#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hdfe/hdfe.h"

namespace hdfe {

// The reads of loading. Each throws Error as the file's reader does.
class InputSource {
 public:
  virtual ~InputSource() = default;
  virtual SpecValues spec(const std::string& name) = 0;
  virtual TransmissionInput transmission(const std::string& name) = 0;
  virtual EngineInput engine(const std::string& name) = 0;
  virtual TorqueCurve torque_curve(const std::string& name) = 0;
  virtual FuelMap fuel_map(const std::string& name) = 0;
  // The SHA-256 of a file read successfully (file_sha256).
  virtual std::string sha256(const std::string& name) = 0;
  // The lines of a file, for the warnings its text gives; null when it cannot be read.
  virtual std::shared_ptr<const std::vector<std::string>> lines(const std::string& name) = 0;
  // What the text of the vehicle's files gives (read_input_text over lines), which
  // depends on its files alone: a source may give the same to every vehicle of the same files.
  virtual std::shared_ptr<const InputText> input_text(const Vehicle& vehicle);
};

// load_vehicle(values, spec, options), reading through `source`.
Vehicle load_vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options,
                     InputSource& source);

}  // namespace hdfe
