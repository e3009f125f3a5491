// Sets or unsets one environment variable for a scope and puts the old state back: all unit tests
// share one process, so a variable left behind would leak into the next test.
#pragma once

#include <stdlib.h>

#include <string>

class scoped_env {
 public:
  // A null `value` unsets the variable.
  scoped_env(const char* name, const char* value)
      : name_(name), had_(std::getenv(name) != nullptr) {
    if (had_) old_ = std::getenv(name);
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  scoped_env(const char* name, const std::string& value) : scoped_env(name, value.c_str()) {}
  ~scoped_env() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  const char* name_;
  bool had_;
  std::string old_;
};
