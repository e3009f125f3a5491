// The console page as slices: the template up to each marker, the theme shell between them.
#include "page/page.h"

#include "page/page_data.h"

page_parts page_body() {
  // The marker bytes themselves are never sent: each slice stops just before one.
  const std::size_t head_at = page_template_head_marker;
  const std::size_t bridge_at = page_template_bridge_marker;
  return page_parts{{
      {page_template, head_at},
      {theme_head, theme_head_len},
      {page_template + head_at + 1, bridge_at - head_at - 1},
      {theme_bridge, theme_bridge_len},
      {page_template + bridge_at + 1, page_template_len - bridge_at - 1},
  }};
}
