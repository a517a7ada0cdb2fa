% Time-outs: time_out/3 over the one timer, nested, with the goal's
% failure and exceptions, and the timer built-ins under it. A goal that
% outlives its limit runs until the timer's expiry reaches it: the cases
% wait for the event, none measures a duration.

:- discontiguous x/4.

% Runs until an exception ends it.
spin :- atom_length(abc, _), spin.

two(a).
two(b).

x(expires, R, time_out(spin, 20, R), [time_out]).
x(in_time, R, time_out(true, 100000, R), [success]).
x(goal_fails, R, time_out(fail, 100000, R), []).
x(once_only, X-R, time_out(two(X), 100000, R), [a-success]).
x(exception_passes, B, catch(time_out(throw(oops), 100000, _), B, true), [oops]).
x(outer_expires, R1-R2, time_out(time_out(spin, 100000, R1), 20, R2), [_-time_out]).
x(inner_expires, R1-R2, time_out((time_out(spin, 20, R1), R1 == time_out), 100000, R2), [time_out-success]).
x(disarmed_after, [S1, S2], (time_out(spin, 20, _), prolog:'$timer_stop'(S1), time_out(true, 100000, _), prolog:'$timer_stop'(S2)),
  [[off, off]]).
x(outer_restored, ok, (time_out((time_out(true, 10, _), spin), 30, R), R == time_out), [ok]).

x(unbound_goal, x, time_out(_, 10, _), error(instantiation_error)).
x(time_not_integer, x, time_out(true, a, _), error(type_error(integer, a))).
x(time_negative, x, time_out(true, -1, _), error(domain_error(not_less_than_zero, -1))).

% The timer built-ins: a relative expiry, an absolute one already reached,
% stopping twice, a wrong argument.
x(timer_stop_twice, [E, I, S], (prolog:'$timer_start'(off, 5, E), prolog:'$timer_stop'(D), (integer(D) -> I = yes ; I = D), prolog:'$timer_stop'(S)),
  [[0, yes, off]]).
x(timer_reached, [E, S], (prolog:'$timer_now'(N), prolog:'$timer_start'(N, off, E), prolog:'$timer_stop'(S)), [[1, off]]).
x(timer_earlier, yes, (prolog:'$timer_now'(N), D is N + 100000, prolog:'$timer_start'(D, 100000000, 0), prolog:'$timer_stop'(D)), [yes]).
x(timer_bad, E, prolog:'$timer_start'(soon, off, E), [-10004]).
x(timer_both_off, E, prolog:'$timer_start'(off, off, E), [0]).
x(timer_facts, [R, M], (prolog:'$timer_resource'(R), prolog:'$timer_resolution_ms'(M)), [[runtime, 20]]).
