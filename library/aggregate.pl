% Aggregating the solutions of a goal: module aggregate.
%
% aggregate_all(Spec, Goal, Result) gathers all solutions of Goal (as
% findall/3 does: bindings are not kept) into one result. Spec is one of
%   count               the number of solutions
%   sum(Expr)           the sum of the values of Expr (0 without solutions)
%   max(Expr), min(Expr)            the largest, smallest value of Expr
%   max(Expr, Witness), min(Expr, Witness)
%                       max(Value, Witness) with the Witness of a solution
%                       that has the largest (smallest) value, the first one
%   bag(Template)       the list of the instances of Template
%   set(Template)       that list sorted, without duplicates
% or a compound term whose arguments are such specifications, giving a term
% of the same name with their results (count-sum(X) gives Count-Sum). Max
% and min fail when there is no solution. aggregate_all/4 takes a
% discriminator: solutions with the same discriminator and the same values
% count once.

:- module(aggregate, [aggregate_all/3, aggregate_all/4]).

:- meta_predicate aggregate_all(?, 0, ?), aggregate_all(?, ?, 0, ?).

aggregate_all(Spec, Goal, Result) :-
    Ctx = aggregate:aggregate_all(Spec, Goal, Result),
    spec_(Spec, Template, Finish, Ctx),
    findall(Template, Goal, Values),
    finish_(Finish, Values, Result).

aggregate_all(Spec, Discriminator, Goal, Result) :-
    Ctx = aggregate:aggregate_all(Spec, Discriminator, Goal, Result),
    spec_(Spec, Template, Finish, Ctx),
    findall(Discriminator-Template, Goal, Pairs),
    sort(Pairs, Distinct),
    values_(Distinct, Values),
    finish_(Finish, Values, Result).

values_([], []).
values_([_-V|Ps], [V|Vs]) :- values_(Ps, Vs).

% spec_(Spec, Template, Finish, Ctx): Template is what each solution gives,
% Finish how the list of them becomes the result.
spec_(Spec, _, _, Ctx) :- var(Spec), !, prolog:'$instantiation_error'(Ctx, 1).
spec_(count, x, count, _) :- !.
spec_(sum(E), E, sum, _) :- !.
spec_(max(E), E, max, _) :- !.
spec_(min(E), E, min, _) :- !.
spec_(max(E, W), E-W, max_witness, _) :- !.
spec_(min(E, W), E-W, min_witness, _) :- !.
spec_(bag(T), T, bag, _) :- !.
spec_(set(T), T, set, _) :- !.
spec_(Spec, Templates, compound(Name, Finishes), Ctx) :-
    compound(Spec),
    Spec =.. [Name|Specs],
    specs_(Specs, Ts, Finishes, Ctx),
    !,
    Templates =.. [Name|Ts].
spec_(Spec, _, _, Ctx) :- prolog:'$domain_error'(aggregate_template, Spec, Ctx, 1).

specs_([], [], [], _).
specs_([S|Ss], [T|Ts], [F|Fs], Ctx) :-
    nonvar(S),
    \+ compound_spec_(S),
    spec_(S, T, F, Ctx),
    specs_(Ss, Ts, Fs, Ctx).

% The arguments of a compound specification are simple ones.
compound_spec_(S) :-
    compound(S),
    functor(S, N, A),
    \+ simple_(N, A).

simple_(sum, 1).
simple_(max, 1).
simple_(min, 1).
simple_(max, 2).
simple_(min, 2).
simple_(bag, 1).
simple_(set, 1).

finish_(count, Vs, N) :- length(Vs, N).
finish_(sum, Vs, S) :- sum_(Vs, 0, S).
finish_(max, [V|Vs], M) :- M0 is V, max_(Vs, M0, M).
finish_(min, [V|Vs], M) :- M0 is V, min_(Vs, M0, M).
finish_(max_witness, [V-W|Vs], max(M, MW)) :- M0 is V, max_witness_(Vs, M0, W, M, MW).
finish_(min_witness, [V-W|Vs], min(M, MW)) :- M0 is V, min_witness_(Vs, M0, W, M, MW).
finish_(bag, Vs, Vs).
finish_(set, Vs, S) :- sort(Vs, S).
finish_(compound(Name, Finishes), Vs, Result) :-
    length(Finishes, N),
    columns_(0, N, Vs, Columns),
    finish_all_(Finishes, Columns, Results),
    Result =.. [Name|Results].

sum_([], S, S).
sum_([V|Vs], S0, S) :- S1 is S0 + V, sum_(Vs, S1, S).

max_([], M, M).
max_([V|Vs], M0, M) :- X is V, ( X > M0 -> max_(Vs, X, M) ; max_(Vs, M0, M) ).

min_([], M, M).
min_([V|Vs], M0, M) :- X is V, ( X < M0 -> min_(Vs, X, M) ; min_(Vs, M0, M) ).

max_witness_([], M, W, M, W).
max_witness_([V-W|Vs], M0, W0, M, MW) :-
    X is V,
    (   X > M0 -> max_witness_(Vs, X, W, M, MW) ; max_witness_(Vs, M0, W0, M, MW) ).

min_witness_([], M, W, M, W).
min_witness_([V-W|Vs], M0, W0, M, MW) :-
    X is V,
    (   X < M0 -> min_witness_(Vs, X, W, M, MW) ; min_witness_(Vs, M0, W0, M, MW) ).

% The values of argument I+1..N of each solution's template, one list per
% argument.
columns_(N, N, _, []) :- !.
columns_(I, N, Vs, [C|Cs]) :-
    I1 is I + 1,
    column_(Vs, I1, C),
    columns_(I1, N, Vs, Cs).

column_([], _, []).
column_([V|Vs], I, [X|Xs]) :- arg(I, V, X), column_(Vs, I, Xs).

finish_all_([], [], []).
finish_all_([F|Fs], [C|Cs], [R|Rs]) :- finish_(F, C, R), finish_all_(Fs, Cs, Rs).
