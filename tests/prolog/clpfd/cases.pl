% The predicates of library(clpfd) case by case: domains and their
% reading, bad input, constraints of one or two variables (domains,
% coreferences, indexicals) and their normal forms, reification, labeling
% and its options, optimisation, residual goals, flags, fdsets and
% constraints defined by indexicals.

% Domains.
case(in_interval, D, ( X in 1..5, fd_dom(X, D) ), [1..5]).
case(in_union, D, ( X in 1..3 \/ 5..7 \/ 9, fd_dom(X, D) ), [1..3\/5..7\/9]).
case(in_unordered, D, ( X in 9 \/ 5..7 \/ 1..3 \/ 4, fd_dom(X, D) ), [1..7\/9]).
case(in_complement, D, ( X in \ (1..3), fd_dom(X, D) ), [inf..0\/4..sup]).
case(in_intersection, D, ( X in (1..10) /\ \ {3, 5}, fd_dom(X, D) ), [1..2\/4\/6..10]).
case(in_empty, X, X in 3..1, []).
case(in_twice, D, ( X in 1..10, X in 5..20, fd_dom(X, D) ), [5..10]).
case(in_integer, x, 3 in 1..5, [x]).
case(in_integer_outside, x, 7 in 1..5, []).
case(in_to_value, X, X in 4..4, [4]).
case(ins_list, Ds, ( [X, Y] ins 0..3, X #< Y, fd_dom(X, DX), fd_dom(Y, DY), Ds = [DX, DY] ), [[0..2, 1..3]]).
case(domain_3, D, ( domain([X, _], 2, 8), fd_dom(X, D) ), [2..8]).
case(fd_reading, [Min, Max, Size, Set], ( X in 2..4 \/ 8, fd_inf(X, Min), fd_sup(X, Max), fd_size(X, Size), fd_set(X, Set) ),
     [[2, 8, 4, [[2|4], [8|8]]]]).
case(fd_reading_plain, [Min, Max, Size, D], ( fd_inf(X, Min), fd_sup(X, Max), fd_size(X, Size), fd_dom(X, D) ),
     [[inf, sup, sup, inf..sup]]).
case(fd_reading_integer, [D, S, G], ( fd_dom(5, D), fd_size(5, S), fd_degree(5, G) ), [[5..5, 1, 0]]).
case(in_set, D, ( in_set(X, [[1|2], [5|6]]), fd_dom(X, D) ), [1..2\/5..6]).

% Bad input.
case(in_bad_bound, x, _ in a..3, error(type_error(integer, a))).
case(in_bad_domain, x, _ in foo, error(type_error(integer, foo))).
case(in_unbound_domain, x, _ in _, error(instantiation_error)).
case(in_unbound_bound, x, _ in 1.._, error(instantiation_error)).
case(in_bad_variable, x, a in 1..3, error(type_error(integer, a))).
case(in_float_variable, x, 1.0 in 1..3, error(type_error(integer, 1.0))).
case(ins_not_list, x, foo ins 1..3, error(type_error(list, foo))).
case(ins_partial_list, x, [_|_] ins 1..3, error(instantiation_error)).
case(ins_bad_element, x, [_, a] ins 1..3, error(type_error(integer, a))).
case(in_set_bad, x, in_set(_, [[3|1]]), error(type_error(fdset, [[3|1]]))).
case(eq_bad_atom, x, _ #= a, error(type_error(integer, a))).
case(eq_bad_float, x, _ #= 1.5, error(type_error(integer, 1.5))).
case(eq_bad_functor, x, _ #= foo(1), error(type_error(evaluable, foo/1))).
case(eq_nonlinear, Y-Z, ( 12 #= Y * Z, [Y, Z] ins 2..4, label([Y, Z]) ), [3-4, 4-3]).
case(eq_nonlinear_abs, Y, ( 2 #= abs(Y), label([Y]) ), [-2, 2]).
% Coreferenced variables: a change of bounds shared, then a value told
% before propagation runs.
case(coreference_bounds_then_value, V-Y, ( Y in -4..1, ( V #= Y #/\ Y #>= -3 #/\ V #>= 1 ) ), [1-1]).
case(fd_dom_bad, x, fd_dom(a, _), error(type_error(integer, a))).
case(reify_bad, x, _ #<==> a, error(domain_error(clpfd_reifiable_expression, a))).
case(reify_bad_integer, x, _ #==> 2, error(domain_error(clpfd_reifiable_expression, 2))).
case(bind_non_integer, x, ( X in 1..3, X = a ), error(type_error(integer, a))).
case(label_unbounded, x, label([_]), error(instantiation_error)).
case(label_half_bounded, x, ( X #>= 3, label([X]) ), error(instantiation_error)).
case(label_not_list, x, label(foo), error(type_error(list, foo))).
case(label_bad_element, x, ( X in 1..3, label([X, a]) ), error(type_error(integer, a))).
case(labeling_options_not_list, x, labeling(foo, []), error(type_error(list, foo))).
case(labeling_option_unbound, x, labeling([_], []), error(instantiation_error)).
case(labeling_option_unknown, x, labeling([foo], []), error(domain_error(labeling_option, foo))).
case(labeling_options_conflict, x, labeling([ff, ffc], []), error(domain_error(consistent_labeling_options, [ff, ffc]))).
case(labeling_options_conflict2, x, labeling([up, down], []), error(domain_error(consistent_labeling_options, [up, down]))).
case(all_different_not_list, x, all_different(foo), error(type_error(list, foo))).
case(all_different_bad, x, all_different([a]), error(type_error(integer, a))).
case(all_different_option, x, all_different([_], [foo]), error(domain_error(all_different_option, foo))).
case(sum_bad_relation, x, sum([_], #@, 3), error(domain_error(scalar_product_relation, #@))).
case(scalar_lengths, x, scalar_product([1, 2], [_], #=, 3), error(domain_error(same_length, [1, 2]-[_]))).
case(fd_flag_value, x, fd_flag(overflow, _, maybe), error(domain_error(fd_flag_value, maybe))).
case(fd_statistics_key, x, fd_statistics(foo, _), error(domain_error(fd_statistics_key, foo))).

% Bounds past the small integers: an error, or with the flag overflow at
% fail a failure; never a wrapped value.
case(overflow_domain, x, _ in 0..1152921504606846976, error(representation_error(max_clpfd_integer))).
case(overflow_constraint, x, _ #= 1152921504606846976, error(representation_error(max_clpfd_integer))).
case(overflow_below, x, _ #= -1152921504606846977, error(representation_error(min_clpfd_integer))).
case(overflow_fail, x, setup_call_cleanup(fd_flag(overflow, Old, fail), _ #= 1152921504606846976, fd_flag(overflow, _, Old)), []).
case(overflow_propagation, x, ( X in 0..sup, Y #= X + 1152921504606846975, X #> 5, Y = Y ),
     error(representation_error(max_clpfd_integer))).
case(largest_small, X, X #= 1152921504606846975, [1152921504606846975]).

% Linear constraints: normal forms and propagation.
case(eq_gcd_fails, x, ( [X, Y] ins 0..10, 2*X + 4*Y #= 7 ), []).
case(neq_gcd_holds, [DX], ( X in 0..3, 2*X #\= 3, fd_dom(X, DX) ), [[0..3]]).
case(eq_like_terms, D, ( X in 0..10, X + X + X #= 9 + 0*_Y, fd_dom(X, D) ), [3..3]).
case(eq_one_var, X, ( 3*X - 1 #= 8 ), [3]).
case(eq_one_var_no, X, ( 3*X #= 8 ), []).
case(lt_one_var, D, ( X in 0..10, X #< 4, fd_dom(X, D) ), [0..3]).
case(ge_one_var, D, ( X in 0..10, -2*X #>= -7, fd_dom(X, D) ), [0..3]).
case(neq_one_var, D, ( X in 1..3, X #\= 2, fd_dom(X, D) ), [1\/3]).
case(eq_coreference, [DX, DY], ( X in 0..10, Y in 5..20, X #= Y + 3, fd_dom(X, DX), fd_dom(Y, DY) ), [[8..10, 5..7]]).
case(eq_coreference_value, [X, Y], ( X in 0..10, X #= Y - 2, Y = 5 ), [[3, 5]]).
case(eq_ground_subterms, X, ( X #= 2^3 + abs(-2) * min(4, 7) - 7 // 2 + 7 mod 3 - (-7) rem 3 ), [15]).
case(eq_division_by_zero, X, X #= 1 // 0, []).
case(le_binary, [DX, DY], ( [X, Y] ins 0..10, X + 5 #=< Y, fd_dom(X, DX), fd_dom(Y, DY) ), [[0..5, 5..10]]).
% Values taken one by one from the front of a domain of many holes: each
% tell shares the domain's rest, across the collections the loop causes.
case(neq_front_of_long_domain, S, ( findall([V|V], ( between(0, 2000, I), V is 4*I ), D), in_set(X, D),
     forall_front(X, 0, 1500), fd_size(X, S), fd_inf(X, 6000) ), [501]).
case(neq_binary, D, ( X in 0..3, X #\= Y + 1, Y = 1, fd_dom(X, D) ), [0..1\/3]).

% Reification and the propositional combinators.
case(reify_decides, B, ( X in 0..5, B #<==> (X #> 7) ), [0]).
case(reify_tells, D, ( X in 0..9, B #<==> (X #>= 5), B = 1, fd_dom(X, D) ), [5..9]).
case(reify_negation, D, ( X in 0..9, B #<==> (X #>= 5), B = 0, fd_dom(X, D) ), [0..4]).
case(reify_solutions, [X, B], ( X in 0..2, B #<==> (X #= 1), label([X, B]) ), [[0, 0], [1, 1], [2, 0]]).
case(spellings, [B1, B2, B3], ( X in 0..3, B1 #<=> (X #= 1), X #= 1 #=> B2 #= 1, B3 #= 0 #<= X #> 2, X = 1 ), [[1, 1, _]]).
case(or_clause, [X, Y], ( [X, Y] ins 0..1, X #= 1 #\/ Y #= 1, label([X, Y]) ), [[0, 1], [1, 0], [1, 1]]).
case(implication, [X, Y], ( [X, Y] ins 0..1, X #==> Y, label([X, Y]) ), [[0, 0], [0, 1], [1, 1]]).
case(equivalence_vars, [X, Y], ( [X, Y] ins 0..1, X #<==> Y, X = 1 ), [[1, 1]]).
case(equivalence_negated, [X, Y], ( [X, Y] ins 0..1, X #<==> #\ Y, X = 1 ), [[1, 0]]).
case(xor, [X, Y], ( [X, Y] ins 0..1, X #\ Y, label([X, Y]) ), [[0, 1], [1, 0]]).
case(not_and, [X, Y], ( [X, Y] ins 0..1, #\ (X #/\ Y), label([X, Y]) ), [[0, 0], [0, 1], [1, 0]]).
case(nested, [X, Y], ( [X, Y] ins 0..2, (X #= 1 #\/ Y #= 2) #==> X #= Y, label([X, Y]) ),
     [[0, 0], [0, 1], [1, 1], [2, 0], [2, 1], [2, 2]]).
case(reify_in, [X, B], ( X in 0..4, B #<==> (X in 1..2 \/ 4), label([X, B]) ), [[0, 0], [1, 1], [2, 1], [3, 0], [4, 1]]).
case(boolean_constants, x, ( 1 #\/ 0, #\ 0, 1 #<==> 1 ), [x]).
case(boolean_domain, D, ( B #==> (_X #= 3), fd_dom(B, D) ), [0..1]).

% Distinctness.

% Labeling.
case(label_order, [X, Y], ( [X, Y] ins 1..2, label([X, Y]) ), [[1, 1], [1, 2], [2, 1], [2, 2]]).
case(label_down, [X, Y], ( [X, Y] ins 1..2, labeling([down], [X, Y]) ), [[2, 2], [2, 1], [1, 2], [1, 1]]).
case(label_bisect, X, ( X in 1..4, labeling([bisect], [X]) ), [1, 2, 3, 4]).
case(label_bisect_down, X, ( X in 1..4, labeling([bisect, down], [X]) ), [4, 3, 2, 1]).
case(label_enum_holes, X, ( X in 1..2 \/ 5 \/ 8..9, labeling([enum], [X]) ), [1, 2, 5, 8, 9]).
case(label_middle, X, ( X in 0..4, labeling([middle], [X]), ! ), [2]).
case(label_ff, Vs, ( X in 1..3, Y in 1..2, labeling([ff], [X, Y]), !, Vs = [X, Y] ), [[1, 1]]).
case(label_integers, x, label([1, 2, 3]), [x]).
case(label_select, [X, Y], ( [X, Y] ins 1..2, labeling([variable(last_first)], [X, Y]) ), [[1, 1], [2, 1], [1, 2], [2, 2]]).
case(label_debug, L, setup_call_cleanup(fd_flag(debug, Old, on),
                                         findall([X, Y], ( [X, Y] ins 0..3, X + Y #= 3, X #< Y, label([X, Y]) ), L),
                                         fd_flag(debug, _, Old)),
     [[[0, 3], [1, 2]]]).
case(debug_off, F, fd_flag(debug, F, F), [off]).
case(indomain, X, ( X in 3..5, indomain(X) ), [3, 4, 5]).

% Residual goals.
case(residual_domain, Gs, ( X in 1..3, X #\= 2, copy_term(X, _, Gs) ), [[_ in 1\/3]]).
case(residual_plain, Gs, ( copy_term(f(X, Y), _, Gs), X = Y ), [[]]).
case(residual_coreference, Gs, ( X #= Y + 2, copy_term(X-Y, _, Gs) ), [[_A #= _B + 2]]).

% Flags and statistics.
case(overflow_flag, [O1, O2], ( fd_flag(overflow, O1, fail), fd_flag(overflow, O2, error) ), [[error, fail]]).

% fdsets.
case(fdset_basics, [S, L, R, N, Min, Max], ( list_to_fdset([7, 1, 2, 3, 5], S), fdset_to_list(S, L), fdset_to_range(S, R),
     fdset_size(S, N), fdset_min(S, Min), fdset_max(S, Max) ),
     [[[[1|3], [5|5], [7|7]], [1, 2, 3, 5, 7], 1..3\/5\/7, 5, 1, 7]]).
case(fdset_ops, [U, I, D, C], ( fdset_union([[1|3]], [[4|6]], U), fdset_intersection([[1|5]], [[3|9]], I),
     fdset_subtract([[1|9]], [[5|5]], D), fdset_complement([[0|5]], C) ),
     [[[[1|6]], [[3|5]], [[1|4], [6|9]], [[inf| -1], [6|sup]]]]).
case(fdset_relations, [A, B, C, D], ( ( fdset_disjoint([[1|2]], [[4|5]]) -> A = y ; A = n ), ( fdset_intersect([[1|2]], [[2|5]]) -> B = y ; B = n ),
     ( fdset_subset([[2|3]], [[1|5]]) -> C = y ; C = n ), ( fdset_eq([[1|2]], [[1|2]]) -> D = y ; D = n ) ), [[y, y, y, y]]).
case(fdset_member, X, fdset_member(X, [[1|2], [5|5]]), [1, 2, 5]).
case(fdset_parts, [Min, Max, Rest, S], ( fdset_parts([[1|3], [7|9]], Min, Max, Rest), fdset_parts(S, 0, 4, [[6|6]]) ),
     [[1, 3, [[7|9]], [[0|4], [6|6]]]]).
case(fdset_elements, [A, D], ( fdset_add_element([[1|3]], 4, A), fdset_del_element([[1|9]], 5, D) ), [[[[1|4]], [[1|4], [6|9]]]]).
case(fdset_lists, [U, I], ( fdset_union([[[1|1]], [[3|3]], [[2|2]]], U), fdset_intersection([[[1|9]], [[3|12]]], I) ), [[[[1|3]], [[3|9]]]]).
case(fdset_not_set, x, fdset_size([[1|3], [4|6]], _), error(type_error(fdset, [[1|3], [4|6]]))).
case(range_to_fdset, S, range_to_fdset({3, 1} \/ 5..6, S), [[[1|1], [3|3], [5|6]]]).
case(empty_interval, [A, B], ( ( empty_interval(3, 2) -> A = y ; A = n ), ( empty_interval(1, 2) -> B = y ; B = n ) ), [[y, n]]).

% Constraints defined by indexicals (below).
case(ix_post, D, ( X in 0..9, Y in 3..5, 'x=<y'(X, Y), fd_dom(X, D) ), [0..5]).
case(ix_wait, D, ( X in 0..9, ne(X, Y), Y = 4, fd_dom(X, D) ), [0..3\/5..9]).
case(ix_reified, [B1, B2], ( X in 0..3, Y in 5..7, B1 #<==> 'x=<y'(X, Y), B2 #<==> 'x=<y'(Y, X) ), [[1, 0]]).
case(ix_reified_tells, D, ( X in 0..9, Y in 3..5, B #<==> 'x=<y'(X, Y), B = 0, fd_dom(X, D) ), [4..9]).
case(ix_check_only, [X, Y], ( [X, Y] ins 0..2, same_parity(X, Y), label([X, Y]) ), [[0, 0], [0, 2], [1, 1], [2, 0], [2, 2]]).
case(ix_set_ops, D, ( X in 0..20, Y in 1..3, shifted(X, Y), fd_dom(X, D) ), [11..13]).
case(ix_unionof, D, ( X in -2..3, square(X, Y), fd_dom(Y, D) ), [0..1\/4\/9]).
case(ix_switch, [D1, D2], ( Y in 0..30, lookup(X, Y), X in 1..2, fd_dom(Y, D1), X = 2, fd_dom(Y, D2) ), [[0..30, 20..21]]).
case(ix_switch_missing, x, lookup(3, _), []).
case(ix_mod, D, ( X in {4, 7, 9}, mod3(X, Y), fd_dom(Y, D) ), [0..1]).
case(ix_ambiguous, x, clpfd:'$fd_define'(+:, ambiguous(X, Y), X in 0..max(Y)+1, user),
     error(domain_error(indexical_expression, (0..max(_))+1))).
case(ix_bad_head, x, clpfd:'$fd_define'(+:, bad(X, X), X in 0..1, user), error(domain_error(indexical_head, _))).
case(ix_bad_argument, x, 'x=<y'(a, _), error(type_error(integer, a))).
case(ix_residual, Gs, ( X in 0..9, 'x=<y'(X, Y), copy_term(X-Y, _, Gs) ), [[A in 0..9, 'x=<y'(A, B), B in 0..sup]]).

forall_front(_, K, K) :- !.
forall_front(X, I, K) :- V is 4*I, X #\= V, I1 is I + 1, forall_front(X, I1, K).

% Selection: the last variable first.
last_first(Vs, X, Rest) :- append(Rest, [X], Vs).

'x=<y'(X, Y) +: X in inf..max(Y), Y in min(X)..sup.
'x=<y'(X, Y) -: X in (min(Y)+1)..sup, Y in inf..(max(X)-1).
'x=<y'(X, Y) +? X in inf..min(Y).
'x=<y'(X, Y) -? X in (max(Y)+1)..sup.

ne(X, Y) +: X in \{Y}, Y in \{X}.

same_parity(X, Y) +? X in {Y + 0} \/ {Y + 2} \/ {Y - 2}.
same_parity(X, Y) -? X in {Y + 1} \/ {Y - 1}.

shifted(X, Y) +: X in (dom(Y) + 10) \/ (dom(Y) + 20).

square(X, Y) +: Y in unionof(V, dom(X), {V * V}).

lookup(X, Y) +: Y in switch(X, [1-(10..10), 2-(20..21)]).

mod3(X, Y) +: Y in dom(X) mod 3.

% Cyclic terms are refused, not read for ever.
test(cyclic_expression, ( X = 1 + X, catch(( _ #= X, fail ), error(type_error(acyclic_term, _), _), true) )).
test(cyclic_formula, ( X = (X #\/ _), catch(( X, fail ), error(type_error(acyclic_term, _), _), true) )).
test(cyclic_domain, ( X = (X \/ 1), catch(( _ in X, fail ), error(type_error(acyclic_term, _), _), true) )).
test(cyclic_list, ( X = [_|X], catch(( X ins 1..3, fail ), error(type_error(list, _), _), true) )).
