#include "console.h"

namespace hdfe {

namespace {

// Flushes standard output unless a write to it failed, as the flush of a tie does.
void flush_tie() {
  if (std::ferror(stdout) == 0) std::fflush(stdout);
}

}  // namespace

Console& Console::operator<<(std::string_view text) {
  if (file_ == stderr) flush_tie();
  if (std::ferror(file_) != 0) return *this;
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), file_);
  if (file_ == stderr) std::fflush(file_);
  return *this;
}

bool Console::flush() {
  if (std::ferror(file_) != 0) return false;
  return std::fflush(file_) == 0 && std::ferror(file_) == 0;
}

StandardInputStream::StandardInputStream() : stream_(&buffer_) {}

StandardInputStream::TiedBuffer::int_type StandardInputStream::TiedBuffer::underflow() {
  flush_tie();
  return stdio_sync_filebuf::underflow();
}

StandardInputStream::TiedBuffer::int_type StandardInputStream::TiedBuffer::uflow() {
  flush_tie();
  return stdio_sync_filebuf::uflow();
}

std::streamsize StandardInputStream::TiedBuffer::xsgetn(char_type* s, std::streamsize n) {
  flush_tie();
  return stdio_sync_filebuf::xsgetn(s, n);
}

}  // namespace hdfe
