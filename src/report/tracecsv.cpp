#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "hdfe/report.h"
#include "hdfe/tables.h"
#include "io/fields.h"
#include "report/trace.h"

namespace hdfe {

namespace {

// Bytes of a typical value with its comma, for sizing the text.
constexpr std::size_t CsvValueBytes = 12;

}  // namespace

std::string trace_csv(const Result& result) {
  std::string out = "cycle";
  for (const TraceColumnInfo& column : trace_column_table()) {
    out += ',';
    out += column.name;
  }
  out += '\n';
  const TraceTable table = trace_table(result);
  std::size_t bytes = out.size();
  for (std::size_t cycle = 0; cycle < table.cycles.size(); ++cycle) {
    bytes += static_cast<std::size_t>(table.rows[cycle]) * (table.cycles[cycle].size() + 1 + CsvValueBytes * table.columns.size());
  }
  out.reserve(bytes);
  // The rows are composed in a chunk, which always has room for one more, and appended a
  // chunk at a time. A value has room for the text of its column's memo.
  using Memo = ColumnMemo<put_shortest, ShortestRoom>;
  std::vector<char> chunk;
  std::vector<Memo> memos(table.columns.size());
  std::size_t first = 0;
  for (std::size_t cycle = 0; cycle < table.cycles.size(); ++cycle) {
    const std::string& name = table.cycles[cycle];
    const std::size_t rowRoom = name.size() + table.columns.size() * (1 + ShortestRoom) + 1;
    if (chunk.size() < TraceFlushBytes + rowRoom) chunk.resize(TraceFlushBytes + rowRoom);
    char* const start = chunk.data();
    char* p = start;
    const auto rows = static_cast<std::size_t>(table.rows[cycle]);
    for (std::size_t k = first; k < first + rows; ++k) {
      p = std::copy(name.begin(), name.end(), p);
      for (std::size_t c = 0; c < table.columns.size(); ++c) {
        *p++ = ',';
        p = memos[c].put(p, table.columns[c][k]);
      }
      *p++ = '\n';
      if (p - start >= static_cast<std::ptrdiff_t>(TraceFlushBytes)) {
        out.append(start, static_cast<std::size_t>(p - start));
        p = start;
      }
    }
    out.append(start, static_cast<std::size_t>(p - start));
    first += rows;
  }
  return out;
}

}  // namespace hdfe
