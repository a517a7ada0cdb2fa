// The Prolog flags and the system's version and host data.
#include "core/flag_builtins.h"

#include "core/atoms.h"
#include "core/host.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "core/version_text.h"
#include "text/char_class.h"

namespace {

constexpr lv_term A(unsigned index) { return lv_predefined_atom(index); }
constexpr lv_term FAIL = A(12), ERROR = A(13), ON = A(14), OFF = A(15), TRACE = A(54), DEVELOPMENT = A(59),
                  PORTABLE = A(62), CODES = A(63), COMPACTCODE = A(69), DEBUGCODE = A(71), ATOM = A(85),
                  RUNTIME = A(147), PROCEED = A(166), UNIX = A(188), CHARS = A(189), DEC10 = A(190),
                  EMACS = A(191), QUIET = A(192), REJECT = A(193), SUPPRESS = A(194), WARNING = A(195),
                  UNKNOWN = A(249);

// The accepted values of a flag; a value after 0 is accepted only in the
// development system.
struct flag_values {
  lv_term values[7];
};

constexpr flag_values ON_OFF = {{ON, OFF}};
constexpr flag_values ON_OFF_EMACS = {{ON, OFF, 0, EMACS}};
constexpr flag_values QUOTES = {{CODES, ATOM, CHARS}};
constexpr flag_values UNKNOWN_VALUES = {{FAIL, ERROR, WARNING, 0, TRACE}};
constexpr flag_values SYNTAX = {{FAIL, ERROR, DEC10, QUIET}};
constexpr flag_values COMPILING = {{COMPACTCODE, DEBUGCODE}};
constexpr flag_values CHARSET = {{LV_ATOM_PROLOG, PORTABLE}};
constexpr flag_values MULTIPLE = {{ON, OFF, PROCEED, REJECT, SUPPRESS}};

bool accepted(const flag_values& f, lv_term value) {
  bool development = lv_flags.system_type == DEVELOPMENT;
  for (unsigned i = 0; i < 7; i++) {
    if (f.values[i] == 0) {
      if (!development) return false;
      continue;
    }
    if (f.values[i] == value) return true;
  }
  return false;
}

// Unify Old with the word; then an accepted atom New becomes the value.
int flag(lv_worker* w, lv_term* word, const flag_values& values) {
  if (!cunify(w, w->X[0], *word)) return 0;
  lv_term fresh = lv_deref(w->X[1]);
  if (!lv_is_atom(fresh) || !accepted(values, fresh)) return 0;
  *word = fresh;
  return 1;
}

}  // namespace

lv_flag_words lv_flags = {
    0, ON, CODES, ERROR, OFF, ERROR, COMPACTCODE, LV_ATOM_PROLOG, ON, ON, ON, ON, ON, OFF, UNKNOWN, 0, 0,
};

void lv_set_system_type(lv_term type) { lv_flags.system_type = type; }

void lv_flags_init() {
  lv_flag_words& f = lv_flags;
  f.char_conversion = ON;
  f.double_quotes = CODES;
  f.unknown = ERROR;
  f.source_info = OFF;
  f.syntax = ERROR;
  f.compiling = COMPACTCODE;
  f.quoted_charset = LV_ATOM_PROLOG;
  f.ferror = ON;
  lv_term checks = f.system_type == RUNTIME ? OFF : ON;
  f.single_var = f.multiple = f.discontiguous = f.informational = checks;
  f.generate_names_legacy = OFF;
  // The atoms held so far belong to an earlier atom table: dropped, not
  // released.
  f.prompt = f.version = f.platform = 0;
  lv_atom_hold(&f.prompt, lv_atom_from_text("|: ", LV_ATOM_FIND_OR_CREATE));
  lv_atom_hold(&f.version, lv_atom_from_text(LV_VERSION_BANNER, LV_ATOM_FIND_OR_CREATE));
  lv_atom_hold(&f.platform, lv_atom_from_text(LV_HOST_OS_NAME, LV_ATOM_FIND_OR_CREATE));
}

int prolog_prompt(lv_worker* w) {
  if (lv_flags.prompt == 0 || !cunify(w, w->X[0], lv_flags.prompt)) return 0;
  lv_term fresh = lv_deref(w->X[1]);
  if (!lv_is_atom(fresh)) return 0;
  lv_atom_hold(&lv_flags.prompt, fresh);
  return 1;
}

int prolog_char_conversion(lv_worker* w) { return flag(w, &lv_flags.char_conversion, ON_OFF); }
int prolog_double_quotes(lv_worker* w) { return flag(w, &lv_flags.double_quotes, QUOTES); }
int prolog_unknown(lv_worker* w) { return flag(w, &lv_flags.unknown, UNKNOWN_VALUES); }
int prolog_source_info(lv_worker* w) { return flag(w, &lv_flags.source_info, ON_OFF_EMACS); }
int prolog_syntax(lv_worker* w) { return flag(w, &lv_flags.syntax, SYNTAX); }
int prolog_compiling(lv_worker* w) { return flag(w, &lv_flags.compiling, COMPILING); }
int prolog_quoted_charset_flag(lv_worker* w) { return flag(w, &lv_flags.quoted_charset, CHARSET); }
int prolog_ferror_flag(lv_worker* w) { return flag(w, &lv_flags.ferror, ON_OFF); }
int prolog_single_var_flag(lv_worker* w) { return flag(w, &lv_flags.single_var, ON_OFF); }
int prolog_multiple_flag(lv_worker* w) { return flag(w, &lv_flags.multiple, MULTIPLE); }
int prolog_discontiguous_flag(lv_worker* w) { return flag(w, &lv_flags.discontiguous, ON_OFF); }
int prolog_informational_flag(lv_worker* w) { return flag(w, &lv_flags.informational, ON_OFF); }
int prolog_generate_names_legacy_flag(lv_worker* w) { return flag(w, &lv_flags.generate_names_legacy, ON_OFF); }

// The switch itself is the text subsystem's; the flag only reads and sets it.
int prolog_legacy_char_classification_flag(lv_worker* w) {
  if (!cunify(w, w->X[0], lv_get_unicode_letter_switch() ? ON : OFF)) return 0;
  lv_term fresh = lv_deref(w->X[1]);
  if (fresh != ON && fresh != OFF) return 0;
  lv_set_unicode_letter_switch(fresh == ON);
  return 1;
}

int prolog_system_type_flag(lv_worker* w) { return cunify(w, w->X[0], lv_flags.system_type); }

int prolog_version_flag(lv_worker* w) { return lv_flags.version != 0 && cunify(w, w->X[0], lv_flags.version); }

int prolog_version_data(lv_worker* w) {
  return cunify(w, w->X[0], lv_make_small(4)) && cunify(w, w->X[1], lv_make_small(9)) &&
         cunify(w, w->X[2], lv_make_small(0)) && cunify(w, w->X[3], lv_make_small(0));
}

// The host: a Unix family system on the platform LV_HOST_OS_NAME names. The
// platform atom is looked up, never made here.
int prolog_os_data(lv_worker* w) {
  lv_term kind = lv_deref(w->X[0]);
  if (kind != lv_make_small(1) && kind != lv_make_small(2)) return 0;
  lv_term platform = lv_atom_from_text(LV_HOST_OS_NAME, LV_ATOM_FIND);
  return platform != 0 && cunify(w, w->X[1], UNIX) && cunify(w, w->X[2], platform) &&
         cunify(w, w->X[3], LV_ATOM_NIL);
}

int prolog_tagged_integer_range(lv_worker* w) {
  return cunify(w, w->X[0], lv_make_small(LV_SMALL_MIN)) && cunify(w, w->X[1], lv_make_small(LV_SMALL_MAX));
}

int prolog_window_title(lv_worker* w) {
  const char* text = lv_version_text();
  if (text == nullptr) return 0;
  lv_term old = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  if (old == 0 || !cunify(w, w->X[0], old)) return 0;
  lv_term fresh = lv_deref(w->X[1]);
  if (fresh == old) return 1;
  if (!lv_is_atom(fresh)) return 0;
  lv_set_version_atom(lv_atom_text(fresh));
  return 1;
}

int prolog_print_compare_atom_name_statistics(lv_worker*) { return 1; }
