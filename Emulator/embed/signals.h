// Signal slots: handlers that the runtime runs on the engine thread for C
// signals 0 to 31. The C signal handler only counts the signal and records
// its delivery (an interrupt for the I/O layer's dispatch thread, or a
// forced event check); the slot's handler runs at the next $user_event.
#pragma once

#include <cstdint>

#include "lorvika.h"  // lv_signal_handler and the handler values LV_SIG_DFL, LV_SIG_IGN, LV_SIG_ERR

// Delivery flags of a slot.
enum : int { LV_DELIVER_INTERRUPT = 1, LV_DELIVER_INTERRUPT_EVENTS = 2, LV_DELIVER_CHECK_ONLY = 4 };

extern "C" {
// Slot 92: a handler, LV_SIG_DFL or LV_SIG_IGN for signal 0..31. Success
// returns a placeholder handler (not the previous one), failure LV_SIG_ERR.
lv_signal_handler LV_signal(int signal, lv_signal_handler handler, void* user);
// Slot 126: the same with result codes; flags choose the delivery of a real
// handler (bit 0 interrupt, bit 1 interrupt with events, else check only).
int64_t LV_sigaction(int signal, lv_signal_handler handler, void* user, int flags);
// Slot 93: counts the signal as if it arrived and interrupts; 1 when counted.
int lv_raise_signal(int signal);
}

// Counts signal and delivers it: how bit 1 interrupts with events, bit 0
// interrupts, bit 2 forces an event check, none as the slot says. 1 when
// counted, 0 outside 0..31 or with signals disabled.
int lv_signal_count(int signal, int how);

// Calls the handler of every slot whose counter is nonzero (engine thread),
// clearing the counter first. Returns the number of handlers called.
int lv_run_signal_handlers();

// Under the event lock: enable or disable the slots; disabling (and
// enabling again) restores the C default of every occupied slot and clears
// slots and counters.
void lv_signals_reset(bool enable);
