% library(clpfd): constraints defined by indexicals.
%
% An indexical says which values one argument of a constraint may take, as
% a range computed from the domains of the others. A constraint Head (a
% name with distinct variables as arguments) is defined in a source file by
%   Head +: X in R, Y in R2, ...   propagation while it holds
%   Head -: X in R, ...            propagation while it does not hold
%   Head +? X in R.                holds once X's domain lies within R
%   Head -? X in R.                fails once X's domain lies within R
% each of X, Y, ... an argument of Head. Calling Head posts it (with the
% propagating indexicals of +:); B #<==> Head reifies it (with all four
% kinds). Without +: indexicals, Head is posted as a check.
%
% Ranges R: T1..T2, {T1, ..., Tn}, dom(Y), R1 /\ R2, R1 \/ R2, \R, R + T
% and R - T (R shifted), R1 + R2 and R1 - R2 (sums and differences of
% values), T - R ({T - x}), -R, R mod T, R rem T, unionof(V, R1, R2) (the
% union of R2 over the values V of R1) and switch(T, [K1-R1, ...]) (the
% range of the key that T's value is, else the empty range).
% Terms T: integers, inf, sup, min(Y), max(Y), an argument Y (its value:
% the indexical waits until Y is fixed), a variable of unionof/3, T1 + T2,
% T1 - T2, -T, T1 * T2 (one of them an integer, an argument or a unionof/3
% variable), T /< D and T /> D (division rounded down and up), T1 mod T2,
% T1 rem T2.
%
% Each indexical compiles to a record of the plug-in's evaluator (its
% variable entries, target, code and stored terms) and is installed on the
% predicate with $fd_install/5, each kind in its own chain (-: 0, +: 1,
% -? 2, +? 3).

'$fd_ix_kind'(-:, 0).
'$fd_ix_kind'(+:, 1).
'$fd_ix_kind'(-?, 2).
'$fd_ix_kind'(+?, 3).

% '$fd_define'(Kind, Head, Body, Module): compiles and installs one kind of
% indexicals of Module:Head.
'$fd_define'(Kind, Head, Body, M) :-
    Ctx = (Head :- Body),
    '$fd_ix_kind'(Kind, Slot),
    (   callable(Head), Head \= _:_ -> true ; '$fd_domain_error'(indexical_head, Head, Ctx, 1) ),
    Head =.. [Name|Args],
    length(Args, Arity),
    '$fd_ix_head'(Args, 1, Ctx, Positions),
    '$fd_ix_tells'(Body, Tells, Ctx),
    (   Slot >= 2, Tells = [_, _|_] -> '$fd_domain_error'(checking_indexical, Body, Ctx, 2) ; true ),
    '$fd_ix_records'(Tells, Slot, Positions, Ctx, Records),
    length(Records, N),
    '$fd_install'(Name/Arity, M, Slot, N, Records).

'$fd_ix_head'([], _, _, []).
'$fd_ix_head'([A|As], I, Ctx, [A-I|Ps]) :-
    (   var(A), \+ '$fd_ix_member'(A, As) -> true
    ;   '$fd_domain_error'(indexical_head, A, Ctx, 1)
    ),
    I1 is I + 1,
    '$fd_ix_head'(As, I1, Ctx, Ps).

'$fd_ix_member'(X, [Y|Ys]) :- ( X == Y -> true ; '$fd_ix_member'(X, Ys) ).

'$fd_ix_tells'(B, _, Ctx) :- var(B), !, '$fd_instantiation'(Ctx, 2).
'$fd_ix_tells'((A, B), Ts, Ctx) :- !,
    '$fd_ix_tells'(A, Ts0, Ctx),
    '$fd_ix_tells'(B, Ts1, Ctx),
    append(Ts0, Ts1, Ts).
'$fd_ix_tells'(X in R, [X in R], _) :- !.
'$fd_ix_tells'(B, _, Ctx) :- '$fd_domain_error'(indexical, B, Ctx, 2).

'$fd_ix_records'([], _, _, _, []).
'$fd_ix_records'([T|Ts], Slot, Ps, Ctx, [R|Rs]) :-
    '$fd_ix_record'(T, Slot, Ps, Ctx, R),
    '$fd_ix_records'(Ts, Slot, Ps, Ctx, Rs).

% One indexical X in R as the evaluator's record ix(Entries, NEntries,
% Target, Code, CodeLength, Stored, NStored). The compiler's state c(Ps,
% Es, Ss, Loops, Slot) holds the head's variables with their positions,
% the events read so far (Position-Event), the stored terms (their
% indexes), the unionof/3 variables bound to registers, and the kind.
'$fd_ix_record'(X in R, Slot, Ps, Ctx, ix(Entries, NE, Target, Code, NC, Stored, NS)) :-
    (   var(X), '$fd_ix_position'(Ps, X, Target) -> true
    ;   '$fd_domain_error'(indexical_target, X, Ctx, 2)
    ),
    S0 = c(Ps, [], [], [], Slot, Ctx),
    (   Slot >= 2
    ->  '$fd_ix_check'(R, S0, S1, Items, [])
    ;   '$fd_ix_tell'(R, S0, S1, Items, [])
    ),
    S1 = c(_, Events0, Stored0, _, _, _),
    (   Slot >= 2 -> Events = [Target-dom|Events0] ; Events = Events0 ),
    '$fd_ix_entries'(Events, Slot, Entries),
    length(Entries, NE),
    '$fd_ix_reverse'(Stored0, [], StoredTerms),
    '$fd_ix_branches'(StoredTerms, Items, All),
    '$fd_ix_layout'(All, 0, NC, Labels),
    '$fd_ix_code'(All, Labels, Code),
    '$fd_ix_stored'(StoredTerms, Labels, Stored),
    length(Stored, NS).

% The code of the branches of switch/2 follows the main code.
'$fd_ix_branches'([], Is, Is).
'$fd_ix_branches'([T|Ts], Is0, Is) :-
    (   nonvar(T), T = switch(_, Bodies) -> append(Is0, Bodies, Is1) ; Is1 = Is0 ),
    '$fd_ix_branches'(Ts, Is1, Is).

'$fd_ix_position'([V-I|Ps], X, P) :- ( V == X -> P = I ; '$fd_ix_position'(Ps, X, P) ).

'$fd_ix_reverse'([], L, L).
'$fd_ix_reverse'([X|Xs], L0, L) :- '$fd_ix_reverse'(Xs, [X|L0], L).

% The variable entries: per variable the events that wake the indexical
% (dom 1, min 2, max 4, minmax 6), and a value read is an entry of the
% event val (0) with the wait mark of the kind (8 for propagating, 16 for
% checking indexicals), attached only when the value is needed.
'$fd_ix_entries'(Events, Slot, Entries) :-
    '$fd_ix_positions'(Events, [], Positions),
    ( Slot >= 2 -> Wait = 16 ; Wait = 8 ),
    '$fd_ix_entries'(Positions, Events, Wait, Entries).

'$fd_ix_positions'([], Ps, Ps).
'$fd_ix_positions'([P-_|Es], Ps0, Ps) :-
    (   '$fd_ix_member'(P, Ps0) -> Ps1 = Ps0 ; Ps1 = [P|Ps0] ),
    '$fd_ix_positions'(Es, Ps1, Ps).

'$fd_ix_entries'([], _, _, []).
'$fd_ix_entries'([P|Ps], Events, Wait, Entries) :-
    (   '$fd_ix_has'(Events, P, dom) -> Mark = 1
    ;   '$fd_ix_has'(Events, P, min), '$fd_ix_has'(Events, P, max) -> Mark = 6
    ;   '$fd_ix_has'(Events, P, min) -> Mark = 2
    ;   '$fd_ix_has'(Events, P, max) -> Mark = 4
    ;   Mark = none
    ),
    (   Mark == none -> Entries = Entries1 ; Entries = [P-Mark|Entries1] ),
    (   '$fd_ix_has'(Events, P, val) -> Entries1 = [P-Wait|Entries2] ; Entries1 = Entries2 ),
    '$fd_ix_entries'(Ps, Events, Wait, Entries2).

'$fd_ix_has'([Q-E|Es], P, E0) :- ( Q == P, E == E0 -> true ; '$fd_ix_has'(Es, P, E0) ).

% ---------------------------------------------------------------------------
% Code. Items are code words (integers), operands a(I) (a position or
% register), c(N) (a constant: the integer, or a stored term), l(L) (the
% offset of label L), h(I) (stored hash table I), and label(L) markers.

% Propagating: the tell that fits the range best.
'$fd_ix_tell'(R, S0, S, Is0, Is) :-
    (   R = (L..H), L == inf, H == sup -> Is0 = [1, 52|Is], S = S0
    ;   R = (L..H), L == inf -> '$fd_ix_value'(H, S0, S, Is0, [46|Is])
    ;   R = (L..H), H == sup -> '$fd_ix_value'(L, S0, S, Is0, [47|Is])
    ;   R = (L..H) -> '$fd_ix_value'(L, S0, S1, Is0, Is1), '$fd_ix_value'(H, S1, S, Is1, [48|Is])
    ;   R = {T}, T \= (_, _) -> '$fd_ix_value'(T, S0, S, Is0, [51|Is])
    ;   R = \{T}, T \= (_, _) -> '$fd_ix_value'(T, S0, S, Is0, [49|Is])
    ;   R = \R1 -> '$fd_ix_set'(R1, S0, S, Is0, [50|Is])
    ;   R = R1 + R2, '$fd_ix_is_range'(R1), '$fd_ix_is_range'(R2), \+ '$fd_ix_ambiguous'(R)
    ->  '$fd_ix_set'(R1, S0, S1, Is0, Is1), '$fd_ix_set'(R2, S1, S, Is1, [83|Is])
    ;   R = R1 - R2, '$fd_ix_is_range'(R1), '$fd_ix_is_range'(R2), \+ '$fd_ix_ambiguous'(R)
    ->  '$fd_ix_set'(R1, S0, S1, Is0, Is1), '$fd_ix_set'(R2, S1, S, Is1, [84|Is])
    ;   '$fd_ix_set'(R, S0, S, Is0, [52|Is])
    ).

% Checking: whether the target's domain lies within the range.
'$fd_ix_check'(R, S0, S, Is0, Is) :-
    (   R = (L..H), L == inf, H == sup -> Is0 = [53|Is], S = S0
    ;   R = (L..H), L == inf -> '$fd_ix_value'(H, S0, S, Is0, [54|Is])
    ;   R = (L..H), H == sup -> '$fd_ix_value'(L, S0, S, Is0, [55|Is])
    ;   R = (L..H) -> '$fd_ix_value'(L, S0, S1, Is0, Is1), '$fd_ix_value'(H, S1, S, Is1, [56|Is])
    ;   R = {T}, T \= (_, _) -> '$fd_ix_value'(T, S0, S, Is0, [59|Is])
    ;   R = \R1 -> '$fd_ix_set'(R1, S0, S, Is0, [58|Is])
    ;   '$fd_ix_set'(R, S0, S, Is0, [60|Is])
    ).

% A range expression (as opposed to a term) by its form.
'$fd_ix_is_range'(R) :- var(R), !, fail.
'$fd_ix_is_range'(_.._).
'$fd_ix_is_range'({_}).
'$fd_ix_is_range'(dom(_)).
'$fd_ix_is_range'(_ /\ _).
'$fd_ix_is_range'(_ \/ _).
'$fd_ix_is_range'(\ _).
'$fd_ix_is_range'(unionof(_, _, _)).
'$fd_ix_is_range'(switch(_, _)).
'$fd_ix_is_range'(A + B) :- ( '$fd_ix_is_range'(A) -> true ; '$fd_ix_is_range'(B) ).
'$fd_ix_is_range'(A - B) :- ( '$fd_ix_is_range'(A) -> true ; '$fd_ix_is_range'(B) ).
'$fd_ix_is_range'(- R) :- '$fd_ix_is_range'(R).
'$fd_ix_is_range'(R mod _) :- '$fd_ix_is_range'(R).
'$fd_ix_is_range'(R rem _) :- '$fd_ix_is_range'(R).

% T1..T2 is read before +, -, * and the like: X in min(Y)+1..sup is
% X in min(Y) + (1..sup). An interval written as an operand of + or - is
% therefore refused, so that such a range is never taken silently in a
% sense it was not meant in: its bounds are written in parentheses,
% (min(Y)+1)..sup, and a shifted interval as such, (0+C)..(9+C).
'$fd_ix_ambiguous'(A + B) :- ( nonvar(A), A = _.._ ; nonvar(B), B = _.._ ), !.
'$fd_ix_ambiguous'(A - B) :- ( nonvar(A), A = _.._ ; nonvar(B), B = _.._ ), !.

% A range as a set on the evaluator's stack.
'$fd_ix_set'(R, S, _, _, _) :- var(R), !, '$fd_ix_fault'(R, S).
'$fd_ix_set'(L..H, S0, S, Is0, Is) :- !,
    (   L == inf, H == sup -> Is0 = [1|Is], S = S0
    ;   L == inf -> '$fd_ix_value'(H, S0, S, Is0, [2|Is])
    ;   H == sup -> '$fd_ix_value'(L, S0, S, Is0, [3|Is])
    ;   '$fd_ix_value'(L, S0, S1, Is0, Is1), '$fd_ix_value'(H, S1, S, Is1, [4|Is])
    ).
'$fd_ix_set'({Ts}, S0, S, Is0, Is) :- !,
    '$fd_ix_conj'(Ts, S0, S, Is0, Is, first).
'$fd_ix_set'(dom(Y), S0, S, Is0, Is) :- !,
    '$fd_ix_arg'(Y, dom, S0, S, P),
    '$fd_ix_var_op'(29, P, Is0, Is).
'$fd_ix_set'(R1 /\ R2, S0, S, Is0, Is) :- !, '$fd_ix_sets'(R1, R2, 17, S0, S, Is0, Is).
'$fd_ix_set'(R1 \/ R2, S0, S, Is0, Is) :- !, '$fd_ix_sets'(R1, R2, 13, S0, S, Is0, Is).
'$fd_ix_set'(\ R, S0, S, Is0, Is) :- !, '$fd_ix_set'(R, S0, S, Is0, [9|Is]).
'$fd_ix_set'(E, S, _, _, _) :- '$fd_ix_ambiguous'(E), !, '$fd_ix_fault'(E, S).
'$fd_ix_set'(R1 + R2, S0, S, Is0, Is) :- '$fd_ix_is_range'(R1), '$fd_ix_is_range'(R2), !,
    '$fd_ix_sets'(R1, R2, 74, S0, S, Is0, Is).
'$fd_ix_set'(R + T, S0, S, Is0, Is) :- '$fd_ix_is_range'(R), !, '$fd_ix_set_value'(R, T, 5, S0, S, Is0, Is).
'$fd_ix_set'(T + R, S0, S, Is0, Is) :- !, '$fd_ix_set_value'(R, T, 5, S0, S, Is0, Is).
'$fd_ix_set'(R1 - R2, S0, S, Is0, Is) :- '$fd_ix_is_range'(R1), '$fd_ix_is_range'(R2), !,
    '$fd_ix_sets'(R1, R2, 75, S0, S, Is0, Is).
'$fd_ix_set'(R - T, S0, S, Is0, Is) :- '$fd_ix_is_range'(R), !, '$fd_ix_set_value'(R, T, 6, S0, S, Is0, Is).
'$fd_ix_set'(T - R, S0, S, Is0, Is) :- !, '$fd_ix_set_value'(R, T, 73, S0, S, Is0, Is).
'$fd_ix_set'(- R, S0, S, Is0, Is) :- !, '$fd_ix_set_value'(R, 0, 73, S0, S, Is0, Is).
'$fd_ix_set'(R mod T, S0, S, Is0, Is) :- !, '$fd_ix_set_value'(R, T, 7, S0, S, Is0, Is).
'$fd_ix_set'(R rem T, S0, S, Is0, Is) :- !, '$fd_ix_set_value'(R, T, 86, S0, S, Is0, Is).
'$fd_ix_set'(unionof(V, R1, R2), S0, S, Is0, Is) :- !,
    S0 = c(Ps, _, _, Loops, Slot, Ctx),
    length(Loops, NL),
    (   var(V), \+ '$fd_ix_position'(Ps, V, _), \+ '$fd_ix_loop'(Loops, V, _), NL < 16
    ->  Reg is 7 + NL
    ;   '$fd_ix_fault'(unionof(V, R1, R2), S0)
    ),
    '$fd_ix_set'(R1, S0, S1, Is0, [63, l(End), label(Body)|Is1]),
    S1 = c(_, Es1, Ss1, _, _, _),
    '$fd_ix_set'(R2, c(Ps, Es1, Ss1, [V-Reg|Loops], Slot, Ctx), S2, Is1, [64, a(Reg), l(Body), label(End)|Is]),
    S2 = c(_, Es2, Ss2, _, _, _),
    S = c(Ps, Es2, Ss2, Loops, Slot, Ctx).
'$fd_ix_set'(switch(T, Cases), S0, S, Is0, Is) :- !,
    '$fd_ix_value'(T, S0, S1, Is0, [69, h(Table), l(After), label(After)|Is]),
    '$fd_ix_cases'(Cases, S1, S2, Pairs, Bodies, []),
    S2 = c(Ps, Es, Ss, Loops, Slot, Ctx),
    length(Ss, Table),
    S = c(Ps, Es, [switch(Pairs, Bodies)|Ss], Loops, Slot, Ctx).
'$fd_ix_set'(R, S, _, _, _) :- '$fd_ix_fault'(R, S).

'$fd_ix_sets'(R1, R2, Op, S0, S, Is0, Is) :-
    '$fd_ix_set'(R1, S0, S1, Is0, Is1),
    '$fd_ix_set'(R2, S1, S, Is1, [Op|Is]).

'$fd_ix_set_value'(R, T, Op, S0, S, Is0, Is) :-
    '$fd_ix_set'(R, S0, S1, Is0, Is1),
    '$fd_ix_value'(T, S1, S, Is1, [Op|Is]).

% {T1, ..., Tn}: the first value as a set, each next one added.
'$fd_ix_conj'(Ts, S0, S, Is0, Is, First) :-
    (   nonvar(Ts), Ts = (A, B)
    ->  '$fd_ix_conj'(A, S0, S1, Is0, Is1, First),
        '$fd_ix_conj'(B, S1, S, Is1, Is, later)
    ;   First == first -> '$fd_ix_value'(Ts, S0, S, Is0, [0|Is])
    ;   '$fd_ix_value'(Ts, S0, S, Is0, [12|Is])
    ).

% The cases of switch/2: each key's range is computed by code of its own
% after the main code, ending with the return (70).
'$fd_ix_cases'(Cases, S, _, _, _, _) :- var(Cases), !, '$fd_ix_fault'(Cases, S).
'$fd_ix_cases'([], S, S, [], Bs, Bs) :- !.
'$fd_ix_cases'([K-R|Cases], S0, S, [K-L|Pairs], [label(L)|Bs0], Bs) :-
    integer(K), '$fd_small'(K), !,
    '$fd_ix_set'(R, S0, S1, Bs0, [70|Bs1]),
    '$fd_ix_cases'(Cases, S1, S, Pairs, Bs1, Bs).
'$fd_ix_cases'(Cases, S, _, _, _, _) :- '$fd_ix_fault'(Cases, S).

% A term's value on the evaluator's stack.
'$fd_ix_value'(T, S0, S, Is0, Is) :- var(T), !,
    S0 = c(Ps, _, _, Loops, _, _),
    (   '$fd_ix_loop'(Loops, T, Reg) -> Is0 = [18, a(Reg)|Is], S = S0
    ;   '$fd_ix_position'(Ps, T, _) -> '$fd_ix_arg'(T, val, S0, S, P), '$fd_ix_var_op'(25, P, Is0, Is)
    ;   '$fd_ix_fault'(T, S0)
    ).
'$fd_ix_value'(N, S, S, [41, c(N)|Is], Is) :- integer(N), !,
    (   '$fd_small'(N) -> true ; '$fd_ix_fault'(N, S) ).
'$fd_ix_value'(inf, S0, S, [41, t(I)|Is], Is) :- !, '$fd_ix_store'(inf, S0, S, I).
'$fd_ix_value'(sup, S0, S, [41, t(I)|Is], Is) :- !, '$fd_ix_store'(sup, S0, S, I).
'$fd_ix_value'(min(Y), S0, S, Is0, Is) :- !,
    '$fd_ix_arg'(Y, min, S0, S, P),
    '$fd_ix_var_op'(33, P, Is0, Is).
'$fd_ix_value'(max(Y), S0, S, Is0, Is) :- !,
    '$fd_ix_arg'(Y, max, S0, S, P),
    '$fd_ix_var_op'(37, P, Is0, Is).
'$fd_ix_value'(A + B, S0, S, Is0, Is) :- !, '$fd_ix_values'(A, B, 19, S0, S, Is0, Is).
'$fd_ix_value'(A - B, S0, S, Is0, Is) :- !, '$fd_ix_values'(A, B, 20, S0, S, Is0, Is).
'$fd_ix_value'(- A, S0, S, Is0, Is) :- !, '$fd_ix_values'(0, A, 20, S0, S, Is0, Is).
'$fd_ix_value'(A mod B, S0, S, Is0, Is) :- !, '$fd_ix_values'(A, B, 24, S0, S, Is0, Is).
'$fd_ix_value'(A rem B, S0, S, Is0, Is) :- !, '$fd_ix_values'(A, B, 85, S0, S, Is0, Is).
'$fd_ix_value'(A * B, S0, S, Is0, Is) :- !,
    (   '$fd_ix_factor'(B, S0, _, _) -> '$fd_ix_scaled'(A, B, 21, S0, S, Is0, Is)
    ;   '$fd_ix_scaled'(B, A, 21, S0, S, Is0, Is)
    ).
'$fd_ix_value'(A /< B, S0, S, Is0, Is) :- !, '$fd_ix_scaled'(A, B, 22, S0, S, Is0, Is).
'$fd_ix_value'(A /> B, S0, S, Is0, Is) :- !, '$fd_ix_scaled'(A, B, 23, S0, S, Is0, Is).
'$fd_ix_value'(T, S, _, _, _) :- '$fd_ix_fault'(T, S).

'$fd_ix_values'(A, B, Op, S0, S, Is0, Is) :-
    '$fd_ix_value'(A, S0, S1, Is0, Is1),
    '$fd_ix_value'(B, S1, S, Is1, [Op|Is]).

% A value times, or divided by, a factor: an integer (Op), an argument's
% value (Op + 21) or a unionof/3 variable (Op + 59).
'$fd_ix_scaled'(A, F, Op, S0, S, Is0, Is) :-
    (   '$fd_ix_factor'(F, S0, Kind, X) -> true ; '$fd_ix_fault'(F, S0) ),
    '$fd_ix_value'(A, S0, S1, Is0, [Op1, Operand|Is]),
    (   Kind == const -> Op1 = Op, Operand = c(X), S = S1
    ;   Kind == arg -> Op1 is Op + 21, '$fd_ix_arg'(F, val, S1, S, P), Operand = a(P)
    ;   Op1 is Op + 59, Operand = a(X), S = S1
    ).

'$fd_ix_factor'(F, c(Ps, _, _, Loops, _, _), Kind, X) :-
    (   integer(F) -> '$fd_small'(F), Kind = const, X = F
    ;   var(F), '$fd_ix_loop'(Loops, F, Reg) -> Kind = reg, X = Reg
    ;   var(F), '$fd_ix_position'(Ps, F, P) -> Kind = arg, X = P
    ).

% A term stored with the code: its index (a stored atom once).
'$fd_ix_store'(T, c(Ps, Es, Ss, Loops, Slot, Ctx), S, I) :-
    (   atom(T), '$fd_ix_index'(Ss, T, I0) -> I = I0, S = c(Ps, Es, Ss, Loops, Slot, Ctx)
    ;   length(Ss, I), S = c(Ps, Es, [T|Ss], Loops, Slot, Ctx)
    ).

% The index of T among the stored terms (kept newest first).
'$fd_ix_index'([S|Ss], T, I) :-
    (   S == T -> length(Ss, I) ; '$fd_ix_index'(Ss, T, I) ).

'$fd_ix_loop'([V-R|Ls], X, Reg) :- ( V == X -> Reg = R ; '$fd_ix_loop'(Ls, X, Reg) ).

% An argument read with an event: its position, the event noted.
'$fd_ix_arg'(Y, Event, S0, S, P) :-
    S0 = c(Ps, Es, Ss, Loops, Slot, Ctx),
    (   var(Y), '$fd_ix_position'(Ps, Y, P) -> true ; '$fd_ix_fault'(Y, S0) ),
    S = c(Ps, [P-Event|Es], Ss, Loops, Slot, Ctx).

% The short forms of the variable operations for positions 1 to 3.
'$fd_ix_var_op'(Op, P, Is0, Is) :-
    (   P =< 3 -> Op1 is Op + P, Is0 = [Op1|Is] ; Is0 = [Op, a(P)|Is] ).

'$fd_ix_fault'(What, c(_, _, _, _, _, Ctx)) :- '$fd_domain_error'(indexical_expression, What, Ctx, 2).

% ---------------------------------------------------------------------------
% Layout: the offsets of the labels, then the code words.

'$fd_ix_layout'([], N, N, []).
'$fd_ix_layout'([I|Is], N0, N, Ls) :-
    (   I = label(L) -> Ls = [L-N0|Ls1], N1 = N0
    ;   Ls = Ls1, N1 is N0 + 1
    ),
    '$fd_ix_layout'(Is, N1, N, Ls1).

'$fd_ix_code'([], _, []).
'$fd_ix_code'([I|Is], Ls, Code) :-
    (   I = label(_) -> Code = Code1
    ;   integer(I) -> Code = [I|Code1]
    ;   I = a(P) -> Code = [a(P)|Code1]
    ;   I = l(L) -> '$fd_ix_label'(Ls, L, Off), Code = [l(Off)|Code1]
    ;   I = h(T) -> Code = [h(T)|Code1]
    ;   I = c(N) -> Code = [N|Code1]
    ;   I = t(T) -> Code = [t(T)|Code1]
    ),
    '$fd_ix_code'(Is, Ls, Code1).

'$fd_ix_label'([M-O|Ls], L, Off) :- ( M == L -> Off = O ; '$fd_ix_label'(Ls, L, Off) ).

% The stored terms, in index order: a switch/2 table is the list of its
% keys with their code offsets, its branch code follows the main code.
'$fd_ix_stored'([], _, []).
'$fd_ix_stored'([T|Ts], Ls, [S|Ss]) :-
    (   T = switch(Pairs, _) -> '$fd_ix_table'(Pairs, Ls, Table), S = table(Table)
    ;   S = T
    ),
    '$fd_ix_stored'(Ts, Ls, Ss).

'$fd_ix_table'([], _, []).
'$fd_ix_table'([K-L|Ps], Ls, [K-Off|Ts]) :-
    '$fd_ix_label'(Ls, L, Off),
    '$fd_ix_table'(Ps, Ls, Ts).

% ---------------------------------------------------------------------------
% Posting a defined constraint: with the reification variable B (1 for the
% constraint posted, 0 for its negation) its arguments' attributes are
% handed to the plug-in, which posts the chains B selects. A constraint
% posted with B known whose propagating chain is empty is posted as a
% check: reified with a fresh B1 that must come out as B once the checking
% indexicals decide it (the checking indexicals run only while B1 is
% open).

'$fd_constraint_goal'(Goal, M) :-
    '$fd_defined_constraint'(M:Goal, M1, Def),
    '$fd_post_defined'(Def, M1, Goal, 1, Goal),
    '$fd_propagate'.

% A goal (Module:Goal, or Goal looked up in user) that is a constraint
% defined by indexicals.
'$fd_defined_constraint'(F, M, Def) :-
    callable(F),
    (   F = M0:G -> atom(M0), M = M0 ; M = user, G = F ),
    callable(G),
    '$fd_find_definition'(G, M, Def0),
    Def0 \== 0,
    Def = Def0.

'$fd_post_defined'(Def, _, F0, B, Ctx) :-
    (   F0 = _:F -> true ; F = F0 ),
    (   '$fd_check_arguments'(F, Tuple) -> true
    ;   F =.. [_|Args], '$fd_vars_or_ints'(Args, Ctx, 0), fail
    ),
    (   integer(B), Slot is B, '$fd_indexical_data'(Def, Slot, 0)
    ->  '$fd_arg_attribute'(B1, 0, BA), '$fd_tell_interval'(B1, 0, 1),
        '$fd_post_reified'(Def, F, Tuple, B1, BA),
        freeze(B1, B1 =:= B)
    ;   '$fd_arg_attribute'(B, 0, BA),
        '$fd_post_reified'(Def, F, Tuple, B, BA)
    ).

% The library's own indexicals: the comparisons of one variable and of two
% with coefficients 1 and -1 (one variable is a domain, and X - Y = C a
% coreference, unless reified).

'$fd_binary_indexical'(Rel, Ts, K, _, _) :-
    '$fd_binary_goal'(Rel, Ts, K, G),
    '$fd_library_definition'(G, Def),
    '$fd_check_arguments'(G, Tuple),
    '$fd_arg_attribute'(1, 0, BA),
    '$fd_post_reified'(Def, G, Tuple, 1, BA).

'$fd_reified_indexical'(Rel, Ts, K, B, _, _) :-
    '$fd_binary_goal'(Rel, Ts, K, G),
    '$fd_library_definition'(G, Def),
    '$fd_check_arguments'(G, Tuple),
    '$fd_arg_attribute'(B, 0, BA),
    '$fd_post_reified'(Def, G, Tuple, B, BA).

% The indexical constraint of Sum(Ts) Rel K for one variable, or two with
% coefficients 1 and -1.
'$fd_binary_goal'(Rel, [X-A|Ts], K, G) :-
    (   Ts == [] -> '$fd_unary_goal'(Rel, A, X, K, G)
    ;   Ts = [Y-B], ( A =:= 1 ; A =:= -1 ), ( B =:= 1 ; B =:= -1 ), !,
        '$fd_binary_goal'(Rel, A, B, X, Y, K, G)
    ).

'$fd_unary_goal'(=, A, X, K, 'x=c'(X, C)) :- C is A * K.
'$fd_unary_goal'(\=, A, X, K, 'x\\=c'(X, C)) :- C is A * K.
'$fd_unary_goal'(=<, A, X, K, G) :-
    (   A =:= 1 -> G = 'x=<c'(X, K) ; C is -K, G = 'x>=c'(X, C) ).

'$fd_binary_goal'(=<, A, B, X, Y, K, G) :-
    (   A =:= 1 -> ( B =:= -1 -> G = 'x=<y+c'(X, Y, K) ; G = 'x+y=<c'(X, Y, K) )
    ;   B =:= 1 -> G = 'x=<y+c'(Y, X, K)
    ;   C is -K, G = 'x+y>=c'(X, Y, C)
    ).
'$fd_binary_goal'(\=, A, B, X, Y, K, G) :-
    (   A =:= 1 -> ( B =:= -1 -> G = 'x\\=y+c'(X, Y, K) ; G = 'x+y\\=c'(X, Y, K) )
    ;   B =:= 1 -> G = 'x\\=y+c'(Y, X, K)
    ;   C is -K, G = 'x+y\\=c'(X, Y, C)
    ).
'$fd_binary_goal'(=, A, B, X, Y, K, G) :-
    (   A =:= 1 -> ( B =:= -1 -> G = 'x=y+c'(X, Y, K) ; G = 'x+y=c'(X, Y, K) )
    ;   B =:= 1 -> G = 'x=y+c'(Y, X, K)
    ;   C is -K, G = 'x+y=c'(X, Y, C)
    ).

% The definitions of the library's indexicals, found when the library is
% loaded.
:- dynamic '$fd_library_def'/2.

'$fd_library_definition'(G, Def) :-
    functor(G, N, A), arg(A, G, K),
    K >= -1152921504606846976, K =< 1152921504606846975,
    '$fd_library_def'(N, Def).

'$fd_library_indexicals' :-
    retractall('$fd_library_def'(_, _)),
    (   '$fd_library_indexical'(Kind, Head, Body),
        '$fd_define'(Kind, Head, Body, clpfd),
        fail
    ;   true
    ),
    (   '$fd_library_indexical'(+:, Head, _),
        '$fd_find_definition'(Head, clpfd, Def),
        functor(Head, N, _),
        assertz('$fd_library_def'(N, Def)),
        fail
    ;   true
    ).

'$fd_library_indexical'(+:, 'x=c'(X, C), X in {C}).
'$fd_library_indexical'(-:, 'x=c'(X, C), X in \{C}).
'$fd_library_indexical'(+?, 'x=c'(X, C), X in {C}).
'$fd_library_indexical'(-?, 'x=c'(X, C), X in \{C}).
'$fd_library_indexical'(+:, 'x\\=c'(X, C), X in \{C}).
'$fd_library_indexical'(-:, 'x\\=c'(X, C), X in {C}).
'$fd_library_indexical'(+?, 'x\\=c'(X, C), X in \{C}).
'$fd_library_indexical'(-?, 'x\\=c'(X, C), X in {C}).
'$fd_library_indexical'(+:, 'x=<c'(X, C), X in inf..C).
'$fd_library_indexical'(-:, 'x=<c'(X, C), X in (C+1)..sup).
'$fd_library_indexical'(+?, 'x=<c'(X, C), X in inf..C).
'$fd_library_indexical'(-?, 'x=<c'(X, C), X in (C+1)..sup).
'$fd_library_indexical'(+:, 'x>=c'(X, C), X in C..sup).
'$fd_library_indexical'(-:, 'x>=c'(X, C), X in inf..(C-1)).
'$fd_library_indexical'(+?, 'x>=c'(X, C), X in C..sup).
'$fd_library_indexical'(-?, 'x>=c'(X, C), X in inf..(C-1)).
'$fd_library_indexical'(+:, 'x=<y+c'(X, Y, C), (X in inf..(max(Y)+C), Y in (min(X)-C)..sup)).
'$fd_library_indexical'(-:, 'x=<y+c'(X, Y, C), (X in (min(Y)+C+1)..sup, Y in inf..(max(X)-C-1))).
'$fd_library_indexical'(+?, 'x=<y+c'(X, Y, C), X in inf..(min(Y)+C)).
'$fd_library_indexical'(-?, 'x=<y+c'(X, Y, C), X in (max(Y)+C+1)..sup).
'$fd_library_indexical'(+:, 'x+y=<c'(X, Y, C), (X in inf..(C-min(Y)), Y in inf..(C-min(X)))).
'$fd_library_indexical'(-:, 'x+y=<c'(X, Y, C), (X in (C+1-max(Y))..sup, Y in (C+1-max(X))..sup)).
'$fd_library_indexical'(+?, 'x+y=<c'(X, Y, C), X in inf..(C-max(Y))).
'$fd_library_indexical'(-?, 'x+y=<c'(X, Y, C), X in (C+1-min(Y))..sup).
'$fd_library_indexical'(+:, 'x+y>=c'(X, Y, C), (X in (C-max(Y))..sup, Y in (C-max(X))..sup)).
'$fd_library_indexical'(-:, 'x+y>=c'(X, Y, C), (X in inf..(C-1-min(Y)), Y in inf..(C-1-min(X)))).
'$fd_library_indexical'(+?, 'x+y>=c'(X, Y, C), X in (C-min(Y))..sup).
'$fd_library_indexical'(-?, 'x+y>=c'(X, Y, C), X in inf..(C-1-max(Y))).
'$fd_library_indexical'(+:, 'x\\=y+c'(X, Y, C), (X in \{Y+C}, Y in \{X-C})).
'$fd_library_indexical'(-:, 'x\\=y+c'(X, Y, C), (X in dom(Y)+C, Y in dom(X)-C)).
'$fd_library_indexical'(+?, 'x\\=y+c'(X, Y, C), X in \(dom(Y)+C)).
'$fd_library_indexical'(-?, 'x\\=y+c'(X, Y, C), X in {Y+C}).
'$fd_library_indexical'(+:, 'x+y\\=c'(X, Y, C), (X in \{C-Y}, Y in \{C-X})).
'$fd_library_indexical'(-:, 'x+y\\=c'(X, Y, C), (X in C-dom(Y), Y in C-dom(X))).
'$fd_library_indexical'(+?, 'x+y\\=c'(X, Y, C), X in \(C-dom(Y))).
'$fd_library_indexical'(-?, 'x+y\\=c'(X, Y, C), X in {C-Y}).
'$fd_library_indexical'(+:, 'x+y=c'(X, Y, C), (X in C-dom(Y), Y in C-dom(X))).
'$fd_library_indexical'(-:, 'x+y=c'(X, Y, C), (X in \{C-Y}, Y in \{C-X})).
'$fd_library_indexical'(+?, 'x+y=c'(X, Y, C), X in {C-Y}).
'$fd_library_indexical'(-?, 'x+y=c'(X, Y, C), X in \(C-dom(Y))).
'$fd_library_indexical'(+:, 'x=y+c'(X, Y, C), (X in dom(Y)+C, Y in dom(X)-C)).
'$fd_library_indexical'(-:, 'x=y+c'(X, Y, C), (X in \{Y+C}, Y in \{X-C})).
'$fd_library_indexical'(+?, 'x=y+c'(X, Y, C), X in {Y+C}).
'$fd_library_indexical'(-?, 'x=y+c'(X, Y, C), X in \(dom(Y)+C)).
% min(X, Y) = Z: Z is X's or Y's value, no greater than either; X is no
% less than Z, and is Z unless Y is Z (then any value from Z up). Each
% range is exact once the others are fixed (max alike).
'$fd_library_indexical'(+:, 'min(x,y)=z'(X, Y, Z),
    (Z in (dom(X) \/ dom(Y)) /\ (inf..max(X)) /\ (inf..max(Y)),
     X in ((dom(Z) /\ (inf..max(Y))) \/ unionof(V, dom(Y) /\ dom(Z), V..sup)) /\ (min(Z)..sup),
     Y in ((dom(Z) /\ (inf..max(X))) \/ unionof(W, dom(X) /\ dom(Z), W..sup)) /\ (min(Z)..sup))).
'$fd_library_indexical'(+:, 'max(x,y)=z'(X, Y, Z),
    (Z in (dom(X) \/ dom(Y)) /\ (min(X)..sup) /\ (min(Y)..sup),
     X in ((dom(Z) /\ (min(Y)..sup)) \/ unionof(V, dom(Y) /\ dom(Z), inf..V)) /\ (inf..max(Z)),
     Y in ((dom(Z) /\ (min(X)..sup)) \/ unionof(W, dom(X) /\ dom(Z), inf..W)) /\ (inf..max(Z)))).

:- initialization('$fd_library_indexicals').

% The term expansion that reads definitions from source files: a
% definition becomes a directive that installs it in the module being
% loaded. (Last in the library: the library's own clauses are read before
% it is in force.)
'$fd_ix_directive'(Kind, Head, Body, (:- clpfd:'$fd_define'(Kind, Head, Body, M))) :-
    (   prolog:'$load_stack'([ld(_, M0, _)|_]) -> M = M0 ; M = user ).

:- multifile user:term_expansion/2.
:- dynamic user:term_expansion/2.

user:term_expansion((Head +: Body), D) :- clpfd:'$fd_ix_directive'(+:, Head, Body, D).
user:term_expansion((Head -: Body), D) :- clpfd:'$fd_ix_directive'(-:, Head, Body, D).
user:term_expansion((Head +? Body), D) :- clpfd:'$fd_ix_directive'(+?, Head, Body, D).
user:term_expansion((Head -? Body), D) :- clpfd:'$fd_ix_directive'(-?, Head, Body, D).
