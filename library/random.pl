% Random numbers: module random.
%
% The generator is SplitMix64: a 64-bit counter advanced by a fixed odd
% step, each value a mix of the counter's bits. Its period is 2^64 and its
% values pass the usual statistical tests; it is no cryptographic
% generator. The state is seeded from the clock and the process id on
% first use; set_random(seed(N)) makes the sequence repeatable.
%
%   random(X)                   a float, 0.0 =< X < 1.0
%   random_between(L, H, X)     an integer, L =< X =< H (fails when H < L)
%   random_member(X, List)      an element of a non-empty list
%   random_select(X, List, Rest)  an element and the rest; with List
%                               unbound, X put at a random place of Rest
%   random_permutation(List, Perm)  either list given, as a proper list
%   set_random(seed(N))         seeds the generator (N an integer)

:- module(random, [
    random/1, random_between/3, random_member/2, random_select/3, random_permutation/2,
    set_random/1
]).

step_(0x9E3779B97F4A7C15).

mask_(0xFFFFFFFFFFFFFFFF).

state_(S) :-
    (   prolog:'$bb_get'(random, state, S0) -> S = S0
    ;   clock_seed_(S)
    ).

clock_seed_(S) :-
    (   prolog:'$timer_now'(Ms) -> true ; Ms = 0 ),
    (   prolog:'$time'(T) -> true ; T = 0 ),
    (   prolog:'$process_self_id'(P) -> true ; P = 0 ),
    mask_(M),
    S is (T * 1000003 + Ms * 7919 + P) /\ M.

% next_(X): the next 64-bit value.
next_(X) :-
    state_(S0),
    step_(G),
    mask_(M),
    S is (S0 + G) /\ M,
    prolog:'$bb_put'(random, state, S),
    Z1 is ((S xor (S >> 30)) * 0xBF58476D1CE4E5B9) /\ M,
    Z2 is ((Z1 xor (Z1 >> 27)) * 0x94D049BB133111EB) /\ M,
    X is Z2 xor (Z2 >> 31).

set_random(Option) :-
    Ctx = random:set_random(Option),
    (   var(Option) -> prolog:'$instantiation_error'(Ctx, 1)
    ;   Option = seed(N)
    ->  prolog:'$must_be_integer'(N, Ctx, 1),
        mask_(M),
        S is N /\ M,
        prolog:'$bb_put'(random, state, S)
    ;   prolog:'$domain_error'(set_random, Option, Ctx, 1)
    ).

% 53 random bits make the float's significand.
random(X) :-
    next_(V),
    X is (V >> 11) / 9007199254740992.0.

random_between(L, H, X) :-
    Ctx = random:random_between(L, H, X),
    prolog:'$must_be_integer'(L, Ctx, 1),
    prolog:'$must_be_integer'(H, Ctx, 2),
    H >= L,
    R is H - L + 1,
    below_(R, V),
    X is L + V.

% below_(R, V): V uniform in 0..R-1, by rejection from enough 64-bit
% values that no value is favoured.
below_(R, V) :-
    words_(R, 1, W),
    Span is 1 << (64 * W),
    Limit is Span - Span mod R,
    draw_below_(W, Limit, R, V).

words_(R, W0, W) :-
    (   R =< 1 << (64 * W0) -> W = W0 ; W1 is W0 + 1, words_(R, W1, W) ).

draw_below_(W, Limit, R, V) :-
    draw_words_(W, 0, X),
    (   X < Limit -> V is X mod R ; draw_below_(W, Limit, R, V) ).

draw_words_(0, X, X) :- !.
draw_words_(W, X0, X) :-
    next_(V),
    X1 is (X0 << 64) \/ V,
    W1 is W - 1,
    draw_words_(W1, X1, X).

random_member(X, List) :-
    proper_list_(List, N, random:random_member(X, List), 2),
    N > 0,
    below_(N, I),
    nth0_(I, List, X0),
    X = X0.

random_select(X, List, Rest) :-
    Ctx = random:random_select(X, List, Rest),
    prolog:'$list_skip'(List, N, T),
    (   N >= 0, T == []
    ->  N > 0,
        below_(N, I),
        take_(I, List, X0, Rest0),
        X = X0, Rest = Rest0
    ;   N >= 0, var(T)
    ->  proper_list_(Rest, K, Ctx, 3),
        K1 is K + 1,
        below_(K1, I),
        take_(I, List0, X, Rest),
        List = List0
    ;   prolog:'$type_error'(list, List, Ctx, 2)
    ).

% random_permutation(List, Perm): each element given a random key, the
% list sorted by the keys.
random_permutation(L, P) :-
    prolog:'$list_skip'(L, N, T),
    (   N >= 0, T == []
    ->  shuffle_(L, P0), P = P0
    ;   proper_list_(P, _, random:random_permutation(L, P), 2),
        shuffle_(P, L0), L = L0
    ).

shuffle_(L, P) :-
    keyed_(L, Keyed),
    keysort(Keyed, Sorted),
    unkeyed_(Sorted, P).

keyed_([], []).
keyed_([X|Xs], [K-X|Ks]) :- next_(K), keyed_(Xs, Ks).

unkeyed_([], []).
unkeyed_([_-X|Ks], [X|Xs]) :- unkeyed_(Ks, Xs).

proper_list_(L, N, Ctx, ArgNo) :-
    prolog:'$list_skip'(L, N0, T),
    (   N0 >= 0, T == [] -> N = N0
    ;   N0 >= 0, var(T) -> prolog:'$instantiation_error'(Ctx, ArgNo)
    ;   prolog:'$type_error'(list, L, Ctx, ArgNo)
    ).

nth0_(0, [X|_], X) :- !.
nth0_(I, [_|Xs], X) :- I1 is I - 1, nth0_(I1, Xs, X).

% take_(I, List, X, Rest): X is element I of List, Rest the others; with
% List unbound, List is Rest with X put at I.
take_(0, [X|Rest], X, Rest) :- !.
take_(I, [Y|Ys], X, [Y|Rest]) :- I1 is I - 1, take_(I1, Ys, X, Rest).
