// The runtime's argument vector.
#include "embed/argument_vector.h"

#include <cstring>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/memory.h"
#include "embed/encoding_functions.h"

namespace {

char** vector;
int count;

void free_vector(char** v, int n) {
  if (v == nullptr) return;
  for (int i = 0; i < n; i++) LV_free(v[i]);
  LV_free(v);
}

}  // namespace

int LV_set_argv(int argc, const char* const* argv, int flags) {
  if (argc < 0 || (argc > 0 && argv == nullptr)) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return 0;
  }
  auto** v = static_cast<char**>(LV_malloc(sizeof(char*) * static_cast<size_t>(argc + 1)));
  if (v == nullptr) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return 0;
  }
  int made = 0;
  for (; made < argc; made++) {
    const char* text = argv[made];
    if (text != nullptr && (flags & 1)) text = LV_from_os(text, 0);
    lv_term atom = text != nullptr ? lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE) : 0;
    if (atom == 0) break;
    size_t n = lv_atom_length(atom) + 1;
    v[made] = static_cast<char*>(LV_malloc(n));
    if (v[made] == nullptr) break;
    std::memcpy(v[made], lv_atom_text(atom), n);
  }
  if (made < argc) {
    free_vector(v, made);
    lv_set_api_error(LV_ERR_NO_ATOM);
    return 0;
  }
  v[argc] = nullptr;
  free_vector(vector, count);
  vector = v;
  count = argc;
  return 1;
}

void lv_argv_clear() {
  free_vector(vector, count);
  vector = nullptr;
  count = 0;
}

const char* const* lv_argv(int* argc) {
  if (argc != nullptr) *argc = count;
  return vector;
}
