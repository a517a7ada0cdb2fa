% Facts and rules, a recursive predicate and a call of a predicate defined
% further down.
colour(red).
colour(green).
colour(blue).
count([], 0).
count([_|T], N) :- count(T, N0), N is N0 + 1.
colours(N) :- findall(C, colour(C), Cs), count(Cs, N).
first_colour(C) :- later(C).
later(C) :- colour(C), !.
