% Time-outs: time_out(Goal, Time, Result) runs Goal once with a limit of
% Time milliseconds on the time-out clock (the engine's processor time, or
% with LV_TIMEOUT_RESOURCE=walltime the time elapsed). Result is success
% when Goal succeeded in time and time_out when the time ran out first; it
% fails when Goal fails, and passes Goal's exceptions on.
%
% There is one timer. An inner time_out/3 arms it at the earlier of its own
% limit and the outer one's deadline, and gives the outer deadline back
% when it ends; an expiry that was the outer one's is passed on as the
% exception time_out. The timer's expiry raises time_out at the engine's
% next event check, in the goal that is running then.

:- module(prolog, [time_out/3]).

:- meta_predicate time_out(0, +, -).

time_out(Goal, Time, Result) :-
    Ctx = prolog:time_out(Goal, Time, Result),
    '$must_be_callable'(Goal, Ctx, 1),
    '$must_be_integer'(Time, Ctx, 2),
    (   Time < 0 -> '$domain_error'(not_less_than_zero, Time, Ctx, 2) ; true ),
    '$timer_stop'(Outer0),
    % An outer expiry being delivered just now goes to the outer goal.
    (   Outer0 == past -> '$time_out_events', Outer = off ; Outer = Outer0 ),
    (   '$timer_now'(Now) -> true ; Now = 0 ),
    Limit is Now + Time,
    catch(prolog:'$time_out_run'(Goal, Outer, Time, R), Ball, prolog:'$time_out_caught'(Ball, Outer, Limit, R)),
    '$time_out_restore'(Outer),
    Result = R.

'$time_out_run'(Goal, Outer, Time, R) :-
    '$timer_start'(Outer, Time, E),
    (   E == 1 -> throw(time_out)  % the outer deadline has passed
    ;   E \== 0 -> '$lvio_error_name'(E, Name), throw(error(system_error, system_error(Name)))
    ;   call(Goal)
    ->  '$time_out_end', R = success
    ;   '$time_out_end', '$time_out_restore'(Outer), fail
    ).

% Disarms the timer and runs an expiry that raced with the end of the goal
% while the goal's catch still stands.
'$time_out_end' :-
    '$timer_stop'(_),
    '$time_out_events'.

'$time_out_events' :- ( '$user_event' -> true ; true ).

'$time_out_caught'(Ball, Outer, Limit, R) :-
    '$timer_stop'(_),
    (   Ball == time_out, \+ ( integer(Outer), Outer =< Limit ) -> R = time_out
    ;   '$time_out_restore'(Outer), throw(Ball)
    ).

% Arms the outer deadline again; one that has passed meanwhile expires now.
'$time_out_restore'(Outer) :-
    (   integer(Outer)
    ->  '$timer_start'(Outer, off, E),
        (   E == 1 -> throw(time_out) ; true )
    ;   '$timer_start'(off, off, _)
    ).
