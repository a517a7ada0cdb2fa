% Loading source files: consult/1, [F], load_files/1,2, ensure_loaded/1,
% compile/1, use_module/1,2, include/1 and the directives a file holds; the
% file user is the terminal (user_input).
%
% A file is read clause by clause. Each term goes through
% user:term_expansion/2 (when defined) and DCG translation, each body and
% directive goal through user:goal_expansion/2. A clause of a static
% predicate is compiled in memory ($make_bytecode_object, then
% $compiled_clause) with the file as its source key; a clause of a dynamic
% predicate is added with assertz/1. A directive runs when it is read,
% except initialization/1, whose goal runs once the file is loaded.
%
% Loading a file again replaces what it defined: the first time a load meets
% a predicate (a clause or a declaration), the predicate's old definition
% is removed, or, for a multifile predicate, only the clauses this file
% gave it. A predicate that another file defined is redefined with a
% warning.
%
% Faults do not end a load: a syntax error, or an error raised while a
% clause is compiled or a directive runs, is printed with the file and the
% line (print_message/2) and loading goes on with the next clause. So are
% the warnings: singleton variables, clauses of a predicate not together
% (without a discontiguous declaration), redefinitions, failed directives.
%
% Modules: a file whose first term is :- module(M, Exports) is the module
% file of M; its clauses go to M, and the module that loads it imports the
% exports. Other files load into the module of the file that loads them
% (user from the top). Loading state: the stack of files being loaded,
% '$load_stack'([ld(File, Module, Directory)|...]).

:- module(prolog, [
    consult/1, '.'/2, load_files/1, load_files/2, ensure_loaded/1, compile/1, include/1,
    use_module/1, use_module/2, prolog_load_context/2, source_file/1
]).

:- meta_predicate consult(:), load_files(:), load_files(:, ?), ensure_loaded(:), compile(:),
    use_module(:), use_module(:, ?).

:- dynamic '$load_stack'/1, '$loaded_file'/2, '$module_file'/3, '$load_seen'/2, '$load_last'/2,
    '$load_decl'/3, '$load_init'/3, '$pred_file'/2, '$load_included'/2.

% '$loaded_file'(File, Module): File was loaded into Module.
% '$module_file'(Module, File, Exports): File is the module file of Module.
% '$load_seen'(File, M:N/A): the load of File in progress met M:N/A.
% '$load_last'(File, M:N/A): the predicate of its last clause.
% '$load_decl'(File, M:N/A, Decl): declared discontiguous, or warned of.
% '$load_init'(File, Goal, Line): initialization goals to run after the load.
% '$pred_file'(M:N/A, File): the file that defines a static predicate.

consult(Files) :- '$load'(Files, [], prolog:consult(Files)).
compile(Files) :- '$load'(Files, [], prolog:compile(Files)).
[File|Files] :- '$load'(user:[File|Files], [], prolog:consult([File|Files])).
load_files(Files) :- '$load'(Files, [], prolog:load_files(Files)).
load_files(Files, Options) :-
    Ctx = prolog:load_files(Files, Options),
    '$load_must_be_list'(Options, Ctx, 2),
    '$load'(Files, Options, Ctx).
ensure_loaded(Files) :- '$load'(Files, [if(not_loaded)], prolog:ensure_loaded(Files)).
use_module(Files) :- '$load'(Files, [if(not_loaded), must_be_module(true)], prolog:use_module(Files)).
use_module(Files, Imports) :-
    Ctx = prolog:use_module(Files, Imports),
    '$load_must_be_list'(Imports, Ctx, 2),
    '$load'(Files, [if(not_loaded), must_be_module(true), imports(Imports)], Ctx).

% include/1 called as a goal: only a directive includes.
include(File) :- '$error'(permission_error(include, source_sink, File), prolog:include(File), 1).

'$load_must_be_list'(L, Ctx, Arg) :-
    '$must_be_partial_list'(L, Ctx, Arg),
    (   '$load_proper_list'(L) -> true ; '$instantiation_error'(Ctx, Arg) ).

'$load_proper_list'(L) :- L == [], !.
'$load_proper_list'(L) :- nonvar(L), L = [_|T], '$load_proper_list'(T).

% '$load'(Module:Files, Options, Ctx): each file of Files (one or a list).
'$load'(Spec0, Options, Ctx) :-
    '$strip_module'(Spec0, M, Spec),
    (   var(Spec) -> '$instantiation_error'(Ctx, 1) ; true ),
    (   Spec == [] -> true
    ;   Spec = [_|_] -> '$load_must_be_list'(Spec, Ctx, 1), '$load_list'(Spec, M, Options, Ctx)
    ;   '$load_one'(Spec, M, Options, Ctx)
    ).

'$load_list'([], _, _, _).
'$load_list'([F|Fs], M, Options, Ctx) :-
    '$load_one'(F, M, Options, Ctx),
    '$load_list'(Fs, M, Options, Ctx).

'$load_one'(Spec, M, _, _) :-
    Spec == user, !,
    '$load_user'(M).
'$load_one'(Spec, M, Options, Ctx) :-
    (   var(Spec) -> '$instantiation_error'(Ctx, 1) ; true ),
    '$load_relative_dir'(Dir),
    (   '$source_file'(Spec, Dir, File) -> true
    ;   '$error'(existence_error(source_sink, Spec), Ctx, 1)
    ),
    (   '$load_member'(if(not_loaded), Options), '$loaded_file'(File, _) -> true
    ;   '$load_file'(File, M)
    ),
    (   '$module_file'(FM, File, Exports)
    ->  (   '$load_member'(imports(Imports), Options) -> true ; Imports = Exports ),
        '$load_import'(M, FM, Imports, Ctx)
    ;   '$load_member'(must_be_module(true), Options)
    ->  '$error'(domain_error(module_file, Spec), Ctx, 1)
    ;   true
    ).

'$load_member'(X, [Y|Ys]) :- ( X = Y -> true ; '$load_member'(X, Ys) ).

% Module Into imports Imports (Name/Arity terms) from module From.
'$load_import'(Into, From, Imports, Ctx) :-
    (   Into == From -> true
    ;   '$import_specs'(Imports, Specs, Ctx),
        '$import_preds'(Into, From, Specs)
    ).

'$import_specs'([], [], _).
'$import_specs'([S|Ss], [S|Ts], Ctx) :-
    (   nonvar(S), S = N/A, atom(N), integer(A) -> true
    ;   '$type_error'(predicate_indicator, S, Ctx, 2)
    ),
    '$import_specs'(Ss, Ts, Ctx).

% Loading one file into module M. The file's own module is M unless it is
% a module file. Source text is UTF-8, as the compiler reads it.
'$load_file'(File, M) :-
    '$load_begin'(File, M),
    '$directory_path'(File, Dir),
    open(File, read, S, [encoding(utf8)]),
    '$push_load'(ld(File, M, Dir)),
    catch(( '$load_terms'(S, File, M, first) -> true ; true ), Ball, true),
    '$pop_load',
    close(S),
    (   var(Ball) -> true ; throw(Ball) ),
    '$load_end'(File).

% consult(user), [user]: clauses and directives read from user_input up to
% its end of file, into module M; they have the source user, so that
% consulting user again replaces them. Relative names in them are taken
% from the working directory.
'$load_user'(M) :-
    '$load_begin'(user, M),
    '$push_load'(ld(user, M, '.')),
    catch(( '$load_terms'(user_input, user, M, first) -> true ; true ), Ball, true),
    '$pop_load',
    (   var(Ball) -> true ; throw(Ball) ),
    '$load_end'(user).

'$push_load'(E) :-
    (   retract('$load_stack'(Es)) -> true ; Es = [] ),
    assertz('$load_stack'([E|Es])).

'$pop_load' :-
    (   retract('$load_stack'([_|Es])) -> assertz('$load_stack'(Es)) ; true ).

% The module of the file being loaded changes with its module/2 directive.
'$set_load_module'(M) :-
    (   retract('$load_stack'([ld(F, _, D)|Es])) -> assertz('$load_stack'([ld(F, M, D)|Es])) ; true ).

'$load_begin'(File, M) :-
    retractall('$loaded_file'(File, _)),
    assertz('$loaded_file'(File, M)),
    retractall('$load_seen'(File, _)),
    retractall('$load_last'(File, _)),
    retractall('$load_decl'(File, _, _)),
    retractall('$load_init'(File, _, _)).

% After the load: the predicates the file no longer defines are removed,
% then the initialization goals run, in order.
'$load_end'(File) :-
    '$unload_dropped'(File),
    findall(init(G, L), retract('$load_init'(File, G, L)), Goals),
    retractall('$load_seen'(File, _)),
    retractall('$load_last'(File, _)),
    retractall('$load_decl'(File, _, _)),
    '$run_inits'(Goals, File).

% The predicates the file defined before and defines no more go.
'$unload_dropped'(File) :-
    findall(PI, ( '$pred_file'(PI, File), \+ '$load_seen'(File, PI) ), Dropped),
    '$unload_preds'(Dropped, File).

'$unload_preds'([], _).
'$unload_preds'([M:N/A|PIs], File) :-
    retractall('$pred_file'(M:N/A, File)),
    '$abolish'(N/A, M),
    '$unload_preds'(PIs, File).

'$run_inits'([], _).
'$run_inits'([init(G, L)|Gs], File) :-
    '$load_run_goal'(G, File, L),
    '$run_inits'(Gs, File).

% '$load_terms'(Stream, File, Module, Position): Position is first until
% the first term is read (a module/2 directive is taken only there).
'$load_terms'(S, File, M, Pos) :-
    '$skip_layout'(S, File),
    '$stream_arg'(S, prolog:consult(File), 1, A),
    '$stream_count'(A, _, _, Lines, _),
    Line is Lines + 1,
    catch(read_term(S, T, [singletons(Singles), syntax_errors(error), '$lines'(LineTree)]), Ball, true),
    (   var(Ball)
    ->  (   T == end_of_file -> true
        ;   ( '$source_info_on' -> '$bb_put'(prolog, '$clause_lines', LineTree) ; true ),
            '$load_term'(T, Singles, File, Line, M, M1, Pos),
            '$load_terms'(S, File, M1, later)
        )
    ;   '$load_fault'(Ball, File, Line),
        % Reading goes on after a fault of the text, which the reader has
        % read past; any other error ends the file.
        (   '$text_fault'(Ball) -> '$load_terms'(S, File, M, later)
        ;   true
        )
    ).

% Layout and line comments before a term are skipped, so that its line is
% the line of its first token. Bytes that make no character of the
% source's encoding are reported there with their line, and skipped.
'$skip_layout'(S, File) :-
    '$load_code'(peek_code, S, File, C),
    (   C =:= 0'% -> '$skip_line'(S, File), '$skip_layout'(S, File)
    ;   C >= 0, C =< 32 -> get_code(S, _), '$skip_layout'(S, File)
    ;   true
    ).

'$skip_line'(S, File) :-
    '$load_code'(get_code, S, File, C),
    (   C =:= -1 -> true ; C =:= 0'\n -> true ; '$skip_line'(S, File) ).

'$load_code'(get_code, S, _, C) :- '$get_code_fast'(S, _, C0), !, C = C0.
'$load_code'(peek_code, S, _, C) :- '$peek_code_fast'(S, _, C0), !, C = C0.
'$load_code'(Get, S, File, C) :-
    catch(call(Get, S, C0), error(representation_error(encoding), _), C0 = invalid),
    (   C0 == invalid
    ->  '$stream_arg'(S, prolog:consult(File), 1, A),
        '$stream_count'(A, _, _, Lines, _),
        Line is Lines + 1,
        '$load_fault'(error(syntax_error(invalid_byte_sequence), 0), File, Line),
        C = 0xFFFD
    ;   C = C0
    ).

% A term read: expanded, then each clause or directive it gives handled.
'$load_term'(T, Singles, File, Line, M, M1, Pos) :-
    catch('$load_expand_term'(T, M, Ts), Ball, ( '$load_fault'(Ball, File, Line), Ts = [] )),
    '$load_expanded'(Ts, T, Singles, File, Line, M, M1, Pos).

'$load_expanded'([], _, _, _, _, M, M, _).
'$load_expanded'([T|Ts], T0, Singles, File, Line, M, M2, Pos) :-
    catch(( '$load_item'(T, T0, Singles, File, Line, M, M1, Pos) -> true ; M1 = M ), Ball,
          ( '$load_fault'(Ball, File, Line), M1 = M )),
    '$load_expanded'(Ts, T0, Singles, File, Line, M1, M2, later).

'$load_item'(T, _, _, File, Line, M, M1, Pos) :-
    nonvar(T), T = (:- D), !,
    '$load_directive'(D, File, Line, M, M1, Pos).
'$load_item'(T, T0, Singles, File, Line, M, M, _) :-
    '$load_clause'(T, T0, Singles, File, Line, M).

% ---------------------------------------------------------------------------
% Clauses

'$load_clause'(T, T0, Singles, File, Line, M) :-
    (   var(T) -> '$instantiation_error'(prolog:consult(File), 1) ; true ),
    '$clause_head'(T, M, CM, Head, Body),
    functor(Head, N, A),
    PI = CM:N/A,
    '$load_meet'(PI, Head, File, Line),
    '$check_discontiguous'(PI, File, Line),
    (   T == T0 -> '$singleton_warning'(Singles, PI, File, Line) ; true ),
    '$load_expand_body'(Body, M, Body1),
    (   CM == M -> Body2 = Body1 ; Body2 = M:Body1 ),
    '$clause_source'(T, T0, Line, Body, Body1, Source),
    (   '$is_dynamic'(CM, Head)
    ->  assertz(CM:(Head :- Body2), Ref),
        '$instance_source'(Ref, _, File),
        (   Source = lines(HL, BL, BT, _)
        ->  % The table's built-in is the development system's.
            catch(( '$new_table_interp'([HL, BL, BT], Ref) -> true ; true ), error(existence_error(_, _), _), true)
        ;   true
        )
    ;   '$compile_clause'(M, (CM:Head :- Body1), File, Source)
    ).

% Source positions, kept while the flag source_info is on: the lines of
% the clause as read (its tree of lines, '$lines' of read_term/3, left on
% the blackboard by '$load_terms'), for a clause that expansion left as it
% was. Source is none, or lines(HeadLine, BodyLine, BodyTree, Goals) with
% Goals the body's goals as Goal-Line in source order.
'$source_info_on' :- current_prolog_flag(source_info, V), V \== off.

'$clause_source'(T, T0, Line, Body, Body1, Source) :-
    (   '$source_info_on'
    ->  (   T == T0, '$bb_get'(prolog, '$clause_lines', Tree) -> true ; Tree = Line ),
        (   nonvar(T), T = (_ :- _), Tree = [_, HT, BT0] -> true ; HT = Tree, BT0 = 0 ),
        '$tree_line'(HT, Line, HL),
        '$tree_line'(BT0, HL, BL),
        ( Body1 == Body -> BT = BT0 ; BT = BL ),
        '$body_goals'(Body1, BT, Goals, []),
        Source = lines(HL, BL, BT, Goals)
    ;   Source = none
    ).

'$tree_line'(Tree, Default, Line) :-
    (   integer(Tree), Tree > 0 -> Line = Tree
    ;   Tree = [L|_], integer(L), L > 0 -> Line = L
    ;   Line = Default
    ).

'$body_goals'(G, _, Gs, Gs) :- var(G), !.
'$body_goals'(_:G, T, Gs0, Gs) :- !, '$tree_arg'(T, 2, GT), '$body_goals'(G, GT, Gs0, Gs).
'$body_goals'(G, T, Gs0, Gs) :-
    '$control'(G), !,
    functor(G, _, A),
    '$body_args'(1, A, G, T, Gs0, Gs).
'$body_goals'(G, T, [G-L|Gs], Gs) :- '$tree_line'(T, [], L).

'$control'((_, _)).
'$control'((_ ; _)).
'$control'((_ -> _)).
'$control'((_ *-> _)).
'$control'(\+ _).

'$body_args'(I, A, _, _, Gs, Gs) :- I > A, !.
'$body_args'(I, A, G, T, Gs0, Gs) :-
    arg(I, G, X),
    '$tree_arg'(T, I, XT),
    '$body_goals'(X, XT, Gs0, Gs1),
    I1 is I + 1,
    '$body_args'(I1, A, G, T, Gs1, Gs).

% The tree of argument I: a bare line stands for all its parts.
'$tree_arg'(T, I, XT) :-
    (   T = [_|Ts], '$nth_tree'(I, Ts, XT0) -> XT = XT0 ; XT = T ).

'$nth_tree'(1, [T|_], T) :- !.
'$nth_tree'(I, [_|Ts], T) :- I > 1, I1 is I - 1, '$nth_tree'(I1, Ts, T).

% The module, head and body of a clause: a head Module:Head belongs to
% Module; the body runs in the module the clause is read in.
'$clause_head'(T, M, CM, Head, Body) :-
    (   nonvar(T), T = (H0 :- B) -> Body = B ; H0 = T, Body = true ),
    '$strip_module'(H0, M, CM, Head),
    (   var(Head) -> '$instantiation_error'(0, 0)
    ;   callable(Head) -> true
    ;   '$type_error'(callable, Head, 0, 0)
    ),
    (   atom(CM) -> true ; '$type_error'(atom, CM, 0, 0) ).

'$is_dynamic'(M, Head) :-
    '$predicate_property'(Head, _, Bits, M, Home),
    Home \== prolog,
    Bits /\ 2 =\= 0.

% A clause compiled in memory and added to its predicate; the file is its
% source key, so that loading the file again finds it. With source lines
% the block keeps the head's line and each call's line.
'$compile_clause'(M, Clause, File, Source) :-
    catch(lvc_compile_clause(Clause, lvc_ctx(M, '$no_module', []), Unit), lvc_error(E),
          throw(error(compile_error(E), _))),
    Unit = cunit(Spec, Bits, Key, _, _),
    lvc_unit_items(Unit, Size, Items0),
    (   Source = lines(HL, _, _, Goals)
    ->  Clause = (_:Head :- _),
        lvc_source_items(Unit, Head, HL, Goals, SourceItems),
        lvc_append(Items0, SourceItems, Items)
    ;   Items = Items0
    ),
    (   '$make_bytecode_object'(Size, Items, File, [], Ref),
        '$compiled_clause'(Spec, Ref, _, k(Bits, Key))
    ->  true
    ;   throw(error(compile_error(not_loaded(Spec)), _))
    ).

% The first time a load meets a predicate, its old definition goes: all of
% it, or for a multifile predicate the clauses of this file.
'$load_meet'(PI, Head, File, Line) :-
    (   '$load_seen'(File, PI) -> true
    ;   assertz('$load_seen'(File, PI)),
        '$redefine'(PI, Head, File, Line)
    ).

'$redefine'(M:N/A, Head, File, Line) :-
    (   '$predicate_property'(Head, _, Bits, M, Home), Home \== prolog, Bits /\ 4 =\= 0
    ->  '$multifile_retractall'(Head, M, [File])
    ;   (   '$pred_file'(M:N/A, Old), Old \== File,
            '$predicate_property'(Head, _, _, M, M)
        ->  '$load_warning'(redefined_procedure(M:N/A, Old), File, Line)
        ;   true
        ),
        retractall('$pred_file'(M:N/A, _)),
        assertz('$pred_file'(M:N/A, File)),
        (   '$predicate_property'(Head, _, _, M, prolog), M \== prolog
        ->  '$error'(permission_error(modify, static_procedure, N/A), prolog:consult(File), 1)
        ;   '$define_predicate'(M:N/A, compactcode) -> true
        ;   '$error'(permission_error(modify, static_procedure, M:N/A), prolog:consult(File), 1)
        )
    ).

'$check_discontiguous'(PI, File, Line) :-
    (   '$load_last'(File, Last) -> true ; Last = none ),
    (   Last == PI -> true
    ;   retractall('$load_last'(File, _)),
        assertz('$load_last'(File, PI)),
        (   Last \== none, '$load_decl'(File, PI, clauses),
            \+ '$load_decl'(File, PI, discontiguous),
            \+ '$load_decl'(File, PI, warned),
            '$discontiguous_flag'(on, on)
        ->  assertz('$load_decl'(File, PI, warned)),
            '$load_warning'(discontiguous(PI), File, Line)
        ;   true
        ),
        (   '$load_decl'(File, PI, clauses) -> true ; assertz('$load_decl'(File, PI, clauses)) )
    ).

'$singleton_warning'(Singles, PI, File, Line) :-
    '$named_singletons'(Singles, Names),
    (   Names \== [], '$single_var_flag'(on, on)
    ->  '$load_warning'(singletons(PI, Names), File, Line)
    ;   true
    ).

'$named_singletons'([], []).
'$named_singletons'([Name = _|Ss], Names) :-
    (   sub_atom(Name, 0, 1, _, '_') -> Names = Names1 ; Names = [Name|Names1] ),
    '$named_singletons'(Ss, Names1).

% ---------------------------------------------------------------------------
% Directives

'$load_directive'(D, File, Line, M, M1, Pos) :-
    (   var(D) -> '$instantiation_error'(prolog:(:- D), 1) ; true ),
    (   D = module(Name, Exports)
    ->  (   Pos == first -> '$declare_module'(Name, Exports, File, M), M1 = Name
        ;   M1 = M, '$error'(permission_error(declare, module, Name), prolog:(:- D), 1)
        )
    ;   M1 = M,
        '$load_expand_goal'(D, M, D1),
        '$load_directive'(D1, File, Line, M)
    ).

% A module file: the module is declared with its exports, and the module
% that loads the file imports them when the load ends ('$load_one').
'$declare_module'(Name, Exports, File, _) :-
    Ctx = prolog:module(Name, Exports),
    '$must_be_atom'(Name, Ctx, 1),
    '$load_must_be_list'(Exports, Ctx, 2),
    '$export_specs'(Exports, Specs, Ctx),
    (   '$module_file'(Name, Other, _), Other \== File
    ->  '$error'(permission_error(redefine, module, Name), Ctx, 1)
    ;   true
    ),
    retractall('$module_file'(Name, _, _)),
    assertz('$module_file'(Name, File, Specs)),
    '$module'(Name, Specs, false, []),
    '$set_load_module'(Name).

% Exports: Name/Arity, and op(P, T, N), which is declared at once.
'$export_specs'([], [], _).
'$export_specs'([E|Es], Specs, Ctx) :-
    (   nonvar(E), E = op(P, T, N) -> op(P, T, N), Specs = Specs1
    ;   nonvar(E), E = N/A, atom(N), integer(A) -> Specs = [E|Specs1]
    ;   nonvar(E), E = N//A0, atom(N), integer(A0) -> A is A0 + 2, Specs = [N/A|Specs1]
    ;   '$type_error'(predicate_indicator, E, Ctx, 2)
    ),
    '$export_specs'(Es, Specs1, Ctx).

'$load_directive'(D, _, _, _) :- var(D), !, '$instantiation_error'(prolog:(:- D), 1).
'$load_directive'(dynamic(Specs), File, Line, M) :- !,
    '$load_declare'(Specs, M, File, Line, dynamic).
'$load_directive'(discontiguous(Specs), File, Line, M) :- !,
    '$load_declare'(Specs, M, File, Line, discontiguous).
'$load_directive'(multifile(Specs), File, Line, M) :- !,
    '$load_declare'(Specs, M, File, Line, multifile).
'$load_directive'(public(Specs), File, Line, M) :- !,
    '$load_declare'(Specs, M, File, Line, public).
'$load_directive'(meta_predicate(Heads), File, Line, M) :- !,
    '$load_declare'(Heads, M, File, Line, meta_predicate).
'$load_directive'(block(Heads), File, Line, M) :- !,
    '$load_declare'(Heads, M, File, Line, block).
'$load_directive'(initialization(G), File, Line, M) :- !,
    assertz('$load_init'(File, M:G, Line)).
'$load_directive'(initialization(G, When), File, Line, M) :- !,
    (   When == now -> '$load_run_goal'(M:G, File, Line)
    ;   When == after_load -> assertz('$load_init'(File, M:G, Line))
    ;   '$error'(domain_error(initialization_time, When), prolog:initialization(G, When), 2)
    ).
'$load_directive'(include(F), File, Line, M) :- !,
    '$load_include'(F, File, Line, M).
'$load_directive'(ensure_loaded(F), _, _, M) :- !, ensure_loaded(M:F).
'$load_directive'(use_module(F), _, _, M) :- !, use_module(M:F).
'$load_directive'(use_module(F, Is), _, _, M) :- !, use_module(M:F, Is).
'$load_directive'(G, File, Line, M) :-
    '$load_run_goal'(M:G, File, Line).

% A goal of a directive: its failure is a warning, its error printed.
'$load_run_goal'(G, File, Line) :-
    (   catch(G, Ball, '$load_fault'(Ball, File, Line)) -> true
    ;   '$load_warning'(goal_failed(G), File, Line)
    ).

% Declarations: Specs is one, a conjunction or a list.
'$load_declare'(Specs, M, File, Line, Kind) :-
    '$decl_list'(Specs, L),
    '$declare_each'(L, M, File, Line, Kind).

'$decl_list'(X, _) :- var(X), !, '$instantiation_error'(prolog:(:- X), 1).
'$decl_list'((A, B), L) :- !, '$decl_list'(A, L1), '$decl_list'(B, L2), '$load_append'(L1, L2, L).
'$decl_list'([], []) :- !.
'$decl_list'([X|Xs], L) :- !, '$decl_list'(X, L1), '$decl_list'(Xs, L2), '$load_append'(L1, L2, L).
'$decl_list'(X, [X]).

'$load_append'([], L, L).
'$load_append'([X|Xs], L, [X|Ys]) :- '$load_append'(Xs, L, Ys).

'$declare_each'([], _, _, _, _).
'$declare_each'([S|Ss], M, File, Line, Kind) :-
    catch('$declare_one'(Kind, S, M, File, Line), Ball, '$load_fault'(Ball, File, Line)),
    '$declare_each'(Ss, M, File, Line, Kind).

'$declare_one'(Kind, S, M0, File, Line) :-
    '$strip_module'(S, M0, M, S1),
    (   '$decl_spec'(Kind, S1, N, A) -> true
    ;   '$type_error'(predicate_indicator, S, prolog:(:- Kind), 1)
    ),
    functor(Head, N, A),
    '$declare_pred'(Kind, M, N, A, S1, Head, File, Line).

'$decl_spec'(Kind, H, N, A) :-
    (   Kind == (meta_predicate) ; Kind == (block) ), !,
    callable(H), functor(H, N, A).
'$decl_spec'(_, N/A, N, A) :- atom(N), integer(A), A >= 0.
'$decl_spec'(_, N//A0, N, A) :- atom(N), integer(A0), A0 >= 0, A is A0 + 2.

'$declare_pred'(dynamic, M, N, A, _, Head, File, Line) :-
    '$load_meet'(M:N/A, Head, File, Line),
    (   '$is_dynamic'(M, Head) -> true
    ;   '$define_predicate'(M:N/A, dynamic), '$set_property'(M:N/A, dynamic, _) -> true
    ;   '$error'(permission_error(modify, static_procedure, M:N/A), prolog:dynamic(M:N/A), 1)
    ).
'$declare_pred'(discontiguous, M, N, A, _, _, File, _) :-
    assertz('$load_decl'(File, M:N/A, discontiguous)).
'$declare_pred'(multifile, M, N, A, _, Head, File, Line) :-
    '$load_meet'(M:N/A, Head, File, Line),
    (   '$predicate_property'(Head, _, Bits, M, M), Bits /\ 4 =\= 0 -> true
    ;   '$set_property'(M:N/A, multifile, _)
    ).
'$declare_pred'(public, _, _, _, _, _, _, _).
'$declare_pred'(meta_predicate, M, N, A, Spec, Head, File, Line) :-
    '$load_meet'(M:N/A, Head, File, Line),
    '$meta_predicate'(M:Spec, _).
'$declare_pred'(block, M, N, A, Spec, Head, File, Line) :-
    '$load_meet'(M:N/A, Head, File, Line),
    '$block'(M:Spec, _).

% include/1: the terms of another file, loaded as if they stood here.
'$load_include'(Spec, File, Line, M) :-
    '$directory_path'(File, Dir),
    (   '$source_file'(Spec, Dir, Inc) -> true
    ;   '$load_fault'(error(existence_error(source_sink, Spec), _), File, Line), fail
    ),
    !,
    open(Inc, read, S, [encoding(utf8)]),
    asserta('$load_included'(File, Inc)),
    catch(( '$load_terms'(S, File, M, later) -> true ; true ), Ball, true),
    retract('$load_included'(File, Inc)),
    close(S),
    (   var(Ball) -> true ; throw(Ball) ).
'$load_include'(_, _, _, _).

% ---------------------------------------------------------------------------
% Expansion: user:term_expansion/2, DCG rules, user:goal_expansion/2.

'$load_expand_term'(T, _, Ts) :-
    '$user_hook'(term_expansion(_, _)),
    catch(user:term_expansion(T, X), Ball, ( '$expansion_error'(Ball) )),
    !,
    (   var(X) -> Ts = []
    ;   X = [_|_] -> Ts = X
    ;   X == [] -> Ts = []
    ;   Ts = [X]
    ).
'$load_expand_term'(T, _, [C]) :-
    nonvar(T), T = (_ --> _), !,
    (   dcg_translate_rule(T, C) -> true
    ;   throw(error(type_error(dcg_rule, T), _))
    ).
'$load_expand_term'(T, _, [T]).

'$expansion_error'(Ball) :- throw(Ball).

'$user_hook'(Head) :- '$predicate_property'(Head, _, _, user, user).

% The goals of a body, expanded by user:goal_expansion/2 until it leaves
% them alone (at most 64 rounds a goal).
'$load_expand_body'(B, _, B) :- \+ '$user_hook'(goal_expansion(_, _)), !.
'$load_expand_body'(B, M, B1) :- '$load_expand_goal'(B, M, B1).

'$load_expand_goal'(G, _, G) :- \+ '$user_hook'(goal_expansion(_, _)), !.
'$load_expand_goal'(G, M, G1) :- '$load_expand_goal'(G, M, 64, G1).

'$load_expand_goal'(G, _, _, G) :- var(G), !.
'$load_expand_goal'((A, B), M, D, (A1, B1)) :- !, '$load_expand_goal'(A, M, D, A1), '$load_expand_goal'(B, M, D, B1).
'$load_expand_goal'((A ; B), M, D, (A1 ; B1)) :- !, '$load_expand_goal'(A, M, D, A1), '$load_expand_goal'(B, M, D, B1).
'$load_expand_goal'((A -> B), M, D, (A1 -> B1)) :- !, '$load_expand_goal'(A, M, D, A1), '$load_expand_goal'(B, M, D, B1).
'$load_expand_goal'(\+ A, M, D, \+ A1) :- !, '$load_expand_goal'(A, M, D, A1).
'$load_expand_goal'(G, M, D, G1) :-
    (   D > 0, catch(user:goal_expansion(G, X), _, fail), X \== G
    ->  D1 is D - 1, '$load_expand_goal'(X, M, D1, G1)
    ;   G1 = G
    ).

% ---------------------------------------------------------------------------
% Faults and warnings, printed with the file and the line.

'$load_fault'(Ball, File, Line) :-
    (   '$reserved_exception'(Ball) -> throw(Ball) ; true ),
    '$message_file'(File, Name),
    print_message(error, load_error(Name, Line, Ball)).

'$load_warning'(W, File, Line) :-
    '$message_file'(File, Name),
    print_message(warning, load_warning(Name, Line, W)).

% The terms of an included file belong to the load of the file including
% it; messages name the included file.
'$message_file'(File, Name) :-
    (   '$load_included'(File, Inc) -> Name = Inc ; Name = File ).

% The lines of the load messages (messages.pl asks here).
'$load_message_lines'(load_error(File, Line, Ball), ['~w:~w:'-[File, Line]|Ls]) :-
    (   nonvar(Ball), Ball = error(compile_error(E), _)
    ->  Ls = ['Cannot compile: ~q'-[E]]
    ;   '$text_fault'(Ball)
    ->  Ball = error(Formal, Context), '$error_text'(Formal, Context, L), Ls = [L]
    ;   '$message_lines'(Ball, Ls)
    ).

% A fault of the text read (a syntax error, a term of too many
% arguments), reported with its file and line rather than the load's own
% read goal.
'$text_fault'(Ball) :-
    nonvar(Ball), Ball = error(Formal, _), nonvar(Formal),
    (   Formal = syntax_error(_) -> true ; Formal == representation_error(max_arity) ).
'$load_message_lines'(load_warning(File, Line, W), ['~w:~w:'-[File, Line], L]) :-
    '$load_warning_line'(W, L).

'$load_warning_line'(singletons(PI, Names), 'Singleton variables ~w in ~q'-[Names, PI]).
'$load_warning_line'(discontiguous(PI), 'Clauses of ~q are not together'-[PI]).
'$load_warning_line'(redefined_procedure(PI, Old), 'Redefining ~q, defined in ~w'-[PI, Old]).
'$load_warning_line'(goal_failed(G), 'Goal (directive) failed: ~q'-[G]).

% ---------------------------------------------------------------------------
% Inspecting loads

prolog_load_context(Key, Value) :-
    '$load_stack'([ld(File, M, Dir)|_]),
    '$load_context'(Key, File, M, Dir, Value).

'$load_context'(module, _, M, _, M).
'$load_context'(source, File, _, _, File).
'$load_context'(file, File, _, _, File).
'$load_context'(directory, _, _, Dir, Dir).

source_file(File) :- '$loaded_file'(File, _).
