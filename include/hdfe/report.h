// The outputs of a run: the results file, the JSON document, the trace table and the
// vehicle summary of the console.
#pragma once
#include <string>
#include <string_view>

#include "hdfe/hdfe.h"

namespace hdfe {

// The 30 records of the results file of a run of the spec file named inputName.
std::string results_text(const Result& result, std::string_view inputName);

// The whole results file: results_text, then a trace block per cycle when the spec's
// TraceFlag is 1 (the run must then have kept its traces).
std::string results_file(const Result& result, std::string_view inputName);

// The JSON document of a run of the vehicle: program and cycle-table versions, input files
// with their paths and SHA-256, the classification (with the engineering values, null when
// unset), every cycle's figures, metrics and energy audit, the average, whether the run is an
// engineering run, the run-check findings and the warnings. Indented by two, ending in a
// newline.
std::string result_json(const Vehicle& vehicle, const Result& result);

// The CSV columns, in order.
inline constexpr const char* TraceCsvHeader =
    "cycle,second,target_speed_km_per_h,speed_km_per_h,gradient_percent,distance_km,gear,engine_speed_rpm,"
    "engine_torque_Nm,engine_own_torque_Nm,braking_torque_Nm,normalised_speed_percent,normalised_torque_percent,"
    "fuel_rate_l_per_h,cumulative_fuel_l";

// The header and one row per second of every traced cycle (UTF-8, LF). Numbers are written
// in the shortest form that reads back to the same value. Distance and fuel accumulate from
// the cycle's start, so the last row's cumulative fuel is the cycle's fuel.
std::string trace_csv(const Result& result);

// The summary of the classified vehicle, one CR LF record per line.
std::string vehicle_summary(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
                            const TransmissionData& trn);

}  // namespace hdfe
