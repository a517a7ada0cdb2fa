% Arithmetic: is/2 and the comparisons as predicates, the evaluation of
% operands the compiled code cannot evaluate, between/3, succ/2 and plus/3.
%
% Compiled arithmetic evaluates numbers in line. An operand that is no
% number goes to '$eval_handler'/4, which evaluates it as an expression
% term: each evaluable functor is applied by compiled code to the values of
% its arguments, so that the engine raises the evaluation errors.

:- module(prolog, [
    (is)/2, (=:=)/2, (=\=)/2, (<)/2, (>)/2, (=<)/2, (>=)/2, between/3, succ/2, plus/3
]).

X is Y :- X is Y.
X =:= Y :- X =:= Y.
X =\= Y :- X =\= Y.
X < Y :- X < Y.
X > Y :- X > Y.
X =< Y :- X =< Y.
X >= Y :- X >= Y.

% '$eval_handler'(Operand, Var, Extra, Which): Var becomes the value of the
% operand.
'$eval_handler'(Operand, Var, _, _) :-
    '$eval'(Operand, Value),
    Var = Value.

% '$eval'(Expression, Value)
'$eval'(X, _) :- var(X), !,
    '$instantiation_error'(prolog:'$eval'(X), 1).
'$eval'(X, V) :- number(X), !, V = X.
'$eval'(X, V) :- atom(X), !, '$eval_constant'(X, V).
'$eval'(X, V) :- '$eval_compound'(X, V).

'$eval_constant'(pi, V) :- !, V is pi.
'$eval_constant'(e, V) :- !, V is e.
'$eval_constant'(A, _) :- '$type_error'(evaluable, A/0, prolog:'$eval'(A), 1).

% One clause per evaluable functor: its arguments are evaluated, then the
% function is applied to their values.
'$eval_compound'(+(A), V) :- !, '$eval'(A, A1), V is A1.
'$eval_compound'(-(A), V) :- !, '$eval'(A, A1), V is -A1.
'$eval_compound'(integer(A), V) :- !, '$eval'(A, A1), V is integer(A1).
'$eval_compound'(float(A), V) :- !, '$eval'(A, A1), V is float(A1).
'$eval_compound'(\(A), V) :- !, '$eval'(A, A1), V is \A1.
'$eval_compound'(sin(A), V) :- !, '$eval'(A, A1), V is sin(A1).
'$eval_compound'(cos(A), V) :- !, '$eval'(A, A1), V is cos(A1).
'$eval_compound'(tan(A), V) :- !, '$eval'(A, A1), V is tan(A1).
'$eval_compound'(cot(A), V) :- !, '$eval'(A, A1), V is cot(A1).
'$eval_compound'(sinh(A), V) :- !, '$eval'(A, A1), V is sinh(A1).
'$eval_compound'(cosh(A), V) :- !, '$eval'(A, A1), V is cosh(A1).
'$eval_compound'(tanh(A), V) :- !, '$eval'(A, A1), V is tanh(A1).
'$eval_compound'(coth(A), V) :- !, '$eval'(A, A1), V is coth(A1).
'$eval_compound'(asin(A), V) :- !, '$eval'(A, A1), V is asin(A1).
'$eval_compound'(acos(A), V) :- !, '$eval'(A, A1), V is acos(A1).
'$eval_compound'(atan(A), V) :- !, '$eval'(A, A1), V is atan(A1).
'$eval_compound'(acot(A), V) :- !, '$eval'(A, A1), V is acot(A1).
'$eval_compound'(asinh(A), V) :- !, '$eval'(A, A1), V is asinh(A1).
'$eval_compound'(acosh(A), V) :- !, '$eval'(A, A1), V is acosh(A1).
'$eval_compound'(atanh(A), V) :- !, '$eval'(A, A1), V is atanh(A1).
'$eval_compound'(acoth(A), V) :- !, '$eval'(A, A1), V is acoth(A1).
'$eval_compound'(sqrt(A), V) :- !, '$eval'(A, A1), V is sqrt(A1).
'$eval_compound'(log(A), V) :- !, '$eval'(A, A1), V is log(A1).
'$eval_compound'(exp(A), V) :- !, '$eval'(A, A1), V is exp(A1).
'$eval_compound'(abs(A), V) :- !, '$eval'(A, A1), V is abs(A1).
'$eval_compound'(msb(A), V) :- !, '$eval'(A, A1), V is msb(A1).
'$eval_compound'(round(A), V) :- !, '$eval'(A, A1), V is round(A1).
'$eval_compound'(truncate(A), V) :- !, '$eval'(A, A1), V is truncate(A1).
'$eval_compound'(floor(A), V) :- !, '$eval'(A, A1), V is floor(A1).
'$eval_compound'(ceiling(A), V) :- !, '$eval'(A, A1), V is ceiling(A1).
'$eval_compound'(sign(A), V) :- !, '$eval'(A, A1), V is sign(A1).
'$eval_compound'(float_integer_part(A), V) :- !, '$eval'(A, A1), V is float_integer_part(A1).
'$eval_compound'(float_fractional_part(A), V) :- !, '$eval'(A, A1), V is float_fractional_part(A1).
'$eval_compound'(+(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 + B1.
'$eval_compound'(-(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 - B1.
'$eval_compound'(*(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 * B1.
'$eval_compound'(/(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 / B1.
'$eval_compound'(//(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 // B1.
'$eval_compound'(mod(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 mod B1.
'$eval_compound'(rem(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 rem B1.
'$eval_compound'(div(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 div B1.
'$eval_compound'(max(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is max(A1, B1).
'$eval_compound'(min(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is min(A1, B1).
'$eval_compound'(xor(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is xor(A1, B1).
'$eval_compound'(/\(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 /\ B1.
'$eval_compound'(\/(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 \/ B1.
'$eval_compound'(<<(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 << B1.
'$eval_compound'(>>(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 >> B1.
'$eval_compound'(atan2(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is atan2(A1, B1).
'$eval_compound'(atan(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is atan(A1, B1).
'$eval_compound'(acot2(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is acot2(A1, B1).
'$eval_compound'(log(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is log(A1, B1).
'$eval_compound'(exp(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is exp(A1, B1).
'$eval_compound'(**(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 ** B1.
'$eval_compound'(^(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is A1 ^ B1.
'$eval_compound'(gcd(A, B), V) :- !, '$eval'(A, A1), '$eval'(B, B1), V is gcd(A1, B1).
'$eval_compound'(X, _) :-
    (   compound(X) -> functor(X, F, N), Culprit = F/N ; Culprit = X ),
    '$type_error'(evaluable, Culprit, prolog:'$eval'(X), 1).

between(L, H, X) :-
    Ctx = prolog:between(L, H, X),
    '$must_be_integer'(L, Ctx, 1),
    (   ( H == inf ; H == infinite ) -> true ; '$must_be_integer'(H, Ctx, 2) ),
    '$may_be_integer'(X, Ctx, 3),
    (   integer(X) -> X >= L, ( integer(H) -> X =< H ; true )
    ;   integer(H) -> L =< H, '$between'(L, H, X)
    ;   '$between_up'(L, X)
    ).

'$between'(L, H, X) :-
    (   L =:= H -> X = L
    ;   X = L
    ;   L1 is L + 1, '$between'(L1, H, X)
    ).

'$between_up'(L, L).
'$between_up'(L, X) :- L1 is L + 1, '$between_up'(L1, X).

succ(X, Y) :-
    Ctx = prolog:succ(X, Y),
    (   integer(X)
    ->  (   X < 0 -> '$domain_error'(not_less_than_zero, X, Ctx, 1) ; true ),
        '$may_be_integer'(Y, Ctx, 2),
        Y is X + 1
    ;   nonvar(X) -> '$type_error'(integer, X, Ctx, 1)
    ;   var(Y) -> '$instantiation_error'(Ctx, 1)
    ;   \+ integer(Y) -> '$type_error'(integer, Y, Ctx, 2)
    ;   Y < 0 -> '$domain_error'(not_less_than_zero, Y, Ctx, 2)
    ;   Y > 0, X is Y - 1
    ).

% plus(X, Y, Z): X + Y = Z for integers, any two of them given.
plus(X, Y, Z) :-
    Ctx = prolog:plus(X, Y, Z),
    '$may_be_integer'(X, Ctx, 1),
    '$may_be_integer'(Y, Ctx, 2),
    '$may_be_integer'(Z, Ctx, 3),
    (   integer(X), integer(Y) -> Z is X + Y
    ;   integer(X), integer(Z) -> Y is Z - X
    ;   integer(Y), integer(Z) -> X is Z - Y
    ;   var(X) -> '$instantiation_error'(Ctx, 1)
    ;   '$instantiation_error'(Ctx, 2)
    ).
