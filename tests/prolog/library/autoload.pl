% Autoloading: library predicates called without use_module, from a goal, a
% module and a consulted file; a definition or an import of one's own wins,
% before and after the library was loaded; names no library exports stay
% unknown.

:- discontiguous t/3, x/4.

% Writes a file of clauses in the working directory.
write_file(File, Clauses) :-
    open(File, write, S),
    forall(member(C, Clauses), (writeq(S, C), write(S, '.'), nl(S))),
    close(S).

t(goal, L, (append(X, [c], [a, b, c]), msort([b, a|X], L))).
t(closure, L, maplist(succ, [1, 2], L)).
t(in_module, X, lv_autoload_m1:last([a, b], X)).
x(imported_from, M, (ord_union([a], [b], _), predicate_property(ord_union(_, _, _), imported_from(M))), [ordsets]).
x(consulted_file, L, (write_file('lv_autoload_prog.pl', [(p(L0) :- append([a], [b], L0), maplist(atom, L0))]),
                      consult('lv_autoload_prog.pl'), p(L)), [[a, b]]).
x(own_definition_wins, X, (assertz(lv_autoload_m2:nextto(mine, mine, _)), lv_autoload_m2:nextto(X, _, [a, b])),
  [mine]).
x(own_import_wins, X, (write_file('lv_autoload_mine.pl', [(:- module(lv_autoload_mine, [sum_list/2])),
                                                          sum_list(_, mine)]),
                       use_module(lv_autoload_m3:'lv_autoload_mine.pl'), lv_autoload_m3:sum_list([1, 2], X)),
  [mine]).
x(import_after_autoload, X, (lv_autoload_m4:sum_list([1, 2], A),
                             write_file('lv_autoload_mine.pl', [(:- module(lv_autoload_mine, [sum_list/2])),
                                                                sum_list(_, mine)]),
                             use_module(lv_autoload_m4:'lv_autoload_mine.pl'),
                             lv_autoload_m4:sum_list([1, 2], B), X = A-B), [3-mine]).
x(explicit_import, X, (use_module(lv_autoload_m5:library(lists), [max_list/2]), lv_autoload_m5:max_list([1, 3, 2], X)),
  [3]).
x(unknown_name, E, catch(lv_autoload_no_such_predicate(1), error(E, _), true),
  [existence_error(procedure, lv_autoload_no_such_predicate/1)]).
x(unknown_arity, E, catch(member(a), error(E, _), true), [existence_error(procedure, member/1)]).
