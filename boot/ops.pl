% The operator table: op/3, current_op/3 and the lookups the reader and the
% writer use.
%
% The table is the dynamic predicate '$op'(Name, Class, Priority, Type),
% Class prefix, infix or postfix, one clause for each operator of priority
% above 0; its clauses are first the operators of a fresh system. Indexed
% on the name, a lookup costs the same however many operators there are.
% Operators are global: the module a directive runs in does not change the
% table.

:- module(prolog, [op/3, current_op/3]).

:- dynamic '$op'/4.

% The operators of a fresh system.
'$op'(':-', infix, 1200, xfx).
'$op'('-->', infix, 1200, xfx).
'$op'(':-', prefix, 1200, fx).
'$op'('?-', prefix, 1200, fx).
'$op'(dynamic, prefix, 1150, fx).
'$op'(discontiguous, prefix, 1150, fx).
'$op'(initialization, prefix, 1150, fx).
'$op'(meta_predicate, prefix, 1150, fx).
'$op'(multifile, prefix, 1150, fx).
'$op'(block, prefix, 1150, fx).
'$op'(';', infix, 1100, xfy).
'$op'('|', infix, 1100, xfy).
'$op'('->', infix, 1050, xfy).
'$op'('*->', infix, 1050, xfy).
'$op'(',', infix, 1000, xfy).
'$op'('\\+', prefix, 900, fy).
'$op'('=', infix, 700, xfx).
'$op'('\\=', infix, 700, xfx).
'$op'('==', infix, 700, xfx).
'$op'('\\==', infix, 700, xfx).
'$op'('@<', infix, 700, xfx).
'$op'('@>', infix, 700, xfx).
'$op'('@=<', infix, 700, xfx).
'$op'('@>=', infix, 700, xfx).
'$op'('=..', infix, 700, xfx).
'$op'(is, infix, 700, xfx).
'$op'('=:=', infix, 700, xfx).
'$op'('=\\=', infix, 700, xfx).
'$op'('<', infix, 700, xfx).
'$op'('>', infix, 700, xfx).
'$op'('=<', infix, 700, xfx).
'$op'('>=', infix, 700, xfx).
'$op'(':', infix, 600, xfy).
'$op'('+', infix, 500, yfx).
'$op'('-', infix, 500, yfx).
'$op'('/\\', infix, 500, yfx).
'$op'('\\/', infix, 500, yfx).
'$op'(xor, infix, 500, yfx).
'$op'('*', infix, 400, yfx).
'$op'('/', infix, 400, yfx).
'$op'('//', infix, 400, yfx).
'$op'(rem, infix, 400, yfx).
'$op'(mod, infix, 400, yfx).
'$op'(div, infix, 400, yfx).
'$op'('<<', infix, 400, yfx).
'$op'('>>', infix, 400, yfx).
'$op'('**', infix, 200, xfx).
'$op'('^', infix, 200, xfy).
'$op'('-', prefix, 200, fy).
'$op'('+', prefix, 200, fy).
'$op'('\\', prefix, 200, fy).

'$op_class'(xfx, infix).
'$op_class'(xfy, infix).
'$op_class'(yfx, infix).
'$op_class'(fy, prefix).
'$op_class'(fx, prefix).
'$op_class'(xf, postfix).
'$op_class'(yf, postfix).

% '$current_op'(Name, Class, Priority, Type): the operators of the table.
% With Name and Class given it is a lookup that leaves no choice.
'$current_op'(Name, Class, P, T) :-
    (   atom(Name), atom(Class)
    ->  '$op'(Name, Class, P0, T0), !,
        P = P0, T = T0
    ;   '$op'(Name, Class, P, T)
    ).

'$member'(X, [Y|Ys]) :- ( X = Y ; '$member'(X, Ys) ).

% Shorthands for the reader and the writer: the operator's priority and the
% highest priorities of its arguments.
'$prefix_op'(Name, P, Arg) :-
    '$current_op'(Name, prefix, P, T),
    (   T == fy -> Arg = P ; Arg is P - 1 ).
'$infix_op'(Name, P, Left, Right) :-
    '$current_op'(Name, infix, P, T),
    '$op_args'(T, P, Left, Right).
'$postfix_op'(Name, P, Left) :-
    '$current_op'(Name, postfix, P, T),
    (   T == yf -> Left = P ; Left is P - 1 ).

'$op_args'(xfx, P, L, R) :- L is P - 1, R = L.
'$op_args'(xfy, P, L, P) :- L is P - 1.
'$op_args'(yfx, P, P, R) :- R is P - 1.

% Is the atom an operator of any class?
'$is_op'(Name) :- '$op'(Name, _, _, _), !.

op(P, T, Ops) :-
    Ctx = prolog:op(P, T, Ops),
    (   var(P) -> '$instantiation_error'(Ctx, 1)
    ;   integer(P) -> ( P >= 0, P =< 1200 -> true ; '$domain_error'(operator_priority, P, Ctx, 1) )
    ;   '$type_error'(integer, P, Ctx, 1)
    ),
    (   var(T) -> '$instantiation_error'(Ctx, 2)
    ;   atom(T) -> ( '$op_class'(T, Class) -> true ; '$domain_error'(operator_specifier, T, Ctx, 2) )
    ;   '$type_error'(atom, T, Ctx, 2)
    ),
    '$op_names'(Ops, Names, Ctx),
    '$op_check'(Names, P, Class, Ctx),
    '$op_set'(Names, Class, P, T).

% The names of the third argument: an atom or a list of atoms ([] is the
% empty list).
'$op_names'(Ops, Names, Ctx) :-
    (   var(Ops) -> '$instantiation_error'(Ctx, 3)
    ;   Ops == [] -> Names = []
    ;   atom(Ops) -> Names = [Ops]
    ;   Ops = [_|_]
    ->  '$must_be_partial_list'(Ops, Ctx, 3),
        '$op_name_list'(Ops, Ctx),
        Names = Ops
    ;   '$type_error'(list, Ops, Ctx, 3)
    ).

'$op_name_list'(L, Ctx) :-
    (   var(L) -> '$instantiation_error'(Ctx, 3)
    ;   L == [] -> true
    ;   L = [N|Ns],
        (   var(N) -> '$instantiation_error'(Ctx, 3)
        ;   atom(N) -> '$op_name_list'(Ns, Ctx)
        ;   '$type_error'(atom, N, Ctx, 3)
        )
    ).

% The permissions, checked for every name before the table changes: ','
% cannot be changed; '|' only as an infix operator of priority 1001 or
% more (or removed); '[]' and '{}' are no operators; an operator cannot be
% both infix and postfix.
'$op_check'([], _, _, _).
'$op_check'([N|Ns], P, Class, Ctx) :-
    (   N == (',') -> '$error'(permission_error(modify, operator, N), Ctx, 3)
    ;   N == ('|'), \+ ( P =:= 0 ; Class == infix, P >= 1001 )
    ->  '$error'(permission_error(create, operator, N), Ctx, 3)
    ;   ( N == '[]' ; N == '{}' ), P > 0 -> '$error'(permission_error(create, operator, N), Ctx, 3)
    ;   P > 0, '$op_clash'(Class, Other), '$current_op'(N, Other, _, _)
    ->  '$error'(permission_error(create, operator, N), Ctx, 3)
    ;   '$op_check'(Ns, P, Class, Ctx)
    ).

'$op_clash'(infix, postfix).
'$op_clash'(postfix, infix).

% An operator replaces the one of its name and class; priority 0 removes
% it. New operators come after the others, in the order they were made.
'$op_set'([], _, _, _).
'$op_set'([N|Ns], Class, P, T) :-
    retractall('$op'(N, Class, _, _)),
    (   P > 0 -> assertz('$op'(N, Class, P, T)) ; true ),
    '$op_set'(Ns, Class, P, T).

current_op(P, T, Op) :-
    Ctx = prolog:current_op(P, T, Op),
    (   var(P) -> true
    ;   integer(P), P >= 0, P =< 1200 -> true
    ;   '$domain_error'(operator_priority, P, Ctx, 1)
    ),
    (   var(T) -> true
    ;   atom(T), '$op_class'(T, _) -> true
    ;   '$domain_error'(operator_specifier, T, Ctx, 2)
    ),
    (   var(Op) -> true
    ;   atom(Op) -> true
    ;   '$type_error'(atom, Op, Ctx, 3)
    ),
    (   nonvar(T) -> '$op_class'(T, Class) ; true ),
    '$current_op'(Op, Class, P, T).
