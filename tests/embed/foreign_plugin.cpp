// A foreign resource for the tests, built as shared libraries by the build
// (tests/embed/CMakeLists.txt) in several variants chosen by macros:
//   LVTEST_ENTRY           the entry's symbol name
//   LVTEST_NOT_UNDERSTOOD  the entry does not say it understood the block
//   LVTEST_INIT_FAILS      init calls LV_fail
//   LVTEST_INIT_RAISES     init raises an exception
//   LVTEST_NO_ENV          its functions take no env (flags 0x08)
//   LVTEST_PLAIN_ENTRY_TOO also exports the entry without the underscore,
//                          answering so that it is told apart
// It reaches the runtime only through the env it is given, as a plug-in
// does; the tests read its log through lvtest_log.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "lorvika.h"

namespace {

lv_foreign_env* the_env;

// A slot's function, with its type.
#define API(name) LV_API(the_env->c_interface, name)

// The log: counts of init and deinit calls, the When of the last ones, the
// entry's calls with flags 6, and the env's state word as init left it.
struct plugin_log {
  int64_t inits, deinits, last_init_when, last_deinit_when, unload_entries, plain_entry_used;
};
plugin_log log_record;

lv_foreign_env* env_of(lv_call_record* r) { return static_cast<lv_foreign_env*>(r->env); }

// t_add(+integer, +integer, [-integer])
void t_add(lv_call_record* r) { r->result = static_cast<int64_t>(r->args[0]) + static_cast<int64_t>(r->args[1]); }

// t_scale(+float, +float, [-float])
void t_scale(lv_call_record* r) { r->float_result = r->doubles[0] * r->doubles[1]; }

// t_atom_length(+atom, [-integer])
void t_atom_length(lv_call_record* r) { r->result = API(LV_atom_length)(r->args[0]); }

// t_join(+string, +codes, [-string]): the two texts joined.
void t_join(lv_call_record* r) {
  static char joined[256];
  const char* a = reinterpret_cast<const char*>(r->args[0]);
  const char* b = reinterpret_cast<const char*>(r->args[1]);
  size_t na = std::min<size_t>(std::strlen(a), 127), nb = std::min<size_t>(std::strlen(b), 127);
  std::memcpy(joined, a, na);
  std::memcpy(joined + na, b, nb);
  joined[na + nb] = '\0';
  r->result = static_cast<int64_t>(reinterpret_cast<uintptr_t>(joined));
}

// t_wrap(+term, -term): the output is w(Input).
void t_wrap(lv_call_record* r) {
  int32_t in = static_cast<int32_t>(r->args[0]);
  int32_t out = static_cast<int32_t>(r->args[1]);
  uint64_t w = API(LV_atom_from_string)("w");
  API(LV_cons_functor)(out, w, 1, in);
}

// t_outputs(-integer, -float, -atom, -string, -codes)
void t_outputs(lv_call_record* r) {
  *reinterpret_cast<int64_t*>(r->args[0]) = -(int64_t{1} << 62);
  *reinterpret_cast<double*>(r->args[1]) = 0.5;
  *reinterpret_cast<uint64_t*>(r->args[2]) = API(LV_atom_from_string)("h\xc3\xa9");
  static const char text[] = "text";
  static const char codes[] = "ab";
  *reinterpret_cast<const char**>(r->args[3]) = text;
  *reinterpret_cast<const char**>(r->args[4]) = codes;
}

// t_make([-term]): a term made in a reference of its own.
void t_make(lv_call_record* r) {
  int32_t t = API(LV_new_term_ref)();
  API(LV_put_integer)(t, 99);
  r->result = t;
}

// t_name([-atom]), t_codes([-codes])
void t_name(lv_call_record* r) { r->result = static_cast<int64_t>(API(LV_atom_from_string)("named")); }
void t_codes(lv_call_record* r) {
  static const char text[] = "xyz";
  r->result = static_cast<int64_t>(reinterpret_cast<uintptr_t>(text));
}

// t_raise(+term): raises the term.
void t_raise(lv_call_record* r) { API(LV_raise_exception)(static_cast<int32_t>(r->args[0])); }

// t_fail: fails.
void t_fail(lv_call_record*) { API(LV_fail)(); }

// t_state([-integer]): the state word init stored in the env.
void t_state(lv_call_record* r) { r->result = static_cast<int64_t>(env_of(r) != nullptr ? env_of(r)->state : -1); }

void* const functions[] = {reinterpret_cast<void*>(t_add),     reinterpret_cast<void*>(t_scale),
                           reinterpret_cast<void*>(t_atom_length), reinterpret_cast<void*>(t_join),
                           reinterpret_cast<void*>(t_wrap),    reinterpret_cast<void*>(t_outputs),
                           reinterpret_cast<void*>(t_make),    reinterpret_cast<void*>(t_name),
                           reinterpret_cast<void*>(t_codes),   reinterpret_cast<void*>(t_raise),
                           reinterpret_cast<void*>(t_fail),    reinterpret_cast<void*>(t_state),
                           nullptr};
const char* const names[] = {"t_add",  "t_scale", "t_atom_length", "t_join",  "t_wrap",  "t_outputs",
                             "t_make", "t_name",  "t_codes",       "t_raise", "t_fail",  "t_state", nullptr};
const int32_t arities[] = {3, 3, 2, 3, 2, 5, 1, 1, 1, 1, 0, 1, -1};

void on_init(int when) {
  log_record.inits++;
  log_record.last_init_when = when;
#if defined(LVTEST_INIT_FAILS)
  API(LV_fail)();
#elif defined(LVTEST_INIT_RAISES)
  int32_t t = API(LV_new_term_ref)();
  API(LV_put_atom)(t, API(LV_atom_from_string)("init_refused"));
  API(LV_raise_exception)(t);
#endif
}

void on_deinit(int when) {
  log_record.deinits++;
  log_record.last_deinit_when = when;
}

#if !defined(LVTEST_NO_ENV)
void init_with_env(lv_foreign_env* env, int when) {
  env->state = 42;
  on_init(when);
}
void deinit_with_env(lv_foreign_env*, int when) { on_deinit(when); }
#endif

int entry(lv_foreign_params* p) {
  if (static_cast<uint32_t>(p->version) != LV_FOREIGN_PARAMS_VERSION || (p->flags & 4) == 0) return 1;
  the_env = p->env;
#if !defined(LVTEST_NOT_UNDERSTOOD)
  p->flags |= LV_FOREIGN_UNDERSTOOD;
#endif
#if defined(LVTEST_NO_ENV)
  p->flags |= LV_FOREIGN_NO_ENV;
  p->init = reinterpret_cast<void*>(on_init);
  p->deinit = reinterpret_cast<void*>(on_deinit);
#else
  p->flags |= LV_FOREIGN_WITH_ENV;
  p->init = reinterpret_cast<void*>(init_with_env);
  p->deinit = reinterpret_cast<void*>(deinit_with_env);
#endif
  if ((p->flags & 2) != 0) log_record.unload_entries++;
  p->functions = functions;
  p->names = names;
  p->arities = arities;
  return 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int LVTEST_ENTRY(lv_foreign_params* p) { return entry(p); }

#if defined(LVTEST_PLAIN_ENTRY_TOO)
// The same entry without the underscore, marked when used.
__attribute__((visibility("default"))) int LVTEST_PLAIN_ENTRY(lv_foreign_params* p) {
  log_record.plain_entry_used++;
  return entry(p);
}
#endif

__attribute__((visibility("default"))) const plugin_log* lvtest_log() { return &log_record; }
}
