% The compiler's driver: source files to one quick-load file.
%
% A program (one file or several) is compiled as a whole: its clauses are
% grouped by predicate in the order of each predicate's first clause,
% whatever file they are in. A clause whose head is Module:Head belongs to
% that module's predicate; any other to the predicate of the module the
% file is loaded into.
%
% Directives become directive items of the quick-load file, which loading
% runs (at boot, only predicates of prolog written in C run, which all of
% those below are):
%   module(M, Exports)    the file is part of module M (the facts of its
%                         dynamic predicates go there); the exports of every
%                         file of M are declared at the end of the program by
%                         '$module'(M, Exports, System, []), System true for
%                         prolog
%   dynamic Specs         '$define_predicate'(Spec, dynamic) and
%                         '$set_property'(Spec, dynamic, _), before the code;
%                         the program's facts of such a predicate are added
%                         by '$insertz_quick'(M:Fact) (a rule cannot be)
%   discontiguous Specs   nothing: clauses are grouped anyway
%   meta_predicate Heads  '$meta_predicate'(Head, _), after the code
%   block Heads           '$block'(Head, _), after the code
%   any other goal        the goal, after the code, in source order
% Specs and Heads are one, a conjunction or a list; a Spec is Name/Arity or
% Module:Name/Arity.

lvc_compile_file(In, Out) :- lvc_compile_file(In, Out, ql).

% Form ql: a quick-load file; form items: the clauses' item lists as
% quick-load terms (lvc_items_file), for a file without directives.
lvc_compile_file(In, Out, Form) :- lvc_compile_files([In], user, Out, Form).

% lvc_compile_files(+Files, +Module, +Out, +Form): Module is the module of
% the files that declare none.
lvc_compile_files(Files, Module, Out, Form) :-
    lvc_read_program(Files, Module, Program),
    lvc_compile_program(Program, Module, Form, Bytes),
    open(Out, write, S, [type(binary)]),
    lvc_put_bytes(Bytes, S),
    close(S).

% A program: prog(Clauses, Dynamic, Directives, Exports), the clauses as
% Clause-Module, Dynamic as Spec-Module, Exports as Module-Specs.
lvc_read_program(Files, Module, prog(Clauses, Dynamic, Directives, Exports)) :-
    lvc_read_files(Files, Module, Terms),
    lvc_sort_terms(Terms, Module, Clauses, Dynamic, Directives, Exports0),
    lvc_merge_exports(Exports0, Exports).

lvc_read_files([], _, []).
lvc_read_files([F|Fs], Module, Terms) :-
    lvc_read_source(F, Module, Terms, Rest),
    lvc_read_files(Fs, Module, Rest).

% The terms of a file as clause(Clause, Module) and directive(Goal, Module),
% in order; a module/2 directive sets the module of what follows. Source
% text is UTF-8 on every host.
lvc_read_source(File, Module, Terms, Rest) :-
    open(File, read, S, [encoding(utf8)]),
    read_term(S, T, []),
    lvc_read_terms(T, S, Module, Terms, Rest),
    close(S).

lvc_read_terms(end_of_file, _, _, Ts, Ts) :- !.
lvc_read_terms((:- D), S, M0, [directive(D, M)|Ts], Rest) :- !,
    (   nonvar(D), D = module(M1, _) -> M = M1 ; M = M0 ),
    read_term(S, T1, []),
    lvc_read_terms(T1, S, M, Ts, Rest).
lvc_read_terms(T, S, M, [clause(T, M)|Ts], Rest) :-
    read_term(S, T1, []),
    lvc_read_terms(T1, S, M, Ts, Rest).

% The clauses of a file that holds no directives (for the compiler's tests).
lvc_read_file(File, Clauses) :-
    lvc_read_source(File, user, Terms, []),
    lvc_plain_clauses(Terms, Clauses).

lvc_plain_clauses([], []).
lvc_plain_clauses([clause(C, _)|Ts], [C|Cs]) :- lvc_plain_clauses(Ts, Cs).
lvc_plain_clauses([directive(D, _)|_], _) :- throw(lvc_error(directive_not_supported(D))).

% Load is the module the program is loaded in.
lvc_sort_terms([], _, [], [], [], []).
lvc_sort_terms([clause(C, M)|Ts], Load, [C-M|Cs], Dy, Di, Ex) :- !,
    lvc_sort_terms(Ts, Load, Cs, Dy, Di, Ex).
lvc_sort_terms([directive(D0, M)|Ts], Load, Cs, Dy, Di, Ex) :-
    lvc_directive_heads(D0, M, Load, D),
    lvc_directive(D, M, Dy, Dy1, Di, Di1, Ex, Ex1),
    lvc_sort_terms(Ts, Load, Cs, Dy1, Di1, Ex1).

% The heads of a meta_predicate or block declaration in a module other than
% the load module name that module, so that the declaration is made there
% when the file is loaded.
lvc_directive_heads(D0, M, Load, D) :-
    (   M \== Load, nonvar(D0), D0 =.. [Name, Heads], lvc_head_declaration(Name)
    ->  lvc_conj_list(Heads, L),
        lvc_qualify_heads(L, M, Qs),
        D =.. [Name, Qs]
    ;   D = D0
    ).

lvc_head_declaration(meta_predicate).
lvc_head_declaration(block).

lvc_qualify_heads([], _, []).
lvc_qualify_heads([H|Hs], M, [Q|Qs]) :-
    (   nonvar(H), H = _:_ -> Q = H ; Q = M:H ),
    lvc_qualify_heads(Hs, M, Qs).

lvc_directive(D, _, _, _, _, _, _, _) :- var(D), !,
    throw(lvc_error(directive_not_supported(D))).
lvc_directive(module(M, Es), _, Dy, Dy, Di, Di, [M-Es|Ex], Ex) :- !,
    (   atom(M), lvc_proper_list(Es) -> true ; throw(lvc_error(bad_directive(module(M, Es)))) ).
lvc_directive(dynamic(Specs), M, Dy0, Dy, Di, Di, Ex, Ex) :- !,
    lvc_conj_list(Specs, L),
    lvc_dynamic_specs(L, M, Dy0, Dy).
lvc_directive(discontiguous(_), _, Dy, Dy, Di, Di, Ex, Ex) :- !.
lvc_directive(meta_predicate(Heads), _, Dy, Dy, Di0, Di, Ex, Ex) :- !,
    lvc_conj_list(Heads, L),
    lvc_declarations(L, '$meta_predicate', Di0, Di).
lvc_directive(block(Heads), _, Dy, Dy, Di0, Di, Ex, Ex) :- !,
    lvc_conj_list(Heads, L),
    lvc_declarations(L, '$block', Di0, Di).
lvc_directive(initialization(G), _, _, _, _, _, _, _) :- !,
    throw(lvc_error(directive_not_supported(initialization(G)))).
lvc_directive(G, _, Dy, Dy, [G|Di], Di, Ex, Ex) :-
    (   callable(G) -> true ; throw(lvc_error(bad_directive(G))) ).

lvc_conj_list(X, _) :- var(X), !, throw(lvc_error(bad_directive(X))).
lvc_conj_list((A, B), L) :- !, lvc_conj_list(A, L1), lvc_conj_list(B, L2), lvc_append(L1, L2, L).
lvc_conj_list([], []) :- !.
lvc_conj_list([X|Xs], L) :- !, lvc_conj_list(X, L1), lvc_conj_list(Xs, L2), lvc_append(L1, L2, L).
lvc_conj_list(X, [X]).

lvc_dynamic_specs([], _, Dy, Dy).
lvc_dynamic_specs([S|Ss], M, [S-M|Dy0], Dy) :-
    (   lvc_pred_spec(S) -> true ; throw(lvc_error(bad_directive(dynamic(S)))) ),
    lvc_dynamic_specs(Ss, M, Dy0, Dy).

lvc_pred_spec(M:S) :- !, atom(M), lvc_pred_spec(S).
lvc_pred_spec(N/A) :- atom(N), integer(A), A >= 0, A =< 255.

lvc_declarations([], _, Di, Di).
lvc_declarations([H|Hs], Name, [G|Di0], Di) :-
    (   callable(H) -> true ; throw(lvc_error(bad_directive(H))) ),
    G =.. [Name, H, _],
    lvc_declarations(Hs, Name, Di0, Di).

% One export list per module, in order of first appearance.
lvc_merge_exports([], []).
lvc_merge_exports([M-Es|Xs], [M-All|Ms]) :-
    lvc_take_exports(Xs, M, More, Rest),
    lvc_append(Es, More, All),
    lvc_merge_exports(Rest, Ms).

lvc_take_exports([], _, [], []).
lvc_take_exports([M1-Es|Xs], M, More, Rest) :-
    (   M1 == M
    ->  lvc_append(Es, More1, More), Rest = Rest1
    ;   More = More1, Rest = [M1-Es|Rest1]
    ),
    lvc_take_exports(Xs, M, More1, Rest1).

lvc_proper_list(L) :- L == [], !.
lvc_proper_list(L) :- nonvar(L), L = [_|T], lvc_proper_list(T).

% ---------------------------------------------------------------------------
% Compiling

% lvc_compile_program(+Program, +Module, +Form, -Bytes): Module is the one
% in which the file is loaded (unqualified names are looked up there); the
% clauses of other modules name their predicates with their module.
lvc_compile_program(Program, Form, Bytes) :-
    lvc_compile_program(Program, user, Form, Bytes).

lvc_compile_program(prog(Clauses, Dynamic, Directives, Exports), Module, Form, Bytes) :-
    lvc_split_dynamic(Clauses, Dynamic, Static, Facts),
    lvc_program_metas(Directives, Metas),
    lvc_module_clauses(Static, Module, Metas, StaticClauses),
    lvc_group(StaticClauses, Groups),
    lvc_compile_groups(Groups, Preds),
    (   Form == items
    ->  (   Dynamic == [], Directives == [], Exports == []
        ->  lvc_items_file(Preds, Bytes)
        ;   throw(lvc_error(directives_in_item_lists))
        )
    ;   lvc_dynamic_goals(Dynamic, Facts, Before),
        lvc_module_goals(Exports, After0),
        lvc_append(Directives, After0, After),
        lvc_ql_program(Before, Preds, After, Bytes)
    ).

% The clauses of predicates declared dynamic are facts to insert.
lvc_split_dynamic([], _, [], []).
lvc_split_dynamic([C-M|Cs], Dynamic, Static, Facts) :-
    lvc_clause_spec(C, Spec),
    (   lvc_dynamic_spec(Dynamic, Spec, M)
    ->  (   lvc_clause_parts(C, H0, B), B == true, lvc_fact_goal(H0, M, G)
        ->  Facts = [G|Facts1], Static = Static1
        ;   throw(lvc_error(dynamic_clause_not_a_fact(C)))
        )
    ;   Static = [C-M|Static1], Facts = Facts1
    ),
    lvc_split_dynamic(Cs, Dynamic, Static1, Facts1).

lvc_dynamic_spec([S-M0|Ds], Spec, M) :-
    (   lvc_same_spec(S, M0, Spec, M) -> true ; lvc_dynamic_spec(Ds, Spec, M) ).

lvc_same_spec(S, _, Spec, _) :- S == Spec, !.
lvc_same_spec(M:S, _, S1, M1) :- S == S1, M == M1, !.
lvc_same_spec(S, M0, M:S1, _) :- S == S1, M == M0.

lvc_fact_goal(M:H, _, '$insertz_quick'(M:H)) :- !, compound(H).
lvc_fact_goal(H, M, '$insertz_quick'(M:H)) :- compound(H).

lvc_module_clauses([], _, _, []).
lvc_module_clauses([C-M|Cs], R, Metas, [C1|C1s]) :-
    lvc_module_clause(C, lvc_ctx(M, R, Metas), C1),
    lvc_module_clauses(Cs, R, Metas, C1s).

% The heads of the program's meta_predicate declarations.
lvc_program_metas([], []).
lvc_program_metas([D|Ds], Ms) :-
    (   D = '$meta_predicate'(H0, _)
    ->  lvc_head_module(H0, user, _, H), Ms = [H|Ms1]
    ;   Ms = Ms1
    ),
    lvc_program_metas(Ds, Ms1).

lvc_dynamic_goals(Dynamic, Facts, Goals) :-
    lvc_dynamic_decls(Dynamic, Goals, Facts).

lvc_dynamic_decls([], G, G).
lvc_dynamic_decls([S-_|Ds], ['$define_predicate'(S, dynamic), '$set_property'(S, dynamic, _)|G0], G) :-
    lvc_dynamic_decls(Ds, G0, G).

lvc_module_goals([], []).
lvc_module_goals([M-Es|Ms], ['$module'(M, Es, System, [])|Gs]) :-
    (   M == prolog -> System = true ; System = false ),
    lvc_module_goals(Ms, Gs).

lvc_clause_spec(C, Spec) :-
    lvc_clause_parts(C, H, _),
    (   lvc_head_spec(H, Spec) -> true ; throw(lvc_error(bad_clause_head(C))) ).

% Name/Arity of a head, or Module:Name/Arity.
lvc_head_spec(H, _) :- var(H), !, fail.
lvc_head_spec(M:H, M:Spec) :- !, atom(M), lvc_head_spec(H, Spec), Spec \= _:_.
lvc_head_spec(H, N/A) :- callable(H), functor(H, N, A).

% Groups: [Spec-Clauses] in order of first appearance.
lvc_group([], []).
lvc_group([C|Cs], [Spec-[C|Same]|Gs]) :-
    lvc_clause_spec(C, Spec),
    lvc_split(Cs, Spec, Same, Rest),
    lvc_group(Rest, Gs).

lvc_split([], _, [], []).
lvc_split([C|Cs], Spec, Same, Rest) :-
    lvc_clause_spec(C, S1),
    (   S1 == Spec -> Same = [C|Same1], Rest = Rest1 ; Same = Same1, Rest = [C|Rest1] ),
    lvc_split(Cs, Spec, Same1, Rest1).

lvc_compile_groups([], []).
lvc_compile_groups([Spec-Cs|Gs], [pred(Spec, Units)|Ps]) :-
    lvc_compile_clauses(Cs, Units),
    lvc_compile_groups(Gs, Ps).

lvc_compile_clauses([], []).
lvc_compile_clauses([C|Cs], [U|Us]) :-
    catch(( lvc_check_arities(C), lvc_compile_clause(C, U) ), lvc_error(E),
          throw(lvc_error(in_clause(C, E)))),
    lvc_compile_clauses(Cs, Us).

% A structure holds at most 255 arguments; a clause holding a larger one is
% refused here rather than written to a file that cannot be loaded.
lvc_check_arities(T) :- var(T), !.
lvc_check_arities(T) :- atomic(T), !.
lvc_check_arities([H|T]) :- !, lvc_check_arities(H), lvc_check_arities(T).
lvc_check_arities(T) :-
    functor(T, N, A),
    (   A > 255 -> throw(lvc_error(arity_too_large(N/A))) ; true ),
    lvc_check_args(A, T).

lvc_check_args(0, _) :- !.
lvc_check_args(I, T) :-
    arg(I, T, X),
    lvc_check_arities(X),
    I1 is I - 1,
    lvc_check_args(I1, T).

lvc_put_bytes([], _).
lvc_put_bytes([B|Bs], S) :- put_byte(S, B), lvc_put_bytes(Bs, S).

% A readable listing of a clause's layout, for tests and inspection.
lvc_clause_listing(C, Lines) :-
    lvc_compile_clause(C, cunit(_, Bits, Key, Words, Size)),
    Lines = [key(Bits, Key), size(Size)|Ws],
    lvc_named_words(Words, Ws).

lvc_named_words([], []).
lvc_named_words([op(N)|Ws], [Name|Ns]) :- !,
    instruction(N, Name, _, _),
    lvc_named_words(Ws, Ns).
lvc_named_words([W|Ws], [W|Ns]) :- lvc_named_words(Ws, Ns).
