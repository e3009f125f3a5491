// Shared by the POSIX implementation files of this folder; not part of the platform interface.
#pragma once

#include <cstddef>

// write() may take only part of the data, or be interrupted; loops until all is out or it fails.
// Returns 1 when all was written.
int posix_write_all(int fd, const char* p, std::size_t n);
