// The pending error and raising errors.
#include "core/errors.h"

#include <cstdio>
#include <cstring>

#include "core/bind.h"
#include "core/fault.h"
#include "core/os_error_text.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "store/call_choicepoint.h"

namespace {

constexpr int32_t error_codes[] = {
#define LV_ERROR_CODE(name, code, formal) code,
#include "core/error_codes.def"
#undef LV_ERROR_CODE
};

constexpr bool error_codes_distinct() {
  for (const int32_t& a : error_codes)
    for (const int32_t& b : error_codes)
      if (&a != &b && a == b) return false;
  return true;
}
static_assert(error_codes_distinct(), "every error code has one name");

struct pending_error {
  int32_t code;
  lv_term culprit;
  char message[LV_ERROR_MESSAGE_SIZE];
};

pending_error pending = {0, LV_ATOM_UNINIT, {0}};

int call_handler(lv_worker* w, const lv_try_record* handler) {
  if (handler == nullptr) LV_raise_fault(pending.message);
  return lv_push_call_choicepoint(w, handler);
}

// X1 := the argument number, X2 := the culprit, X3 := []; the culprit is
// consumed.
void set_handler_arguments(lv_worker* w, int64_t argument) {
  w->X[1] = lv_make_small(argument);
  w->X[2] = pending.culprit;
  w->X[3] = LV_ATOM_NIL;
  pending.culprit = LV_ATOM_UNINIT;
}

}  // namespace

void lv_set_pending_error(int32_t code, const char* message, lv_term culprit) {
  pending.code = code;
  pending.culprit = culprit;
  if (message == nullptr) message = "INTERNAL ERROR";
  size_t length = std::strlen(message);
  if (length < LV_ERROR_MESSAGE_SIZE) {
    std::memcpy(pending.message, message, length + 1);
    return;
  }
  std::memcpy(pending.message, message, LV_ERROR_MESSAGE_SIZE);
  // Cut at the start of the character that holds the last byte.
  size_t cut = LV_ERROR_MESSAGE_SIZE - 1;
  while (cut > 0 && (static_cast<unsigned char>(pending.message[cut]) & 0xC0) == 0x80) cut--;
  pending.message[cut] = '\0';
}

int32_t lv_pending_error_code() { return pending.code; }
const char* lv_pending_error_message() { return pending.message; }
lv_term lv_pending_error_culprit() { return pending.culprit; }
lv_term* lv_pending_error_culprit_cell() { return &pending.culprit; }

lv_term lv_make_goal(lv_worker* w, lv_term name, unsigned n) {
  if (n == 0) return name;
  lv_term* h = w->H;
  bool list = name == LV_ATOM_DOT && n == 2;
  lv_term* args = list ? h : h + 1;
  if (!list) h[0] = lv_make_functor(name, n);
  for (unsigned i = 0; i < n; i++) {
    lv_term* slot = &args[i];
    lv_term t = w->X[i];
    // References at or above the old heap top point into the local stack.
    while (lv_is_ref(t) && lv_ref_cell(t) >= h) {
      lv_term* cell = lv_ref_cell(t);
      if (*cell == t) {
        *slot = lv_make_ref(slot);
        *cell = lv_make_ref(slot);
        if (cell < w->saved_local_top) lv_trail_push(w, cell);
        t = *slot;
        break;
      }
      t = *cell;
    }
    *slot = t;
  }
  w->H = args + n;
  return list ? lv_make_list(h) : lv_make_struct(h);
}

lv_term lv_make_module_goal(lv_worker* w, lv_term module, lv_term name, unsigned n) {
  lv_term goal = lv_make_goal(w, name, n);
  lv_term* next = w->H;
  next[0] = LV_FUNCTOR_COLON_2;
  next[1] = module;
  next[2] = goal;
  w->H = next + 3;
  return lv_make_struct(next);
}

int lv_raise_builtin_error(lv_worker* w, lv_term module, lv_term name, unsigned arity, int64_t argument) {
  w->X[0] = lv_make_module_goal(w, module, name, arity);
  set_handler_arguments(w, argument);
  return call_handler(w, lv_startup.error_handler);
}

int lv_raise_error_goal(lv_worker* w, lv_term goal, int64_t argument) {
  w->X[0] = goal;
  set_handler_arguments(w, argument);
  return call_handler(w, lv_startup.error_handler);
}

int lv_raise_error_term(lv_worker* w, lv_term error_term) {
  w->X[0] = error_term;
  w->X[1] = LV_ATOM_NIL;
  return call_handler(w, lv_startup.error_term_handler);
}

int lv_arith_error(lv_worker* w, lv_term name, unsigned arity) {
  if (w->E == w->local_top) w->E = lv_frame_view(w->E)->previous();
  w->X[0] = lv_make_module_goal(w, LV_ATOM_PROLOG, name, arity);
  w->X[0] = lv_make_module_goal(w, LV_ATOM_PROLOG, lv_atom_eval, 1);
  set_handler_arguments(w, 1);
  return call_handler(w, lv_startup.error_handler);
}

int lv_raise_win32_error(lv_worker* w, int os_error, const char* operation, const char* function) {
  char message[LV_ERROR_MESSAGE_SIZE];
  if (std::strcmp(function, "not supported") == 0)
    std::snprintf(message, sizeof message, "%s not supported", operation);
  else
    std::snprintf(message, sizeof message, "%s: '%s' failed: %s", operation, function, lv_win32_error_text(os_error));
  lv_set_pending_error(LV_ERROR_SYSTEM, message, lv_make_small(0));
  w->X[0] = lv_make_module_goal(w, LV_ATOM_PROLOG, LV_ATOM_EMPTY, 0);
  set_handler_arguments(w, 0);
  int r = call_handler(w, lv_startup.error_handler);
  w->foreign_call->status = 0;
  return r;
}
