% statistics/0,2 over the engine's '$statistics'/2, and sleep/1.
%
% statistics(Key, Value): the keys below, each made of one or more of the
% engine's figures. Times are milliseconds, sizes bytes. runtime,
% total_runtime and walltime are [Total, SinceLastQuery], each key keeping
% its own last query.

:- module(prolog, [statistics/0, statistics/2, sleep/1]).

statistics(Key, Value) :-
    (   var(Key)
    ->  '$statistics_key'(Key, Parts),
        '$statistics_value'(Parts, Value)
    ;   atom(Key)
    ->  (   '$statistics_key'(Key, Parts)
        ->  '$statistics_value'(Parts, Value)
        ;   '$domain_error'(statistics_key, Key, prolog:statistics(Key, Value), 1)
        )
    ;   '$type_error'(atom, Key, prolog:statistics(Key, Value), 1)
    ).

% '$statistics_key'(Key, Parts): Parts is the engine's key whose value is
% the value, or a list of engine keys whose values make the value's list.
'$statistics_key'(runtime, runtime).
'$statistics_key'(total_runtime, total_runtime).
'$statistics_key'(walltime, walltime).
'$statistics_key'(memory, [memory_used, memory_free]).
'$statistics_key'(global_stack, [global_stack_used, global_stack_free]).
'$statistics_key'(local_stack, [local_stack_used, local_stack_free]).
'$statistics_key'(trail, [trail_used, trail_free]).
'$statistics_key'(choice, [choice_used, choice_free]).
'$statistics_key'(program, [memory_used, memory_free]).
'$statistics_key'(garbage_collection, [gc_count, gc_freed, gc_time]).
'$statistics_key'(stack_shifts, [ss_global, ss_local, ss_choice, ss_time]).
'$statistics_key'(atoms, [atoms_nbused, atoms_used, atoms_nbfree]).
'$statistics_key'(atom_garbage_collection, [agc_count, agc_freed, agc_time]).
'$statistics_key'(defragmentation, [defrag_count, defrag_time]).
'$statistics_key'(dead_clause_collection, [dcgc_count, dcgc_time]).
'$statistics_key'(memory_culprit, memory_culprit).
'$statistics_key'(memory_buckets, memory_buckets).
'$statistics_key'(jit, [jit_count, jit_time]).

'$statistics_value'([], []) :- !.
'$statistics_value'([K|Ks], [V|Vs]) :- !,
    '$statistics'(K, V),
    '$statistics_value'(Ks, Vs).
'$statistics_value'(K, V) :-
    '$statistics'(K, V).

% statistics/0: every figure, as the message statistics(Figures) with
% Figures a list of Key-Value. It is printed as help, which the user asked
% for: --noinfo does not hide it.
statistics :-
    findall(Key-Value, prolog:'$statistics_figure'(Key, Value), Figures),
    print_message(help, statistics(Figures)).

'$statistics_figure'(Key, Value) :-
    '$statistics_key'(Key, Parts),
    '$statistics_value'(Parts, Value).

% The report: times (milliseconds shown as seconds), memory per area in
% bytes, the collectors' work and the atom table.
'$statistics_lines'(statistics(Fs), Lines) :-
    '$statistics_get'(runtime, Fs, [Run, _]),
    '$statistics_get'(total_runtime, Fs, [Total, _]),
    '$statistics_get'(walltime, Fs, [Wall, _]),
    '$statistics_get'(memory, Fs, [MemUsed, MemFree]),
    '$statistics_get'(global_stack, Fs, [GUsed, GFree]),
    '$statistics_get'(local_stack, Fs, [LUsed, LFree]),
    '$statistics_get'(trail, Fs, [TUsed, TFree]),
    '$statistics_get'(choice, Fs, [CUsed, CFree]),
    '$statistics_get'(garbage_collection, Fs, [GcCount, GcFreed, GcTime]),
    '$statistics_get'(stack_shifts, Fs, [SsGlobal, SsLocal, SsChoice, SsTime]),
    '$statistics_get'(atom_garbage_collection, Fs, [AgcCount, AgcFreed, AgcTime]),
    '$statistics_get'(dead_clause_collection, Fs, [DcCount, DcTime]),
    '$statistics_get'(defragmentation, Fs, [DfCount, DfTime]),
    '$statistics_get'(atoms, Fs, [Atoms, AtomBytes, AtomsFree]),
    Area = '~w~t~22|~t~D~14+~t~D~14+ bytes',
    Lines = [ 'Times: ~3d sec. runtime, ~3d sec. total runtime, ~3d sec. elapsed'-[Run, Total, Wall],
              ''-[],
              'Memory~t~22|~t~w~14+~t~w~14+'-['in use', free],
              Area-['  all areas', MemUsed, MemFree],
              Area-['  global stack', GUsed, GFree],
              Area-['  local stack', LUsed, LFree],
              Area-['  trail', TUsed, TFree],
              Area-['  choice stack', CUsed, CFree],
              ''-[],
              'Garbage collections: ~D (~D bytes gained, ~3d sec.)'-[GcCount, GcFreed, GcTime],
              'Stack shifts: ~D global, ~D local, ~D choice (~3d sec.)'-[SsGlobal, SsLocal, SsChoice, SsTime],
              'Atom garbage collections: ~D (~D bytes gained, ~3d sec.)'-[AgcCount, AgcFreed, AgcTime],
              'Dead clause collections: ~D (~3d sec.)'-[DcCount, DcTime],
              'Defragmentations: ~D (~3d sec.)'-[DfCount, DfTime],
              'Atoms: ~D in use (~D bytes), ~D free'-[Atoms, AtomBytes, AtomsFree]
            ].

'$statistics_get'(Key, [K-V|Fs], Value) :-
    (   K == Key -> Value = V ; '$statistics_get'(Key, Fs, Value) ).

% sleep(Seconds): waits Seconds (a number; zero or less does not wait). An
% interrupt ends the engine's wait early: the call that waits again passes
% the event check, so that Ctrl-C and other events run their handlers
% during the sleep, which then goes on to its deadline.
sleep(Seconds) :-
    (   var(Seconds)
    ->  '$instantiation_error'(prolog:sleep(Seconds), 1)
    ;   '$sleep_deadline'(Seconds, Deadline)
    ->  '$sleep_until'(Deadline)
    ;   '$type_error'(number, Seconds, prolog:sleep(Seconds), 1)
    ).

'$sleep_until'(Deadline) :-
    (   '$sleep_wait'(Deadline)
    ->  true
    ;   '$sleep_until'(Deadline)
    ).
