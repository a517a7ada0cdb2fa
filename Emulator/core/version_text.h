// The title text of the running system: the version banner, a stored
// version atom, or what an installed title hook answers (the windowed front
// end installs one; until then there is none).
#pragma once

#include "core/term.h"

// The built-in banner; the part in brackets names the host.
extern const char* const LV_VERSION_BANNER;

typedef const char* (*lv_title_get)(void* data);
typedef void (*lv_title_set)(void* data, const char* text);

// Installs a title hook (null functions remove it).
void lv_set_title_hook(lv_title_get get, lv_title_set set, void* data);

// The current title text: the hook's answer, else the stored version atom's
// text, else the banner. The caller does not free it.
const char* lv_version_text();

// Hands the text to the hook when one is installed; otherwise stores it as
// the version atom (registered; the previous one unregistered). Nothing
// changes when no atom can be made of the text.
void lv_set_version_atom(const char* text);

// The stored version atom, or 0; and setting it directly (saved states).
lv_term lv_version_atom();
void lv_restore_version_atom(lv_term atom);
