// The transmission and engine files.
#pragma once
#include <string_view>
#include "hdfe/vehicle.h"
#include "io/inputfile.h"

namespace hdfe {

// Reads the transmission file: kind, ratio counts and lists, starting-gear limit.
TransmissionInput read_transmission(std::string_view name, InputBytes* files = nullptr);
// Reads the engine file: the three engine data file names and Nidle, Nrate, Nex.
EngineInput read_engine(std::string_view name, InputBytes* files = nullptr);

}  // namespace hdfe
