// Placeholder console page until the real one lands.
#include "page/page.h"

#include <cstring>

#include "platform/platform.h"

int deliver_page() {
  static const char placeholder[] =
      "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n\r\n"
      "<!DOCTYPE html><title>google</title><p>Console page coming soon.</p>\n";
  platform_write_stdout(placeholder, std::strlen(placeholder));
  return 0;
}
