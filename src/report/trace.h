// The trace blocks of the results file.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include "hdfe/traces.h"

namespace hdfe {

// Trace records and CSV rows are composed in a buffer and appended to the text once this
// many bytes of them are: few enough to be copied without a string instruction, which some
// machines start on longer copies.
inline constexpr std::size_t TraceFlushBytes = 1920;

// Bytes the cycle's trace block takes with typical records, for reserving room.
std::size_t trace_block_bytes(const DriveCycle& cycle, std::string_view cycleName);

// Appends the cycle's trace block: a blank record, the cycle name, the column titles and
// one record per step.
void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName);

}  // namespace hdfe
