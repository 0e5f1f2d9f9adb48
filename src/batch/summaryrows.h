// Summary rows the batch layer makes for itself.
#pragma once
#include "hdfe/batch.h"

namespace hdfe {

// The summary row of a successful run without its figures: id, spec, status, category,
// warnings and overrides (a row of a per-cycle batch, whose figures are its cycle rows).
SummaryRow status_row(const BatchRow& row, const Result& result);

}  // namespace hdfe
