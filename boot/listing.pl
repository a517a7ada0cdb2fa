% Listing clauses: portray_clause/1,2 and listing/0,1.
%
% A clause is written with its variables named A, B, ... (a fresh copy is
% bound to '$VAR'(N) terms), quoted, the body one goal a line indented by
% four spaces, and a full stop. listing/1 takes Name or Name/Arity and
% lists the dynamic predicates of that name in module user; listing/0 all
% of them. Goals handed to the meta-predicates name their module, as they
% run in the caller's.

:- module(prolog, [portray_clause/1, portray_clause/2, listing/0, listing/1]).

portray_clause(C) :-
    \+ \+ ( copy_term(C, C1),
            '$bind_vars'(C1, 0, _),
            '$portray_clause'(C1) ).

% portray_clause/2 writes to the stream given, which is the current output
% meanwhile.
portray_clause(S, C) :-
    '$stream_arg'(S, output, text, prolog:portray_clause(S, C), 1, _),
    current_output(Old),
    setup_call_cleanup(set_output(S), portray_clause(C), set_output(Old)).

'$bind_vars'(T, N0, N) :-
    (   var(T) -> T = '$VAR'(N0), N is N0 + 1
    ;   compound(T) -> functor(T, _, A), '$bind_args'(1, A, T, N0, N)
    ;   N = N0
    ).

'$bind_args'(I, A, T, N0, N) :-
    (   I > A -> N = N0
    ;   arg(I, T, X), '$bind_vars'(X, N0, N1), I1 is I + 1, '$bind_args'(I1, A, T, N1, N)
    ).

'$portray_clause'(C) :-
    (   nonvar(C), C = (H :- B), B \== true
    ->  '$lst_write'(H, 1199), write(' :-'),
        '$portray_body'(B, 1)
    ;   nonvar(C), C = (H :- true) -> '$lst_write'(H, 1199)
    ;   '$lst_write'(C, 1199)
    ),
    write('.'), nl.

'$lst_write'(T, P) :-
    current_output(S),
    '$stream_arg'(S, output, text, prolog:portray_clause(T), 1, A),
    '$wr_operand'(T, P, 1, '$wopts'(true, false, true, false, 0, _, _, _, _), A, none, _).

'$portray_body'(B, D) :-
    (   nonvar(B), B = (X, Y)
    ->  '$portray_body'(X, D), write(','), '$portray_body'(Y, D)
    ;   nonvar(B), ( B = (_ ; _) ; B = (_ -> _) )
    ->  nl, '$indent'(D), write('(   '),
        D1 is D + 1,
        '$portray_disj'(B, D1, D),
        nl, '$indent'(D), write(')')
    ;   nl, '$indent'(D), '$lst_write'(B, 999)
    ).

'$portray_disj'(B, D1, D) :-
    (   nonvar(B), B = (X ; Y)
    ->  '$portray_disj'(X, D1, D), nl, '$indent'(D), write(';   '), '$portray_disj'(Y, D1, D)
    ;   nonvar(B), B = (X -> Y)
    ->  '$portray_inline'(X, D1), nl, '$indent'(D), write('->  '), '$portray_inline'(Y, D1)
    ;   '$portray_inline'(B, D1)
    ).

% Goals after an opening "(   ", ";   " or "->  ": the first on the same line.
'$portray_inline'(B, D) :-
    (   nonvar(B), B = (X, Y)
    ->  '$portray_inline'(X, D), write(','), '$portray_body'(Y, D)
    ;   '$lst_write'(B, 999)
    ).

'$indent'(D) :- ( D > 0 -> write('    '), D1 is D - 1, '$indent'(D1) ; true ).

listing :-
    forall(( prolog:'$listed_predicate'(H), \+ prolog:'$internal_name'(H) ), prolog:'$list_predicate'(H)).

listing(Spec) :-
    Ctx = prolog:listing(Spec),
    (   var(Spec) -> '$instantiation_error'(Ctx, 1)
    ;   atom(Spec) -> true
    ;   Spec = N/A, atom(N), integer(A) -> true
    ;   '$type_error'(predicate_indicator, Spec, Ctx, 1)
    ),
    forall(( prolog:'$listed_predicate'(H), prolog:'$spec_matches'(Spec, H) ), prolog:'$list_predicate'(H)).

'$listed_predicate'(H) :-
    current_predicate(user:N/A), functor(H, N, A),
    predicate_property(user:H, dynamic).

'$spec_matches'(N/A, H) :- !, functor(H, N, A).
'$spec_matches'(N, H) :- functor(H, N, _).

'$internal_name'(H) :- functor(H, N, _), sub_atom(N, 0, 1, _, '$').

'$list_predicate'(H) :-
    functor(H, N, A),
    format(':- dynamic ~q.~n~n', [N/A]),
    forall(clause(user:H, B), portray_clause((H :- B))),
    nl.
