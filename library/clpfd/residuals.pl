% library(clpfd): residual goals, the goals that stand for what a domain
% variable still carries: X in Dom unless its domain is every integer,
% X #= Y + C for a variable it was made a coreference of, and each
% constraint on it that is not entailed yet, as it was posted (the top
% level and copy_term/3 show them once each).

'$fd_residual_goals'(X, Gs0, Gs) :-
    (   '$fd_attribute'(X, A)
    ->  arg(3, A, DM), get_mutable(D, DM),
        (   D = dom([[inf|sup]], _, _, _) -> Gs0 = Gs1
        ;   '$fd_dom_term'(D, Dom), Gs0 = [X in Dom|Gs1]
        ),
        arg(6, A, CM), get_mutable(Corefs, CM),
        '$fd_coref_goal'(Corefs, X, A, Gs1, Gs2),
        '$fd_live_items'(A, Items),
        '$fd_item_goals'(Items, Gs2, Gs)
    ;   Gs0 = Gs
    ).

% X #= Y + C for every coreference partner X but the first that is still a
% variable (Y): every partner's value plus its key is the same.
'$fd_coref_goal'(Corefs, X, A, Gs0, Gs) :-
    (   '$fd_coref_partner'(Corefs, Y, KY),
        Y \== X,
        '$fd_coref_key'(Corefs, A, KX)
    ->  C is KY - KX,
        (   C =:= 0 -> G = (X #= Y) ; C > 0 -> G = (X #= Y + C) ; D is -C, G = (X #= Y - D) ),
        Gs0 = [G|Gs]
    ;   Gs0 = Gs
    ).

'$fd_coref_key'(L, A, K) :-
    nonvar(L), L = [K0-A0|L1],
    (   A0 == A -> K = K0 ; '$fd_coref_key'(L1, A, K) ).

'$fd_coref_partner'(L, Y, K) :-
    nonvar(L), L = [K0-A0|L1],
    arg(2, A0, Y0),
    (   var(Y0) -> Y = Y0, K = K0 ; '$fd_coref_partner'(L1, Y, K) ).

'$fd_item_goals'([], Gs, Gs).
'$fd_item_goals'([I|Is], Gs0, Gs) :-
    (   '$fd_item_goal'(I, G), G \== true -> Gs0 = [G|Gs1] ; Gs0 = Gs1 ),
    '$fd_item_goals'(Is, Gs1, Gs).

'$fd_item_goal'('$global'(_, _, _, _, _, Shown), Shown).
'$fd_item_goal'(ix(_, B, Shown), G) :-
    Shown \== true,
    '$fd_shown_goal'(Shown, G0),
    (   B == 1 -> G = G0 ; B == 0 -> G = (#\ G0) ; G = (B #<==> G0) ).
'$fd_item_goal'(clause(_, _, _, _, Pos, Neg), G) :-
    '$fd_clause_goal'(Pos, Neg, G).
'$fd_item_goal'(implication(L1, V1, L2, V2), G2 #\/ G1) :-
    '$fd_valued_literal'(L1, V1, G1),
    '$fd_valued_literal'(L2, V2, G2).
'$fd_item_goal'(disequation(_, Cs, Bs, C), S #\= C) :-
    '$fd_literal_vars'(Bs, Xs),
    '$fd_sum_term'(Cs, Xs, S).

'$fd_valued_literal'(L, V, G) :-
    arg(1, L, X),
    (   V == 1 -> G = X ; G = (#\ X) ).

'$fd_literal_vars'([], []).
'$fd_literal_vars'([L|Ls], [X|Xs]) :- arg(1, L, X), '$fd_literal_vars'(Ls, Xs).

% A clause as a disjunction of its literals.
'$fd_clause_goal'(Pos, Neg, G) :-
    '$fd_literal_vars'(Pos, Ps),
    '$fd_literal_vars'(Neg, Ns),
    '$fd_negations'(Ns, NGs),
    append(Ps, NGs, [G0|Gs]),
    '$fd_disjunction'(Gs, G0, G).

'$fd_negations'([], []).
'$fd_negations'([X|Xs], [#\ X|Gs]) :- '$fd_negations'(Xs, Gs).

'$fd_disjunction'([], G, G).
'$fd_disjunction'([G|Gs], G0, D) :- '$fd_disjunction'(Gs, G0 #\/ G, D).

% A goal of the plug-in's as the user wrote it, for messages.
'$fd_shown_goal'(G, G) :- var(G), !.
'$fd_shown_goal'(scalar_product_reif(Cs, Xs, Rel, K, B), Shown) :- !,
    '$fd_sum_term'(Cs, Xs, S),
    '$fd_rel_goal'(Rel, S, K, C),
    (   B == 1 -> Shown = C ; Shown = (B #<==> C) ).
'$fd_shown_goal'('x=y+c'(X, Y, C), X #= T) :- !, '$fd_plus'(Y, C, T).
'$fd_shown_goal'('x=<y+c'(X, Y, C), X #=< T) :- !, '$fd_plus'(Y, C, T).
'$fd_shown_goal'('x\\=y+c'(X, Y, C), X #\= T) :- !, '$fd_plus'(Y, C, T).
'$fd_shown_goal'('x=c'(X, C), X #= C) :- !.
'$fd_shown_goal'('x\\=c'(X, C), X #\= C) :- !.
'$fd_shown_goal'('x=<c'(X, C), X #=< C) :- !.
'$fd_shown_goal'('x>=c'(X, C), X #>= C) :- !.
'$fd_shown_goal'('x+y=<c'(X, Y, C), X + Y #=< C) :- !.
'$fd_shown_goal'('x+y>=c'(X, Y, C), X + Y #>= C) :- !.
'$fd_shown_goal'('x+y\\=c'(X, Y, C), X + Y #\= C) :- !.
'$fd_shown_goal'('x+y=c'(X, Y, C), X + Y #= C) :- !.
'$fd_shown_goal'('min(x,y)=z'(X, Y, Z), Z #= min(X, Y)) :- !.
'$fd_shown_goal'('max(x,y)=z'(X, Y, Z), Z #= max(X, Y)) :- !.
'$fd_shown_goal'(G, G).

'$fd_sum_term'([C|Cs], [X|Xs], S) :-
    '$fd_product_term'(C, X, T0),
    '$fd_sum_terms'(Cs, Xs, T0, S).

'$fd_sum_terms'([], [], S, S).
'$fd_sum_terms'([C|Cs], [X|Xs], S0, S) :-
    (   C < 0 -> D is -C, '$fd_product_term'(D, X, T), S1 = S0 - T
    ;   '$fd_product_term'(C, X, T), S1 = S0 + T
    ),
    '$fd_sum_terms'(Cs, Xs, S1, S).

'$fd_plus'(X, C, T) :-
    (   C =:= 0 -> T = X ; C > 0 -> T = X + C ; D is -C, T = X - D ).

'$fd_product_term'(1, X, X) :- !.
'$fd_product_term'(-1, X, -X) :- !.
'$fd_product_term'(C, X, C*X).

'$fd_rel_goal'(=, S, K, S #= K).
'$fd_rel_goal'(\=, S, K, S #\= K).
'$fd_rel_goal'(=<, S, K, S #=< K).
