// A vehicle's input text as bytes, so that a stored vehicle keeps the warnings and the line
// numbers its files give. Every part is written as its length, a colon and its bytes.
#include <charconv>
#include <string>
#include <string_view>

#include "hdfe/error.h"
#include "hdfe/hdfe.h"
#include "run/plausibility.h"

namespace hdfe {

namespace {

constexpr std::string_view Magic = "hdfe-input-text-1\n";

void put(std::string& out, std::string_view part) {
  out += std::to_string(part.size());
  out += ':';
  out += part;
}

void put_number(std::string& out, double value) {
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
  put(out, std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
}

// Reads the parts back in order; any damage is an Error.
class Parts {
 public:
  explicit Parts(std::string_view bytes) : rest_(bytes) {}

  std::string_view next() {
    const std::size_t colon = rest_.find(':');
    std::size_t size = 0;
    if (colon == std::string_view::npos ||
        std::from_chars(rest_.data(), rest_.data() + colon, size).ptr != rest_.data() + colon ||
        size > rest_.size() - colon - 1) {
      bad();
    }
    const std::string_view part = rest_.substr(colon + 1, size);
    rest_.remove_prefix(colon + 1 + size);
    return part;
  }
  template <class T>
  T number() {
    const std::string_view text = next();
    T value{};
    if (std::from_chars(text.data(), text.data() + text.size(), value).ptr != text.data() + text.size()) bad();
    return value;
  }
  bool done() const { return rest_.empty(); }
  [[noreturn]] static void bad() { throw Error(ErrorKind::BadValue, "The stored input text of a vehicle is damaged"); }

 private:
  std::string_view rest_;
};

}  // namespace

std::string input_text_bytes(const Vehicle& vehicle) {
  if (!vehicle.text) return {};
  const InputText& t = *vehicle.text;
  std::string out(Magic);
  put(out, std::to_string(t.lines.size()));
  for (const auto& [name, lines] : t.lines) {
    put(out, name);
    put(out, std::to_string(lines.size()));
    for (const std::string& line : lines) put(out, line);
  }
  put(out, std::to_string(t.findings.size()));
  for (const CheckFinding& f : t.findings) {
    put(out, f.file);
    put(out, std::to_string(f.line));
    put(out, f.severity == CheckFinding::Severity::Error ? "e" : "w");
    put(out, f.message);
  }
  put(out, t.map_idle ? "1" : "0");
  if (t.map_idle) {
    put(out, t.map_idle->file);
    put(out, std::to_string(t.map_idle->line));
    put_number(out, t.map_idle->speed_rpm);
  }
  return out;
}

void set_input_text(Vehicle& vehicle, std::string_view bytes) {
  if (bytes.empty()) {
    vehicle.text.reset();
    return;
  }
  if (bytes.substr(0, Magic.size()) != Magic) Parts::bad();
  Parts parts(bytes.substr(Magic.size()));
  auto text = std::make_shared<InputText>();
  for (auto files = parts.number<std::size_t>(); files > 0; --files) {
    std::vector<std::string>& lines = text->lines[std::string(parts.next())];
    for (auto count = parts.number<std::size_t>(); count > 0; --count) lines.emplace_back(parts.next());
  }
  for (auto count = parts.number<std::size_t>(); count > 0; --count) {
    CheckFinding f;
    f.file = std::string(parts.next());
    f.line = parts.number<int64_t>();
    const std::string_view severity = parts.next();
    if (severity != "e" && severity != "w") Parts::bad();
    f.severity = severity == "e" ? CheckFinding::Severity::Error : CheckFinding::Severity::Warning;
    f.message = std::string(parts.next());
    text->findings.push_back(std::move(f));
  }
  const std::string_view idle = parts.next();
  if (idle == "1") {
    InputText::IdleLine line;
    line.file = std::string(parts.next());
    line.line = parts.number<int64_t>();
    line.speed_rpm = parts.number<double>();
    text->map_idle = line;
  } else if (idle != "0") {
    Parts::bad();
  }
  if (!parts.done()) Parts::bad();
  vehicle.text = std::move(text);
}

}  // namespace hdfe
