% portray_clause/1 and listing/0,1: the layout of facts, rules,
% conjunctions, if-then-else and disjunctions, variables named by letters,
% quoted atoms. Each case writes to a file and reads the text back as an
% atom; the layout is this system's own.

:- discontiguous x/4.
:- dynamic lst_fact/1, lst_rule/2.

lst_fact(a).
lst_fact('B c').

out(G, A) :-
    File = 'lv_listing_table.tmp',
    open(File, write, S),
    current_output(Old),
    set_output(S),
    (   catch(G, E, true) -> true ; true ),
    set_output(Old),
    close(S),
    open(File, read, R),
    get_codes(R, Cs),
    close(R),
    atom_codes(A, Cs),
    (   nonvar(E) -> throw(E) ; true ).

get_codes(R, Cs) :-
    get_code(R, C),
    (   C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get_codes(R, Cs1) ).

x(fact, A, out(portray_clause(f(X, 'A b', [1, 2], X, _)), A), ['f(A,\'A b\',[1,2],A,B).\n']).
x(fact_true, A, out(portray_clause((f :- true)), A), ['f.\n']).
x(rule, A, out(portray_clause((h(X) :- p(X, Y), q(Y))), A), ['h(A) :-\n    p(A,B),\n    q(B).\n']).
x(if_then_else, A, out(portray_clause((h :- a, ( b -> c ; d ), e)), A),
  ['h :-\n    a,\n    (   b\n    ->  c\n    ;   d\n    ),\n    e.\n']).
x(operators, A, out(portray_clause((x :- Y is 1 + 2, Y > 0)), A), ['x :-\n    A is 1+2,\n    A>0.\n']).
x(listing, A, out(listing(lst_fact/1), A), [':- dynamic lst_fact/1.\n\nlst_fact(a).\nlst_fact(\'B c\').\n\n']).
x(listing_name, A, (assertz((lst_rule(X, Y) :- lst_fact(X), ( X == a -> Y = 1 ; Y = 2 ))), out(listing(lst_rule), A)),
  [':- dynamic lst_rule/2.\n\nlst_rule(A,B) :-\n    lst_fact(A),\n    (   A==a\n    ->  B=1\n    ;   B=2\n    ).\n\n']).
x(listing_unbound, x, listing(_), error(instantiation_error)).
x(listing_bad, x, listing(1), error(type_error(predicate_indicator, 1))).
% portray_clause/2 writes to its stream, leaving the current output as it was.
x(portray_clause_stream, A-Same, (out((current_output(C0), open('lv_listing_table2.tmp', write, S),
                                        portray_clause(S, (h(X) :- b(X, _))), close(S), current_output(C1),
                                        ( C0 == C1 -> Same = same ; Same = changed )), _),
                                   open('lv_listing_table2.tmp', read, R), get_codes(R, Cs), close(R),
                                   atom_codes(A, Cs)),
  ['h(A) :-\n    b(A,B).\n'-same]).
x(portray_clause_no_stream, x, portray_clause(nostream, a), error(existence_error(stream, nostream))).
