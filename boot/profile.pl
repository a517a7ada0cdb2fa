% The profiler: while the prolog flag profiling is on, goals run on the
% profiled emulator, which counts per predicate its calls, the instructions
% run in its code, the choices made in it, whether it left choicepoints, and
% its call sites. set_prolog_flag(profiling, on) takes effect at once;
% turning it off takes effect when the running query ends.
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
% print_profile        prints the same as a table on user_error.

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
    '$print_profile'(Data).

'$print_profile'([]).
'$print_profile'([Spec-counter(Sites, Instructions, Choices, Calls)|Data]) :-
    Calls =.. [Exits, N],
    format(user_error, '~q~t~40|~t~d~12+~t~d~14+~t~d~10+  ~w~n',
           [Spec, N, Instructions, Choices, Exits]),
    '$print_profile_sites'(Sites),
    '$print_profile'(Data).

'$print_profile_sites'([]).
'$print_profile_sites'([Site-Count|Sites]) :-
    Count =.. [Exits, N],
    format(user_error, '    ~q~t~40|~t~d~12+  ~w~n', [Site, N, Exits]),
    '$print_profile_sites'(Sites).
