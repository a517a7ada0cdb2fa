p(X) :- q(X), r(X).
q(1).
q(2).
r(2).
e :- s(1), throw(oops).
s(X) :- t(X).
t(_).
