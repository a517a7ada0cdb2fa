% library(ordsets): each operation on empty, disjoint, overlapping and
% nested sets, and the tests that fail.

t(list_to_ord_set, S, list_to_ord_set([c, a, b, a, f(X), X], S)).
t(is_ordset, yes, is_ordset([a, b, f(x)])).
t(is_ordset_not, yes, \+ is_ordset([b, a])).
t(is_ordset_dup, yes, \+ is_ordset([a, a])).
t(is_ordset_partial, yes, \+ is_ordset([a|_])).
t(ord_empty, yes, ord_empty([])).
t(ord_memberchk, yes, ord_memberchk(c, [a, b, c, d])).
t(ord_memberchk_not, yes, \+ ord_memberchk(bb, [a, b, c])).
t(ord_memberchk_past, yes, \+ ord_memberchk(z, [a, b])).
t(ord_add_element, S, ord_add_element([a, c], b, S)).
t(ord_add_element_present, S, ord_add_element([a, c], c, S)).
t(ord_del_element, S, ord_del_element([a, b, c], b, S)).
t(ord_del_element_absent, S, ord_del_element([a, c], b, S)).
t(ord_union, S, ord_union([a, c, e], [b, c, d, f], S)).
t(ord_union_empty, S-T, (ord_union([], [a], S), ord_union([a], [], T))).
t(ord_union_list, S, ord_union([[c, d], [a], [b, d], [], [e]], S)).
t(ord_union_list_empty, S, ord_union([], S)).
t(ord_union_4, U-N, ord_union([a, c], [b, c, d], U, N)).
t(ord_subtract, S, ord_subtract([a, b, c, d, e], [b, d, f], S)).
t(ord_subtract_all, S, ord_subtract([a, b], [a, b, c], S)).
t(ord_subtract_tail, S, ord_subtract([a, d, e], [b, c], S)).
t(ord_intersection, S, ord_intersection([a, b, c, e], [b, c, d, e, f], S)).
t(ord_intersection_none, S, ord_intersection([a, c], [b, d], S)).
t(ord_intersection_list, S, ord_intersection([[a, b, c], [b, c, d], [b, c]], S)).
t(ord_symdiff, S, ord_symdiff([a, b, c], [b, d], S)).
t(ord_subset, yes, ord_subset([b, d], [a, b, c, d])).
t(ord_subset_not, yes, \+ ord_subset([b, e], [a, b, c, d])).
t(ord_subset_empty, yes, ord_subset([], [a])).
t(ord_disjoint, yes, ord_disjoint([a, c], [b, d])).
t(ord_disjoint_not, yes, \+ ord_disjoint([a, c], [c, d])).
t(ord_intersect, yes, ord_intersect([a, d], [b, c, d])).
t(ord_intersect_not, yes, \+ ord_intersect([a, e], [b, c, d])).
t(ord_seteq, yes, ord_seteq([a, b], [a, b])).
