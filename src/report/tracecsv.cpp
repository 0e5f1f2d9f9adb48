#include <charconv>

#include "hdfe/report.h"
#include "hdfe/tables.h"

namespace hdfe {

namespace {

void append_number(std::string& out, double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

}  // namespace

std::string trace_csv(const Result& result) {
  std::string out = "cycle";
  for (const TraceColumnInfo& column : trace_column_table()) {
    out += ',';
    out += column.name;
  }
  out += '\n';
  const TraceTable table = trace_table(result);
  std::size_t first = 0;
  for (std::size_t cycle = 0; cycle < table.cycles.size(); ++cycle) {
    const auto rows = static_cast<std::size_t>(table.rows[cycle]);
    for (std::size_t k = first; k < first + rows; ++k) {
      out += table.cycles[cycle];
      for (const std::vector<double>& column : table.columns) {
        out += ',';
        append_number(out, column[k]);
      }
      out += '\n';
    }
    first += rows;
  }
  return out;
}

}  // namespace hdfe
