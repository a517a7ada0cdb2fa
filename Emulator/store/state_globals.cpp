// The globals record of saved states.
#include "store/state_globals.h"

#include <cstdio>

#include "core/atoms.h"
#include "core/flag_builtins.h"
#include "core/predefined_atoms.h"
#include "core/version_text.h"
#include "store/predicates.h"
#include "store/state_reloc.h"
#include "text/char_class.h"

namespace {

constexpr lv_term ATOM_ISO = lv_predefined_atom(61);

// The flag words in the record's order; null for the words that are no
// flag of this table.
lv_term* flag_word(size_t i) {
  lv_flag_words& f = lv_flags;
  switch (i) {
    case 0: return &f.compiling;
    case 1: return &f.quoted_charset;
    case 2: return &f.char_conversion;
    case 3: return &f.ferror;
    case 5: return &f.source_info;
    case 7: return &f.double_quotes;
    case 8: return &f.prompt;
    case 9: return &f.single_var;
    case 10: return &f.unknown;
    case 11: return &f.syntax;
    default: return nullptr;
  }
}

// The words read back as flags: every flag word but the prompt and the
// single-variable flag.
bool restored_flag(size_t i) { return flag_word(i) != nullptr && i != 8 && i != 9; }

}  // namespace

void lv_state_global_words(uint64_t words[LV_STATE_GLOBAL_WORDS]) {
  for (size_t i = 0; i < 12; i++) {
    lv_term* f = flag_word(i);
    words[i] = f != nullptr && *f != 0 ? *f : LV_ATOM_NIL;
  }
  words[4] = lv_make_small(1000);
  words[6] = lv_make_small(lv_get_unicode_letter_switch());
  words[12] = ATOM_ISO;
  lv_term banner = lv_version_atom();
  if (banner == 0) banner = lv_atom_from_text(LV_VERSION_BANNER, LV_ATOM_FIND_OR_CREATE);
  words[13] = banner;
  words[14] = lv_typein_module()->name;
}

bool lv_state_restore_globals(const uint64_t words[LV_STATE_GLOBAL_WORDS], lv_keytab* reloc, char* message,
                              size_t size) {
  uint64_t value[LV_STATE_GLOBAL_WORDS] = {};
  for (size_t i = 0; i < LV_STATE_GLOBAL_WORDS; i++) {
    bool atom_expected = restored_flag(i) || i >= 12;
    if (!atom_expected) continue;
    // A flag holds a predefined atom, which atom collection never frees.
    if (!lv_reloc_lookup(reloc, words[i], LV_RELOC_ATOM, &value[i]) || lv_functor_arity(value[i]) != 0 ||
        (restored_flag(i) && lv_atom_index(value[i]) >= LV_PREDEFINED_ATOM_COUNT)) {
      std::snprintf(message, size, "global word %zu of the state is no atom of its kind", i);
      return false;
    }
  }
  if (value[12] != ATOM_ISO) {
    std::snprintf(message, size, "the state's atom iso is not this runtime's");
    return false;
  }
  if (words[6] != lv_make_small(0) && words[6] != lv_make_small(1)) {
    std::snprintf(message, size, "the state's letter switch is neither 0 nor 1");
    return false;
  }
  for (size_t i = 0; i < 12; i++)
    if (restored_flag(i)) *flag_word(i) = value[i];
  lv_set_unicode_letter_switch(static_cast<int>(lv_small_value(words[6])));
  lv_restore_version_atom(value[13]);
  lv_module* typein = find_module(value[14], 1);
  if (typein != nullptr) lv_set_typein_module(typein);
  return true;
}
