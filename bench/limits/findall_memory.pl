% findall/3 of 20 million integers: the memory it takes (peak resident
% size) is what bench/limits.sh compares.
bench :- findall(X, between(1, 20000000, X), L), length(L, N), N =:= 20000000.
