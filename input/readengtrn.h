// The transmission and engine files.
#pragma once
#include <string_view>
#include "records/input.h"

namespace hdfe {

// Reads the transmission file: kind, ratio counts and lists, starting-gear limit.
void read_transmission(std::string_view name, TransmissionData& trn, RatioLists& ratios);
// Reads the engine file: the three engine data file names and Nidle, Nrate, Nex.
void read_engine(std::string_view name, EngineData& eng, EngineFiles& files);

}  // namespace hdfe
