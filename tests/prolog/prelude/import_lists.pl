% Compiled after library/lists.pl into a test table that uses the list
% library: its exports become visible in user. The module is made first, so
% that the import runs whether or not the compiler put the library's clauses
% in it.
:- '$module'(lists, [], false, []).
:- '$import_preds'(user, lists, [
    append/3, member/2, memberchk/2, reverse/2, nth0/3, nth1/3, last/2,
    sum_list/2, max_list/2, min_list/2, numlist/3,
    include/3, exclude/3, partition/4,
    maplist/2, maplist/3, maplist/4, maplist/5, foldl/4, foldl/5, foldl/6,
    delete/3, select/3, subtract/3, permutation/2, list_to_set/2
]).
