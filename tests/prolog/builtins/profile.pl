% The profiler: the profiling flag, profile_data/1 and profile_reset/0. The
% flag turned off takes effect when the query ends, and all cases run in
% one query: each case that counts turns it on and resets the counts first.

two(a).
two(b).

first(X, [Y|Ys]) :- ( X = Y -> true ; first(X, Ys) ).

descending([]).
descending([_]).
descending([_-counter(_, I1, _, _), E|Es]) :- E = _-counter(_, I2, _, _), I1 >= I2, descending([E|Es]).

x(flag_value, ok, (current_prolog_flag(profiling, F), (F == on ; F == off)), [ok]).
x(flag_bad_value, x, set_prolog_flag(profiling, maybe), error(domain_error(flag_value, profiling+maybe))).
x(calls_counted, C,
  (set_prolog_flag(profiling, on), profile_reset, findall(X, two(X), _), profile_data(D),
   first((user:two/1)-counter(_, _, _, C), D)),
  [det(1)]).
x(two_calls_one_site, [C, N],
  (set_prolog_flag(profiling, on), profile_reset, two(a), two(b), profile_data(D),
   first((user:two/1)-counter(S, _, _, C), D), length(S, N)),
  [[det(2), 1]]).
x(reset_forgets, ok,
  (set_prolog_flag(profiling, on), two(a), profile_reset, profile_data(D), \+ first((user:two/1)-_, D)),
  [ok]).
x(most_instructions_first, ok,
  (set_prolog_flag(profiling, on), profile_reset, two(a), profile_data(D),
   descending(D)),
  [ok]).
