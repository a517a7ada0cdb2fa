// The saved-state reader: the records of the body.
//
// A restore reads the body twice. The first reading checks that the body
// is whole and changes nothing: every record of a known type with sizes
// within bounds and all of its payload, the end record, no byte after it,
// and the compressed stream ending right there. A damaged or truncated
// state is refused by it with the program as it was. The second reading
// applies the records; a fault that only it can find (a key that names no
// record of its kind, code or a stored term that fails its checks, memory
// running out) resets the program cleanly before the failure is reported:
// a full restore empties it again as its start did, an increment empties
// every predicate whose definition it had begun to replace, and no half-
// built clause, block or reference stays reachable.
#pragma once

#include <cstdint>

#include "store/state_io.h"

// The first reading of the open body (lv_restore_open). 0, or a negative
// code with io->message.
int64_t lv_restore_check_body(lv_saved_state_io* io);

// The second reading: applies every record of the open body up to the end
// record, then checks the body's end (lv_restore_close_body). full: a
// restore of a whole program (the caller has reset it). 0, or a negative
// code with io->message, the program reset as described above.
int64_t lv_restore_records(lv_saved_state_io* io, bool full);
