% Grammar rules: dcg_translate_rule/2, which loading applies to every
% Head --> Body term, and phrase/2,3.
%
% A non-terminal gets two more arguments, the list before it and the list
% after it (S0 and S below). The body is translated part by part:
%   [T1, ..., Tn]         S0 = [T1, ..., Tn|S]       (so is a double-quoted
%                                                     text read as a list)
%   []                    S0 = S
%   {Goal}                Goal, S0 = S               (a cut in Goal is the
%                                                     clause's cut)
%   !                     !, S0 = S
%   \+ B                  \+ B'(S0, _), S0 = S
%   (A, B)                A'(S0, S1), B'(S1, S)
%   (A ; B), (A | B)      A'(S0, S) ; B'(S0, S)
%   (A -> B)              A'(S0, S1) -> B'(S1, S)
%   call(G, A1, ...)      call(G, A1, ..., S0, S)
%   Module:B              Module:B'(S0, S)
%   a variable V          phrase(V, S0, S)
%   a non-terminal NT     NT with S0 and S added
% Terminals are matched by unification goals, never in the head, so that a
% clause does not bind its output list before its body has run. A head
% Head, Pushback (Pushback a list) gives Head'(S0, S) :- Body'(S0, S1),
% S = Pushback + S1: the pushback is put in front of what the body left.

:- module(prolog, [dcg_translate_rule/2, phrase/2, phrase/3]).

:- meta_predicate phrase(2, ?), phrase(2, ?, ?).

% dcg_translate_rule(+Rule, -Clause): Clause is the clause of the grammar
% rule Rule; fails when Rule is no Head --> Body term.
dcg_translate_rule(Rule, Clause) :-
    Ctx = prolog:dcg_translate_rule(Rule, Clause),
    (   var(Rule) -> '$instantiation_error'(Ctx, 1) ; true ),
    Rule = (Head --> Body),
    (   nonvar(Head), Head = (NT, Pushback)
    ->  '$dcg_nonterminal'(NT, S0, S, H, Ctx),
        '$dcg_terminals'(Pushback, S, S1, PB, Ctx),
        '$dcg_body'(Body, S0, S1, B, Ctx),
        Clause = (H :- B, PB)
    ;   '$dcg_nonterminal'(Head, S0, S, H, Ctx),
        '$dcg_body'(Body, S0, S, B, Ctx),
        Clause = (H :- B)
    ).

% A head non-terminal, possibly module-qualified, with the two lists added.
'$dcg_nonterminal'(NT, _, _, _, Ctx) :- var(NT), !,
    '$instantiation_error'(Ctx, 1).
'$dcg_nonterminal'(M:NT, S0, S, M:H, Ctx) :- !,
    '$must_be_atom'(M, Ctx, 1),
    '$dcg_nonterminal'(NT, S0, S, H, Ctx).
'$dcg_nonterminal'(NT, S0, S, H, Ctx) :-
    (   callable(NT), \+ '$dcg_is_list'(NT) -> '$dcg_extend'(NT, S0, S, H)
    ;   '$type_error'(callable, NT, Ctx, 1)
    ).

% '$dcg_body'(+Body, ?S0, ?S, -Goal, +Ctx)
'$dcg_body'(B, S0, S, phrase(B, S0, S), _) :- var(B), !.
'$dcg_body'(M:B, S0, S, M:G, Ctx) :- !,
    '$must_be_atom'(M, Ctx, 1),
    '$dcg_body'(B, S0, S, G, Ctx).
'$dcg_body'((A, B), S0, S, (GA, GB), Ctx) :- !,
    '$dcg_body'(A, S0, S1, GA, Ctx),
    '$dcg_body'(B, S1, S, GB, Ctx).
'$dcg_body'((A ; B), S0, S, (GA ; GB), Ctx) :- !,
    '$dcg_body'(A, S0, S, GA, Ctx),
    '$dcg_body'(B, S0, S, GB, Ctx).
'$dcg_body'('|'(A, B), S0, S, (GA ; GB), Ctx) :- !,
    '$dcg_body'(A, S0, S, GA, Ctx),
    '$dcg_body'(B, S0, S, GB, Ctx).
'$dcg_body'((A -> B), S0, S, (GA -> GB), Ctx) :- !,
    '$dcg_body'(A, S0, S1, GA, Ctx),
    '$dcg_body'(B, S1, S, GB, Ctx).
'$dcg_body'(\+ A, S0, S, (\+ GA, S0 = S), Ctx) :- !,
    '$dcg_body'(A, S0, _, GA, Ctx).
'$dcg_body'(!, S0, S, (!, S0 = S), _) :- !.
'$dcg_body'({}, S0, S, (true, S0 = S), _) :- !.
'$dcg_body'({G}, S0, S, (Goal, S0 = S), _) :- !,
    (   var(G) -> Goal = call(G) ; Goal = G ).
'$dcg_body'(L, S0, S, G, Ctx) :- '$dcg_is_list'(L), !,
    '$dcg_terminals'(L, S0, S, G, Ctx).
'$dcg_body'(C, S0, S, G, Ctx) :-
    (   callable(C) -> '$dcg_extend'(C, S0, S, G)
    ;   '$type_error'(callable, C, Ctx, 1)
    ).

% A list of terminals (the list cells of a pushback too): S0 = List + S.
'$dcg_terminals'(L, S0, S, S0 = Open, Ctx) :-
    '$list_skip'(L, N, Tail),
    (   N >= 0, Tail == [] -> '$dcg_open'(L, S, Open)
    ;   N >= 0, var(Tail) -> '$instantiation_error'(Ctx, 1)
    ;   '$type_error'(list, L, Ctx, 1)
    ).

'$dcg_open'([], S, S).
'$dcg_open'([X|Xs], S, [X|Ys]) :- '$dcg_open'(Xs, S, Ys).

'$dcg_is_list'(L) :- nonvar(L), ( L == [] -> true ; L = [_|_] ).

% Goal with the arguments S0 and S added.
'$dcg_extend'(Goal, S0, S, G) :-
    Goal =.. List0,
    '$dcg_add_two'(List0, S0, S, List),
    G =.. List.

'$dcg_add_two'([], S0, S, [S0, S]).
'$dcg_add_two'([X|Xs], S0, S, [X|Ys]) :- '$dcg_add_two'(Xs, S0, S, Ys).

phrase(G, L) :- '$phrase'(G, L, [], prolog:phrase(G, L)).

phrase(G, L, R) :- '$phrase'(G, L, R, prolog:phrase(G, L, R)).

% The body is checked and translated as a whole before any of it runs.
'$phrase'(G, L, R, Ctx) :-
    '$strip_module'(G, _, Plain),
    '$must_be_callable'(Plain, Ctx, 1),
    '$must_be_partial_list'(L, Ctx, 2),
    '$must_be_partial_list'(R, Ctx, 3),
    '$dcg_body'(G, S0, S, Body, Ctx),
    S0 = L,
    S = R,
    call(Body).
