#include <array>

#include "hdfe/tables.h"

namespace hdfe {

namespace {

using M = CycleMetrics;

const std::array<MetricInfo, 5> Metrics{{
    {"seconds_below_target", "s", "seconds more than 2 km/h below the target speed", &M::seconds_below_target},
    {"largest_shortfall_km_per_h", "km/h", "largest target minus achieved speed, 0 if never short",
     &M::largest_shortfall_km_per_h},
    {"largest_shortfall_second", "s", "second (1-based) of the largest shortfall, 0 if never short",
     &M::largest_shortfall_second},
    {"distance_percent_of_target", "%", "achieved distance over target distance", &M::distance_percent_of_target},
    {"seconds_at_full_load", "s", "seconds with the torque at 99 % or more of full load", &M::seconds_at_full_load},
}};

}  // namespace

std::span<const MetricInfo> cycle_metric_table() { return Metrics; }

}  // namespace hdfe
