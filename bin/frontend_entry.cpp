// The process entry's argument vector. The C arguments are the command line
// already split, in the locale's bytes (UTF-8); each is copied into a block
// of its own.
#include <cstdlib>
#include <cstring>

#include "frontend.h"

void* frontend_heap_resize(void* block, unsigned long size) {
  if (block == nullptr) return std::malloc(size == 0 ? 1 : size);
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  return std::realloc(block, size);
}

void frontend_free_argv(char** argv) {
  if (argv == nullptr) return;
  for (char** p = argv; *p != nullptr; p++) frontend_heap_resize(*p, 0);
  frontend_heap_resize(argv, 0);
}

int frontend_argv_from_command_line(int argc, char** argv, int* out_argc, char*** out_argv) {
  if (argc < 0 || (argc > 0 && argv == nullptr)) return -10017;
  auto vector = static_cast<char**>(frontend_heap_resize(nullptr, (static_cast<unsigned long>(argc) + 1) * sizeof(char*)));
  if (vector == nullptr) return -10003;
  for (int i = 0; i < argc; i++) {
    const char* arg = argv[i] != nullptr ? argv[i] : "";
    size_t n = std::strlen(arg) + 1;
    vector[i] = static_cast<char*>(frontend_heap_resize(nullptr, n));
    if (vector[i] == nullptr) {
      frontend_free_argv(vector);
      return -10003;
    }
    std::memcpy(vector[i], arg, n);
    vector[i + 1] = nullptr;
  }
  vector[argc] = nullptr;
  *out_argc = argc;
  *out_argv = vector;
  return 0;
}

int frontend_entry(int argc, char** argv) {
  int count = 0;
  char** vector = nullptr;
  if (frontend_argv_from_command_line(argc, argv, &count, &vector) != 0) return 1;
  int code = frontend_main(count, vector);
  frontend_free_argv(vector);
  return code;
}
