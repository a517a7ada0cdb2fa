// The title text and the stored version atom.
#include "core/version_text.h"

#include "core/atoms.h"
#include "core/host.h"

const char* const LV_VERSION_BANNER = LV_HOST_BANNER;

namespace {

lv_title_get title_get;
lv_title_set title_set;
void* title_data;
lv_term version_atom;

}  // namespace

void lv_set_title_hook(lv_title_get get, lv_title_set set, void* data) {
  title_get = get;
  title_set = set;
  title_data = data;
}

const char* lv_version_text() {
  if (title_get != nullptr) return title_get(title_data);
  if (version_atom != 0) return lv_atom_text(version_atom);
  return LV_VERSION_BANNER;
}

void lv_set_version_atom(const char* text) {
  if (title_set != nullptr) {
    title_set(title_data, text);
    return;
  }
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  if (atom != 0) lv_atom_hold(&version_atom, atom);
}

lv_term lv_version_atom() { return version_atom; }

void lv_restore_version_atom(lv_term atom) { lv_atom_hold(&version_atom, atom); }
