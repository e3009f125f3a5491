// The console page as data, generated at build time from the HTML, CSS and JS beside this file.
#pragma once

#include <cstddef>

// The whole document, NUL-terminated; byte 0x01 marks where theme_head goes, 0x02 theme_bridge.
extern const char page_template[];
extern const std::size_t page_template_len;
extern const std::size_t page_template_head_marker;
extern const std::size_t page_template_bridge_marker;

// Early theme choice and the shared stylesheet: a script element, a newline, a style element.
extern const char theme_head[];
extern const std::size_t theme_head_len;

// The window's theme interface for a hosting page: a script element and a newline.
extern const char theme_bridge[];
extern const std::size_t theme_bridge_len;
