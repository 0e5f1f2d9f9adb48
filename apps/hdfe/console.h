// The standard files of the program, written and read through the C library's streams,
// as the standard C++ streams write and read them when synchronised with it (their
// default): the same bytes in the same order, with the same ties and the same sticky
// failure, and no C++ stream or locale set up for a run that needs none.
#pragma once
#include <cstdio>
#include <ext/stdio_sync_filebuf.h>
#include <istream>
#include <ostream>
#include <string_view>

namespace hdfe {

// Text to standard output or standard error. Once a write to the file failed, nothing more
// is written to it, as to a stream in a bad state. Writing to standard error first flushes
// standard output and then standard error, as the tied, unit-buffered error stream does.
class Console {
 public:
  explicit Console(std::FILE* file) : file_(file) {}
  Console& operator<<(std::string_view text);
  Console& operator<<(char c) { return *this << std::string_view(&c, 1); }
  // Flushes the file; false when this or any write to the file before failed.
  bool flush();
  // False once a write to the file failed.
  explicit operator bool() const { return std::ferror(file_) == 0; }

 private:
  std::FILE* file_;
};

// A C++ stream on standard output, for the library calls that write to one (the report
// of --check). Set up only where it is used.
class StandardOutputStream {
 public:
  StandardOutputStream() : buffer_(stdout), stream_(&buffer_) {}
  std::ostream& stream() { return stream_; }

 private:
  __gnu_cxx::stdio_sync_filebuf<char> buffer_;
  std::ostream stream_;
};

// A C++ stream on standard input (a manifest given as "-", names typed at the console);
// each read first flushes standard output, as a read of the tied input stream does.
class StandardInputStream {
 public:
  StandardInputStream();
  std::istream& stream() { return stream_; }

 private:
  // Flushes standard output before standard input is read.
  class TiedBuffer final : public __gnu_cxx::stdio_sync_filebuf<char> {
   public:
    TiedBuffer() : stdio_sync_filebuf(stdin) {}

   protected:
    int_type underflow() override;
    int_type uflow() override;
    std::streamsize xsgetn(char_type* s, std::streamsize n) override;
  };
  TiedBuffer buffer_;
  std::istream stream_;
};

}  // namespace hdfe
