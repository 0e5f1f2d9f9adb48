#include "driver/outputfile.h"

#include <fstream>
#include <string>
#include "textio/stop.h"
#include "textio/textfield.h"

namespace hdfe {

void write_output(std::string_view name, std::string_view content, WriteMode mode) {
  const std::string path(trimmed(name));
  const auto how = std::ios::binary | (mode == WriteMode::Append ? std::ios::app : std::ios::trunc);
  std::ofstream file(path, how);
  if (file) {
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
  }
  if (!file) throw Error({" Cannot write output file [ " + path + " ]"}, 1, ErrorKind::CannotWrite, path);
}

}  // namespace hdfe
