% library(clpfd): the solver's flags and statistics.
%
% fd_flag(Flag, Old, New): Old is the flag's value; New, when bound, its
% new value.
%   overflow  error (a bound past the small integers raises a
%             representation error) or fail (it fails);
%   debug     on (every propagator is run from the Prolog level, and
%             labeling chooses each variable here) or off.
% fd_statistics(Key, Value): Value is the count of Key since it was last
% asked for (each key is reset when read): resumptions (propagators run),
% entailments (propagators found entailed), prunings (domains narrowed),
% backtracks (failures of propagation) and constraints (constraints
% posted). fd_statistics/0 prints them all.

fd_flag(Flag, Old, New) :-
    Ctx = fd_flag(Flag, Old, New),
    (   var(Flag) -> '$fd_instantiation'(Ctx, 1)
    ;   atom(Flag) -> true
    ;   '$fd_type'(atom, Flag, Ctx, 1)
    ),
    (   '$fd_flag_values'(Flag, Values) -> true
    ;   '$fd_domain_error'(fd_flag, Flag, Ctx, 1)
    ),
    (   var(New) -> '$fd_flag_get'(Flag, Old)
    ;   '$fd_memq'(New, Values) -> '$fd_flag_get'(Flag, Old0), Old = Old0, '$fd_flag_set'(Flag, New)
    ;   '$fd_domain_error'(fd_flag_value, New, Ctx, 3)
    ).

'$fd_flag_values'(overflow, [error, fail]).
'$fd_flag_values'(debug, [on, off]).

'$fd_flag_get'(overflow, V) :- '$fd_overflow'(V0, V0, 1), V = V0.
'$fd_flag_get'(debug, V) :- '$fd_debug'(V0, V0, 1), V = V0.

'$fd_flag_set'(overflow, V) :- '$fd_overflow'(_, V, 1).
'$fd_flag_set'(debug, V) :- '$fd_debug'(_, V, 1).

fd_statistics(Key, Value) :-
    Ctx = fd_statistics(Key, Value),
    (   var(Key) -> '$fd_instantiation'(Ctx, 1)
    ;   '$fd_statistic'(Key, I) -> '$fd_statistics'(I, Value)
    ;   atom(Key) -> '$fd_domain_error'(fd_statistics_key, Key, Ctx, 1)
    ;   '$fd_type'(atom, Key, Ctx, 1)
    ).

fd_statistics :-
    (   '$fd_statistic'(Key, I),
        '$fd_statistics'(I, V),
        format(user_error, '~w: ~d~n', [Key, V]),
        fail
    ;   true
    ).

'$fd_statistic'(resumptions, 0).
'$fd_statistic'(entailments, 1).
'$fd_statistic'(prunings, 2).
'$fd_statistic'(backtracks, 3).
'$fd_statistic'(constraints, 4).
