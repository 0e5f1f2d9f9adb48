// Running the rows of a batch on worker threads and handing them back in row order.
#include "hdfe/batch.h"
#include "hdfe/route.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "batch/inputcache.h"
#include "batch/summaryrows.h"
#include "hdfe/cycle.h"
#include "hdfe/report.h"

namespace hdfe {

namespace {

BatchOutcome run_row(BatchRow row, InputCache& cache, const BatchOptions& options) {
  BatchOutcome outcome;
  Vehicle vehicle;
  bool loaded = false;  // the vehicle's files were all read: they are the row's inputs
  try {
    if (!row.error.empty()) throw Error(ErrorKind::BadValue, row.error);
    if (row.vehicle) {
      vehicle = *row.vehicle;
      for (const Override& o : row.overrides) {
        if (o.value.empty()) continue;
        if (o.name == "EngineFile" || o.name == "TransmissionFile") {
          // The vehicle's files are already read: another name would not be run.
          throw Error(ErrorKind::BadValue,
                      o.name + " cannot be replaced on a loaded vehicle: give its spec file instead");
        }
        apply_override(vehicle.values, o.name, o.value);
      }
    } else {
      SpecValues values = cache.spec(row.spec.string());
      for (const Override& o : row.overrides) {
        if (!o.value.empty()) apply_override(values, o.name, o.value);
      }
      LoadOptions load;
      load.digests = options.json;  // only the JSON reports them
      vehicle = cache.vehicle(values, row.spec, load);
    }
    loaded = true;
    // Only the standard vehicle on the built-in cycles has a results file.
    const bool resultsFile =
        options.results_file && row.cycles.empty() && row.route.empty() && !has_engineering_values(vehicle.values);
    RunOptions runOptions;
    runOptions.traces = resultsFile && vehicle.values.traces;
    runOptions.energy_audit = options.layout == SummaryLayout::PerCycle || options.json;  // what shows it
    const FuelGridSource grid = [&](const Vehicle& v) { return row.vehicle ? cache.grid(row.vehicle) : cache.grid(v); };
    Result result;
    if (!row.route.empty()) {
      if (options.layout != SummaryLayout::PerCycle) {
        throw Error(ErrorKind::Usage, "a row that drives a route needs the per-cycle summary layout");
      }
      result = run_routes(vehicle, {cache.route(row.route).get(), 1}, runOptions, grid);
    } else if (row.cycles.empty()) {
      result = run(vehicle, runOptions, grid);
    } else {
      if (options.layout != SummaryLayout::PerCycle) {
        throw Error(ErrorKind::Usage, "a row that runs cycles needs the per-cycle summary layout");
      }
      std::vector<Cycle> cycles;
      for (const std::string& name : row.cycles) {
        cycles.push_back(*cache.cycle(name));
        // The summary's rows of a cycle go by its name.
        for (std::size_t j = 0; j + 1 < cycles.size(); ++j) {
          if (cycles[j].name == cycles.back().name) {
            throw Error(ErrorKind::BadValue, "two of the row's cycles are named " + cycles.back().name);
          }
        }
      }
      result = run_cycles(vehicle, cycles, runOptions, grid);
    }
    if (options.layout == SummaryLayout::PerCycle) {
      outcome.summary = status_row(row, result);
      outcome.cycle_summary = cycle_summary_rows(row, result);
    } else {
      outcome.summary = summary_row(row, result);
    }
    if (resultsFile) outcome.results_file = results_file(result, row.spec_name);
    if (options.json) outcome.json = result_json(vehicle, result);
  } catch (const std::exception& error) {
    outcome.summary = error_row(row, error.what());
    outcome.cycle_summary.clear();
    if (options.layout == SummaryLayout::PerCycle) outcome.cycle_summary.push_back(cycle_error_row(row, error.what()));
  }
  if (loaded) outcome.inputs = std::move(vehicle.files);
  outcome.row = std::move(row);
  return outcome;
}

// Rows waiting for a worker, and finished rows waiting to be handed back.
struct Queue {
  std::mutex mutex;
  std::condition_variable work;   // a row is waiting, or the batch is closed
  std::condition_variable ready;  // a row has finished
  std::deque<std::pair<std::size_t, BatchRow>> waiting;
  std::vector<std::optional<BatchOutcome>> finished;  // the window, by row number modulo its size
  bool closed = false;
};

void work(Queue& q, InputCache& cache, const BatchOptions& options) {
  for (;;) {
    std::pair<std::size_t, BatchRow> item;
    {
      std::unique_lock lock(q.mutex);
      q.work.wait(lock, [&] { return q.closed || !q.waiting.empty(); });
      if (q.waiting.empty()) return;
      item = std::move(q.waiting.front());
      q.waiting.pop_front();
    }
    BatchOutcome outcome = run_row(std::move(item.second), cache, options);
    outcome.index = item.first;
    {
      const std::lock_guard lock(q.mutex);
      q.finished[item.first % q.finished.size()] = std::move(outcome);
    }
    q.ready.notify_one();
  }
}

// The most workers a batch starts: a few per core, enough to cover rows that wait on a
// file, and few enough that a mistyped count cannot exhaust the system's threads.
constexpr unsigned WorkersPerCore = 4;

unsigned worker_limit() { return WorkersPerCore * std::max(1u, std::thread::hardware_concurrency()); }

// Starts one more worker; a thread the system refuses stops the batch as an Error.
void start_worker(std::vector<std::thread>& workers, Queue& q, InputCache& cache, const BatchOptions& options) {
  try {
    workers.emplace_back(work, std::ref(q), std::ref(cache), std::cref(options));
  } catch (const std::system_error& error) {
    throw Error(ErrorKind::Limit,
                "Cannot start batch worker " + std::to_string(workers.size() + 1) + ": " + error.what());
  }
}

}  // namespace

// Each row of a batch allocates and frees the same few hundred kilobytes of traces. By
// default the C library hands freed memory at the top of a heap back to the system once more
// than 128 kB of it is free, and the next row faults it in again, page by page: 5 to 10 % of
// a row's processor time, more with several workers.
namespace {
// Free memory kept for reuse instead...
constexpr int KeptFreeBytes = 64 << 20;
// ...and blocks up to this size (a long cycle's traces) taken from the heaps rather than
// mapped afresh; the C library raises its own limit there too, once blocks are freed.
constexpr int MappedBlockBytes = 32 << 20;
}  // namespace

void keep_freed_memory_for_batches() {
#if defined(__GLIBC__)
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, MappedBlockBytes);
    mallopt(M_TRIM_THRESHOLD, KeptFreeBytes);
  });
#endif
}

void run_batch(const std::function<std::optional<BatchRow>()>& next, const BatchOptions& options,
               const std::function<void(BatchOutcome&)>& done) {
  InputCache cache;
  // More workers than cores only wait for each other; a thread is started only for a row
  // that waits for one, so a batch never has more workers than rows.
  const unsigned jobs = options.jobs > 0 ? std::min(options.jobs, worker_limit())
                                         : std::max(1u, std::thread::hardware_concurrency());
  if (jobs == 1) {
    for (std::size_t index = 0;; ++index) {
      std::optional<BatchRow> row = next();
      if (!row) return;
      BatchOutcome outcome = run_row(std::move(*row), cache, options);
      outcome.index = index;
      done(outcome);
    }
  }
  Queue q;
  q.finished.resize(options.window > 0 ? options.window : 4 * std::size_t{jobs});
  std::vector<std::thread> workers;
  const auto close = [&] {
    {
      const std::lock_guard lock(q.mutex);
      q.closed = true;
    }
    q.work.notify_all();
    for (std::thread& worker : workers) worker.join();
  };
  try {
    std::size_t issued = 0;
    std::size_t handed = 0;
    bool more = true;
    for (;;) {
      // Rows are read only as far as the window reaches past the next one to hand back.
      while (more && issued < handed + q.finished.size()) {
        std::optional<BatchRow> row = next();
        if (!row) {
          more = false;
          break;
        }
        {
          const std::lock_guard lock(q.mutex);
          q.waiting.emplace_back(issued++, std::move(*row));
        }
        if (workers.size() < jobs && workers.size() < issued) start_worker(workers, q, cache, options);
        q.work.notify_one();
      }
      if (handed == issued) break;
      BatchOutcome outcome;
      {
        std::unique_lock lock(q.mutex);
        std::optional<BatchOutcome>& slot = q.finished[handed % q.finished.size()];
        q.ready.wait(lock, [&] { return slot.has_value(); });
        outcome = std::move(*slot);
        slot.reset();
      }
      done(outcome);
      ++handed;
    }
  } catch (...) {
    close();
    throw;
  }
  close();
}

}  // namespace hdfe
