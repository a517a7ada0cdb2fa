// The runtime's argument vector, set by the front end and read by the
// Prolog side: each argument is interned as an atom and its text kept.
#pragma once

// Flags bit 0: the arguments are in the operating system's encoding.
// 1, or 0 with interface error 14 (the previous vector is kept).
int LV_set_argv(int argc, const char* const* argv, int flags);

// Frees the vector (null afterwards): run at shutdown, before the memory
// manager that holds it stops.
void lv_argv_clear();

// The current vector (null before the first LV_set_argv) and its length.
const char* const* lv_argv(int* argc);
