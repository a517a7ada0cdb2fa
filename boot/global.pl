% Global state: the blackboard (a term stored per module under a key,
% surviving backtracking) and mutable terms (a value changed in place, the
% change undone on backtracking).
%
% The inline code of create_mutable/2, get_mutable/2 and update_mutable/2
% hands the cases it does not handle to these definitions: an unbound new
% value, and a second argument that is no mutable term.

:- module(prolog, [
    bb_put/2, bb_get/2, bb_delete/2, bb_update/3,
    create_mutable/2, get_mutable/2, update_mutable/2, is_mutable/1
]).

bb_put(Key, Term) :-
    '$bb_key'(Key, M, K, prolog:bb_put(Key, Term)),
    '$bb_put'(M, K, Term).

bb_get(Key, Term) :-
    '$bb_key'(Key, M, K, prolog:bb_get(Key, Term)),
    '$bb_get'(M, K, Term).

bb_delete(Key, Term) :-
    '$bb_key'(Key, M, K, prolog:bb_delete(Key, Term)),
    '$bb_delete'(M, K, Term).

bb_update(Key, Old, New) :-
    '$bb_key'(Key, M, K, prolog:bb_update(Key, Old, New)),
    '$bb_update'(M, K, Old, New, _).

% A key is atomic; it belongs to the module it is qualified with, else to
% the type-in module.
'$bb_key'(Key, M, K, Ctx) :-
    '$strip_module'(Key, M, K),
    (   var(K) -> '$instantiation_error'(Ctx, 1)
    ;   atomic(K) -> true
    ;   '$type_error'(atomic, K, Ctx, 1)
    ).

create_mutable(Value, Mutable) :-
    (   var(Value) -> '$instantiation_error'(prolog:create_mutable(Value, Mutable), 1)
    ;   create_mutable(Value, Mutable)
    ).

get_mutable(Value, Mutable) :-
    '$must_be_mutable'(Mutable, prolog:get_mutable(Value, Mutable)),
    get_mutable(Value, Mutable).

update_mutable(Value, Mutable) :-
    Ctx = prolog:update_mutable(Value, Mutable),
    (   var(Value) -> '$instantiation_error'(Ctx, 1) ; true ),
    '$must_be_mutable'(Mutable, Ctx),
    update_mutable(Value, Mutable).

% A '$mutable'/2 term made otherwise than by create_mutable/2 (its stamp no
% trail position) is no mutable term.
is_mutable(M) :- nonvar(M), functor(M, '$mutable', 2), arg(2, M, S), integer(S), S >= 0.

'$must_be_mutable'(M, Ctx) :-
    (   is_mutable(M) -> true
    ;   var(M) -> '$instantiation_error'(Ctx, 2)
    ;   '$type_error'(mutable, M, Ctx, 2)
    ).
