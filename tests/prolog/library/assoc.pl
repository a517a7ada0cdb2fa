% library(assoc): building, looking up, adding, deleting and walking
% associations; the trees stay balanced (is_assoc/1 checks the balances)
% through many insertions and deletions in order and out of order.

:- discontiguous t/3, x/4.

keys(N, Ks) :- numlist(1, N, Ks).

% Adds the keys one by one, checking the tree each time.
put_all([], A, A).
put_all([K|Ks], A0, A) :- put_assoc(K, A0, v(K), A1), is_assoc(A1), put_all(Ks, A1, A).

% Deletes the keys one by one, checking the tree each time.
del_all([], A, A).
del_all([K|Ks], A0, A) :- del_assoc(K, A0, v(K), A1), is_assoc(A1), del_all(Ks, A1, A).

% A scrambled order of 1..N: I*7 mod N+1 for N prime to 7.
scrambled(N, Ks) :- findall(K, (between(1, N, I), K is (I * 7) mod N + 1), Ks).

t(empty, L, (empty_assoc(A), assoc_to_list(A, L))).
t(get, V, (list_to_assoc([a-1, b-2, c-3], A), get_assoc(b, A, V))).
t(get_absent, yes, (list_to_assoc([a-1], A), \+ get_assoc(b, A, _))).
t(put_new, L, (list_to_assoc([a-1, c-3], A), put_assoc(b, A, 2, A1), assoc_to_list(A1, L))).
t(put_replace, L, (list_to_assoc([a-1, c-3], A), put_assoc(a, A, 9, A1), assoc_to_list(A1, L))).
t(list_to_assoc_order, L, (list_to_assoc([c-3, a-1, b-2], A), assoc_to_list(A, L))).
t(list_to_assoc_dup, x, list_to_assoc([a-1, a-2], _)).
t(list_to_assoc_partial, x, list_to_assoc([a-1|_], _)).
t(list_to_assoc_not_pair, x, list_to_assoc([a], _)).
t(ord_list_to_assoc, L, (ord_list_to_assoc([a-1, b-2, c-3, d-4], A), assoc_to_list(A, L))).
t(ord_list_to_assoc_unordered, x, ord_list_to_assoc([b-1, a-2], _)).
t(keys_values, K-V, (list_to_assoc([b-2, a-1], A), assoc_to_keys(A, K), assoc_to_values(A, V))).
t(min_max, Min-Max, (list_to_assoc([b-2, a-1, c-3], A), min_assoc(A, K1, V1), max_assoc(A, K2, V2),
                      Min = K1-V1, Max = K2-V2)).
t(min_empty, yes, (empty_assoc(A), \+ min_assoc(A, _, _))).
t(gen_assoc, K-V, (list_to_assoc([b-2, a-1, c-3], A), gen_assoc(K, A, V))).
t(gen_assoc_value, K, (list_to_assoc([b-2, a-1, c-2], A), gen_assoc(K, A, 2))).
t(del, V-L, (list_to_assoc([a-1, b-2, c-3], A), del_assoc(b, A, V, A1), assoc_to_list(A1, L))).
t(del_absent, yes, (list_to_assoc([a-1], A), \+ del_assoc(b, A, _, _))).
t(del_min, K-V-L, (list_to_assoc([a-1, b-2, c-3], A), del_min_assoc(A, K, V, A1), assoc_to_list(A1, L))).
t(del_max, K-V-L, (list_to_assoc([a-1, b-2, c-3], A), del_max_assoc(A, K, V, A1), assoc_to_list(A1, L))).
t(map_assoc_2, yes, (list_to_assoc([a-1, b-2], A), map_assoc(integer, A))).
t(map_assoc_2_fails, yes, (list_to_assoc([a-1, b-x], A), \+ map_assoc(integer, A))).
t(map_assoc_3, L, (list_to_assoc([a-1, b-2], A), map_assoc(succ, A, A1), assoc_to_list(A1, L))).
t(is_assoc_not, yes, \+ is_assoc(foo)).
x(ascending_puts, ok, (keys(100, Ks), put_all(Ks, t, A), assoc_to_keys(A, Ks)), [ok]).
x(descending_puts, ok, (keys(100, Ks0), reverse(Ks0, Ks), put_all(Ks, t, A), assoc_to_keys(A, Ks0)), [ok]).
x(scrambled_puts_and_dels, L, (scrambled(101, Ks), put_all(Ks, t, A), keys(101, All), assoc_to_keys(A, All),
                                scrambled(61, Ds), del_all(Ds, A, A1), assoc_to_keys(A1, L)),
  [[62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87,
    88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100, 101]]).
x(ordered_build_balanced, yes, (keys(1000, Ks), findall(K-K, member(K, Ks), Ps), ord_list_to_assoc(Ps, A),
                                 is_assoc(A)), [yes]).
x(min_max_dels, L, (keys(50, Ks), put_all(Ks, t, A), del_min_assoc(A, _, _, A1), is_assoc(A1),
                     del_max_assoc(A1, _, _, A2), is_assoc(A2), del_all([25, 26, 2, 49], A2, A3),
                     assoc_to_keys(A3, L0), length(L0, L)), [44]).
