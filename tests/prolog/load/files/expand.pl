term_expansion(gen(N), [gen_a(N), gen_b(N)]).
term_expansion(drop_me, []).
goal_expansion(old_goal(X), new_goal(X)).
gen(1).
drop_me.
new_goal(X) :- X = expanded.
uses_old(X) :- old_goal(X).
