% Compiled after library/lists.pl and library/apply.pl into a test table that
% uses the list library: their exports become visible in user. The modules
% are made first, so that the imports run whether or not the compiler put
% the libraries' clauses in them.
:- '$module'(lists, [], false, []).
:- '$import_preds'(user, lists, [
    append/2, append/3, member/2, memberchk/2, reverse/2, nth0/3, nth1/3, nth0/4, nth1/4,
    last/2, nextto/3, same_length/2, proper_length/2, flatten/2,
    sum_list/2, sumlist/2, max_list/2, min_list/2, max_member/2, min_member/2, numlist/3,
    delete/3, select/3, selectchk/3, select/4, subtract/3, intersection/3, union/3,
    permutation/2, list_to_set/2, is_set/1, subset/2
]).
:- '$module'(apply, [], false, []).
:- '$import_preds'(user, apply, [
    maplist/2, maplist/3, maplist/4, maplist/5, maplist/6, maplist/7,
    foldl/4, foldl/5, foldl/6, include/3, exclude/3, partition/4, partition/5
]).
