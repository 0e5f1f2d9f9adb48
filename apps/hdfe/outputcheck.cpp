#include "outputcheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#include <filesystem>
#include <string>
#include <system_error>

#include "console.h"
#include "hdfe/output.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

// True when the file `name` can be created or appended to. Opening an existing file for
// appending neither creates nor changes it.
bool writable(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  const fs::path path(name);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status)) {
    if (!fs::is_regular_file(status)) return false;
    const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// True when the existing file `name` is the same file as one of `others` (device and inode,
// through links). A name that is no file yet is none of them.
bool same_file(const std::string& name, const std::vector<std::string>& others) {
  struct stat file {};
  if (name.find('\0') != std::string::npos || ::stat(name.c_str(), &file) != 0) return false;
  for (const std::string& other : others) {
    struct stat st {};
    if (!other.empty() && other.find('\0') == std::string::npos && ::stat(other.c_str(), &st) == 0 &&
        st.st_dev == file.st_dev && st.st_ino == file.st_ino) {
      return true;
    }
  }
  return false;
}

}  // namespace

void check_output(const std::string& results, const Vehicle& vehicle) {
  const std::string info = results + "_info.txt";
  std::vector<std::string> inputs;
  for (const InputFile& file : vehicle.files) inputs.push_back(file.path.string());
  for (const std::string& name : {results, info}) {
    const std::string other = name == results ? info : results;
    if (!writable(name) || same_file(name, {other})) cannot_write(name);
    if (same_file(name, inputs)) cannot_write(name, "it is an input file of the run");
    check_replaceable(name, "output file");
  }
}

bool same_file_or_entry(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty() || a.find('\0') != std::string::npos || b.find('\0') != std::string::npos) return false;
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::path pa(a), pb(b);
  if (pa.filename() != pb.filename()) return false;
  const auto folder = [](const fs::path& p) { return p.parent_path().empty() ? fs::path(".") : p.parent_path(); };
  struct stat fa {}, fb {};
  return ::stat(folder(pa).c_str(), &fa) == 0 && ::stat(folder(pb).c_str(), &fb) == 0 && fa.st_dev == fb.st_dev &&
         fa.st_ino == fb.st_ino;
}

void check_option_outputs(const NamedOutputs& outputs, const std::string& results, const Vehicle& vehicle,
                          const std::vector<std::string>& otherInputs) {
  for (std::size_t k = 0; k < outputs.size(); ++k) {
    const std::string& name = outputs[k].first;
    for (const InputFile& input : vehicle.files) {
      if (same_file_or_entry(name, input.path.string())) cannot_write(name, "it is an input file of the run");
    }
    for (const std::string& input : otherInputs) {
      if (same_file_or_entry(name, input)) cannot_write(name, "it is an input file of the run");
    }
    if (!results.empty()) {
      if (same_file_or_entry(name, results)) cannot_write(name, "it is also the results file");
      if (same_file_or_entry(name, results + "_info.txt")) cannot_write(name, "it is also the information file");
    }
    for (std::size_t j = 0; j < k; ++j) {
      if (same_file_or_entry(name, outputs[j].first)) cannot_write(name, "it is also " + outputs[j].second);
    }
    check_replaceable(name);
  }
}

void cannot_write(const std::string& name, const std::string& reason) {
  std::string line = "Cannot write output file [ " + name + " ]";
  if (!reason.empty()) line += ": " + reason;
  throw Error(ErrorKind::CannotWrite, line, name);
}

void write_stdout(std::string_view text) {
  Console out(stdout);
  if (!(out << text).flush()) cannot_write("-");
}

}  // namespace hdfe
