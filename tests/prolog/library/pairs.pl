% library(pairs): both directions of pairs_keys_values/3, keys and values,
% keyed lists, transposing and grouping.

t(pairs_keys_values, P, pairs_keys_values(P, [a, b], [1, 2])).
t(pairs_keys_values_split, K-V, pairs_keys_values([a-1, b-2], K, V)).
t(pairs_keys, K, pairs_keys([a-1, b-2], K)).
t(pairs_values, V, pairs_values([a-1, b-2], V)).
t(map_list_to_pairs, P, map_list_to_pairs(atom_length, [ab, c], P)).
t(transpose_pairs, T, transpose_pairs([a-2, b-1, c-2], T)).
t(group_pairs_by_key, G, group_pairs_by_key([a-1, a-2, b-3, a-4], G)).
t(group_pairs_empty, G, group_pairs_by_key([], G)).
t(pairs_not_pair, yes, \+ pairs_keys([a], _)).
