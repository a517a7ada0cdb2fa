// The globals record of a full saved state: fifteen words, in this order.
//   0 the compiling flag            (relocated and restored)
//   1 the quoted-charset flag       (relocated and restored)
//   2 the char-conversion flag      (relocated and restored)
//   3 the ferror flag               (relocated and restored)
//   4 the integer 1000              (no flag of this runtime holds an integer: not read back)
//   5 the source-info flag          (relocated and restored)
//   6 the Unicode letter switch of the character classes, which sets the
//     writing classes of the atom table: 0 or 1 (restored as it stands)
//   7 the double-quotes flag        (relocated and restored)
//   8 the prompt                    (written, not read back)
//   9 the single-variable flag      (written, not read back: it follows the system type)
//  10 the unknown flag              (relocated and restored)
//  11 the syntax flag               (relocated and restored)
//  12 the atom iso: it must relocate to this runtime's atom iso
//  13 the version banner atom: its text becomes the runtime's banner
//  14 the name of the type-in module: that module becomes the type-in module
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hashtab.h"
#include "store/state_format.h"

// The words as this runtime holds them now.
void lv_state_global_words(uint64_t words[LV_STATE_GLOBAL_WORDS]);

// Restores the words read from a state (in this runtime's byte order):
// nothing changes and false is returned (with the reason) when a word
// does not relocate to a value of its kind.
bool lv_state_restore_globals(const uint64_t words[LV_STATE_GLOBAL_WORDS], lv_keytab* reloc, char* message,
                              size_t size);
