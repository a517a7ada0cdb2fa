% Random problems against brute force: 2 to 6 variables with domains
% within -6..6 (some with a hole), and a few random constraints among
% linear comparisons, their reifications, propositional combinations of
% them, X in Dom reified, all_different/1 and all_distinct/1. Labeling (with
% options that vary from problem to problem, and with the flag debug on
% for some problems) must give exactly the assignments that enumerating the
% domains and checking each constraint gives. The generator is seeded, so
% that every run poses the same problems.

problems(1500).

test(differential, differential).

differential :-
    problems(N),
    bb_put(seed, 20240611),
    forall(between(1, N, I), check_problem(I)).

check_problem(I) :-
    problem(Vars, Doms, Cs),
    label_options(I, Options),
    brute_force(Vars, Doms, Cs, Expected),
    (   I mod 5 =:= 0 -> Debug = on ; Debug = off ),
    solve(Vars, Doms, Cs, [], off, Got0),
    solve(Vars, Doms, Cs, Options, Debug, Got1),
    (   Got0 == Expected, Got1 == Expected -> true
    ;   format("problem ~d: ~q~n  domains ~q~n  options ~q (debug ~w)~n  expected ~q~n  got ~q~n  and ~q~n",
               [I, Vars-Cs, Doms, Options, Debug, Expected, Got0, Got1]),
        fail
    ).

label_options(I, Options) :-
    Sets = [[ff], [ffc, down], [min, bisect], [max, enum], [anti_first_fail, middle],
            [occurrence, median], [max_regret, step], [impact, up], [dom_w_deg, bisect, down],
            [leftmost, enum, down], [variable(select_first)]],
    length(Sets, K),
    J is I mod K + 1,
    nth1(J, Sets, Options).

select_first([X|Xs], X, Xs).

% The solutions, sorted, through the library.
solve(Vars, Doms, Cs, Options, Debug, Sols) :-
    copy_term(Vars-Cs, Vs-Cs1),
    fd_flag(debug, Old, Debug),
    findall(Vs, ( post_domains(Vs, Doms), post_all(Cs1), labeling(Options, Vs) ), Sols0),
    fd_flag(debug, _, Old),
    msort(Sols0, Sols).

holds(L #= R) :- L =:= R.
holds(L #\= R) :- L =\= R.
holds(L #< R) :- L < R.
holds(L #> R) :- L > R.
holds(L #=< R) :- L =< R.
holds(L #>= R) :- L >= R.
holds(A #<==> B) :- truth(A, T), truth(B, T).
holds(A #==> B) :- truth(A, TA), truth(B, TB), TA =< TB.
holds(A #\/ B) :- truth(A, TA), truth(B, TB), TA + TB >= 1.
holds(A #/\ B) :- truth(A, 1), truth(B, 1).
holds(A #\ B) :- truth(A, TA), truth(B, TB), TA =\= TB.
holds(#\ A) :- truth(A, 0).
holds(X in D) :- dom_value(D, X), !.
holds(all_different(Xs)) :- msort(Xs, S), length(Xs, N), sort(S, U), length(U, N).
holds(all_distinct(Xs)) :- holds(all_different(Xs)).

truth(F, T) :- integer(F), !, T = F.
truth(F, T) :- ( holds(F) -> T = 1 ; T = 0 ).

% ---------------------------------------------------------------------------
% The generator.

problem(Vars, Doms, Cs) :-
    random_between(2, 6, NV),
    length(Vars0, NV),
    domains(NV, 1, Doms0),
    random_between(1, 4, NC),
    constraints(NC, Vars0, Doms0, Vars, Doms, Cs).

% Domains whose sizes multiply to at most 5000.
domains(0, _, []) :- !.
domains(N, P0, [D|Ds]) :-
    random_between(-6, 6, L),
    random_between(0, 4, W),
    H is min(6, L + W),
    (   H - L >= 2, random(3, 0) -> M0 is L, M1 is L + 2, D0 = (L..M0) \/ (M1..H)
    ;   D0 = L..H
    ),
    dom_size(D0, S0),
    (   P0 * S0 > 5000 -> D = L..L, S = 1 ; D = D0, S = S0 ),
    P is P0 * S,
    N1 is N - 1,
    domains(N1, P, Ds).

dom_size(D, S) :- findall(V, dom_value(D, V), Vs), length(Vs, S).

% Constraints; a reification adds a 0/1 variable to the problem.
constraints(0, Vs, Ds, Vs, Ds, []) :- !.
constraints(N, Vs0, Ds0, Vs, Ds, [C|Cs]) :-
    random(10, K),
    constraint(K, Vs0, Ds0, Vs1, Ds1, C),
    N1 is N - 1,
    constraints(N1, Vs1, Ds1, Vs, Ds, Cs).

constraint(K, Vs, Ds, Vs, Ds, C) :- K =< 3, !, comparison(Vs, C).
constraint(4, Vs, Ds, [B|Vs], [0..1|Ds], B #<==> C) :- !, comparison(Vs, C).
constraint(5, Vs, Ds, Vs, Ds, C) :- !,
    comparison(Vs, A), comparison(Vs, B),
    pick([A #\/ B, A #==> B, A #<==> B, A #\ B, A #/\ B, #\ A, #\ (A #/\ B)], C).
constraint(6, Vs, Ds, [B|Vs], [0..1|Ds], B #<==> F) :- !,
    comparison(Vs, A), comparison(Vs, C),
    pick([A #\/ C, A #==> C, A #<==> C, A #\ C, A #/\ C, #\ A], F).
constraint(7, Vs, Ds, [B|Vs], [0..1|Ds], B #<==> (X in D)) :- !,
    pick(Vs, X),
    random_between(-6, 6, L), random_between(0, 5, W), H is L + W,
    pick([L..H, (L..L) \/ (H..H), L..L], D).
constraint(8, Vs, Ds, Vs, Ds, all_different(Xs)) :- !, subset2(Vs, Xs).
constraint(_, Vs, Ds, Vs, Ds, all_distinct(Xs)) :- subset2(Vs, Xs).

% At least two of the variables, kept in order (each kept with chance 2/3).
subset2(Vs, Xs) :-
    some_of(Vs, Xs0),
    (   Xs0 = [_, _|_] -> Xs = Xs0 ; Vs = [A, B|_], Xs = [A, B] ).

some_of([], []).
some_of([V|Vs], Xs) :-
    random(3, R),
    (   R > 0 -> Xs = [V|Xs1] ; Xs = Xs1 ),
    some_of(Vs, Xs1).

% A comparison of two sums of terms of 1 or 2 variables (or none: a
% constant) with small coefficients.
comparison(Vs, C) :-
    side(Vs, L), side(Vs, R),
    pick([#=, #\=, #<, #>, #=<, #>=], Op),
    C =.. [Op, L, R].

side(Vs, S) :-
    random(4, N),
    (   N =:= 0 -> random_between(-8, 8, S)
    ;   N =:= 3 -> term(Vs, T1), term(Vs, T2), random_between(-4, 4, K), S = T1 + T2 + K
    ;   term(Vs, S)
    ).

term(Vs, T) :-
    pick(Vs, X),
    pick([1, 1, -1, 2, -2, 3], A),
    (   A =:= 1 -> T = X ; T = A * X ).
