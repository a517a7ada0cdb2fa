:- module(mod_a, [twice/2, apply_to/3, hidden_caller/1]).
:- meta_predicate apply_to(2, ?, ?).
twice(X, Y) :- helper(X, Y).
helper(X, Y) :- Y is 2 * X.
apply_to(G, X, Y) :- call(G, X, Y).
% A goal written here runs here, whatever module calls.
hidden_caller(L) :- findall(X, secret(X), L).
secret(1).
secret(2).
