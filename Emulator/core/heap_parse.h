// Walking heap cells: every linear walk over the heap (or over a stored
// block) steps with this helper, so that box bodies are skipped and the
// attributed-variable marker is read as one plain word.
#pragma once

#include "core/term.h"

// Whether a heap word starts a box: negative and atom-tagged, but not the
// attributed-variable marker (negative small integers are small-tagged).
inline bool lv_heap_box_start(lv_term w) {
  return (w & 7) == LV_TAG_ATOM && static_cast<int64_t>(w) < 0 && w != LV_ATTVAR_MARKER;
}

// The number of cells of the item that starts with word w: a box spans its
// header, value words and trailer; anything else is one cell.
inline uint64_t lv_heap_item_cells(lv_term w) { return lv_heap_box_start(w) ? lv_box_value_words(w) + 2 : 1; }
