// The transmission and engine files.
#pragma once
#include <string_view>
#include "records/input.h"

// Reads the transmission file: kind, ratio counts and lists, starting-gear limit.
void READTRN(std::string_view name, TransmissionData& trn, RatioLists& ratios);
// Reads the engine file: the three engine data file names and Nidle, Nrate, Nex.
void READENG(std::string_view name, EngineData& eng, EngineFiles& files);
