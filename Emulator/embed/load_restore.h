// Loading source or compiled files and restoring saved states from C.
#pragma once

extern "C" {
// Slot 4: runs load_files/1 of the default module on the atom of the text
// (as LV_query_cut_fail does) and returns its result; -1 with error 7 for a
// null text, 14 for one that makes no atom, 4 when load_files/1 is not
// defined there.
int LV_load(const char* file);
// Slot 113: the same with restore/1. The path
// "URL:x-lorvika-resource:*.sav" stands for the first embedded saved state,
// or "$LV_APP_DIR/main.sav" when there is none.
int LV_restore(const char* path);
}

// What the path "URL:x-lorvika-resource:*.sav" stands for: the resource URL
// of the first embedded saved state, else "$LV_APP_DIR/main.sav". A new
// LV_malloc text; null when none can be made.
char* lv_any_embedded_state();

// Restores a saved state through $restore (options []): true when it did.
bool lv_restore_state(const char* path);
