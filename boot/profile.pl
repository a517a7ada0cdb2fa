% The profiler: while the prolog flag profiling is on, goals run on the
% profiled emulator, which counts per predicate its calls, the instructions
% run in its code, the choices made in it, whether it left choicepoints, and
% its call sites. set_prolog_flag(profiling, on) takes effect at once;
% turning it off takes effect when the running query ends (at the top
% level: at the next query).
%
% profile_reset        forgets every count.
% profile_data(Data)   Data is a list of (Module:Name/Arity)-Counts, one per
%                      counted predicate, most instructions first; Counts is
%                      counter(Sites, Instructions, Choices, Calls), Calls
%                      det(N) or nondet(N), Sites a list of
%                      (Module:Name/Arity)-det(N) or -nondet(N), one per
%                      predicate: the predicate itself for its clauses
%                      entered, the goals it called through call/N or
%                      Module:Goal.
% print_profile        prints the same as a table on user_error, leaving out
%                      the system's own predicates.

:- module(prolog, [profile_reset/0, profile_data/1, print_profile/0]).

profile_reset :-
    '$reset_counters'.

profile_data(Data) :-
    '$get_counters'(Counters),
    '$profile_keyed'(Counters, Keyed),
    keysort(Keyed, Sorted),
    '$profile_unkeyed'(Sorted, Data).

'$profile_keyed'([], []).
'$profile_keyed'([Spec-counter(Sites0, I, C, Calls)|Cs], [K-(Spec-counter(Sites, I, C, Calls))|Ks]) :-
    K is -I,
    keysort(Sites0, Sorted),
    '$profile_merge_sites'(Sorted, Sites),
    '$profile_keyed'(Cs, Ks).

% The counts of one predicate summed; nondet when any was.
'$profile_merge_sites'([], []).
'$profile_merge_sites'([Spec-C0|Sites0], [Spec-C|Sites]) :-
    '$profile_merge_site'(Sites0, Spec, C0, C, Rest),
    '$profile_merge_sites'(Rest, Sites).

'$profile_merge_site'([Spec1-C1|Sites], Spec, C0, C, Rest) :-
    Spec1 == Spec,
    !,
    C0 =.. [E0, N0],
    C1 =.. [E1, N1],
    N is N0 + N1,
    (   E0 == det, E1 == det -> C2 = det(N) ; C2 = nondet(N) ),
    '$profile_merge_site'(Sites, Spec, C2, C, Rest).
'$profile_merge_site'(Rest, _, C, C, Rest).

'$profile_unkeyed'([], []).
'$profile_unkeyed'([_-E|Ks], [E|Es]) :-
    '$profile_unkeyed'(Ks, Es).

print_profile :-
    profile_data(Data),
    format(user_error, '~w~t~40|~t~w~12+~t~w~14+~t~w~10+  ~w~n',
           ['Predicate', 'Calls', 'Instructions', 'Choices', 'Exits']),
    '$print_profile'(Data, 0, Hidden),
    (   Hidden =:= 0 -> true
    ;   format(user_error, '(~d predicates of the system left out; profile_data/1 lists them)~n', [Hidden])
    ).

% The system's own predicates (module prolog: the top level, the reader,
% the writer) are counted too; the table shows the program's.
'$print_profile'([], H, H).
'$print_profile'([(prolog:_)-_|Data], H0, H) :-
    !,
    H1 is H0 + 1,
    '$print_profile'(Data, H1, H).
'$print_profile'([Spec-counter(Sites, Instructions, Choices, Calls)|Data], H0, H) :-
    Calls =.. [Exits, N],
    format(user_error, '~q~t~40|~t~d~12+~t~d~14+~t~d~10+  ~w~n',
           [Spec, N, Instructions, Choices, Exits]),
    '$print_profile_sites'(Sites, Spec),
    '$print_profile'(Data, H0, H).

% Under each predicate: how often its clauses were entered, and the goals
% it called through call/N or Module:Goal.
'$print_profile_sites'([], _).
'$print_profile_sites'([Site-Count|Sites], Spec) :-
    Count =.. [Exits, N],
    (   Site == Spec
    ->  format(user_error, '    clauses entered~t~40|~t~d~12+  ~w~n', [N, Exits])
    ;   format(user_error, '    calls ~q~t~40|~t~d~12+  ~w~n', [Site, N, Exits])
    ),
    '$print_profile_sites'(Sites, Spec).
