// The embedding side's services to the stream layer.
#include "embed/stream_services.h"

#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "embed/async_events.h"
#include "embed/nesting.h"
#include "embed/queries.h"
#include "embed/runtime_services.h"
#include "embed/term_interface.h"
#include "streams/stream.h"
#include "streams/stream_listener.h"

namespace {

constexpr lv_term LV_ATOM_CLOSE_CLEANUP = lv_predefined_atom(227);
constexpr int ACTION_BACKTRACE = 7;

void print_backtrace() { (void)lv_action(ACTION_BACKTRACE); }  // nothing to report to

}  // namespace

void lv_close_cleanup_query(lv_stream* stream, lv_term which) {
  if (get_current_worker() == nullptr) return;
  lv_term_ref args = LV_new_term_refs(2);
  lv_pred* cleanup = LV_pred(LV_ATOM_CLOSE_CLEANUP, 2, LV_ATOM_PROLOG);
  if (cleanup != nullptr && LV_put_integer(args, stream->id) != 0 && LV_put_atom(args + 1, which) != 0) {
    lv_nest_enter();
    (void)LV_query(cleanup, args, args + 1);  // a failure or an exception of the cleanup does not stop the close
    lv_nest_leave();
  }
  LV_reset_term_refs(args);
}

void lv_install_stream_services() {
  lv_stream_hooks.close_cleanup = lv_close_cleanup_query;
  // A wait of a read or write that an interrupt ends returns to the engine
  // when the interrupt left an event to run (Ctrl-C at a prompt), and waits
  // again when not.
  lv_stream_hooks.take_pending_event = lv_event_pending_take;
  lv_listener_hooks.backtrace = print_backtrace;
}
