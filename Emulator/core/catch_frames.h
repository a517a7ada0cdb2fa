// Unwinding to the nearest catch: the choicepoint of a query (whose
// alternative is one of the two query alternatives) or of a live catch (its
// saved X1 is '$$catch_hook').
#pragma once

#include "core/worker.h"

// Sets the pending error {-1, "user", []} and makes the nearest query or live
// catch choicepoint the newest. A query choicepoint gets the alternative that
// ends the query with an exception and gives 1; a catch gives 0. The caller
// then fails into it.
int lv_unwind_to_catch_frame(lv_worker* w);
