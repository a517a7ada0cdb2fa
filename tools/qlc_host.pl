% Runs the compiler on swipl (swipl --traditional), until the runtime runs
% it itself. Usage, through tools/lvqlc:
%   swipl --traditional -q tools/qlc_host.pl -- FACTS_DIR SOURCE.pl OUTPUT.ql [items]
%   swipl --traditional -q tools/qlc_host.pl -- FACTS_DIR --out OUTPUT.ql [--module M] SOURCE.pl...
% FACTS_DIR holds the generated instructions.pl and contract.pl (build/boot).
% With items, OUTPUT holds the clauses' item lists instead (lvc_items_file).
% The second form compiles several files into one quick-load file; M is
% the module of the files that declare none (user by default).
:- initialization(lvc_host_main, main).

lvc_host_dir(Dir) :-
    prolog_load_context(directory, D), !,
    atom_concat(D, '/../boot/', Dir).

:- lvc_host_dir(Dir),
   forall(member(F, [comp_front, comp_gen, comp_asm, comp_driver]),
          ( atom_concat(Dir, F, P), consult(P) )).

lvc_host_main :-
    current_prolog_flag(argv, [Facts|Args]),
    lvc_host_job(Args, Job),
    atom_concat(Facts, '/instructions.pl', Insns),
    atom_concat(Facts, '/contract.pl', Contract),
    consult(Insns),
    consult(Contract),
    catch(Job, lvc_error(E),
          ( print_message(error, format("~q", [E])), halt(1) )).

lvc_host_job(['--out', Out|Args], lvc_compile_files(Files, Module, Out, ql)) :- !,
    (   Args = ['--module', Module|Files] -> true ; Module = user, Files = Args ).
lvc_host_job([In, Out], lvc_compile_file(In, Out, ql)) :- !.
lvc_host_job([In, Out, items], lvc_compile_file(In, Out, items)) :- !.
lvc_host_job(_, _) :-
    print_message(error, format("usage: lvqlc FACTS_DIR SOURCE OUT [items] | FACTS_DIR --out OUT [--module M] SOURCE...", [])),
    halt(2).
