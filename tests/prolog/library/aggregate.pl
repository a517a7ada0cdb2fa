% library(aggregate): each aggregate of aggregate_all/3 with and without
% solutions, compound specifications, discriminators and the errors.

p(1, a).
p(3, b).
p(2, c).
p(3, d).

t(count, N, aggregate_all(count, p(_, _), N)).
t(count_none, N, aggregate_all(count, fail, N)).
t(count_check, yes, \+ aggregate_all(count, p(_, _), 3)).
t(sum, S, aggregate_all(sum(X), p(X, _), S)).
t(sum_expr, S, aggregate_all(sum(X * 2), p(X, _), S)).
t(sum_mixed, S, aggregate_all(sum(X), member(X, [1, 2.0]), S)).
t(sum_none, S, aggregate_all(sum(_), fail, S)).
t(max, M, aggregate_all(max(X), p(X, _), M)).
t(max_expr, M, aggregate_all(max(X + 1), p(X, _), M)).
t(max_mixed, M, aggregate_all(max(X), member(X, [1, 2.0]), M)).
t(max_none, yes, \+ aggregate_all(max(_), fail, _)).
t(min, M, aggregate_all(min(X), p(X, _), M)).
t(max_witness, M, aggregate_all(max(X, Y), p(X, Y), M)).
t(min_witness, M, aggregate_all(min(X, Y), p(X, Y), M)).
t(bag, B, aggregate_all(bag(Y), p(_, Y), B)).
t(set, S, aggregate_all(set(X), p(X, _), S)).
t(bag_none, B, aggregate_all(bag(_), fail, B)).
t(compound, R, aggregate_all(count-sum(X), p(X, _), R)).
t(compound_3, R, aggregate_all(r(count, max(X), bag(Y)), p(X, Y), R)).
t(discriminator_count, N, aggregate_all(count, X, p(X, _), N)).
t(discriminator_sum, S, aggregate_all(sum(X), X, p(X, _), S)).
t(discriminator_bag, B, aggregate_all(bag(X), X, p(X, _), B)).
t(max_not_number, x, aggregate_all(max(X), member(X, [a, b]), _)).
t(spec_unknown, x, aggregate_all(foo, p(_, _), _)).
t(spec_var, x, aggregate_all(_, p(_, _), _)).
t(goal_var, x, aggregate_all(count, _, _)).
