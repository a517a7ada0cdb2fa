% statistics/2 and the system built-ins (this system's own: the answers are
% written here).

% statistics/2: each key and the shape of its value.
stat_shape(runtime, [t, t]).
stat_shape(total_runtime, [t, t]).
stat_shape(walltime, [t, t]).
stat_shape(memory, [n, n]).
stat_shape(global_stack, [n, n]).
stat_shape(local_stack, [n, n]).
stat_shape(trail, [n, n]).
stat_shape(choice, [n, n]).
stat_shape(program, [n, n]).
stat_shape(garbage_collection, [n, n, n]).
stat_shape(stack_shifts, [n, n, n, n]).
stat_shape(atoms, [n, n, n]).
stat_shape(atom_garbage_collection, [n, n, n]).
stat_shape(defragmentation, [n, n]).
stat_shape(dead_clause_collection, [n, n]).
stat_shape(jit, [n, n]).

stat_fits([], []).
stat_fits([V|Vs], [_|Ss]) :- integer(V), V >= 0, stat_fits(Vs, Ss).

x(statistics_keys, K, (stat_shape(K, S), statistics(K, V), \+ stat_fits(V, S)), []).
x(statistics_enumerates, N, (findall(K, statistics(K, _), Ks), length(Ks, N)), [18]).
x(statistics_culprit, yes, (statistics(memory_culprit, C), integer(C)), [yes]).
x(statistics_buckets, N, (statistics(memory_buckets, B), functor(B, _, N)), [28]).
x(statistics_runtime_grows, yes, (statistics(runtime, [T0, _]), statistics(runtime, [T1, D]), T1 >= T0, D =< T1), [yes]).
x(statistics_walltime_since, yes, (statistics(walltime, _), statistics(walltime, [T, D]), D =< T), [yes]).
x(statistics_stack_used, yes, (statistics(global_stack, [U0, _]), length(L, 1000), statistics(global_stack, [U1, _]), L \== [], U1 > U0), [yes]).
x(statistics_unknown_key, x, statistics(no_such_key, _), error(domain_error(statistics_key, no_such_key))).
x(statistics_not_atom, x, statistics(1, _), error(type_error(atom, 1))).
x(engine_unknown_key, V, prolog:'$statistics'(no_such_key, V), [[]]).
x(engine_integer_key, x, prolog:'$statistics'(1, _), []).
x(engine_atoms, yes, (prolog:'$statistics'(atoms_nbused, U), prolog:'$statistics'(atoms_nbfree, F), U + F =:= 33554431), [yes]).

% The system built-ins of module prolog (the built-in table and the modules
% alignments and structs are tested with a started runtime, in C++).
x(version_current, yes, (prolog:'$version'(1040900) -> true), [yes]).
x(digest_empty, D-H, prolog:'$message_digest'([], D, H),
  [[212, 29, 140, 217, 143, 0, 178, 4, 233, 128, 9, 152, 236, 248, 66, 126]-1583707451]).
x(digest_abc, D, prolog:'$message_digest'([97, 98, 99], D, _),
  [[144, 1, 80, 152, 60, 210, 79, 176, 214, 150, 63, 125, 40, 225, 127, 114]]).
x(digest_low_byte, yes, (prolog:'$message_digest'([353], D, _), prolog:'$message_digest'([97], D, _)), [yes]).
x(digest_partial_list, x, prolog:'$message_digest'([97|_], _, _), []).
x(counter_bounds, yes, (prolog:'$bump_counter'(0), prolog:'$bump_counter'(42), prolog:'$bump_counter'(1)), [yes]).
x(lv_malloc, yes, (prolog:'$LV_malloc'(16, A), prolog:'$LV_realloc'(A, 64, B), prolog:'$LV_free'(B)), [yes]).
x(checkalloc, yes, (prolog:'$checkalloc'(24, A), prolog:'$checkrealloc'(A, 24, 48, B), prolog:'$checkdealloc'(B, 48)), [yes]).
x(lowdbg, Old, (prolog:'$lowdbg'(_, 66051), prolog:'$lowdbg'(Old, 0)), [66051]).
x(fixed_answers, V-D-P-J, (prolog:'$running_on_valgrind'(V), prolog:'$lv_DBG'(D), prolog:'$jit_preload_fail'(P), prolog:'$jit_use_lq_stq'(J)),
  [0-0-no-no]).
x(getenv_unset, x, prolog:'$getenv'('LV_TEST_SURELY_UNSET_SETTING', _), []).
x(failing_builtins, x, ( prolog:'$inferences'(_, _, _, _) ; prolog:'$invariant_checking_enabled' ; prolog:'$iso_clause_body_guard' ), []).
x(local_stack_avail, yes, (prolog:'$local_stack_avail'(N), integer(N), N > 0), [yes]).
x(statistics_0, yes, (statistics -> true), [yes]).
x(statistics_report_lines, N, (findall(K-V, prolog:'$statistics_figure'(K, V), Fs), prolog:'$message_lines'(statistics(Fs), Ls), length(Ls, N)), [15]).

% sleep/1: no wait for zero or less, at least the time asked otherwise.
x(sleep_zero, yes, (sleep(0) -> true), [yes]).
x(sleep_negative, S, ((S = -1 ; S = -0.5 ; S = -100000000000000000000000), sleep(S)), [-1, -0.5, -100000000000000000000000]).
x(sleep_waits, yes, (statistics(walltime, _), sleep(0.1), statistics(walltime, [_, D]), D >= 99), [yes]).
x(sleep_var, x, sleep(_), error(instantiation_error)).
x(sleep_atom, x, sleep(a), error(type_error(number, a))).
x(sleep_compound, x, sleep(f(1)), error(type_error(number, f(1)))).
