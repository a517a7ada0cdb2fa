:- use_module(mod_a).
quad(X, Y) :- twice(X, Z), twice(Z, Y).
add_one(X, Y) :- Y is X + 1.
plus_one(X, Y) :- apply_to(add_one, X, Y).
