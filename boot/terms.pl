% Terms: unification and comparison, type tests, taking terms apart and
% building them, copying.
%
% The compiler puts unification, the comparisons, the type tests,
% functor/3, arg/3, =../2 and compare/3 in line; the clauses here serve
% calls through call/N. The inline code of functor/3, arg/3, =../2 and
% compare/3 hands every case it does not handle to the Prolog definition
% (the engine's fall-backs): arguments of the wrong type, cases that raise
% errors, '$mutable'/2 and '$array1d'/2 terms. So each definition below
% handles those cases without calling itself in line for them.

:- module(prolog, [
    (=)/2, (\=)/2, (==)/2, (\==)/2, (@<)/2, (@>)/2, (@=<)/2, (@>=)/2, compare/3,
    var/1, nonvar/1, atom/1, number/1, integer/1, float/1, atomic/1, compound/1,
    callable/1, ground/1, is_list/1,
    functor/3, arg/3, (=..)/2, copy_term/2, copy_term/3, term_variables/2, subsumes_term/2,
    unify_with_occurs_check/2, acyclic_term/1, numbervars/3
]).

X = X.
X \= Y :- \+ X = Y.
X == Y :- X == Y.
X \== Y :- X \== Y.
X @< Y :- X @< Y.
X @> Y :- X @> Y.
X @=< Y :- X @=< Y.
X @>= Y :- X @>= Y.

var(X) :- var(X).
nonvar(X) :- nonvar(X).
atom(X) :- atom(X).
number(X) :- number(X).
integer(X) :- integer(X).
float(X) :- float(X).
atomic(X) :- atomic(X).
compound(X) :- compound(X).
callable(X) :- callable(X).
ground(X) :- ground(X).

is_list(L) :- '$list_skip'(L, N, T), N >= 0, T == [].

% compare/3: the inline code computes the order and hands an order
% argument that is none of <, = and > to '$compare'/4 with it.
compare(Order, X, Y) :- compare(Order, X, Y).

'$compare'(Order, X, Y, _) :-
    Ctx = prolog:compare(Order, X, Y),
    (   var(Order) -> compare(Order, X, Y)
    ;   atom(Order) -> '$domain_error'(order, Order, Ctx, 1)
    ;   '$type_error'(atom, Order, Ctx, 1)
    ).

% functor/3. Bound terms never reach the definition; an unbound term with
% a name and arity the inline code does not build does.
functor(T, N, A) :-
    (   nonvar(T) -> functor(T, N, A)
    ;   '$functor_build'(T, N, A, prolog:functor(T, N, A))
    ).

'$functor_build'(T, N, A, Ctx) :-
    (   var(N) -> '$instantiation_error'(Ctx, 2)
    ;   var(A) -> '$instantiation_error'(Ctx, 3)
    ;   compound(N) -> '$type_error'(atomic, N, Ctx, 2)
    ;   \+ integer(A) -> '$type_error'(integer, A, Ctx, 3)
    ;   A < 0 -> '$domain_error'(not_less_than_zero, A, Ctx, 3)
    ;   A > 255 -> '$error'(representation_error(max_arity), Ctx, 3)
    ;   A =:= 0 -> T = N
    ;   \+ atom(N) -> '$type_error'(atom, N, Ctx, 2)
    ;   '$special_skeleton'(N, A, S) -> T = S
    ;   functor(T, N, A)
    ).

% The structures the engine never builds in line: written out here.
'$special_skeleton'('$mutable', 2, '$mutable'(_, _)).
'$special_skeleton'('$array1d', 2, '$array1d'(_, _)).

% arg/3 reaches the definition for any N but a non-negative small integer
% and any term but a compound one.
arg(N, T, A) :-
    Ctx = prolog:arg(N, T, A),
    (   var(N) -> '$instantiation_error'(Ctx, 1)
    ;   \+ integer(N) -> '$type_error'(integer, N, Ctx, 1)
    ;   var(T) -> '$instantiation_error'(Ctx, 2)
    ;   \+ compound(T) -> '$type_error'(compound, T, Ctx, 2)
    ;   N < 0 -> '$domain_error'(not_less_than_zero, N, Ctx, 1)
    ;   N =< 255 -> arg(N, T, A)
    ;   fail
    ).

% T =.. L with T unbound reaches the definition when L is not a proper list
% of at most 256 elements with an atomic head, or names one of the special
% structures.
T =.. L :-
    (   nonvar(T) -> T =.. L
    ;   '$univ_build'(T, L, prolog:(T =.. L))
    ).

'$univ_build'(T, L, Ctx) :-
    '$list_skip'(L, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, 2)
    ;   Tail \== [] -> '$type_error'(list, L, Ctx, 2)
    ;   N < 0 -> '$type_error'(list, L, Ctx, 2)
    ;   L = [] -> '$domain_error'(non_empty_list, [], Ctx, 2)
    ;   true
    ),
    L = [F|Args],
    Arity is N - 1,
    (   var(F) -> '$instantiation_error'(Ctx, 2)
    ;   Arity =:= 0 -> ( atomic(F) -> T = F ; '$type_error'(atomic, F, Ctx, 2) )
    ;   \+ atom(F) -> '$type_error'(atom, F, Ctx, 2)
    ;   Arity > 255 -> '$error'(representation_error(max_arity), Ctx, 2)
    ;   '$functor_build'(T, F, Arity, Ctx),
        '$unify_args'(Args, 1, T)
    ).

'$unify_args'([], _, _).
'$unify_args'([A|As], I, T) :-
    arg(I, T, A),
    I1 is I + 1,
    '$unify_args'(As, I1, T).

% copy_term/2: attributed variables are copied with their attributes and
% suspended goals.
copy_term(Term, Copy) :-
    '$term_attributed_variables_dfs'(Term, AttVars),
    (   AttVars == []
    ->  '$copy_term'(Term, Copy)
    ;   '$attributes_of'(AttVars, Attributes),
        '$copy_term'(Term-AttVars-Attributes, Copy0-CopyVars-CopyAttributes),
        '$put_attributes_of'(CopyVars, CopyAttributes),
        Copy = Copy0
    ).

'$attributes_of'([], []).
'$attributes_of'([V|Vs], [A-G|As]) :-
    '$get_cva'(V, A, G),
    '$attributes_of'(Vs, As).

'$put_attributes_of'([], []).
'$put_attributes_of'([V|Vs], [A-G|As]) :-
    '$put_cva'(V, A, G),
    '$put_attributes_of'(Vs, As).

% copy_term/3: Copy is a copy of Term without attributes and suspended
% goals, Goals the goals that stand for them in Copy's variables (each
% attribute module's attribute_goals//1, and the goals suspended).
copy_term(Term, Copy, Goals) :-
    '$term_attributed_variables_dfs'(Term, AttVars),
    '$attribute_goals'(AttVars, AttributeGoals),
    '$tl_residuals'(AttVars, [], Suspended0),
    '$tl_reverse'(Suspended0, [], Suspended),
    append(AttributeGoals, Suspended, Goals0),
    '$copy_term'(Term-Goals0, Copy-Goals).

term_variables(Term, Vars) :-
    '$must_be_partial_list'(Vars, prolog:term_variables(Term, Vars), 2),
    '$term_variables_dfs'(Term, Found),
    Vars = Found.

subsumes_term(General, Specific) :- '$subsumes_chk'(General, Specific).

unify_with_occurs_check(X, Y) :- '$unify_with_occurs_check'(X, Y).

% numbervars(Term, Start, End): the variables of Term, in the order
% term_variables/2 finds them, bound to '$VAR'(Start), '$VAR'(Start+1), ...;
% End is the next number.
numbervars(T, S, E) :-
    Ctx = prolog:numbervars(T, S, E),
    '$must_be_integer'(S, Ctx, 2),
    '$may_be_integer'(E, Ctx, 3),
    '$term_variables_dfs'(T, Vs),
    '$number_vars'(Vs, S, E0),
    E = E0.

'$number_vars'([], N, N).
'$number_vars'(['$VAR'(N0)|Vs], N0, N) :- N1 is N0 + 1, '$number_vars'(Vs, N1, N).

acyclic_term(T) :- '$acyclic'(T).
