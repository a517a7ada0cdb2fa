single(X, Y) :- true.
single_ok(_X, _).
w(1).
w_other.
w(2).
