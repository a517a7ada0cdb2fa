// The built-ins of the profiler and the coverage report over the counter
// objects (store/counters.h). All three fail quietly rather than raise.
//
// $reset_counters: frees every counter object; always succeeds.
// $get_counters(List): Spec - counter(Sites, Instructions, Choices, Calls)
//   per counted predicate, listed under its home module only; Spec is
//   Module:(Name/Arity), Calls det(N) or nondet(N), Sites a list of
//   Spec - det(N) / Spec - nondet(N) for the counted keys of the object
//   that name a static or dynamic predicate.
// $get_coverage(List): counter(File, Spec, ClauseNumber, Line) - det(N) /
//   nondet(N) for the counted clause instances of dynamic predicates that
//   carry a line, then det(0) for every line of the clauses' source-position
//   tables.
#pragma once

struct lv_worker;

int prolog_reset_counters(lv_worker* w);
int prolog_get_counters(lv_worker* w);
int prolog_get_coverage(lv_worker* w);
