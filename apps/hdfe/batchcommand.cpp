#include "batchcommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "hdfe/batch.h"
#include "hdfe/bytetext.h"
#include "hdfe/cycle.h"
#include "hdfe/output.h"
#include "hdfe/freeform.h"
#include "console.h"
#include "errorrecords.h"
#include "outputcheck.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void usage(const std::string& message) {
  throw Error(ErrorKind::Usage, message);
}

// The code point of the valid UTF-8 sequence of `length` bytes at text[at].
char32_t code_point(std::string_view text, std::size_t at, std::size_t length) {
  static constexpr unsigned LeadBits[] = {0x7F, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t c = static_cast<unsigned char>(text[at]) & LeadBits[length];
  for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  return c;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// True for a character past ASCII kept in a file name: the letters, digits and signs of any
// script, but no control, space, format or direction mark, private-use or noncharacter.
bool kept_beyond_ascii(char32_t c) {
  return c > 0xA0 && c != 0xAD && !(c >= 0x2000 && c <= 0x200F) && !(c >= 0x2028 && c <= 0x202F) &&
         !(c >= 0x205F && c <= 0x206F) && c != 0x3000 && !(c >= 0xD800 && c <= 0xF8FF) && c != 0xFEFF &&
         !(c >= 0xFFF0 && c <= 0xFFFF) && !(c >= 0xE0000);
}

// A row id as a file name: ASCII letters, digits, '.', '-', '_' and '+' kept, and the
// characters of other scripts (UTF-8); anything else, and each byte that is not UTF-8, '_'.
// No leading dot or dash; at most 200 bytes, not cutting a character.
std::string file_stem(std::string_view id) {
  std::string stem;
  for (std::size_t p = 0; p < id.size();) {
    const char c = id[p];
    const std::size_t length = utf8_sequence_length(id, p);
    std::string_view kept = "_";
    if (length == 1) {
      const bool ascii = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '-' || c == '_' || c == '+';
      if (ascii) kept = id.substr(p, 1);
    } else if (length > 1 && kept_beyond_ascii(code_point(id, p, length))) {
      kept = id.substr(p, length);
    }
    if (stem.size() + kept.size() > 200) break;
    stem += kept;
    p += std::max<std::size_t>(length, 1);
  }
  if (stem.empty() || stem.front() == '.' || stem.front() == '-') stem.insert(stem.begin(), '_');
  return stem;
}

// The stem as file systems that ignore case compare it: ASCII, Latin, Greek and Cyrillic
// capitals as small letters.
std::string folded(std::string_view stem) {
  std::string out;
  out.reserve(stem.size());
  for (std::size_t p = 0; p < stem.size();) {
    const std::size_t length = std::max<std::size_t>(utf8_sequence_length(stem, p), 1);
    char32_t c = code_point(stem, p, length);
    p += length;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F)) {
      c += 0x20;
    } else if (c >= 0x400 && c <= 0x40F) {
      c += 0x50;
    } else if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
      c |= 1;
    } else if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 1) {
      c += 1;
    }
    append_utf8(out, c);
  }
  return out;
}

// File stems already written, compared without case (so that they stay apart on any file
// system), held as 64-bit hashes in an open-addressed table: 16 MB for a million rows.
class StemSet {
 public:
  // False when the stem was taken before.
  bool insert(std::string_view stem) { return find(stem, true); }
  bool contains(std::string_view stem) { return !find(stem, false); }

 private:
  void grow() {
    std::vector<uint64_t> old(table_.empty() ? 1024 : table_.size() * 2, 0);
    old.swap(table_);
    for (const uint64_t h : old) {
      if (h == 0) continue;
      std::size_t k = h & (table_.size() - 1);
      while (table_[k] != 0) k = (k + 1) & (table_.size() - 1);
      table_[k] = h;
    }
  }
  // False when the stem is in the table; otherwise true, after adding it when `add`.
  bool find(std::string_view stem, bool add) {
    const uint64_t h = std::hash<std::string>{}(folded(stem)) | 1;  // 0 marks a free slot
    if (2 * (count_ + 1) > table_.size()) grow();
    std::size_t k = h & (table_.size() - 1);
    for (; table_[k] != 0; k = (k + 1) & (table_.size() - 1)) {
      if (table_[k] == h) return false;
    }
    if (!add) return true;
    table_[k] = h;
    ++count_;
    return true;
  }
  std::vector<uint64_t> table_;
  std::size_t count_ = 0;
};

// The files a batch reads: those that exist by device and inode, the others by their
// absolute path, so that a file created after they were named is still recognised.
class FileSet {
 public:
  void add(const fs::path& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
      ids_.insert({st.st_dev, st.st_ino});
    } else if (!name.empty()) {
      absent_.insert(absolute(name));
    }
  }
  bool contains(const fs::path& name) const {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && ids_.count({st.st_dev, st.st_ino}) > 0) return true;
    return !absent_.empty() && absent_.count(absolute(name)) > 0;
  }

 private:
  static std::string absolute(const fs::path& name) {
    std::error_code ec;
    const fs::path path = fs::weakly_canonical(fs::absolute(name, ec), ec);
    return ec ? fs::absolute(name, ec).lexically_normal().string() : path.string();
  }
  std::set<std::pair<dev_t, ino_t>> ids_;
  std::set<std::string> absent_;
};

// True when the file begins as this program's results file (k = 0) or JSON (k = 1) does.
bool written_here(const std::string& name, std::size_t k) {
  static constexpr std::string_view Starts[] = {"VEHICLENAME\t", "{\n  \"program\": {\n    \"name\": \"hdfe\""};
  std::string head(Starts[k].size(), '\0');
  std::ifstream in(name, std::ios::binary);
  return in.read(head.data(), static_cast<std::streamsize>(head.size())) && head == Starts[k];
}

// The files of a row in the output folder: the results file and the JSON.
std::array<std::string, 2> row_file_names(const fs::path& folder, const std::string& stem) {
  return {(folder / (stem + ".txt")).string(), (folder / (stem + ".json")).string()};
}

// Writes a row's results file and JSON into the output folder. Throws Error when a name is
// a file the batch reads or is the summary, or a file cannot be written. When the rows'
// inputs could not be named ahead (`unknownInputs`), only a file this program wrote is replaced.
void write_row_files(const std::array<std::string, 2>& names, const BatchOutcome& o, const FileSet& read,
                     const std::string& summary, bool unknownInputs) {
  const std::string* const contents[] = {&o.results_file, &o.json};
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (contents[k]->empty()) {
      // A row with no results file (cycles or engineering values): one that an earlier batch
      // left under its name is removed, so that it stands beside no other row's JSON.
      std::error_code ec;
      if (fs::is_regular_file(fs::symlink_status(names[k], ec)) && !read.contains(names[k]) &&
          !same_file_or_entry(names[k], summary) && written_here(names[k], k)) {
        fs::remove(names[k], ec);
      }
      continue;
    }
    if (read.contains(names[k])) cannot_write(names[k], "it is an input file of the batch");
    std::error_code ec;
    if (unknownInputs && fs::exists(fs::symlink_status(names[k], ec)) && !written_here(names[k], k)) {
      cannot_write(names[k], "it is no results file or JSON of this program and may be an input file of a later "
                             "row (a manifest on standard input is not read ahead)");
    }
    if (same_file_or_entry(names[k], summary)) cannot_write(names[k], "it is also the batch summary");
    const OutputFile file{names[k], *contents[k]};
    commit_files(std::span(&file, 1));
  }
}

// Removes what an earlier batch left under a failed row's names, so that no results stand
// beside a summary row that says error. Only files this program wrote are removed: each must
// begin as a results file or a JSON document does, and be no file this batch reads or writes.
void remove_stale_row_files(const std::array<std::string, 2>& names, const FileSet& read, const std::string& summary) {
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(names[k], ec)) || read.contains(names[k]) ||
        same_file_or_entry(names[k], summary)) {
      continue;
    }
    if (written_here(names[k], k)) fs::remove(names[k], ec);
  }
}

// Rows done, rate and time left on one line of standard error, redrawn at most 5 times a second.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), start_(Clock::now()), last_(start_) {}
  void row_done(bool final = false) {
    ++done_;
    const auto now = Clock::now();
    if (!final && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0.0 ? static_cast<double>(done_) / seconds : 0.0;
    char line[160];
    if (total_ > 0) {
      const std::size_t width = 30;
      const std::size_t filled = std::min(width, done_ * width / total_);
      const double left = rate > 0.0 ? static_cast<double>(total_ - std::min(done_, total_)) / rate : 0.0;
      std::snprintf(line, sizeof line, "\r[%s%s] %zu/%zu rows  %.0f rows/s  %ldm%02lds left ",
                    std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(), done_, total_, rate,
                    static_cast<long>(left) / 60, static_cast<long>(left) % 60);
    } else {
      std::snprintf(line, sizeof line, "\r%zu rows  %.0f rows/s ", done_, rate);
    }
    (Console(stderr) << line).flush();
  }
  void finish() {
    --done_;
    row_done(true);
    (Console(stderr) << '\n').flush();
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::size_t total_ = 0;
  std::size_t done_ = 0;
  Clock::time_point start_;
  Clock::time_point last_;
};

// The rows of the command: the manifest's (standard input for "-") or the sweep's.
struct RowSource {
  std::unique_ptr<std::ifstream> file;
  std::unique_ptr<StandardInputStream> standardInput;  // a manifest given as "-"
  std::unique_ptr<ManifestReader> manifest;
  std::unique_ptr<Sweep> sweep;
  std::size_t next_sweep_row = 0;

  std::vector<std::string> cycles;  // --cycle: run by every row
  std::string route;                // --route: driven by every row

  explicit RowSource(const CommandLine& c) : cycles(c.cycles), route(c.routes.empty() ? "" : c.routes.front()) {
    if (c.sweep_spec) {
      sweep = std::make_unique<Sweep>(*c.sweep_spec, c.sweeps);
      return;
    }
    const std::string& name = *c.manifest;
    std::istream* in = nullptr;
    fs::path base;
    if (name == "-") {
      standardInput = std::make_unique<StandardInputStream>();
      in = &standardInput->stream();
    } else {
      file = std::make_unique<std::ifstream>(name, std::ios::binary);
      std::error_code ec;
      if (!fs::is_regular_file(name, ec) || !*file) {
        throw Error(ErrorKind::MissingFile, "Cannot open manifest file : " + name, name);
      }
      in = file.get();
      base = fs::path(name).parent_path();
    }
    manifest = std::make_unique<ManifestReader>(*in, name, base);
    if (manifest->cycle_column() && !cycles.empty()) {
      usage("--cycle runs every row over the cycles given, and the manifest " + name +
            " has a cycle column: give the cycles one way");
    }
    if ((manifest->route_column() || manifest->cycle_column()) && !route.empty()) {
      usage("--route drives every row along the route given, and the manifest " + name +
            " has a route or cycle column: give the rows' runs one way");
    }
  }
  // Rows run cycles of their own: the summary has a row per batch row and cycle.
  SummaryLayout layout() const {
    const bool own = manifest && (manifest->cycle_column() || manifest->route_column());
    return !cycles.empty() || !route.empty() || own ? SummaryLayout::PerCycle : SummaryLayout::Wide;
  }
  const std::vector<std::string>& columns() const {
    return sweep ? sweep->override_columns() : manifest->override_columns();
  }
  std::optional<BatchRow> next() {
    std::optional<BatchRow> row;
    if (!sweep) {
      row = manifest->next();
    } else if (next_sweep_row < sweep->size()) {
      row = sweep->row(next_sweep_row++);
    }
    if (row && !cycles.empty()) row->cycles = cycles;
    if (row && !route.empty()) row->route = route;
    return row;
  }
  // The number of rows, for the progress bar; 0 when unknown without reading standard input.
  std::size_t total(const CommandLine& c) const {
    if (sweep) return sweep->size();
    if (*c.manifest == "-") return 0;
    std::ifstream again(*c.manifest, std::ios::binary);
    ManifestReader counter(again, *c.manifest);
    std::size_t rows = 0;
    while (counter.next()) ++rows;
    return rows;
  }
};

// Adds every file the rows will read, named before any row runs, so that no row's output
// replaces a file that a later row has still to read. Each distinct spec file (with its
// engine and transmission overrides) is read once. False for a manifest on standard input,
// which cannot be read twice.
bool add_row_inputs(const CommandLine& c, FileSet& read) {
  std::set<std::vector<std::string>> seen;
  // The cycles of --cycle, given once for every row.
  for (const std::string& cycle : c.cycles) {
    if (find_library_cycle(cycle) == nullptr) read.add(cycle);
  }
  for (const std::string& route : c.routes) read.add(route);
  const auto add = [&](const BatchRow& row) {
    if (!row.error.empty()) return;
    std::vector<std::string> key{row.spec.string()};
    for (const Override& o : row.overrides) {
      if (o.name == "EngineFile" || o.name == "TransmissionFile") key.push_back(o.value);
    }
    key.insert(key.end(), row.cycles.begin(), row.cycles.end());
    key.push_back(row.route);
    if (!seen.insert(std::move(key)).second) return;
    for (const fs::path& file : row_input_files(row)) read.add(file);
  };
  try {
    if (c.sweep_spec) {
      const Sweep sweep(*c.sweep_spec, c.sweeps);
      const auto& columns = sweep.override_columns();
      const bool names = std::find(columns.begin(), columns.end(), "EngineFile") != columns.end() ||
                         std::find(columns.begin(), columns.end(), "TransmissionFile") != columns.end();
      // Without a swept file name every row reads the files of the first.
      const std::size_t rows = names ? sweep.size() : std::min<std::size_t>(sweep.size(), 1);
      for (std::size_t k = 0; k < rows; ++k) add(sweep.row(k));
      return true;
    }
    if (*c.manifest == "-") return false;
    std::ifstream again(*c.manifest, std::ios::binary);
    ManifestReader rows(again, *c.manifest, fs::path(*c.manifest).parent_path());
    while (const std::optional<BatchRow> row = rows.next()) add(*row);
  } catch (const std::exception&) {
    // The run meets the same problem at its row and reports it there.
  }
  return true;
}

int run_batch_rows(const CommandLine& c) {
  RowSource source(c);  // a bad header or sweep is a usage error before anything runs
  const std::optional<fs::path> folder = c.out_dir ? std::optional<fs::path>(*c.out_dir) : std::nullopt;
  std::string summaryName = c.summary_csv ? *c.summary_csv : folder ? (*folder / "batch_summary.csv").string() : "-";
  if (summaryName != "-" && c.manifest && *c.manifest != "-") {
    std::error_code ec;
    if (fs::equivalent(summaryName, *c.manifest, ec)) usage("the summary " + summaryName + " would replace the manifest");
  }
  if (folder) {
    std::error_code ec;
    fs::create_directories(*folder, ec);
    if (!fs::is_directory(*folder, ec)) {
      throw Error(ErrorKind::CannotWrite, "Cannot create output folder [ " + folder->string() + " ]");
    }
  }
  // A summary file is put in place whole when the batch ends; standard output streams; the
  // null device takes the summary of a batch run for its per-row files alone.
  std::error_code nullError;
  const bool discard = summaryName != "-" && fs::weakly_canonical(summaryName, nullError) == "/dev/null";
  std::optional<StreamedFile> summaryFile;
  if (summaryName != "-" && !discard) summaryFile.emplace(summaryName);
  const auto emit = [&](const std::string& text) {
    if (discard) return;
    if (summaryFile) {
      summaryFile->write(text);
    } else if (!(Console(stdout) << text)) {
      cannot_write(summaryName);
    }
  };
  std::optional<Progress> progress;
  if (::isatty(STDERR_FILENO) == 1) progress.emplace(source.total(c));

  BatchOptions options;
  options.jobs = c.jobs ? static_cast<unsigned>(*c.jobs) : 0;
  options.results_file = options.json = folder.has_value();
  options.layout = source.layout();
  const bool perCycle = options.layout == SummaryLayout::PerCycle;
  StemSet stems;
  bool failed = false;
  emit(perCycle ? cycle_summary_csv_header(source.columns()) : summary_csv_header(source.columns()));
  FileSet read;
  if (c.manifest && *c.manifest != "-") read.add(*c.manifest);
  const bool unknownInputs = folder && !add_row_inputs(c, read);
  const std::string summaryTarget = summaryName == "-" || discard ? std::string() : summaryName;
  keep_freed_memory_for_batches();
  run_batch([&] { return source.next(); }, options, [&](BatchOutcome& o) {
    read.add(o.row.spec);
    for (const InputFile& input : o.inputs) read.add(input.path);
    if (!summaryTarget.empty() && read.contains(summaryTarget)) cannot_write(summaryTarget, "it is an input file of the batch");
    if (folder) {
      const std::string stem = file_stem(o.row.id);
      const std::array<std::string, 2> names = row_file_names(*folder, stem);
      bool own = !stems.contains(stem);  // no earlier row of this batch wrote these names
      if (o.summary.ok) {
        try {
          if (!stems.insert(stem)) {
            throw Error(ErrorKind::CannotWrite,
                        "The id " + o.row.id + " names the same output files (" + stem + ".*) as an earlier row");
          }
          write_row_files(names, o, read, summaryTarget, unknownInputs);
        } catch (const Error& error) {
          o.summary = error_row(o.row, error.what());
          if (perCycle) o.cycle_summary = {cycle_error_row(o.row, error.what())};
        }
      }
      if (!o.summary.ok && own) remove_stale_row_files(names, read, summaryTarget);
    }
    failed = failed || !o.summary.ok;
    if (perCycle) {
      for (const CycleSummaryRow& row : o.cycle_summary) emit(cycle_summary_csv_line(row));
    } else {
      emit(summary_csv_line(o.summary));
    }
    if (progress) progress->row_done();
  });
  if (progress) progress->finish();
  if (summaryFile) {
    summaryFile->commit();
  } else if (!discard && !Console(stdout).flush()) {
    cannot_write(summaryName);
  }
  return failed ? ExitFailure : ExitOk;
}

}  // namespace

int run_batch_command(const CommandLine& command) {
  try {
    return run_batch_rows(command);
  } catch (const Error& error) {
    return report_error(error);
  }
}

}  // namespace hdfe
