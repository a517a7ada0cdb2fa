% The operator table: op/3, current_op/3 and the lookups the reader and the
% writer use.
%
% The standard operators are the facts of '$default_op'/3. The changes op/3
% makes are kept on prolog's blackboard under '$op_changes', a list of
% op(Name, Class, Priority, Type) with Class prefix, infix or postfix: an
% entry replaces the standard operator of its name and class, and an entry
% of priority 0 removes it. Operators are global: the module a directive
% runs in does not change the table.

:- module(prolog, [op/3, current_op/3]).

% '$default_op'(Priority, Type, Name): the operators of a fresh system.
'$default_op'(1200, xfx, ':-').
'$default_op'(1200, xfx, '-->').
'$default_op'(1200, fx, ':-').
'$default_op'(1200, fx, '?-').
'$default_op'(1150, fx, dynamic).
'$default_op'(1150, fx, discontiguous).
'$default_op'(1150, fx, initialization).
'$default_op'(1150, fx, meta_predicate).
'$default_op'(1150, fx, multifile).
'$default_op'(1150, fx, block).
'$default_op'(1100, xfy, ';').
'$default_op'(1100, xfy, '|').
'$default_op'(1050, xfy, '->').
'$default_op'(1000, xfy, ',').
'$default_op'(900, fy, '\\+').
'$default_op'(700, xfx, '=').
'$default_op'(700, xfx, '\\=').
'$default_op'(700, xfx, '==').
'$default_op'(700, xfx, '\\==').
'$default_op'(700, xfx, '@<').
'$default_op'(700, xfx, '@>').
'$default_op'(700, xfx, '@=<').
'$default_op'(700, xfx, '@>=').
'$default_op'(700, xfx, '=..').
'$default_op'(700, xfx, is).
'$default_op'(700, xfx, '=:=').
'$default_op'(700, xfx, '=\\=').
'$default_op'(700, xfx, '<').
'$default_op'(700, xfx, '>').
'$default_op'(700, xfx, '=<').
'$default_op'(700, xfx, '>=').
'$default_op'(600, xfy, ':').
'$default_op'(500, yfx, '+').
'$default_op'(500, yfx, '-').
'$default_op'(500, yfx, '/\\').
'$default_op'(500, yfx, '\\/').
'$default_op'(500, yfx, xor).
'$default_op'(400, yfx, '*').
'$default_op'(400, yfx, '/').
'$default_op'(400, yfx, '//').
'$default_op'(400, yfx, rem).
'$default_op'(400, yfx, mod).
'$default_op'(400, yfx, div).
'$default_op'(400, yfx, '<<').
'$default_op'(400, yfx, '>>').
'$default_op'(200, xfx, '**').
'$default_op'(200, xfy, '^').
'$default_op'(200, fy, '-').
'$default_op'(200, fy, '+').
'$default_op'(200, fy, '\\').

'$op_class'(xfx, infix).
'$op_class'(xfy, infix).
'$op_class'(yfx, infix).
'$op_class'(fy, prefix).
'$op_class'(fx, prefix).
'$op_class'(xf, postfix).
'$op_class'(yf, postfix).

'$op_changes'(L) :- ( '$bb_get'(prolog, '$op_changes', L0) -> L = L0 ; L = [] ).

% '$current_op'(Name, Class, Priority, Type): the operators of the table
% (priority above 0). With Name and Class given it is a lookup that leaves
% no choice.
'$current_op'(Name, Class, P, T) :-
    '$op_changes'(Changes),
    (   atom(Name), atom(Class)
    ->  (   '$op_change'(Changes, Name, Class, P0, T0) -> P0 > 0
        ;   '$default_op'(P0, T0, Name), '$op_class'(T0, Class) -> true
        ),
        P = P0, T = T0
    ;   (   '$default_op'(P0, T0, N0), '$op_class'(T0, C0),
            \+ '$op_change'(Changes, N0, C0, _, _)
        ;   '$member'(op(N0, C0, P0, T0), Changes), P0 > 0
        ),
        Name = N0, Class = C0, P = P0, T = T0
    ).

'$op_change'([op(N, C, P0, T0)|Cs], Name, Class, P, T) :-
    (   N == Name, C == Class -> P = P0, T = T0
    ;   '$op_change'(Cs, Name, Class, P, T)
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
'$is_op'(Name) :- '$current_op'(Name, _, _, _), !.

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
    '$op_changes'(Changes0),
    '$op_set'(Names, Class, P, T, Changes0, Changes),
    '$bb_put'(prolog, '$op_changes', Changes).

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
    (   N == ',' -> '$error'(permission_error(modify, operator, N), Ctx, 3)
    ;   N == '|', \+ ( P =:= 0 ; Class == infix, P >= 1001 )
    ->  '$error'(permission_error(create, operator, N), Ctx, 3)
    ;   ( N == '[]' ; N == '{}' ), P > 0 -> '$error'(permission_error(create, operator, N), Ctx, 3)
    ;   P > 0, '$op_clash'(Class, Other), '$current_op'(N, Other, _, _)
    ->  '$error'(permission_error(create, operator, N), Ctx, 3)
    ;   '$op_check'(Ns, P, Class, Ctx)
    ).

'$op_clash'(infix, postfix).
'$op_clash'(postfix, infix).

'$op_set'([], _, _, _, Cs, Cs).
'$op_set'([N|Ns], Class, P, T, Cs0, Cs) :-
    '$op_remove'(Cs0, N, Class, Cs1),
    (   '$default_op'(P0, T0, N), '$op_class'(T0, Class)
    ->  ( P0 == P, T0 == T -> Cs2 = Cs1 ; '$op_append'(Cs1, op(N, Class, P, T), Cs2) )
    ;   P > 0 -> '$op_append'(Cs1, op(N, Class, P, T), Cs2)
    ;   Cs2 = Cs1
    ),
    '$op_set'(Ns, Class, P, T, Cs2, Cs).

% New operators are kept in the order they were made.
'$op_append'([], X, [X]).
'$op_append'([Y|Ys], X, [Y|Zs]) :- '$op_append'(Ys, X, Zs).

'$op_remove'([], _, _, []).
'$op_remove'([C|Cs], N, Class, Rest) :-
    (   C = op(N0, Class0, _, _), N0 == N, Class0 == Class -> Rest = Cs
    ;   Rest = [C|Rest1], '$op_remove'(Cs, N, Class, Rest1)
    ).

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
