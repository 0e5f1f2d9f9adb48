#include "hdfe/output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "hdfe/error.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void refuse(const std::string& kind, const std::string& name, const std::string& reason) {
  throw Error(ErrorKind::CannotWrite, "Cannot write " + kind + " [ " + name + " ]: " + reason, name);
}

std::string folder_of(const std::string& name) {
  const fs::path folder = fs::path(name).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// The folder's absolute name without links, dots or doubled slashes (weakly_canonical);
// empty when it cannot be found. The C library resolves a folder that exists at less cost.
std::string canonical_folder(const std::string& folder) {
  if (folder.find('\0') == std::string::npos) {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) != nullptr) return resolved;
  }
  std::error_code ec;
  std::string path = fs::weakly_canonical(folder, ec).string();
  return ec ? std::string() : path;
}

bool within(const std::string& path, std::string_view root) {
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

// Holds back the signals that end a run from the keyboard or a supervisor while the files
// are being replaced; they take effect as soon as the hold ends.
class SignalHold {
 public:
  SignalHold() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    held_ = pthread_sigmask(SIG_BLOCK, &set, &before_) == 0;
  }
  ~SignalHold() {
    if (held_) pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

 private:
  sigset_t before_{};
  bool held_ = false;
};

// The named temporaries of the streamed files alive, for the handler of the signals that end
// a run: it removes them and then ends the program as the signal would have. Fixed storage
// and lock-free flags only, so that the handler touches nothing a thread may hold.
constexpr std::size_t StreamedSlots = 16;
constexpr std::size_t StreamedPathMax = 4096;
char streamedPaths[StreamedSlots][StreamedPathMax];
std::atomic<int> streamedState[StreamedSlots];  // 0 free, 1 being filled, 2 a live temporary
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void remove_streamed_and_end(int signal) {
  for (std::size_t k = 0; k < StreamedSlots; ++k) {
    if (streamedState[k].load() == 2) ::unlink(streamedPaths[k]);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // held until the handler returns, then ends the program
}

// Installs the handler for each ending signal that still has its default action; a signal
// the program's host ignores or handles itself is left to it.
void install_streamed_cleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction old {};
      if (::sigaction(s, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = remove_streamed_and_end;
      action.sa_flags = SA_RESTART;
      sigemptyset(&action.sa_mask);
      for (const int held : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, held);
      ::sigaction(s, &action, nullptr);
    }
  });
}

void register_streamed(const std::string& path) {
  if (path.size() >= StreamedPathMax) return;
  install_streamed_cleanup();
  for (std::size_t k = 0; k < StreamedSlots; ++k) {
    int free = 0;
    if (!streamedState[k].compare_exchange_strong(free, 1)) continue;
    std::memcpy(streamedPaths[k], path.c_str(), path.size() + 1);
    streamedState[k].store(2);
    return;
  }
}

// Called once the temporary is renamed or removed.
void unregister_streamed(const std::string& path) {
  for (std::size_t k = 0; k < StreamedSlots; ++k) {
    if (streamedState[k].load() == 2 && path == streamedPaths[k]) {
      streamedState[k].store(0);
      return;
    }
  }
}

// The temporary of one file: unnamed (O_TMPFILE) until it is linked into its folder, so
// that a run that dies while writing leaves nothing behind.
struct Temporary {
  const OutputFile* file = nullptr;
  std::string folder;
  int fd = -1;
  std::string path;  // its name in the folder, once it has one
};

// Closes every temporary and removes those still named when the commit did not finish.
class Temporaries {
 public:
  std::vector<Temporary> list;
  ~Temporaries() {
    for (Temporary& t : list) {
      if (t.fd >= 0) ::close(t.fd);
      if (!t.path.empty()) ::unlink(t.path.c_str());
    }
  }
};

// A fresh name for a temporary in `folder`; unpredictable enough that two runs never pick
// the same one, and creation with O_EXCL catches the rest.
std::string fresh_name(const std::string& folder, unsigned attempt) {
  static_assert(sizeof(unsigned long long) >= 8);
  const auto now = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned long long mix =
      (now * 0x9E3779B97F4A7C15ULL) ^ (static_cast<unsigned long long>(::getpid()) << 20) ^ attempt;
  char text[40];
  std::snprintf(text, sizeof text, "/.hdfe-%012llx", mix & 0xFFFFFFFFFFFFULL);
  return folder + text;
}

int create_named(Temporary& t) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path = fresh_name(t.folder, attempt);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      t.path = path;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Gives an unnamed temporary a name in its folder.
bool link_unnamed(Temporary& t) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path = fresh_name(t.folder, attempt);
    int rc = ::linkat(t.fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
    if (rc != 0 && errno != EEXIST) {
      const std::string self = "/proc/self/fd/" + std::to_string(t.fd);
      rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
    }
    if (rc == 0) {
      t.path = path;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool write_all(int fd, std::string_view content, const std::string& name, const WriteProbe& probe) {
  constexpr std::size_t Block = std::size_t{1} << 16;
  std::size_t done = 0;
  while (done < content.size()) {
    if (probe && !probe(name)) {
      errno = ENOSPC;
      return false;
    }
    const ssize_t n = ::write(fd, content.data() + done, std::min(Block, content.size() - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the file's content to a complete, flushed temporary. `named` forces a named
// temporary (where a file system cannot give an unnamed one a name).
bool write_temporary(Temporary& t, const WriteProbe& probe, bool named) {
  t.fd = named ? -1 : ::open(t.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (t.fd < 0) t.fd = create_named(t);
  if (t.fd < 0) return false;
  // A replaced file keeps its permissions, as it did when it was overwritten in place.
  struct stat old {};
  if (::stat(t.file->name.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(t.fd, old.st_mode & 07777);
  return write_all(t.fd, t.file->content, t.file->name, probe) && ::fsync(t.fd) == 0;
}

[[noreturn]] void fail(const Temporary& t) {
  refuse(t.file->kind, t.file->name, std::strerror(errno));
}

// The folders of the files, each once, opened and locked in one order (device and inode)
// so that two runs wait for each other instead of interleaving.
class FolderLocks {
 public:
  explicit FolderLocks(const std::vector<Temporary>& list) {
    std::vector<std::pair<std::pair<dev_t, ino_t>, int>> opened;
    for (const Temporary& t : list) {
      const int fd = ::open(t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat st {};
      if (fd < 0) continue;
      if (::fstat(fd, &st) != 0) {
        ::close(fd);
        continue;
      }
      opened.push_back({{st.st_dev, st.st_ino}, fd});
    }
    std::sort(opened.begin(), opened.end());
    for (std::size_t k = 0; k < opened.size(); ++k) {
      if (k > 0 && opened[k].first == opened[k - 1].first) {
        ::close(opened[k].second);
        continue;
      }
      while (::flock(opened[k].second, LOCK_EX) != 0 && errno == EINTR) {
      }
      fds_.push_back(opened[k].second);
    }
  }
  // Makes the renames durable.
  void sync() const {
    for (const int fd : fds_) ::fsync(fd);
  }
  ~FolderLocks() {
    for (const int fd : fds_) ::close(fd);
  }
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

 private:
  std::vector<int> fds_;
};

}  // namespace

void check_replaceable(const std::string& name, const std::string& kind) {
  struct stat entry {};
  if (::lstat(name.c_str(), &entry) == 0) {
    struct stat target = entry;
    const bool dangling = S_ISLNK(entry.st_mode) && ::stat(name.c_str(), &target) != 0;
    if (!dangling && !S_ISREG(target.st_mode)) refuse(kind, name, "it is not a regular file");
  }
  // Entries of /dev and of the process file systems stand for devices and open files of the
  // running program (/dev/stdout); replacing them would not write a file.
  const std::string folder = canonical_folder(folder_of(name));
  if (!folder.empty() && (folder == "/dev" || within(folder, "/dev/pts") || within(folder, "/proc") ||
              within(folder, "/sys"))) {
    refuse(kind, name, "it is a device or process entry, not a file");
  }
}

void commit_files(std::span<const OutputFile> files, const WriteProbe& probe) {
  const SignalHold hold;
  Temporaries temps;
  for (const OutputFile& file : files) {
    Temporary t;
    t.file = &file;
    t.folder = folder_of(file.name);
    temps.list.push_back(std::move(t));
  }
  for (Temporary& t : temps.list) {
    if (!write_temporary(t, probe, false)) fail(t);
  }
  for (Temporary& t : temps.list) {
    if (!t.path.empty() || link_unnamed(t)) continue;
    // The file system keeps unnamed files unnamed: write a named one instead.
    ::close(t.fd);
    t.fd = -1;
    if (!write_temporary(t, probe, true)) fail(t);
  }
  const FolderLocks locks(temps.list);
  for (Temporary& t : temps.list) {
    if (::rename(t.path.c_str(), t.file->name.c_str()) != 0) fail(t);
    t.path.clear();
  }
  locks.sync();
}

StreamedFile::StreamedFile(std::string name, std::string kind) : file_{std::move(name), "", std::move(kind)} {
  check_replaceable(file_.name, file_.kind);
  Temporary t;
  t.file = &file_;
  t.folder = folder_of(file_.name);
  // A named temporary from the start: an unnamed one could not be given a name on every
  // file system once written.
  fd_ = create_named(t);
  path_ = t.path;
  if (fd_ < 0) fail(t);
  register_streamed(path_);
}

StreamedFile::~StreamedFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!path_.empty()) {
    ::unlink(path_.c_str());
    unregister_streamed(path_);
  }
}

void StreamedFile::write(std::string_view piece) {
  file_.content += piece;
  if (file_.content.size() >= (std::size_t{1} << 16)) flush();
}

void StreamedFile::flush() {
  if (!write_all(fd_, file_.content, file_.name, {})) refuse(file_.kind, file_.name, std::strerror(errno));
  file_.content.clear();
}

void StreamedFile::commit() {
  flush();
  const SignalHold hold;
  struct stat old {};
  if (::stat(file_.name.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd_, old.st_mode & 07777);
  if (::fsync(fd_) != 0) refuse(file_.kind, file_.name, std::strerror(errno));
  ::close(fd_);
  fd_ = -1;
  if (::rename(path_.c_str(), file_.name.c_str()) != 0) refuse(file_.kind, file_.name, std::strerror(errno));
  unregister_streamed(path_);
  path_.clear();
}

}  // namespace hdfe
