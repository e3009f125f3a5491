// A shared library loaded while the program runs, and the symbols looked up in it.
#pragma once

// Loads the library by its file name, searched where the system searches. It stays loaded until the
// process ends. Returns nullptr when it cannot be loaded.
void* platform_library_open(const char* name);

// The address of the named symbol in a loaded library, or nullptr.
void* platform_library_symbol(void* library, const char* name);
