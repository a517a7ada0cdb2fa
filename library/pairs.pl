% Lists of pairs Key-Value: module pairs.

:- module(pairs, [
    pairs_keys_values/3, pairs_keys/2, pairs_values/2, map_list_to_pairs/3,
    transpose_pairs/2, group_pairs_by_key/2
]).

:- meta_predicate map_list_to_pairs(2, ?, ?).

% pairs_keys_values(Pairs, Keys, Values): works in either direction.
pairs_keys_values([], [], []).
pairs_keys_values([K-V|Ps], [K|Ks], [V|Vs]) :- pairs_keys_values(Ps, Ks, Vs).

pairs_keys([], []).
pairs_keys([K-_|Ps], [K|Ks]) :- pairs_keys(Ps, Ks).

pairs_values([], []).
pairs_values([_-V|Ps], [V|Vs]) :- pairs_values(Ps, Vs).

% map_list_to_pairs(F, List, Pairs): each element X paired with its key K,
% call(F, X, K).
map_list_to_pairs(F, L, Ps) :- map_pairs_(L, F, Ps).

map_pairs_([], _, []).
map_pairs_([X|Xs], F, [K-X|Ps]) :- call(F, X, K), map_pairs_(Xs, F, Ps).

% transpose_pairs(Pairs, Transposed): the pairs Value-Key, sorted by their
% new keys (keysort/2, which keeps the order of equal keys).
transpose_pairs(Ps, Ts) :-
    flip_(Ps, Fs),
    keysort(Fs, Ts).

flip_([], []).
flip_([K-V|Ps], [V-K|Fs]) :- flip_(Ps, Fs).

% group_pairs_by_key(Pairs, Groups): runs of pairs with the same (==) key
% made one pair Key-Values; Pairs is usually keysorted first.
group_pairs_by_key([], []).
group_pairs_by_key([K-V|Ps], [K-[V|Vs]|Gs]) :-
    same_key_(Ps, K, Vs, Rest),
    group_pairs_by_key(Rest, Gs).

same_key_([K1-V|Ps], K, [V|Vs], Rest) :- K1 == K, !, same_key_(Ps, K, Vs, Rest).
same_key_(Ps, _, [], Ps).
