% The compiler's front end: a clause becomes a head and a flat list of body
% items; control constructs become internal predicates of the same code block.
%
% Body items:
%   call(Target, Args)   a call; Target is Name/Arity or aux(Id)
%   inline(Goal)         a goal compiled in place (unification, arithmetic,
%                        type tests, term built-ins)
%   cut                  cut to the barrier of this clause's predicate
%   cutto(V)             cut to the barrier held in the variable V
%   getbarrier(V)        store this predicate's barrier in V
%   fail
%
% Two goals give Prolog code the cut barrier as a value: '$choice'(V) binds
% V to the barrier a cut at its place would cut to, and '$cut'(V) cuts to
% the barrier held in V (the library's meta-call and catch/3 are built on
% them).
%
% Module:Goal calls Goal in Module directly when Module is an atom and Goal
% an ordinary callable goal; a control construct, a variable goal or
% module goes through call/1, which knows the module of each part.
%
% Disjunction, if-then-else, negation and call/1 of a known goal become
% internal predicates whose arguments are the construct's variables that
% also occur outside it. The soft cut (C *-> Then ; Else) is an internal
% predicate of three clauses: the first notes its own choicepoint and,
% each time C succeeds, moves that choicepoint's alternative on past the
% second clause (Else) to the third, which fails ('$zap_chpt'/1); without
% an answer of C the second clause cuts the third away and runs Else. A cut that is transparent to the construct (in a
% disjunct, a then or an else branch) cuts to the enclosing clause's barrier,
% which is passed to the internal predicate as one more argument. The
% condition of an if-then-else, a negated goal and the goal of call/1 are
% opaque: a cut inside them is local to them.
%
% Internal predicates: auxdef(Id, Arity, Clauses), each clause a
% nclause(Head, Items).

lvc_normalize(Clause, nclause(Head, Items), Auxes) :-
    lvc_clause_parts(Clause, Head, Body),
    lvc_norm_clause(Head, Body, own, Items, aux(0, []), aux(_, RevAuxes)),
    lvc_reverse(RevAuxes, Auxes).

lvc_clause_parts(Clause, Head, Body) :-
    nonvar(Clause), Clause = (Head :- Body), !.
lvc_clause_parts(Head, Head, true).

% lvc_norm_clause(+Head, +Body, +Ctx, -Items, +Aux0, -Aux)
% Ctx says what a transparent cut means here: own (this clause's barrier) or
% to(V) (the barrier passed in V).
lvc_norm_clause(Head, Body, Ctx, Items, A0, A) :-
    lvc_flatten_conj(Body, Goals, []),
    lvc_norm_goals(Goals, [], Head, Ctx, Own, Items0, A0, A),
    lvc_place_cuts(Items0, Own, Items1),
    (   lvc_occurs_in(Own, Items1)
    ->  Items = [getbarrier(Own)|Items1]
    ;   Items = Items1
    ).

lvc_flatten_conj(G, [G|T], T) :- var(G), !.
lvc_flatten_conj((A, B), L0, L) :- !,
    lvc_flatten_conj(A, L0, L1),
    lvc_flatten_conj(B, L1, L).
lvc_flatten_conj(true, L, L) :- !.
lvc_flatten_conj(G, [G|L], L).

% Own is this clause's barrier variable (unbound; used if needed).
lvc_norm_goals([], _, _, _, _, [], A, A).
lvc_norm_goals([G|Gs], Before, Head, Ctx, Own, Items, A0, A) :-
    Outside = o(Head, Before, Gs),
    lvc_norm_goal(G, Outside, Ctx, Own, Items, Items1, A0, A1),
    lvc_norm_goals(Gs, [G|Before], Head, Ctx, Own, Items1, A1, A).

lvc_norm_goal(G, _, _, _, [call(call/1, [G])|T], T, A, A) :- var(G), !.
lvc_norm_goal(!, _, Ctx, _, [Item|T], T, A, A) :- !,
    (   Ctx == own -> Item = cut
    ;   Ctx = to(V), Item = cutto(V)
    ).
lvc_norm_goal('$lvc_localcut', _, _, _, [cut|T], T, A, A) :- !.
lvc_norm_goal('$choice'(V), o(Head, Before, _), Ctx, Own, Items, T, A, A) :- !,
    (   Ctx == own -> B = Own ; Ctx = to(B) ),
    % A variable met here first names the barrier itself.
    (   Ctx == own, var(V), \+ lvc_occurs_in(V, Head-Before)
    ->  V = B, Items = T
    ;   Items = [inline(V = B)|T]
    ).
lvc_norm_goal('$cut'(V), _, _, _, [cutto(V)|T], T, A, A) :- !.
lvc_norm_goal('$lvc_call'(Target, G), _, _, _, [call(Target, Args)|T], T, A, A) :- !,
    G =.. [_|Args].
lvc_norm_goal(M:G, _, _, _, [Item|T], T, A, A) :- !,
    (   atom(M), callable(G), \+ lvc_control(G)
    ->  Item = call((:)/2, [M, G])
    ;   Item = call(call/1, [M:G])
    ).
lvc_norm_goal((X ; Else), Out, Ctx, Own, [Call|T], T, A0, A) :-
    nonvar(X), X = (C -> Then), !,
    lvc_opaque(C, C1),
    lvc_make_aux((C -> Then ; Else), [(C1, '$lvc_localcut', Then), Else], Out, Ctx, Own, Call, A0, A).
lvc_norm_goal((X ; Else), Out, Ctx, Own, [Call|T], T, A0, A) :-
    nonvar(X), X = (C *-> Then), !,
    lvc_opaque(C, C1),
    lvc_make_aux((C *-> Then ; Else), [('$lvc_call'(prolog:'$nth_choicepoint'/2, '$nth_choicepoint'(0, R)), C1,
                  '$lvc_call'(prolog:'$zap_chpt'/1, '$zap_chpt'(R)), Then),
                  ('$lvc_localcut', Else), fail],
                 Out, Ctx, Own, Call, A0, A).
lvc_norm_goal((C -> Then), Out, Ctx, Own, Items, T, A0, A) :- !,
    lvc_norm_goal((C -> Then ; fail), Out, Ctx, Own, Items, T, A0, A).
lvc_norm_goal((C *-> Then), Out, Ctx, Own, Items, T, A0, A) :- !,
    lvc_norm_goal((C *-> Then ; fail), Out, Ctx, Own, Items, T, A0, A).
lvc_norm_goal((X ; Y), Out, Ctx, Own, [Call|T], T, A0, A) :- !,
    lvc_disjuncts((X ; Y), Bodies, []),
    lvc_make_aux((X ; Y), Bodies, Out, Ctx, Own, Call, A0, A).
lvc_norm_goal(\+ G, Out, Ctx, Own, [Call|T], T, A0, A) :- !,
    lvc_opaque(G, G1),
    lvc_make_aux(\+ G, [(G1, '$lvc_localcut', fail), true], Out, Ctx, Own, Call, A0, A).
lvc_norm_goal(call(G), Out, _, Own, [Call|T], T, A0, A) :- callable(G), !,
    lvc_make_aux(call(G), [G], Out, own, Own, Call, A0, A).
lvc_norm_goal(X \= Y, Out, Ctx, Own, Items, T, A0, A) :- !,
    lvc_norm_goal(\+ X = Y, Out, Ctx, Own, Items, T, A0, A).
lvc_norm_goal(true, _, _, _, T, T, A, A) :- !.
lvc_norm_goal(G, _, _, _, [Item|T], T, A, A) :-
    (   lvc_is_fail(G) -> Item = fail
    ;   \+ callable(G) -> throw(lvc_error(goal_not_callable(G)))
    ;   lvc_inline_goal(G) -> Item = inline(G)
    ;   functor(G, N, Ar),
        G =.. [_|Args],
        Item = call(N/Ar, Args)
    ).

% The control constructs a body may hold.
lvc_control((_, _)).
lvc_control((_ ; _)).
lvc_control((_ -> _)).
lvc_control((_ *-> _)).
lvc_control(\+ _).
lvc_control(!).
lvc_control(_ : _).
lvc_control(call(_)).

lvc_is_fail(fail).
lvc_is_fail(false).

% A goal whose transparent cuts must stay local to it is wrapped in call/1.
lvc_opaque(G, call(G)) :- lvc_has_cut(G), !.
lvc_opaque(G, G).

lvc_disjuncts(G, [G|T], T) :- var(G), !.
lvc_disjuncts((X ; Y), [X|L1], L) :- \+ lvc_is_ite_cond(X), !,
    lvc_disjuncts(Y, L1, L).
lvc_disjuncts(G, [G|T], T).

lvc_is_ite_cond(X) :- nonvar(X), X = (_ -> _).
lvc_is_ite_cond(X) :- nonvar(X), X = (_ *-> _).

% A cut that would cut through the construct: in a conjunct, a disjunct or
% a then/else branch; not in a condition, a negation or call/1.
lvc_has_cut(G) :- var(G), !, fail.
lvc_has_cut(!).
lvc_has_cut('$choice'(_)).
lvc_has_cut((A, B)) :- ( lvc_has_cut(A) -> true ; lvc_has_cut(B) ).
lvc_has_cut((A ; B)) :- ( lvc_has_cut(A) -> true ; lvc_has_cut(B) ).
lvc_has_cut((_ -> B)) :- lvc_has_cut(B).
lvc_has_cut((_ *-> B)) :- lvc_has_cut(B).

% lvc_make_aux(+Construct, +Bodies, +Outside, +Ctx, +Own, -Call, +A0, -A)
% Bodies that cut transparently get the barrier: this clause's own (Ctx own)
% or the one passed in (Ctx to(V)). Ctx own for Bodies (call/1) makes their
% cuts local.
lvc_make_aux(Construct, Bodies, Outside, Ctx, Own, call(aux(Id), Args), aux(Id, Defs0), A) :-
    term_variables(Construct, CVs),
    term_variables(Outside, OVs),
    lvc_var_intersection(CVs, OVs, Args0),
    (   Construct = call(_)
    ->  ChildCtx = own, Args = Args0
    ;   ( Ctx == own -> V = Own ; Ctx = to(V) ),
        ChildCtx = to(V),
        (   lvc_some_has_cut(Bodies)
        ->  lvc_append(Args0, [V], Args)
        ;   Args = Args0
        )
    ),
    Head =.. ['$aux'|Args],
    Id1 is Id + 1,
    lvc_norm_aux_bodies(Bodies, Head, ChildCtx, Clauses, aux(Id1, Defs0), aux(N, Defs1)),
    lvc_length(Args, Arity),
    A = aux(N, [auxdef(Id, Arity, Clauses)|Defs1]).

lvc_some_has_cut([B|Bs]) :- ( lvc_has_cut(B) -> true ; lvc_some_has_cut(Bs) ).

lvc_norm_aux_bodies([], _, _, [], A, A).
lvc_norm_aux_bodies([B|Bs], Head, Ctx, [nclause(Head, Items)|Cs], A0, A) :-
    lvc_norm_clause(Head, B, Ctx, Items, A0, A1),
    lvc_norm_aux_bodies(Bs, Head, Ctx, Cs, A1, A).

% A cut before the clause's first call cuts to the barrier register; after a
% call it cuts to the barrier saved at the start of the body.
lvc_place_cuts([], _, []).
lvc_place_cuts([I|Is], Own, [I|Os]) :-
    I = call(_, _), !,
    lvc_place_cuts_after(Is, Own, Os).
lvc_place_cuts([I|Is], Own, [I|Os]) :-
    lvc_place_cuts(Is, Own, Os).

lvc_place_cuts_after([], _, []).
lvc_place_cuts_after([cut|Is], Own, [cutto(Own)|Os]) :- !,
    lvc_place_cuts_after(Is, Own, Os).
lvc_place_cuts_after([I|Is], Own, [I|Os]) :-
    lvc_place_cuts_after(Is, Own, Os).

% Goals compiled in place.
lvc_inline_goal(G) :-
    functor(G, N, A),
    lvc_inline(N, A).

lvc_inline(=, 2).
lvc_inline(is, 2).
lvc_inline(N, 2) :- lvc_arith_compare(N, _).
lvc_inline(N, 2) :- lvc_term_compare(N, _).
lvc_inline(N, 1) :- lvc_type_test(N, _).
lvc_inline(functor, 3).
lvc_inline(arg, 3).
lvc_inline(=.., 2).
lvc_inline(compare, 3).
lvc_inline(create_mutable, 2).
lvc_inline(get_mutable, 2).
lvc_inline(update_mutable, 2).

lvc_arith_compare(=:=, 'EQUAL_TO').
lvc_arith_compare(=\=, 'NOT_EQUAL_TO').
lvc_arith_compare(<, 'LESS_THAN').
lvc_arith_compare(>=, 'NOT_LESS_THAN').
lvc_arith_compare(>, 'GREATER_THAN').
lvc_arith_compare(=<, 'NOT_GREATER_THAN').

% Standard-order comparisons: the three-way result against 0.
lvc_term_compare(==, 'EQUAL_TO_IMM').
lvc_term_compare(\==, 'NOT_EQUAL_TO_IMM').
lvc_term_compare(@<, 'LESS_THAN_IMM').
lvc_term_compare(@>=, 'NOT_LESS_THAN_IMM').
lvc_term_compare(@>, 'GREATER_THAN_IMM').
lvc_term_compare(@=<, 'NOT_GREATER_THAN_IMM').

lvc_type_test(atom, 'ATOM').
lvc_type_test(atomic, 'ATOMIC').
lvc_type_test(float, 'FLOAT').
lvc_type_test(integer, 'INTEGER').
lvc_type_test(number, 'NUMBER').
lvc_type_test(var, 'VAR').
lvc_type_test(nonvar, 'NONVAR').
lvc_type_test(compound, 'COMPOUND').
lvc_type_test(callable, 'CALLABLE').
lvc_type_test(ground, 'GROUND').

% ---------------------------------------------------------------------------
% Modules
%
% A clause is read in a module, the module of its file. Its head belongs to
% the module it is qualified with, else to that module; its body runs in
% the module it is read in (so Module:Head :- Body adds to Module a clause
% whose body calls the predicates of its own file). lvc_module_clause/3
% prepares a clause for compiling, with Ctx = lvc_ctx(Module, Resolve,
% Metas), Module being the module the clause is read in:
% - its predicate and the predicates it calls are named Module:Name/Arity
%   when Module is not Resolve, the module in which unqualified names are
%   looked up when the code is loaded;
% - a meta-argument (0..9, : or ^ in the meta_predicate declaration) of a
%   call of a meta predicate that the clause writes out is qualified with
%   the clause's module, so the goal runs in the module that wrote it,
%   whatever module the meta predicate belongs to; an argument already
%   qualified stays as it is.
% Variables are not qualified: a goal handed on through a variable (a meta
% predicate's argument, call/N of a closure) runs in the module its own
% qualification names, which the caller that wrote it gave, else in the
% type-in module, as for a goal that the top level or C hands to call/N.
% Code of user compiled for loading in user (the quick-load files of
% programs) qualifies nothing: its goals run in the type-in module, user
% unless a harness chose another.
% The meta predicates are those of Metas (the heads of the program's
% meta_predicate declarations), call/N, and, on this system, those the
% engine knows ('$meta_declaration'/3).
% A call that is prepared is '$lvc_call'(Target, Goal) in the body.

lvc_module_clause(Clause, lvc_ctx(M, R, Metas), (Head :- Body)) :-
    lvc_clause_parts(Clause, H0, B0),
    lvc_head_module(H0, M, HM, H),
    (   HM == R -> Head = H ; Head = HM:H ),
    lvc_module_body(B0, M, R, Metas, Body).

lvc_head_module(H, M, M, H) :- var(H), !.
lvc_head_module(Q:H0, _, M, H) :- atom(Q), !, lvc_head_module(H0, Q, M, H).
lvc_head_module(H, M, M, H).

lvc_module_body(G, _, _, _, G) :- var(G), !.
lvc_module_body((A, B), M, R, Ms, (A1, B1)) :- !,
    lvc_module_body(A, M, R, Ms, A1),
    lvc_module_body(B, M, R, Ms, B1).
lvc_module_body((A ; B), M, R, Ms, (A1 ; B1)) :- !,
    lvc_module_body(A, M, R, Ms, A1),
    lvc_module_body(B, M, R, Ms, B1).
lvc_module_body((A -> B), M, R, Ms, (A1 -> B1)) :- !,
    lvc_module_body(A, M, R, Ms, A1),
    lvc_module_body(B, M, R, Ms, B1).
lvc_module_body((A *-> B), M, R, Ms, (A1 *-> B1)) :- !,
    lvc_module_body(A, M, R, Ms, A1),
    lvc_module_body(B, M, R, Ms, B1).
lvc_module_body(\+ A, M, R, Ms, \+ A1) :- !,
    lvc_module_body(A, M, R, Ms, A1).
lvc_module_body(call(G), M, R, Ms, G1) :- var(G), !,
    lvc_module_body(G, M, R, Ms, G1).
lvc_module_body(call(G), M, R, Ms, call(G1)) :- callable(G), !,
    lvc_module_body(G, M, R, Ms, G1).
lvc_module_body(G, M, R, Ms, '$lvc_call'(Target, G1)) :-
    lvc_plain_call(G), !,
    functor(G, N, A),
    (   M == R -> Target = N/A ; Target = M:N/A ),
    (   lvc_unqualified_module(M, R) -> G1 = G ; lvc_meta_goal(G, M, Ms, G1) ).
lvc_module_body(G, _, _, _, G).

% A goal compiled as a call of its predicate.
lvc_plain_call(G) :-
    callable(G),
    \+ lvc_control(G),
    \+ lvc_is_fail(G),
    \+ lvc_inline_goal(G),
    \+ lvc_special_goal(G).

lvc_special_goal(true).
lvc_special_goal(_ \= _).
lvc_special_goal('$choice'(_)).
lvc_special_goal('$cut'(_)).
lvc_special_goal('$lvc_localcut').
lvc_special_goal('$lvc_call'(_, _)).

lvc_meta_goal(G, M, Ms, G1) :-
    (   lvc_meta_spec(G, M, Ms, Spec)
    ->  G =.. [N|As],
        Spec =.. [_|Ss],
        lvc_meta_args(As, Ss, M, Ms, As1),
        G1 =.. [N|As1]
    ;   G1 = G
    ).

lvc_meta_spec(G, _, Ms, Spec) :-
    functor(G, N, A),
    lvc_meta_member(Ms, N, A, Spec), !.
lvc_meta_spec(G, _, _, Spec) :-
    functor(G, call, A), A >= 1, !,
    functor(Spec, call, A),
    N is A - 1,
    arg(1, Spec, N).
lvc_meta_spec(G, M, _, Spec) :-
    catch('$meta_declaration'(G, M, Spec), _, fail).

lvc_meta_member([H|Hs], N, A, Spec) :-
    (   functor(H, N, A) -> Spec = H ; lvc_meta_member(Hs, N, A, Spec) ).

lvc_meta_args([], _, _, _, []).
lvc_meta_args([A|As], [S|Ss], M, Ms, [A1|As1]) :-
    (   S == 0 -> lvc_meta_arg(A, M, A0), lvc_goal_arg(A0, M, Ms, A1)
    ;   lvc_meta_position(S) -> lvc_meta_arg(A, M, A1)
    ;   A1 = A
    ),
    lvc_meta_args(As, Ss, M, Ms, As1).

% A goal argument written out runs in the clause's module, but the engine
% calls its goals as they stand: the meta-arguments of the goals inside it
% are qualified here too.
lvc_goal_arg(A, M, Ms, A1) :-
    (   nonvar(A), A = Q:G, Q == M -> A1 = M:G1, lvc_inner_goal(G, M, Ms, G1)
    ;   A1 = A
    ).

lvc_inner_goal(G, _, _, G) :- var(G), !.
lvc_inner_goal((A, B), M, Ms, (A1, B1)) :- !,
    lvc_inner_goal(A, M, Ms, A1), lvc_inner_goal(B, M, Ms, B1).
lvc_inner_goal((A ; B), M, Ms, (A1 ; B1)) :- !,
    lvc_inner_goal(A, M, Ms, A1), lvc_inner_goal(B, M, Ms, B1).
lvc_inner_goal((A -> B), M, Ms, (A1 -> B1)) :- !,
    lvc_inner_goal(A, M, Ms, A1), lvc_inner_goal(B, M, Ms, B1).
lvc_inner_goal(\+ A, M, Ms, \+ A1) :- !, lvc_inner_goal(A, M, Ms, A1).
lvc_inner_goal(V^A, M, Ms, V^A1) :- !, lvc_inner_goal(A, M, Ms, A1).
lvc_inner_goal(call(A), M, Ms, call(A1)) :- !, lvc_inner_goal(A, M, Ms, A1).
lvc_inner_goal(G, M, Ms, G1) :-
    (   callable(G), G \= _:_ -> lvc_meta_goal(G, M, Ms, G1) ; G1 = G ).

lvc_meta_position(S) :- var(S), !, fail.
lvc_meta_position(S) :- integer(S), !, S >= 0, S =< 9.
lvc_meta_position(:).
lvc_meta_position(^).

lvc_meta_arg(A, M, A1) :-
    (   var(A) -> A1 = A
    ;   A = _:_ -> A1 = A
    ;   A1 = M:A
    ).

lvc_unqualified_module(user, R) :- R == user.

% Small list and variable helpers (the compiler uses no library).
lvc_append([], L, L).
lvc_append([X|Xs], L, [X|Ys]) :- lvc_append(Xs, L, Ys).

lvc_reverse(L, R) :- lvc_reverse(L, [], R).
lvc_reverse([], R, R).
lvc_reverse([X|Xs], A, R) :- lvc_reverse(Xs, [X|A], R).

lvc_length(L, N) :- lvc_length(L, 0, N).
lvc_length([], N, N).
lvc_length([_|T], N0, N) :- N1 is N0 + 1, lvc_length(T, N1, N).

lvc_var_member(V, [W|Ws]) :- ( V == W -> true ; lvc_var_member(V, Ws) ).

lvc_var_intersection([], _, []).
lvc_var_intersection([V|Vs], Ws, I) :-
    (   lvc_var_member(V, Ws)
    ->  I = [V|I1]
    ;   I = I1
    ),
    lvc_var_intersection(Vs, Ws, I1).

lvc_occurs_in(V, T) :-
    term_variables(T, Vs),
    lvc_var_member(V, Vs).

lvc_max_list([], M, M).
lvc_max_list([X|Xs], M0, M) :- ( X > M0 -> M1 = X ; M1 = M0 ), lvc_max_list(Xs, M1, M).
