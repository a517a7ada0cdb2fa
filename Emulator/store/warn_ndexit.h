// $warn_ndexit: records, for the profiler, that a clause exited leaving
// choicepoints behind.
#pragma once

struct lv_worker;

// $warn_ndexit(Address, Offset, Target). Nothing is done when the exit was
// determinate (the current frame is not protected by a choicepoint).
// Otherwise the clause is at the code address given split into Address (the
// address with its low three bits cleared, as a small integer: the address
// / 8) and Offset (its low three bits), or given by Address alone as a clause
// reference (address / 8; Offset then not an integer 0..7). When the clause
// lies in registered code and its predicate has counters, the clause is
// marked non-determinate under its clause key; when Target (a predicate
// record address / 8) is not 0, the key Target | 1 is marked too and, when
// Target names a known predicate with counters, its non-determinate flag is
// set. A clause of a dynamic predicate is given by Address alone as a
// position term (its '$ref', or [A|P] for a goal inside it): the position's
// clause-instance record is marked in the counters of the clause's
// predicate (Target, when known, becomes its callee). Always succeeds.
int prolog_warn_ndexit(lv_worker* w);
