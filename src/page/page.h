// The console page: the template with the theme shell inserted at its markers. The page is only
// bytes; the front end (src/cgi) frames and writes them.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr std::size_t page_part_count = 5;

// The page's bytes in the order they are sent, as slices of the data built into the program.
struct page_parts {
  std::string_view part[page_part_count];
};
page_parts page_body();
