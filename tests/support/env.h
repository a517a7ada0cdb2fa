// Test support: process-environment settings that are undone at scope exit.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> settings) {
    for (const auto& [name, value] : settings) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
      if (value != nullptr)
        setenv(name, value, 1);
      else
        unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had_value)
        setenv(it->name.c_str(), it->value.c_str(), 1);
      else
        unsetenv(it->name.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  struct saved {
    std::string name;
    bool had_value;
    std::string value;
  };
  std::vector<saved> saved_;
};
