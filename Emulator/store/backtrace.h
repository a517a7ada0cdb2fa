// Backtraces, pending cleanups and ancestors: the engine's frames and
// choicepoints as the development tools see them.
#pragma once

#include <cstdint>

struct lv_worker;

// $backtrace: prints on user_error the environment chain from E and CP,
// then every choicepoint from the newest down with its alternatives and
// its environment chain, then the code around every continuation and
// alternative met. A frame printed before ends its chain with a reference
// back. Succeeds.
int prolog_backtrace(lv_worker* w);

// $dump_cleanup: the choicepoints with their trail tops and alternatives,
// then the pending cleanup goals, each with the choicepoint it lies above.
// Succeeds.
int prolog_dump_cleanup(lv_worker* w);

// $ancestors(+Limit, +Flags, -Ancestors): walks the environment chain from
// the current frame and collects, for each frame whose continuation lies in
// a static clause, ancestor(Module:Name/Arity, Clause, Calls, Line): the
// clause's number among those of its source key, the call sites before the
// continuation and the call's source line (-1 when unknown). Limit 0 takes
// all, else at most Limit ancestors; Flags bit 0 adds the continuation
// address as a fifth argument. The list starts with the innermost. Fails
// when Limit or Flags is not an integer.
constexpr int64_t LV_ANCESTORS_WITH_ADDRESS = 1;
int prolog_ancestors(lv_worker* w);
