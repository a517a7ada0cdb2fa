% library(clpfd): checking arguments and raising errors.
%
% Errors name the library's goal as the user called it (module clpfd) and
% the argument at fault. A value that passes the small integers, the range
% of domains (-2^60 .. 2^60-1), is an overflow: with the flag overflow at
% error (the default) a representation error, at fail a failure.

'$fd_error'(Formal, Ctx, Arg) :- prolog:'$error'(Formal, clpfd:Ctx, Arg).

'$fd_instantiation'(Ctx, Arg) :- '$fd_error'(instantiation_error, Ctx, Arg).
'$fd_type'(Type, Culprit, Ctx, Arg) :- '$fd_error'(type_error(Type, Culprit), Ctx, Arg).
'$fd_domain_error'(Domain, Culprit, Ctx, Arg) :- '$fd_error'(domain_error(Domain, Culprit), Ctx, Arg).

% A small integer: one the domains can hold.
'$fd_small'(N) :- N >= -1152921504606846976, N =< 1152921504606846975.

% An integer past the small integers in Goal: below them (Code 1) or
% above (Code 2). Raises or fails as the flag overflow says.
'$fd_past_small'(N, Goal) :-
    (   N < 0 -> Code = 1 ; Code = 2 ),
    '$fd_overflow'(Flag, Flag, _),
    Flag == error,
    domsolve:overflow_action(Goal, Code).

% A variable or an integer that domains can hold.
'$fd_var_or_int'(X, Ctx, Arg) :-
    (   var(X) -> true
    ;   integer(X) -> ( '$fd_small'(X) -> true ; '$fd_past_small'(X, Ctx) )
    ;   '$fd_type'(integer, X, Ctx, Arg)
    ).

% A proper list: a partial list is an instantiation error, anything else
% (a cyclic list included) a type error.
'$fd_must_be_list'(L, Ctx, Arg) :-
    prolog:'$list_skip'(L, N, Tail),
    (   N >= 0, Tail == [] -> true
    ;   N >= 0, var(Tail) -> '$fd_instantiation'(Ctx, Arg)
    ;   '$fd_type'(list, L, Ctx, Arg)
    ).

% A proper list of variables and integers.
'$fd_must_be_vars'(L, Ctx, Arg) :-
    '$fd_must_be_list'(L, Ctx, Arg),
    '$fd_vars_or_ints'(L, Ctx, Arg).

'$fd_vars_or_ints'([], _, _).
'$fd_vars_or_ints'([X|Xs], Ctx, Arg) :-
    '$fd_var_or_int'(X, Ctx, Arg),
    '$fd_vars_or_ints'(Xs, Ctx, Arg).

% A term of finite depth: a cyclic term would be read for ever.
'$fd_acyclic'(T, Ctx) :-
    (   acyclic_term(T) -> true ; '$fd_type'(acyclic_term, T, Ctx, 0) ).
