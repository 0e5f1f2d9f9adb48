// The files a batch row will read, named before it runs.
#include <exception>

#include "hdfe/batch.h"
#include "hdfe/cycle.h"
#include "io/readengtrn.h"
#include "io/readspec.h"

namespace hdfe {

namespace {

std::filesystem::path opened(const std::filesystem::path& base, const std::string& name) {
  const std::filesystem::path path(name);
  return base.empty() || name.empty() || path.is_absolute() ? path : base / path;
}

std::vector<std::filesystem::path> vehicle_files(const BatchRow& row) {
  std::vector<std::filesystem::path> files;
  if (row.vehicle) {
    for (const InputFile& f : row.vehicle->files) files.push_back(f.path);
    return files;
  }
  files.push_back(row.spec);
  try {
    SpecValues values = read_spec(row.spec.string());
    for (const Override& o : row.overrides) {
      if (!o.value.empty() && (o.name == "EngineFile" || o.name == "TransmissionFile")) {
        apply_override(values, o.name, o.value);
      }
    }
    const std::filesystem::path base = row.spec.parent_path();
    files.push_back(opened(base, values.transmission_file));
    files.push_back(opened(base, values.engine_file));
    const EngineInput engine = read_engine(files.back().string());
    for (const std::string* name : {&engine.full_load_file, &engine.motoring_file, &engine.fuel_map_file}) {
      files.push_back(opened(base, *name));
    }
  } catch (const std::exception&) {
    // The row fails on this file when it runs.
  }
  return files;
}

}  // namespace

std::vector<std::filesystem::path> row_input_files(const BatchRow& row) {
  if (!row.error.empty() && !row.vehicle) return {};
  std::vector<std::filesystem::path> files = vehicle_files(row);
  for (const std::string& cycle : row.cycles) {
    if (find_library_cycle(cycle) == nullptr) files.emplace_back(cycle);
  }
  if (!row.route.empty()) files.emplace_back(row.route);
  return files;
}

}  // namespace hdfe
