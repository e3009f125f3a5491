// Random bytes from the operating system's secure source.
#pragma once

#include <cstddef>

// Fills all of `out`. Returns 1, or 0 when the source fails.
int platform_random_bytes(unsigned char* out, std::size_t len);
