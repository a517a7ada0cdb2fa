% The compiler's driver: a source file to a quick-load file.
%
% Clauses are grouped by predicate in the order of each predicate's first
% clause. Directives are not compiled yet: a file holding one is refused.

lvc_compile_file(In, Out) :- lvc_compile_file(In, Out, ql).

% Form ql: a quick-load file; form items: the clauses' item lists as
% quick-load terms (lvc_items_file).
lvc_compile_file(In, Out, Form) :-
    lvc_read_file(In, Clauses),
    lvc_group(Clauses, Groups),
    lvc_compile_groups(Groups, Preds),
    (   Form == items -> lvc_items_file(Preds, Bytes) ; lvc_ql_file(Preds, Bytes) ),
    open(Out, write, S, [type(binary)]),
    lvc_put_bytes(Bytes, S),
    close(S).

lvc_read_file(File, Clauses) :-
    open(File, read, S),
    read_term(S, T, []),
    lvc_read_terms(T, S, Clauses),
    close(S).

lvc_read_terms(end_of_file, _, []) :- !.
lvc_read_terms((:- D), _, _) :- !,
    throw(lvc_error(directive_not_supported(D))).
lvc_read_terms(T, S, [T|Ts]) :-
    read_term(S, T1, []),
    lvc_read_terms(T1, S, Ts).

lvc_clause_spec(C, N/A) :-
    lvc_clause_parts(C, H, _),
    (   callable(H) -> functor(H, N, A) ; throw(lvc_error(bad_clause_head(C))) ).

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
