// All-or-nothing replacement of the run's output files.
#pragma once
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace hdfe {

// One file to be replaced: its name as given, the complete new content and what it is
// for messages ("output file", "information file").
struct OutputFile {
  std::string name;
  std::string content;
  std::string kind = "output file";
};

// Test seam: asked with the file's name before every block written to its temporary. A
// false answer makes that write fail as on a full disk.
using WriteProbe = std::function<bool(const std::string& name)>;

// Stops the run with " Cannot write <kind> [ name ]: <reason>", status 1, when `name` can
// never be replaced by a regular file: it exists and is not a regular file (a folder, a
// device, a FIFO), it is a symbolic link to such a thing, or it is an entry of /dev or of the
// process file systems (/dev/stdout, /proc/self/fd/1). A link to a regular file, or a
// dangling one, passes: the link itself is replaced.
void check_replaceable(const std::string& name, const std::string& kind = "output file");

// Replaces every file of the list or none. Each content goes to a new temporary file in
// its target's folder and is flushed to the disk; only when all are complete are they
// renamed over their targets, in list order, under a lock on the folder so that two runs
// never interleave their renames. Any failure before the renames removes every
// temporary and leaves the targets as they were; it stops the run with
// " Cannot write <kind> [ name ]: <reason>", status 1. Interrupt, hang-up and terminate
// signals are held back until the files are complete or cleaned up.
void commit_files(std::span<const OutputFile> files, const WriteProbe& probe = {});

// A file too large to hold in memory, written piece by piece to a temporary in its target's
// folder and put in place whole by commit(). Destroyed without commit(), or when the program
// is ended by an interrupt, hang-up or terminate signal left at its default action, it leaves
// the target as it was and no temporary behind. Failures stop the run as commit_files does.
class StreamedFile {
 public:
  explicit StreamedFile(std::string name, std::string kind = "output file");
  ~StreamedFile();
  StreamedFile(const StreamedFile&) = delete;
  StreamedFile& operator=(const StreamedFile&) = delete;

  void write(std::string_view piece);
  // Flushes the temporary to the disk and renames it over the target.
  void commit();

 private:
  void flush();

  OutputFile file_;  // the name and kind; content gathers here until a block is full
  int fd_ = -1;
  std::string path_;  // the temporary's name, once it has one
};

}  // namespace hdfe
