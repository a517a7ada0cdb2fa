% Foreign resources and C-defined predicates: the Prolog half of loading
% shared libraries of C functions, and the code of the predicates that call
% those functions.
%
% A program declares a resource and its functions in the module it loads
% the resource from:
%     foreign_resource(Name, [Function, ...]).
%     foreign(Function, PredSpec).
% PredSpec is PredName(ArgSpec, ...): one argument spec per argument of the
% predicate. +Kind passes the argument in; -Kind is an output the function
% writes through the address it is given; [-Kind], at most once, is the
% function's return value. Kind is integer, float, atom, string (an atom as
% a text), codes (a code list as a text) or term (a term reference).
% load_foreign_resource(File) loads the shared library File (the suffix
% ".so" is added when File has none), whose base name is the Name of one of
% the module's foreign_resource/2 declarations, and defines a predicate for
% each of its functions in that module. The functions are called with a call
% record (embed/foreign_call.h): the resource's env, then the arguments in
% order.
%
% A resource loaded is kept in '$foreign_loaded'(Name, Module, Preds), and
% the file it was loaded from in '$foreign_file_of'(Name, File);
% unload_foreign_resource/1 and the shutdown of the system
% ('$foreign_unload_all', run by lv_deinitialize/0) unload it and take its
% predicates away. A saved state keeps the first record and not the
% resources: restore/1 loads each again ('$foreign_reload'/2). The When
% argument of the runtime's built-ins tells the resource's init and deinit
% functions why they run: 0 for an explicit load or unload, 2 at the
% system's shutdown.

:- module(prolog, [load_foreign_resource/1, unload_foreign_resource/1]).

:- meta_predicate load_foreign_resource(:), unload_foreign_resource(:).

:- dynamic '$foreign_loaded'/3, '$foreign_file_of'/2.

load_foreign_resource(Spec0) :-
    Ctx = prolog:load_foreign_resource(Spec0),
    '$strip_module'(Spec0, M, Spec),
    '$must_be_atom'(Spec, Ctx, 1),
    '$foreign_file'(Spec, File, Ctx),
    '$foreign_declaration'(M, File, Name, Functions, Ctx),
    (   '$foreign_loaded'(Name, _, _) -> true
    ;   '$load_foreign_resource'(File, M, 0),
        catch(prolog:'$foreign_define_resource'(Name, Functions, M, Ctx, Preds), Error,
              prolog:( '$unload_foreign_resource'(Name, M, 0), throw(Error) )),
        assertz(prolog:'$foreign_loaded'(Name, M, Preds)),
        retractall(prolog:'$foreign_file_of'(Name, _)),
        assertz(prolog:'$foreign_file_of'(Name, File))
    ).

unload_foreign_resource(Name0) :-
    Ctx = prolog:unload_foreign_resource(Name0),
    '$strip_module'(Name0, _, Name),
    '$must_be_atom'(Name, Ctx, 1),
    (   retract(prolog:'$foreign_loaded'(Name, M, Preds))
    ->  '$foreign_undefine'(Preds),
        '$unload_foreign_resource'(Name, M, 0)
    ;   '$unload_foreign_resource'(Name, user, 0)
    ).

% The names of the resources loaded (the saved-state writer lists them).
loaded_resource(Name) :- '$foreign_loaded'(Name, _, _).

% Loads again in Module the resource a restored program had loaded, from
% the file it was loaded from.
'$foreign_reload'(Name, M) :-
    (   '$foreign_file_of'(Name, File) -> true ; File = Name ),
    load_foreign_resource(M:File).

% The system shuts down: every resource still loaded goes. Nothing here
% may raise: what fails is passed over.
'$foreign_unload_all' :-
    forall(retract(prolog:'$foreign_loaded'(Name, M, Preds)),
           catch(prolog:( '$foreign_undefine'(Preds), '$unload_foreign_resource'(Name, M, 2) -> true ; true ),
                 _, true)).

% fli_define_stash_predicate(Name, Arity, Module, Trampoline, Record): the
% predicate Module:Name/Arity for a C function of the embedding program. Its
% code hands the trampoline a call record whose env is Record and whose
% arguments are the term references of the predicate's arguments.
fli_define_stash_predicate(Name, Arity, Module, Trampoline, Record) :-
    functor(Spec, Name, Arity),
    '$foreign_all_terms'(Arity, Spec),
    '$foreign_stub'(Module, Spec, Trampoline, Record).

'$foreign_all_terms'(0, _) :- !.
'$foreign_all_terms'(I, Spec) :-
    arg(I, Spec, +term),
    I1 is I - 1,
    '$foreign_all_terms'(I1, Spec).

% The file of a resource: absolute, with the library suffix when it has no
% suffix of its own.
'$foreign_file'(Spec, File, Ctx) :-
    '$absolute_path'(Spec, '', 0, Abs),
    (   Abs == '' -> '$domain_error'(file_name, Spec, Ctx, 1) ; true ),
    '$replace_suffix'(Abs, '', Suffix, _),
    (   Suffix == ''
    ->  '$foreign_resource_suffix'(Lib),
        '$replace_suffix'(Abs, Lib, _, File)
    ;   File = Abs
    ).

% The module's declaration of the resource whose name is the file's base
% name: Dir/Name and the file without its suffix are the same path.
'$foreign_declaration'(M, File, Name, Functions, Ctx) :-
    '$replace_suffix'(File, '', _, Stem),
    (   '$directory_path'(Stem, Dir) -> true ; Dir = (/) ),
    (   catch(M:foreign_resource(Name, Functions), _, fail),
        atom(Name),
        '$absolute_path'([Dir, Name], '', 0, Stem)
    ->  '$foreign_must_be_list'(Functions, Ctx)
    ;   '$error'(existence_error(foreign_resource, File), Ctx, 1)
    ).

'$foreign_must_be_list'(L, Ctx) :-
    (   '$list_skip'(L, N, T), N >= 0, T == [] -> true
    ;   '$type_error'(list, L, Ctx, 1)
    ).

% The predicates of a resource just loaded: each function's declaration,
% its address from the resource's table, then the predicate's code.
'$foreign_define_resource'(Name, Functions, M, Ctx, Preds) :-
    '$foreign_specs'(Functions, M, Ctx, Specs),
    '$foreign_resource_symbols'(Name, Specs, Env),
    '$foreign_define_all'(Specs, M, Env, Preds).

% f(PredSpec, Function, Template, Address): Template is the function's name
% with the predicate's arity, as the resource's table lists it.
'$foreign_specs'([], _, _, []).
'$foreign_specs'([F|Fs], M, Ctx, [f(PredSpec, F, Template, _)|Ss]) :-
    (   atom(F), catch(M:foreign(F, PredSpec), _, fail), callable(PredSpec)
    ->  functor(PredSpec, _, A),
        functor(Template, F, A),
        '$foreign_check_specs'(A, PredSpec, 0, Ctx)
    ;   '$error'(existence_error(foreign_declaration, F), Ctx, 1)
    ),
    '$foreign_specs'(Fs, M, Ctx, Ss).

% Every argument spec is known, and at most one is a return value.
'$foreign_check_specs'(0, _, _, _) :- !.
'$foreign_check_specs'(I, PredSpec, Returns, Ctx) :-
    arg(I, PredSpec, S),
    (   '$foreign_arg'(S, Mode, _) -> true
    ;   '$domain_error'(foreign_argument, S, Ctx, 1)
    ),
    (   Mode == return -> R1 is Returns + 1 ; R1 = Returns ),
    (   R1 > 1 -> '$domain_error'(foreign_argument, S, Ctx, 1) ; true ),
    I1 is I - 1,
    '$foreign_check_specs'(I1, PredSpec, R1, Ctx).

'$foreign_arg'(S, _, _) :- var(S), !, fail.
'$foreign_arg'(+K, in, K) :- '$foreign_kind'(K, _).
'$foreign_arg'(-K, out, K) :- '$foreign_kind'(K, _).
'$foreign_arg'([-K], return, K) :- '$foreign_kind'(K, _).

'$foreign_define_all'([], _, _, []).
'$foreign_define_all'([f(PredSpec, _, _, Address)|Ss], M, Env, [M:N/A|Ps]) :-
    functor(PredSpec, N, A),
    '$foreign_stub'(M, PredSpec, Address, Env),
    '$foreign_define_all'(Ss, M, Env, Ps).

'$foreign_undefine'([]).
'$foreign_undefine'([M:Spec|Specs]) :-
    '$abolish'(Spec, M),
    '$foreign_undefine'(Specs).

% ---------------------------------------------------------------------------
% The code of a foreign predicate: one clause, one code block.
%
%   OPEN_FOREIGN_CALL  registers, term references, the predicate, Env
%   PUSH_<kind> Xi          for each +Kind argument i
%   PUSH_RESULT_<kind>      for each -Kind argument
%   CALL_FOREIGN Function, frame size
%   RECEIVE_<kind> Yi       for the [-Kind] argument i
%   POP_<kind> Yi           for each -Kind argument i, in order
%   CLOSE_FOREIGN_CALL
%   END_OF_CLAUSE the predicate
%
% The foreign frame saves the argument registers, so its slot i is Xi. Code
% is laid out in 32-bit words: a 64-bit operand lies on an 8-byte boundary,
% and an instruction whose first 64-bit operand would not takes its Q form,
% one alignment word after the opcode.

'$foreign_stub'(M, PredSpec, Function, Env) :-
    functor(PredSpec, N, A),
    PredSpec =.. [_|Args],
    '$foreign_arg_code'(Args, 0, Pushes, [], Results, Outputs, [], Terms),
    '$foreign_insn'(open_q, OpenQ),
    P0 = 8,
    '$foreign_words'(Pushes, P0, P1),
    '$foreign_call_items'(P1, Function, A, CallItems, P2),
    '$foreign_words'(Results, P2, P3),
    '$foreign_words'(Outputs, P3, P4),
    P5 is P4 + 1,
    '$foreign_insn'(close, Close),
    '$foreign_end_items'(P5, M:N/A, EndItems, Words),
    Size is 2 * Words,
    '$foreign_append'(Results, Outputs, Ends0),
    '$foreign_append'(Ends0, [o(Close)|EndItems], Tail),
    '$foreign_append'(CallItems, Tail, AfterPushes),
    '$foreign_append'(Pushes, AfterPushes, Body),
    Items = [o(OpenQ), 0, A, Terms, emul_entry(M:N/A), long(Env)|Body],
    '$define_predicate'(M:N/A, compactcode),
    '$set_property'(M:N/A, volatile, _),
    '$make_bytecode_object'(Size, Items, [], [], Ref),
    '$compiled_clause'(M:N/A, Ref, _, k(31, _)).

% The push items of the arguments, the result items of the return value
% and the pop items of the outputs; Terms counts the term references the
% call needs.
'$foreign_arg_code'([], _, P, P, [], O, O, 0).
'$foreign_arg_code'([S|Ss], I, P0, P, R, O0, O, T) :-
    '$foreign_arg'(S, Mode, K),
    '$foreign_kind'(K, Offset),
    (   K == term, Mode \== return -> T0 = 1 ; T0 = 0 ),
    I1 is I + 1,
    (   Mode == in
    ->  '$foreign_insn'(push, Base), Op is Base + Offset,
        P0 = [o(Op), x(I)|P1], R = R1, O0 = O1
    ;   Mode == out
    ->  '$foreign_insn'(push_result, Base), Op is Base + Offset,
        '$foreign_insn'(pop, PopBase), Pop is PopBase + Offset,
        P0 = [o(Op)|P1], R = R1, O0 = [o(Pop), y(I)|O1]
    ;   '$foreign_insn'(receive, Base), Op is Base + Offset,
        P0 = P1, R = [o(Op), y(I)|R1], O0 = O1
    ),
    '$foreign_arg_code'(Ss, I1, P1, P, R1, O1, O, T1),
    T is T0 + T1.

% CALL_FOREIGN Function, frame size: its 64-bit operand follows the opcode.
'$foreign_call_items'(P, Function, A, Items, P1) :-
    Frame is 16 + 8 * A,
    (   P mod 2 =:= 0
    ->  '$foreign_insn'(call_q, Op), Items = [o(Op), 0, long(Function), Frame], P1 is P + 5
    ;   '$foreign_insn'(call, Op), Items = [o(Op), long(Function), Frame], P1 is P + 4
    ).

'$foreign_end_items'(P, Spec, Items, Words) :-
    (   P mod 2 =:= 0
    ->  '$foreign_insn'(end_q, Op), Items = [o(Op), 0, emul_entry(Spec)], Words is P + 4
    ;   '$foreign_insn'(end, Op), Items = [o(Op), emul_entry(Spec)], Words is P + 3
    ).

% The words of items that take one word each.
'$foreign_words'([], P, P).
'$foreign_words'([_|Is], P0, P) :- P1 is P0 + 1, '$foreign_words'(Is, P1, P).

'$foreign_append'([], L, L).
'$foreign_append'([X|Xs], L, [X|Ys]) :- '$foreign_append'(Xs, L, Ys).

% The argument kinds, in the order of each group of instructions.
'$foreign_kind'(float, 0).
'$foreign_kind'(integer, 1).
'$foreign_kind'(term, 2).
'$foreign_kind'(atom, 3).
'$foreign_kind'(string, 4).
'$foreign_kind'(codes, 5).

% The instructions of foreign calls, by their numbers in the engine's
% instruction table; a group's number is that of its float instruction.
'$foreign_insn'(open_q, 293).
'$foreign_insn'(close, 295).
'$foreign_insn'(call_q, 296).
'$foreign_insn'(call, 297).
'$foreign_insn'(push, 300).
'$foreign_insn'(push_result, 306).
'$foreign_insn'(pop, 312).
'$foreign_insn'(receive, 318).
'$foreign_insn'(end_q, 334).
'$foreign_insn'(end, 335).
