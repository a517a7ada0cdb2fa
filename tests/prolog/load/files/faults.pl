good(1).
bad( :- .
good(2).
:- X is foo + 1, write(X).
3 :- true.
good(3).
:- fail.
good(4).
