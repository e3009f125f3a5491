// A plain model of well-formed UTF-8 and of the characters no text shown or stored may keep, for
// the targets that check what the tools accept from servers and pastes.
#pragma once

#include <cstddef>
#include <string_view>

// Well-formed: no stray continuation byte, no overlong form, no surrogate, nothing past U+10FFFF.
inline bool utf8_well_formed(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = b(i);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    unsigned long cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      if ((b(i + k) & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// C0 controls, DEL, C1 controls (NEL included), and the line and paragraph separators.
inline bool holds_control_or_separator(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return true;
    auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) return true;
    if (c == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)) return true;
  }
  return false;
}
