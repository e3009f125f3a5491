// POSIX implementation of library.h.
#include <dlfcn.h>

#include "platform/library.h"

void* platform_library_open(const char* name) {
  return ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* platform_library_symbol(void* library, const char* name) {
  return ::dlsym(library, name);
}
