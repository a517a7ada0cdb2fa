% Runs the compiler on swipl (swipl --traditional), until the runtime runs
% it itself. Usage, through tools/lvqlc:
%   swipl --traditional -q tools/qlc_host.pl -- FACTS_DIR SOURCE.pl OUTPUT.ql [items]
% FACTS_DIR holds the generated instructions.pl and contract.pl (build/boot).
% With items, OUTPUT holds the clauses' item lists instead (lvc_items_file).
:- initialization(lvc_host_main, main).

lvc_host_dir(Dir) :-
    prolog_load_context(directory, D), !,
    atom_concat(D, '/../boot/', Dir).

:- lvc_host_dir(Dir),
   forall(member(F, [comp_front, comp_gen, comp_asm, comp_driver]),
          ( atom_concat(Dir, F, P), consult(P) )).

lvc_host_main :-
    current_prolog_flag(argv, [Facts, In, Out|Form0]),
    ( Form0 = [items] -> Form = items ; Form = ql ),
    atom_concat(Facts, '/instructions.pl', Insns),
    atom_concat(Facts, '/contract.pl', Contract),
    consult(Insns),
    consult(Contract),
    catch(lvc_compile_file(In, Out, Form), lvc_error(E),
          ( print_message(error, format("~q", [E])), halt(1) )).
