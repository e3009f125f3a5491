// A text field of fixed capacity. Every text the program keeps lives in one of these: a value
// longer than the field is cut silently to capacity - 1 bytes and stays NUL-terminated.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

template <std::size_t Capacity>
struct fixed_text {
  static_assert(Capacity >= 1);
  static constexpr std::size_t capacity = Capacity;

  char bytes[Capacity] = {};

  // Copies at most Capacity - 1 bytes of the value; stops early at a NUL inside it. Returns true
  // when the whole value was copied.
  bool assign(std::string_view value) {
    std::size_t n = value.size() < Capacity - 1 ? value.size() : Capacity - 1;
    const void* nul = std::memchr(value.data(), '\0', n);
    if (nul != nullptr) n = static_cast<std::size_t>(static_cast<const char*>(nul) - value.data());
    std::memcpy(bytes, value.data(), n);
    bytes[n] = '\0';
    return n == value.size();
  }
  void clear() { bytes[0] = '\0'; }

  const char* c_str() const { return bytes; }
  std::string_view view() const { return std::string_view(bytes); }
  bool empty() const { return bytes[0] == '\0'; }
};
