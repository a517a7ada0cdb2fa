% Control: calling goals given as terms (the meta-call the engine hands
% over, the bodies of dynamic clauses, undefined predicates), and the
% control predicates built on call/N.
%
% The engine calls a goal term directly when it names a defined predicate
% (call/N, Module:Goal). Everything else comes here: control constructs,
% undefined predicates, terms that are no goals. A goal term runs in a
% module: the one it is qualified with, else the type-in module, as call/N
% has it.
%
% Cuts: a cut in a goal given to call/N cuts only that goal's choicepoints
% (its barrier is taken when the meta-call starts, '$choice'/1); a cut in
% the body of a dynamic clause cuts to the barrier of the clause's call,
% which the engine passes in. Variables in a body are called as call(Var),
% so a cut they are bound to is local to them.

:- module(prolog, [
    true/0, fail/0, false/0, (:)/2, (\+)/1, once/1, ignore/1, forall/2, repeat/0,
    halt/0, halt/1, abort/0
]).

:- meta_predicate \+(0), once(0), ignore(0), forall(0, 0).

% true/0, fail/0 and (:)/2 are the engine's own (kinds true, fail and colon).
false :- fail.

\+ Goal :- \+ call(Goal).

once(Goal) :- call(Goal), !.

ignore(Goal) :- ( call(Goal) -> true ; true ).

forall(Cond, Action) :- \+ ( call(Cond), \+ call(Action) ).

repeat.
repeat :- repeat.

% halt/0,1 and abort/0 raise the reserved exceptions that end a query:
% '$reserved'(Code << 8 \/ 4) for halt(Code), '$reserved'(3) for abort.
% catch/3 does not catch them; the cleanups of the goals they pass run.
halt :- halt(0).

halt(Code) :-
    '$must_be_integer'(Code, prolog:halt(Code), 1),
    Reserved is (Code << 8) \/ 4,
    throw('$reserved'(Reserved)).

abort :- throw('$reserved'(3)).

'$reserved_exception'(Ball) :- nonvar(Ball), Ball = '$reserved'(N), integer(N).

% '$meta_call'(Goal, Module, CallSite): a goal term call/N cannot call
% directly. The whole goal is checked first: a part that is no goal makes
% a type error before any part runs.
'$meta_call'(Goal, Module, _) :-
    '$choice'(Barrier),
    '$body'(Goal, Body, prolog:call(Goal)),
    '$mcall'(Body, Module, Barrier).

% '$call_error'(call(Closure, Args...), CallSite): call/N of a closure that
% is no goal, or that would have more than 255 arguments.
'$call_error'(Call, _) :-
    arg(1, Call, Closure),
    '$strip_module'(Closure, _, G),
    (   var(G) -> '$instantiation_error'(prolog:Call, 1)
    ;   callable(G) -> '$error'(representation_error(max_arity), prolog:Call, 1)
    ;   '$type_error'(callable, Closure, prolog:Call, 1)
    ).

% '$clause_body'(Body, Module, CutTarget): the body of a dynamic clause,
% converted when it was stored.
'$clause_body'(Body, Module, Cut) :- '$mcall'(Body, Module, Cut).

% '$apply_interpreter'(Goal, Module, Done): a woken goal.
'$apply_interpreter'(Goal, Module, _) :- '$call_module'(Goal, Module).

% '$undefined_goal'(Goal, Module, CallSite): a call of a predicate that is
% not defined (a control construct called as Module:Goal comes here too,
% and the goals of call_cleanup/2, through '$call_cleanup'/3). A predicate
% of the system's libraries is loaded and called (autoload.pl); otherwise
% the unknown flag says what happens: an existence error, failure, or a
% warning and failure.
'$undefined_goal'('$call_cleanup'(Goal, Cleanup, _), prolog, _) :- !,
    '$call_cleanup_run'(Goal, Cleanup).
'$undefined_goal'(Goal, Module, _) :-
    '$control_construct'(Goal), !,
    '$choice'(Barrier),
    '$body'(Goal, Body, prolog:call(Module:Goal)),
    '$mcall'(Body, Module, Barrier).
'$undefined_goal'(Goal, Module, _) :-
    '$autoload'(Goal, Module), !,
    '$call_module'(Goal, Module).
'$undefined_goal'(Goal, Module, _) :-
    '$unknown'(Action, Action),
    '$unknown_predicate'(Action, Goal, Module).

'$unknown_predicate'(fail, _, _) :- !, fail.
'$unknown_predicate'(warning, Goal, Module) :- !,
    '$procedure_indicator'(Goal, Module, PI),
    (   '$predicate_property'(print_message(_, _), _, _, prolog, _)
    ->  print_message(warning, existence_error(procedure, PI))
    ;   true
    ),
    fail.
'$unknown_predicate'(_, Goal, Module) :-
    '$procedure_indicator'(Goal, Module, PI),
    '$error'(existence_error(procedure, PI), Module:Goal, 0).

% Name/Arity of a goal; Module:Name/Arity outside user and prolog.
'$procedure_indicator'(Goal, Module, PI) :-
    functor(Goal, N, A),
    (   ( Module == user ; Module == prolog ) -> PI = N/A ; PI = Module:N/A ).

% '$constraint_goal'(Goal, Module, CallSite): a constraint predicate, whose
% definition the solver's library handles; without it the predicate is
% taken as unknown.
'$constraint_goal'(Goal, Module, _) :-
    '$predicate_property'('$fd_constraint_goal'(_, _), _, _, clpfd, clpfd),
    !,
    clpfd:'$fd_constraint_goal'(Goal, Module).
'$constraint_goal'(Goal, Module, _) :-
    '$procedure_indicator'(Goal, Module, PI),
    '$error'(existence_error(procedure, PI), Module:Goal, 0).

% '$jit_compile'(Goal, Module, CallSite): a predicate due for native
% compilation. There is no native compiler: the goal runs as it is.
'$jit_compile'(Goal, Module, _) :- '$nodebug_call'(Goal, Module).

% The control constructs, which are no predicates.
'$control_construct'((_, _)).
'$control_construct'((_ ; _)).
'$control_construct'((_ -> _)).
'$control_construct'((_ *-> _)).
'$control_construct'(!).
'$control_construct'(_ : _).
'$control_construct'(\+ _).
'$control_construct'(call(_)).

% '$body'(Goal, Body, Context): Goal with every variable in the place of a
% goal made call(Var); a type error of the whole goal when a part is no
% goal.
'$body'(Goal, Body, Context) :-
    (   '$body'(Goal, Body) -> true
    ;   '$type_error'(callable, Goal, Context, 1)
    ).

'$body'(G, call(G)) :- var(G), !.
'$body'((A, B), (A1, B1)) :- !, '$body'(A, A1), '$body'(B, B1).
'$body'((A ; B), (A1 ; B1)) :- !, '$body'(A, A1), '$body'(B, B1).
'$body'((A -> B), (A1 -> B1)) :- !, '$body'(A, A1), '$body'(B, B1).
'$body'((A *-> B), (A1 *-> B1)) :- !, '$body'(A, A1), '$body'(B, B1).
'$body'(\+ A, \+ A1) :- !, '$body'(A, A1).
'$body'(M:G, M:G1) :- !, ( var(M) ; atom(M) ), '$body'(G, G1).
'$body'(G, G) :- callable(G).

% '$mcall'(Body, Module, Barrier): runs a converted body; a cut cuts to
% Barrier.
'$mcall'(!, _, Barrier) :- !, '$cut'(Barrier).
'$mcall'((A, B), M, Barrier) :- !,
    '$mcall'(A, M, Barrier),
    '$mcall'(B, M, Barrier).
'$mcall'((X ; Else), M, Barrier) :- !,
    (   nonvar(X), X = (If -> Then)
    ->  (   '$mcall_opaque'(If, M) -> '$mcall'(Then, M, Barrier) ; '$mcall'(Else, M, Barrier) )
    ;   nonvar(X), X = (If *-> Then)
    ->  '$mcall_soft'(If, Then, Else, M, Barrier)
    ;   (   '$mcall'(X, M, Barrier) ; '$mcall'(Else, M, Barrier) )
    ).
'$mcall'((If -> Then), M, Barrier) :- !,
    (   '$mcall_opaque'(If, M) -> '$mcall'(Then, M, Barrier) ).
'$mcall'((If *-> Then), M, Barrier) :- !,
    '$mcall_opaque'(If, M),
    '$mcall'(Then, M, Barrier).
'$mcall'(\+ G, M, _) :- !,
    \+ '$mcall_opaque'(G, M).
'$mcall'(call(G), M, _) :- !,
    '$mcall_call'(G, M).
'$mcall'(M1:G, M, Barrier) :- !,
    (   var(M1) -> '$instantiation_error'(prolog:call(M:M1:G), 1)
    ;   '$mcall'(G, M1, Barrier)
    ).
'$mcall'(G, M, _) :-
    '$call_module'(G, M).

% The soft cut (If *-> Then ; Else): the first clause notes its own
% choicepoint and, once If has an answer, moves that choicepoint's
% alternative on past the second clause to the third, which fails; without
% an answer of If the second clause cuts the third away and runs Else.
'$mcall_soft'(If, Then, _, M, Barrier) :-
    '$nth_choicepoint'(0, Ref),
    '$mcall_opaque'(If, M),
    '$zap_chpt'(Ref),
    '$mcall'(Then, M, Barrier).
'$mcall_soft'(_, _, Else, M, Barrier) :-
    !,
    '$mcall'(Else, M, Barrier).
'$mcall_soft'(_, _, _, _, _) :- fail.

% A goal whose cuts are local to it.
'$mcall_opaque'(G, M) :-
    '$choice'(Barrier),
    '$mcall'(G, M, Barrier).

% call(G) inside a body: G is checked and converted when it runs.
'$mcall_call'(G, M) :-
    (   var(G) -> '$instantiation_error'(prolog:call(G), 1) ; true ),
    '$choice'(Barrier),
    '$body'(G, Body, prolog:call(G)),
    '$mcall'(Body, M, Barrier).

% '$strip_module'(Term, Module, Plain): the innermost module of Module:
% qualifiers that is an atom (the type-in module when none is), and the
% term under them.
'$strip_module'(T, M, Plain) :-
    '$typein_module'(M0, M0),
    '$strip_module'(T, M0, M, Plain).

'$strip_module'(T, M0, M, Plain) :-
    (   nonvar(T), T = Q:T1
    ->  (   atom(Q) -> '$strip_module'(T1, Q, M, Plain) ; '$strip_module'(T1, M0, M, Plain) )
    ;   M = M0, Plain = T
    ).
