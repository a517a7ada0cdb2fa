% The dynamic database: adding, removing and inspecting clauses of dynamic
% predicates, and inspecting predicates.
%
% A dynamic predicate's clauses are stored by the engine as [Head|Body]
% (the logical update view is the engine's: a call sees the clauses that
% existed when it started). Bodies are converted when stored: a variable in
% the place of a goal becomes call(Var). '$current_instance'(Head, Module,
% Table, Body-Ref) enumerates the clauses whose head matches, unifying
% their bodies and references.
%
% A clause or head goes to the module it is qualified with, else to the
% type-in module. Asserting to a predicate that does not exist makes it
% dynamic; a static predicate (and a control construct) cannot be changed
% or inspected: a permission error.

:- module(prolog, [
    assert/1, asserta/1, assertz/1, asserta/2, assertz/2, retract/1, retractall/1, abolish/1,
    clause/2, clause/3, erase/1, (dynamic)/1, current_predicate/1, predicate_property/2
]).

:- meta_predicate assert(:), asserta(:), assertz(:), asserta(:, ?), assertz(:, ?), retract(:), retractall(:),
    abolish(:), clause(:, ?), clause(:, ?, ?), dynamic(:), current_predicate(:), predicate_property(:, ?).

% assert/1 is assertz/1.
assert(Clause) :- '$assert'(Clause, z, _, prolog:assert(Clause)).
asserta(Clause) :- '$assert'(Clause, a, _, prolog:asserta(Clause)).
assertz(Clause) :- '$assert'(Clause, z, _, prolog:assertz(Clause)).
asserta(Clause, Ref) :- '$assert'(Clause, a, Ref, prolog:asserta(Clause, Ref)).
assertz(Clause, Ref) :- '$assert'(Clause, z, Ref, prolog:assertz(Clause, Ref)).

'$assert'(Clause, Where, Ref, Ctx) :-
    '$clause_parts'(Clause, M, Head, Body0, Ctx),
    (   '$body'(Body0, Body) -> true ; '$type_error'(callable, Body0, Ctx, 1) ),
    '$dynamic_table'(Head, M, Table, Ctx),
    '$insert'(Where, Table, (Head :- Body), Ref).

'$insert'(a, Table, Clause, Ref) :- '$inserta'(Table, Clause, Ref).
'$insert'(z, Table, Clause, Ref) :- '$insertz'(Table, Clause, Ref).

% '$clause_parts'(Clause, Module, Head, Body, Ctx): a clause term taken
% apart; its head must be callable.
'$clause_parts'(Clause, M, Head, Body, Ctx) :-
    '$strip_module'(Clause, M0, C),
    (   var(C) -> '$instantiation_error'(Ctx, 1)
    ;   C = (H0 :- B) -> Body = B
    ;   H0 = C, Body = true
    ),
    '$strip_module'(H0, M0, M, Head),
    '$must_be_callable'(Head, Ctx, 1).

% The table of a dynamic predicate, made dynamic when it does not exist.
'$dynamic_table'(Head, M, Table, Ctx) :-
    (   '$current_clauses'(Head, T, M) -> Table = T
    ;   '$modifiable'(Head, M, Ctx),
        functor(Head, N, A),
        (   '$define_predicate'(M:N/A, dynamic), '$set_property'(M:N/A, dynamic, _)
        ->  '$current_clauses'(Head, Table, M)
        ;   '$permission_error'(modify, static_procedure, Head, M, Ctx)
        )
    ).

% A head that is no dynamic predicate: an error unless it is undefined.
'$modifiable'(Head, M, Ctx) :-
    (   '$control_construct'(Head) -> '$permission_error'(modify, static_procedure, Head, M, Ctx)
    ;   '$predicate_property'(Head, _, _, M, _) -> '$permission_error'(modify, static_procedure, Head, M, Ctx)
    ;   true
    ).

'$permission_error'(Action, Type, Head, M, Ctx) :-
    '$procedure_indicator'(Head, M, PI),
    '$error'(permission_error(Action, Type, PI), Ctx, 1).

retract(Clause) :-
    Ctx = prolog:retract(Clause),
    '$clause_parts'(Clause, M, Head, Body, Ctx),
    (   '$current_clauses'(Head, Table, M)
    ->  '$current_instance'(Head, M, Table, Body-Ref),
        '$erase'(Ref)
    ;   '$modifiable'(Head, M, Ctx),
        fail
    ).

retractall(Head0) :-
    Ctx = prolog:retractall(Head0),
    '$strip_module'(Head0, M, Head),
    '$must_be_callable'(Head, Ctx, 1),
    '$dynamic_table'(Head, M, Table, Ctx),
    (   '$retractall'(Head, M) -> true
    ;   '$retract_each'(Head, M, Table)
    ).

'$retract_each'(Head, M, Table) :-
    '$current_instance'(Head, M, Table, _-Ref),
    '$erase'(Ref),
    fail.
'$retract_each'(_, _, _).

clause(Head, Body) :- '$clause'(Head, Body, _, prolog:clause(Head, Body)).
clause(Head, Body, Ref) :- '$clause'(Head, Body, Ref, prolog:clause(Head, Body, Ref)).

'$clause'(Head0, Body, Ref, Ctx) :-
    '$strip_module'(Head0, M, Head),
    '$must_be_callable'(Head, Ctx, 1),
    (   var(Body) -> true
    ;   callable(Body) -> true
    ;   '$type_error'(callable, Body, Ctx, 2)
    ),
    (   '$current_clauses'(Head, Table, M)
    ->  '$current_instance'(Head, M, Table, Body-Ref)
    ;   '$control_construct'(Head) -> '$permission_error'(access, private_procedure, Head, M, Ctx)
    ;   '$predicate_property'(Head, _, _, M, _) -> '$permission_error'(access, private_procedure, Head, M, Ctx)
    ;   fail
    ).

% erase(Ref): a reference that once named a clause (a stale one included)
% is taken; anything else is an error.
erase(Ref) :-
    (   var(Ref) -> '$instantiation_error'(prolog:erase(Ref), 1)
    ;   Ref = '$ref'(I, S), integer(I), integer(S) -> '$erase'(Ref)
    ;   '$type_error'(db_reference, Ref, prolog:erase(Ref), 1)
    ).

abolish(Spec0) :-
    Ctx = prolog:abolish(Spec0),
    '$strip_module'(Spec0, M, Spec),
    '$predicate_indicator'(Spec, Ctx, N, A),
    functor(Head, N, A),
    (   '$current_clauses'(Head, _, M) -> '$abolish'(N/A, M)
    ;   '$modifiable'(Head, M, Ctx)
    ).

% Name/Arity with its ISO errors.
'$predicate_indicator'(Spec, Ctx, N, A) :-
    (   var(Spec) -> '$instantiation_error'(Ctx, 1)
    ;   Spec = N/A -> true
    ;   '$type_error'(predicate_indicator, Spec, Ctx, 1)
    ),
    (   var(N) -> '$instantiation_error'(Ctx, 1)
    ;   var(A) -> '$instantiation_error'(Ctx, 1)
    ;   \+ atom(N) -> '$type_error'(atom, N, Ctx, 1)
    ;   \+ integer(A) -> '$type_error'(integer, A, Ctx, 1)
    ;   A < 0 -> '$domain_error'(not_less_than_zero, A, Ctx, 1)
    ;   A > 255 -> '$error'(representation_error(max_arity), Ctx, 1)
    ;   true
    ).

% dynamic(Specs): Name/Arity, Module:Name/Arity, a conjunction or a list
% of them.
dynamic(Specs) :-
    Ctx = prolog:dynamic(Specs),
    '$strip_module'(Specs, M, S),
    (   var(S) -> '$instantiation_error'(Ctx, 1) ; true ),
    '$dynamic_specs'(S, M, Ctx).

'$dynamic_specs'(S, _, Ctx) :- var(S), !, '$instantiation_error'(Ctx, 1).
'$dynamic_specs'((A, B), M, Ctx) :- !, '$dynamic_specs'(A, M, Ctx), '$dynamic_specs'(B, M, Ctx).
'$dynamic_specs'([], _, _) :- !.
'$dynamic_specs'([S|Ss], M, Ctx) :- !, '$dynamic_specs'(S, M, Ctx), '$dynamic_specs'(Ss, M, Ctx).
'$dynamic_specs'(S0, M0, Ctx) :-
    '$strip_module'(S0, M0, M, S),
    '$predicate_indicator'(S, Ctx, N, A),
    functor(Head, N, A),
    '$dynamic_table'(Head, M, _, Ctx).

current_predicate(Spec0) :-
    Ctx = prolog:current_predicate(Spec0),
    '$strip_module'(Spec0, M, Spec),
    (   var(Spec) -> true
    ;   Spec = N/A, ( var(N) ; atom(N) ), ( var(A) ; integer(A) ) -> true
    ;   '$type_error'(predicate_indicator, Spec, Ctx, 1)
    ),
    '$current_predicate'(Spec, M).

% The predicates defined in the module itself (not the system's).
'$current_predicate'(N/A, M) :-
    atom(N), integer(A), !,
    A >= 0, A =< 255,
    functor(Head, N, A),
    '$predicate_property'(Head, _, _, M, Home),
    Home == M.
'$current_predicate'(N/A, M) :-
    '$predicate_property'(Head, _, _, M, Home),
    Home == M,
    functor(Head, N, A).

predicate_property(Head0, Prop) :-
    '$strip_module'(Head0, M, Head),
    (   var(Head) -> true
    ;   callable(Head) -> true
    ;   '$type_error'(callable, Head, prolog:predicate_property(Head0, Prop), 1)
    ),
    '$predicate_property'(Head, Type, Bits, M, Home),
    '$predicate_prop'(Prop, Head, Type, Bits, M, Home).

'$predicate_prop'(built_in, _, _, _, _, prolog).
'$predicate_prop'(defined, _, _, _, _, _).
'$predicate_prop'(dynamic, _, 4, _, _, _).
'$predicate_prop'(static, _, Type, _, _, _) :- Type =\= 4.
'$predicate_prop'(exported, _, _, Bits, _, _) :- Bits /\ 1 =\= 0.
'$predicate_prop'(multifile, _, _, Bits, _, _) :- Bits /\ 4 =\= 0.
'$predicate_prop'(volatile, _, _, Bits, _, _) :- Bits /\ 8 =\= 0.
'$predicate_prop'(imported_from(Home), _, _, _, M, Home) :- Home \== M.
'$predicate_prop'(meta_predicate(Spec), Head, _, Bits, _, Home) :-
    Bits /\ 32 =\= 0,
    '$meta_declaration'(Head, Home, Spec).
