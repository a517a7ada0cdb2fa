% library(terms): term_variables/3, variant/2 (with shared and numbered
% variables; called qualified, as the test runner has a variant/2 of its
% own), subsumption, and term_size/2 in this system's cells.

:- discontiguous t/3, x/4.

t(term_variables_3, Vs, term_variables(f(X, g(Y), X), Vs, [z])).
t(term_variables_3_none, Vs, term_variables(a, Vs, T)).
t(variant, yes, terms:variant(f(X, Y, X), f(A, B, A))).
t(variant_swap, yes, terms:variant(f(X, Y), f(Y, X))).
t(variant_not, yes, \+ terms:variant(f(X, Y, X), f(A, B, B))).
t(variant_bound, yes, \+ terms:variant(f(a), f(_))).
x(variant_numbered, yes, \+ terms:variant(f('$VAR'(0)), f(_)), [yes]).
x(variant_numbered_2, yes, \+ terms:variant(f(v(_, 0)), f(_)), [yes]).
t(variant_binds_nothing, X-Y, terms:variant(f(X), f(Y))).
t(subsumes_chk, yes, subsumes_chk(f(_, b), f(a, b))).
t(subsumes_chk_not, yes, \+ subsumes_chk(f(a, b), f(_, b))).
t(subsumes, X, subsumes(f(X, b), f(a, b))).
x(term_size_atomic, S, (member(T, [a, 1, _]), term_size(T, S)), [0, 0, 0]).
x(term_size_compound, S, term_size(f(a, g(b)), S), [5]).
x(term_size_list, S, term_size([a, b], S), [4]).
x(term_size_float, S, term_size(f(1.5), S), [5]).
x(term_size_big, S, (X is 1 << 100, term_size(X, S)), [4]).
x(term_size_cyclic, T, (X = f(X), catch(term_size(X, _), error(type_error(T, _), _), true)), [acyclic_term]).
