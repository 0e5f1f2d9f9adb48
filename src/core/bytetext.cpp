#include "hdfe/bytetext.h"

namespace hdfe {

namespace {

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hex_value(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// True when text[at] starts "xHH".
bool hex_escape_at(std::string_view text, std::size_t at) {
  return at + 2 < text.size() && text[at] == 'x' && is_hex(text[at + 1]) && is_hex(text[at + 2]);
}

// True when the byte at text[at] is written as an escape.
bool escaped_at(std::string_view text, std::size_t at) {
  return text[at] == '\0' || utf8_sequence_length(text, at) == 0;
}

}  // namespace

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  const unsigned lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(at + k) < 0x80 || byte(at + k) > 0xBF) return 0;
  }
  return length;
}

std::string escape_bytes(std::string_view text) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t p = 0; p < text.size();) {
    if (text[p] == '\\') {
      std::size_t q = p;
      while (q < text.size() && text[q] == '\\') ++q;
      const bool doubled = q < text.size() && (escaped_at(text, q) || hex_escape_at(text, q));
      out.append(doubled ? 2 * (q - p) : q - p, '\\');
      p = q;
    } else if (escaped_at(text, p)) {
      const auto b = static_cast<unsigned char>(text[p++]);
      out += "\\x";
      out += Digits[b >> 4];
      out += Digits[b & 15];
    } else {
      const std::size_t n = utf8_sequence_length(text, p);
      out.append(text.substr(p, n));
      p += n;
    }
  }
  return out;
}

std::string unescape_bytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t p = 0; p < text.size();) {
    if (text[p] != '\\') {
      out += text[p++];
      continue;
    }
    std::size_t q = p;
    while (q < text.size() && text[q] == '\\') ++q;
    if (!hex_escape_at(text, q)) {
      out.append(q - p, '\\');
    } else {
      out.append((q - p) / 2, '\\');
      if ((q - p) % 2 == 1) {
        out += static_cast<char>(hex_value(text[q + 1]) * 16 + hex_value(text[q + 2]));
        q += 3;
      }
    }
    p = q;
  }
  return out;
}

}  // namespace hdfe
