// Start-up of the program store.
#pragma once

// Creates the module table with the prolog module, the static code and
// stubs, and installs the store's steps in atom collection and trimming.
void lv_store_init();
