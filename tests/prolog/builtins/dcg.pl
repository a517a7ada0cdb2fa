% Grammar rules: dcg_translate_rule/2 against clauses written from the
% translation rules (boot/dcg.pl), phrase/2,3 runs and their errors.

% Non-terminals written as the clauses their rules translate to:
% as --> [] ; [a], as.   tok(X) --> [X].
as([], S, S).
as([a|T], S0, S) :- S0 = [a|S1], as(T, S1, S).

tok(X, S0, S) :- S0 = [X|S].

x(dcg_terminals, C, dcg_translate_rule((a --> [x, y]), C), [(a(S0, S) :- S0 = [x, y|S])]).
x(dcg_empty, C, dcg_translate_rule((a --> []), C), [(a(S0, S) :- S0 = S)]).
x(dcg_string, C, dcg_translate_rule((a --> "ab"), C), [(a(S0, S) :- S0 = [0'a, 0'b|S])]).
x(dcg_sequence, C, dcg_translate_rule((a --> b, [x], c), C),
  [(a(S0, S) :- b(S0, S1), S1 = [x|S2], c(S2, S))]).
x(dcg_arguments, C, dcg_translate_rule((a(X) --> b(X, 1)), C), [(a(X, S0, S) :- b(X, 1, S0, S))]).
x(dcg_braces, C, dcg_translate_rule((a --> {p}, b), C), [(a(S0, S) :- (p, S0 = S1), b(S1, S))]).
x(dcg_braces_var, C, dcg_translate_rule((a --> {G}), C), [(a(S0, S) :- call(G), S0 = S)]).
x(dcg_braces_cut, C, dcg_translate_rule((a --> b, {!}), C), [(a(S0, S) :- b(S0, S1), (!, S1 = S))]).
x(dcg_cut, C, dcg_translate_rule((a --> b, !, c), C),
  [(a(S0, S) :- b(S0, S1), (!, S1 = S2), c(S2, S))]).
x(dcg_or, C, dcg_translate_rule((a --> b ; [x]), C), [(a(S0, S) :- (b(S0, S) ; S0 = [x|S]))]).
x(dcg_bar, C, dcg_translate_rule((a --> (b | c)), C), [(a(S0, S) :- (b(S0, S) ; c(S0, S)))]).
x(dcg_if_then_else, C, dcg_translate_rule((a --> (b -> c ; d)), C),
  [(a(S0, S) :- (b(S0, S1) -> c(S1, S) ; d(S0, S)))]).
x(dcg_not, C, dcg_translate_rule((a --> \+ b, c), C), [(a(S0, S) :- (\+ b(S0, _), S0 = S1), c(S1, S))]).
x(dcg_call, C, dcg_translate_rule((a --> call(p, x)), C), [(a(S0, S) :- call(p, x, S0, S))]).
x(dcg_var_body, C-B, dcg_translate_rule((a --> B), C), [(a(S0, S) :- phrase(B, S0, S))-B]).
x(dcg_module, C, dcg_translate_rule((a --> m:b), C), [(a(S0, S) :- m:b(S0, S))]).
x(dcg_module_head, C, dcg_translate_rule((m:a --> b), C), [(m:a(S0, S) :- b(S0, S))]).
x(dcg_pushback, C, dcg_translate_rule((a, [p, q] --> b), C), [(a(S0, S) :- b(S0, S1), S = [p, q|S1])]).
x(dcg_not_a_rule, C, dcg_translate_rule((a :- b), C), []).
x(dcg_head_var, C, dcg_translate_rule((_ --> b), C), error(instantiation_error)).
x(dcg_head_number, C, dcg_translate_rule((1 --> b), C), error(type_error(callable, 1))).
x(dcg_body_number, C, dcg_translate_rule((a --> b, 1), C), error(type_error(callable, 1))).
x(dcg_pushback_not_list, C, dcg_translate_rule((a, b --> c), C), error(type_error(list, b))).
x(dcg_partial_terminals, C, dcg_translate_rule((a --> [x|_]), C), error(instantiation_error)).
x(dcg_rule_var, C, dcg_translate_rule(_, C), error(instantiation_error)).
% A translated rule runs as its clause.
x(dcg_translated_runs, R, (dcg_translate_rule((g --> [x], ([y] ; {true}), [z]), (H :- B)),
                           H = g([x, z, w], R), call(B)), [[w]]).

% Translated rules run as their clauses, against the reference system's
% translation.
dcg_run(Rule, In, Out) :-
    dcg_translate_rule(Rule, (H :- B)),
    H = g(In, Out),
    call(B).

t(run_pushback, R, dcg_run((g, [p] --> [x]), [x, y], R)).
t(run_cut, R, dcg_run((g --> ([a] ; []), !), [a, b], R)).
t(run_not, R, dcg_run((g --> \+ [y], [x]), [x, z], R)).
t(run_not_fails, R, dcg_run((g --> \+ [x], [x]), [x], R)).
t(run_if_then_else, R, dcg_run((g --> ([a] -> [b] ; [c])), [c, d], R)).
t(run_braces, X-R, dcg_run((g --> {X = 1}, [X]), [1, 2], R)).
t(run_call, R, dcg_run((g --> call(tok, q)), [q], R)).
t(run_alternatives, R, dcg_run((g --> [a] ; [a, b] ; []), [a, b], R)).

t(phrase_terminals, yes, phrase([a, b], [a, b])).
t(phrase_open, L, phrase([a, b], L)).
t(phrase_rest, R, phrase([a], [a, b], R)).
t(phrase_fails, yes, \+ phrase([a], [b])).
t(phrase_or, L, phrase(([a] ; [b]), L)).
t(phrase_nonterminal, X-R, phrase(as(X), [a, a], R)).
t(phrase_nonterminal_all, X, phrase(as(X), [a, a])).
t(phrase_braces, X-L, phrase({X = 1}, L)).
t(phrase_not, R, phrase(\+ [a], [b], R)).
t(phrase_if_then_else, L, phrase(([a] -> [b] ; [c]), [a|L])).
t(phrase_cut, X, phrase((as(X), !), [a, a], _)).
t(phrase_call, R, phrase(call(tok, a), [a, b], R)).
t(phrase_qualified, X, phrase(user:tok(X), [q])).
t(phrase_codes, yes, phrase("ab", [0'a, 0'b])).
t(phrase_var, x, phrase(_, [])).
t(phrase_not_callable, x, phrase(1, [])).
t(phrase_list_not_list, x, phrase([a], a)).
t(phrase_rest_not_list, x, phrase([a], [a], b)).
t(phrase3_var, x, phrase(_, [], [])).
