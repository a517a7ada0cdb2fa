% Loading source files: consult and its variants, directives, modules,
% faults and warnings with their file and line, reconsult, expansion.
% The fixture files are under files/, reached through the alias fixtures
% (LV_LOAD_FIXTURES names the directory), the library through library
% (LV_LIBRARY_DIR); the cases run in order, in a writable working
% directory.

:- dynamic msg/2.

file_search_path(fixtures, Dir) :- prolog:'$getenv'('LV_LOAD_FIXTURES', Dir).

% Errors and warnings are kept, not printed.
message_hook(M, K, _) :- ( K == error ; K == warning ), assertz(msg(K, M)).

% The messages of a goal, each as e(File, Line, ErrorName) or
% w(File, Line, Warning), File without its directory.
load_msgs(Goal, Ms) :-
    retractall(msg(_, _)),
    call(Goal),
    findall(S, ( msg(_, M), summary(M, S) ), Ms).

summary(load_error(F, L, Ball), e(B, L, N)) :-
    base(F, B),
    ( Ball = error(E, _), compound(E) -> functor(E, N, _) ; Ball = error(N, _) -> true ; N = Ball ).
summary(load_warning(F, L, W), w(B, L, S)) :- base(F, B), warning(W, S).

warning(singletons(_, Names), singletons(Names)).
warning(discontiguous(PI), discontiguous(PI)).
warning(redefined_procedure(PI, _), redefined(PI)).
warning(goal_failed(_), goal_failed).

base(F, B) :- once(( sub_atom(F, _, _, 0, B), \+ sub_atom(B, _, _, _, '/') )).

write_file(Name, Clauses) :-
    open(Name, write, S),
    write_clauses(Clauses, S),
    close(S).

wide_file(Name) :-
    open(Name, write, S),
    write(S, 'wide(1).\nw(a'), forall(between(2, 256, _), write(S, ',a')), write(S, ').\nwide(2).\n'),
    close(S).

write_clauses([], _).
write_clauses([C|Cs], S) :- format(S, "~q.~n", [C]), write_clauses(Cs, S).

x(consult, N-C-Ms, (load_msgs(consult(fixtures(plain)), Ms), colours(N), first_colour(C)), [3-red-[]]).
x(list_form, L, ([fixtures(plain), fixtures(hooks)], findall(X, hook(X), L)), [[hooks]]).
x(missing_file, E, catch(consult(fixtures(nowhere)), error(E, _), true),
  [existence_error(source_sink, fixtures(nowhere))]).

% Every directive.
x(directives, Ms, load_msgs(consult(fixtures(directives)), Ms), [[]]).
x(dynamic, X, ( retract(counter(0)), assertz(counter(1)), counter(X) ), [1]).
x(discontiguous, L, findall(X, part(X), L), [[a, b]]).
x(multifile, L, ( consult(fixtures(hooks)), findall(X, hook(X), L) ), [[directives, hooks]]).
x(multifile_reconsult, L, ( consult(fixtures(directives)), findall(X, hook(X), L) ), [[hooks, directives]]).
x(op, P-Y, ( current_op(P, xfx, ===>), rule(===>(1, Y)) ), [700-1]).
x(public, yes, visible, [yes]).
x(block, L, ( retractall(stack(_)), waiting(X), findall(S, stack(S), L0), X = 5, findall(S, stack(S), L1), L = L0-L1 ),
  [[]-[woken(5)]]).
x(double_quotes, T, text(T), [abc]).
x(initialization, L, ( consult(fixtures(directives)), findall(S, stack(S), L) ), [[now, directive, after_load]]).
x(ensure_loaded, N, ( ensure_loaded(fixtures(once)), ensure_loaded(fixtures(once)), findall(x, once_loaded, L), length(L, N) ), [1]).
x(load_files_if, N, ( load_files([fixtures(once)], [if(not_loaded)]), findall(x, once_loaded, L), length(L, N) ), [1]).
x(compile, N, ( compile(fixtures(once)), findall(x, once_loaded, L), length(L, N) ), [2]).
x(load_context, M-B, ( consult(fixtures(context)), context(M, F), base(F, B) ), [user-'context.pl']).
x(absolute_file_name, B, ( absolute_file_name(fixtures(plain), F), base(F, B) ), ['plain.pl']).
x(consult_again, N, ( consult(fixtures(once)), findall(x, once_loaded, L), length(L, N) ), [3]).

% Modules.
x(use_module, Y, ( use_module(fixtures(mod_a)), twice(3, Y) ), [6]).
x(not_exported, E, catch(helper(1, _), error(E, _), true), [existence_error(procedure, helper/2)]).
x(qualified_call, Y, mod_a:helper(2, Y), [4]).
x(goal_runs_in_its_module, L, hidden_caller(L), [[1, 2]]).
x(importing_file, Y-Z, ( consult(fixtures(uses_a)), quad(1, Y), plus_one(1, Z) ), [4-2]).
x(meta_argument, Y, apply_to(add_one, 1, Y), [2]).
x(import_list, Y-E, ( use_module(mod_b:fixtures(mod_a), [twice/2]), mod_b:twice(5, Y),
                      catch(mod_b:apply_to(add_one, 1, _), error(E, _), true) ),
  [10-existence_error(procedure, mod_b:apply_to/3)]).
x(library, M-N, ( use_module(library(lists)), max_list([1, 3, 2], M), lists:sum_list([1, 2], N) ), [3-3]).
x(not_a_module_file, E, catch(use_module(fixtures(plain)), error(E, _), true), [domain_error(module_file, fixtures(plain))]).

% Faults and warnings name the file and the line; the rest of the file loads.
% A source that is not UTF-8 (a Latin-1 e acute in a comment and in a
% quoted atom): each bad byte reported with its line, the clause holding
% it left out, everything after it loaded.
x(invalid_bytes, Ms-L-Lost, ( load_msgs(consult(fixtures(latin1)), Ms), findall(X, kept(X), L),
                              ( catch(lost(_), _, fail) -> Lost = loaded ; Lost = left_out ) ),
  [[e('latin1.pl', 2, syntax_error), e('latin1.pl', 4, syntax_error)]-[1, 2, 3]-left_out]).
x(faults, Ms-L, ( load_msgs(consult(fixtures(faults)), Ms), findall(X, good(X), L) ),
  [[e('faults.pl', 2, syntax_error), e('faults.pl', 4, type_error), e('faults.pl', 5, type_error),
    w('faults.pl', 7, goal_failed)]-[1, 2, 3, 4]]).
% A term of more arguments than a term holds is reported like a syntax
% error, and the load goes on after it.
x(wide_term, Ms-L, ( wide_file('wide.pl'), load_msgs(consult('wide.pl'), Ms), findall(X, wide(X), L) ),
  [[e('wide.pl', 2, representation_error)]-[1, 2]]).
x(warnings, Ms, load_msgs(consult(fixtures(warnings)), Ms),
  [[w('warnings.pl', 1, singletons(['X', 'Y'])), w('warnings.pl', 5, discontiguous(user:w/1))]]).
x(redefined, Ms-L, ( load_msgs(consult(fixtures(redefine)), Ms), findall(C, colour(C), L) ),
  [[w('redefine.pl', 1, redefined(user:colour/1))]-[black]]).
x(include, L-Ms, ( load_msgs(consult(fixtures(includer)), Ms), findall(X, inc(X), L) ),
  [[before, inside, after]-[e('included.pl', 2, syntax_error)]]).

% Loading a file again replaces its clauses.
x(reconsult, L-Ms, ( write_file('reconsult.pl', [r(1), r(2), (s :- r(1))]), consult('reconsult.pl'),
                     write_file('reconsult.pl', [r(3)]), load_msgs(consult('reconsult.pl'), Ms),
                     findall(X, r(X), L) ),
  [[3]-[]]).
x(reconsult_drops, E, catch(s, error(E, _), true), [existence_error(procedure, s/0)]).
x(reconsult_dynamic, L, ( write_file('reconsult.pl', [(:- dynamic d/1), d(1)]), consult('reconsult.pl'), assertz(d(2)),
                          write_file('reconsult.pl', [(:- dynamic d/1), d(3)]), consult('reconsult.pl'),
                          findall(X, d(X), L) ),
  [[3]]).

% term_expansion/2 and goal_expansion/2.
x(expansion, A-B-C-D, ( consult(fixtures(expand)), gen_a(A), gen_b(B),
                        catch(( drop_me, C = defined ), error(existence_error(_, _), _), C = dropped),
                        uses_old(D) ),
  [1-1-dropped-expanded]).

% Grammar rules.
x(dcg, L, ( write_file('grammar.pl', [(greeting --> [hello], who), (who --> [world]), (who --> [prolog])]),
            consult('grammar.pl'), findall(W, phrase(greeting, [hello, W]), L) ),
  [[world, prolog]]).
