// The window's keyboard.
#pragma once

// Starts reading standard input (once; later calls do nothing). On a
// terminal, escape sequences and the signalling keys are read as keys.
void lvcon_input_start(bool terminal);
