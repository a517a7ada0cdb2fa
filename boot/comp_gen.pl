% The compiler's code generator: a normalized clause (comp_front.pl) to a
% list of instructions ins(Name, Operands) in their plain forms; the layout
% (comp_asm.pl) picks the Q forms.
%
% Operands: x(N) argument register, y(N) permanent variable, w(N) a 32-bit
% word (environment sizes, empty register-load lists, counts), c(T) an
% atomic constant, f(Name, Arity) a functor, p(Target) a predicate
% (Name/Arity or aux(Id)), i(I) a 64-bit integer, b(Number) an inline boxed
% number, l(fail) the failure continuation.
%
% Variables. A variable is temporary when all its occurrences lie in one
% chunk (the head and the goals up to the first call, or the goals after one
% call up to the next); otherwise it is permanent and lives in the
% environment. Permanent variables are numbered by their last chunk, latest
% first, so that a call's environment size S counts exactly those still
% needed after it. Every slot S counts is initialised before the call and
% before any point where an event can look at the frame: a permanent variable
% first met after the head is set to a fresh variable at the start of the
% body, unless it first occurs in the arguments of the first call and nothing
% comes before that call. Its later first real occurrence then uses the
% trailing (UNSAFE) form, since a choicepoint may protect the slot.
%
% Temporary variables stay in the argument register they arrive in or get a
% register above every argument register the clause uses; loading a call's
% arguments moves a variable out of a register about to be overwritten while
% a later argument still needs it.
%
% Heap: every call checks that a reserve of free cells remains (the
% runtime's figure, heap_reserve/1 of the instruction facts). A straight-line
% segment (clause entry or return from a call, to the next call or return)
% that may build more than half of that starts with CHECK_HEAP for its need
% plus the reserve, so that a callee's last segment and its caller's next one
% together stay within the reserve.

lvc_heap_reserve(R) :- heap_reserve(R).

% Frames. A clause's environment frame is written above the local-stack top
% before the call that makes it current checks the stack, so it must fit the
% runtime's local reserve (local_reserve/1 of the instruction facts): two
% link words and the permanent variables. A clause with more permanent
% variables is refused with their count and the limit.
lvc_check_frame(Perms) :-
    lvc_length(Perms, N),
    local_reserve(R),
    Max is R - 2,
    (   N > Max -> throw(lvc_error(frame_too_large(permanent_variables(N), limit(Max)))) ; true ).

% lvc_gen_clause(+NClause, +Main, -Code, -Key)
% Main is true for a predicate's clause (first-argument test first, key
% returned as key(Bits, KeyTerm)), false for a clause of an internal
% predicate.
lvc_gen_clause(nclause(Head, Items), Main, Code, Key) :-
    Head =.. [_|Args],
    lvc_analyse(Args, Items, Tab0, Ctx),
    S0 = st(Tab0, regs(0, []), false),
    Ctx = cx(TempBase, _, _, _, Pre, Needs),
    lvc_set_next(TempBase, S0, S1),
    Needs = [Need1|_],
    lvc_segment_check(Need1, Check),
    lvc_gen_head(Args, Main, Check, Key, S1, S2, Code, C1),
    lvc_gen_items(Items, 1, Ctx, Pre, S2, _, C1, []).

% Static analysis: the variable table and the clause context
% cx(TempBase, Env, NCalls, SizesByCall, PreInit, HeapNeedsBySegment).
lvc_analyse(Args, Items, Tab, cx(TempBase, Env, NCalls, Sizes, Pre, Needs)) :-
    lvc_occurrences(Args, Items, Occs, NCalls),
    term_variables(o(Args, Items), Vars),
    lvc_var_infos(Vars, Occs, Infos),
    lvc_perm_order(Infos, Perms),
    lvc_check_frame(Perms),
    lvc_var_table(Infos, Perms, Tab),
    lvc_length(Args, Arity),
    lvc_call_arities(Items, Arities),
    lvc_max_list([Arity|Arities], 0, TempBase),
    lvc_env_needed(Items, NCalls, Perms, Env),
    lvc_call_sizes(1, NCalls, Perms, Sizes),
    lvc_preinit(Infos, Perms, Items, Pre),
    lvc_heap_needs(Args, Items, Needs).

lvc_call_arities([], []).
lvc_call_arities([call(_, As)|Is], [N|Ns]) :- !, lvc_length(As, N), lvc_call_arities(Is, Ns).
lvc_call_arities([_|Is], Ns) :- lvc_call_arities(Is, Ns).

% Occurrences in order: occ(Var, Chunk, Where), Where being head, barrier,
% call(K) (the arguments of call K) or body.
lvc_occurrences(Args, Items, Occs, NCalls) :-
    lvc_term_vars_list(Args, HVs, []),
    lvc_tag_occs(HVs, 1, head, Occs, Rest),
    lvc_item_occs(Items, 1, Rest, [], 0, NCalls).

lvc_tag_occs([], _, _, L, L).
lvc_tag_occs([V|Vs], C, W, [occ(V, C, W)|L0], L) :- lvc_tag_occs(Vs, C, W, L0, L).

lvc_item_occs([], _, L, L, N, N).
lvc_item_occs([I|Is], C, L0, L, N0, N) :-
    lvc_item_terms(I, T, W0),
    lvc_term_vars_list(T, Vs, []),
    (   W0 == call -> W = call(C) ; W = W0 ),
    lvc_tag_occs(Vs, C, W, L0, L1),
    (   I = call(_, _) -> C1 is C + 1, N1 is N0 + 1 ; C1 = C, N1 = N0 ),
    lvc_item_occs(Is, C1, L1, L, N1, N).

lvc_item_terms(call(_, As), As, call).
lvc_item_terms(inline(G), G, body).
lvc_item_terms(cutto(V), V, body).
lvc_item_terms(getbarrier(V), V, barrier).
lvc_item_terms(cut, [], body).
lvc_item_terms(fail, [], body).

% Every variable occurrence of a term, left to right, with repetitions.
lvc_term_vars_list(T, [T|L], L) :- var(T), !.
lvc_term_vars_list(T, L, L) :- atomic(T), !.
lvc_term_vars_list(T, L0, L) :-
    T =.. [_|As],
    lvc_term_vars_args(As, L0, L).

lvc_term_vars_args([], L, L).
lvc_term_vars_args([A|As], L0, L) :-
    lvc_term_vars_list(A, L0, L1),
    lvc_term_vars_args(As, L1, L).

% vi(Var, Index, FirstChunk, LastChunk, Count, FirstWhere)
lvc_var_infos(Vars, Occs, Infos) :- lvc_var_infos(Vars, 0, Occs, Infos).
lvc_var_infos([], _, _, []).
lvc_var_infos([V|Vs], I, Occs, [vi(V, I, F, L, N, W)|Is]) :-
    lvc_first_occ(Occs, V, F, W),
    lvc_last_count(Occs, V, F, L, 0, N),
    I1 is I + 1,
    lvc_var_infos(Vs, I1, Occs, Is).

lvc_first_occ([occ(U, C, W0)|Os], V, F, W) :-
    (   U == V -> F = C, W = W0 ; lvc_first_occ(Os, V, F, W) ).

lvc_last_count([], _, L, L, N, N).
lvc_last_count([occ(U, C, _)|Os], V, L0, L, N0, N) :-
    (   U == V -> L1 = C, N1 is N0 + 1 ; L1 = L0, N1 = N0 ),
    lvc_last_count(Os, V, L1, L, N1, N).

% Permanent variables, latest last chunk first, then in order of appearance.
lvc_perm_order(Infos, Perms) :-
    lvc_perm_keys(Infos, Keyed),
    keysort(Keyed, Sorted),
    lvc_strip_keys(Sorted, Perms).

lvc_perm_keys([], []).
lvc_perm_keys([vi(V, I, F, L, _, _)|Is], Ks) :-
    (   F =\= L
    ->  NL is -L, Ks = [k(NL, I)-p(V, L)|Ks1]
    ;   Ks = Ks1
    ),
    lvc_perm_keys(Is, Ks1).

lvc_strip_keys([], []).
lvc_strip_keys([_-X|Xs], [X|Ys]) :- lvc_strip_keys(Xs, Ys).

% The variable table: v(Var, Class, Loc, Seen, Global, Pre, Unsafe).
% Class: void, temp or perm(Y, LastChunk). Global: the value is known to hold
% no reference into any frame. Pre: the slot was set at the start of the
% body. Unsafe: the variable was made in this frame's slot (PUT_Y_VARIABLE);
% the first time it is loaded into a register after that, it moves to the
% heap (PUT_Y_UNSAFE_VALUE), so that no register, argument or other variable
% keeps a reference to a slot that trimming or deallocation gives up.
lvc_var_table([], _, []).
lvc_var_table([vi(V, _, F, L, N, _)|Is], Perms, [v(V, Class, none, false, false, false, false)|Ts]) :-
    (   lvc_perm_index(Perms, V, 0, Y) -> Class = perm(Y, L)
    ;   N =:= 1, F =:= L -> Class = void
    ;   Class = temp
    ),
    lvc_var_table(Is, Perms, Ts).

lvc_perm_index([p(U, _)|Ps], V, I0, I) :-
    (   U == V -> I = I0 ; I1 is I0 + 1, lvc_perm_index(Ps, V, I1, I) ).

% An environment is needed when a call is followed by more of the body.
lvc_env_needed(_, _, Perms, true) :- Perms \== [], !.
lvc_env_needed(_, N, _, true) :- N >= 2, !.
lvc_env_needed(Items, 1, _, Env) :- !,
    lvc_last_item(Items, Last),
    (   Last = call(_, _) -> Env = false ; Env = true ).
lvc_env_needed(_, _, _, false).

lvc_last_item([I], I) :- !.
lvc_last_item([_|Is], I) :- lvc_last_item(Is, I).

% Environment size (permanent variables kept) at each call.
lvc_call_sizes(K, N, _, []) :- K > N, !.
lvc_call_sizes(K, N, Perms, [S|Ss]) :-
    lvc_count_live(Perms, K, 0, S),
    K1 is K + 1,
    lvc_call_sizes(K1, N, Perms, Ss).

lvc_count_live([], _, S, S).
lvc_count_live([p(_, L)|Ps], K, S0, S) :-
    (   L > K -> S1 is S0 + 1 ; S1 = S0 ),
    lvc_count_live(Ps, K, S1, S).

% Permanent variables set to fresh variables at the start of the body.
lvc_preinit(Infos, Perms, Items, Pre) :-
    (   lvc_first_call_first(Items) -> Direct = true ; Direct = false ),
    lvc_preinit_vars(Perms, Infos, Direct, Pre).

lvc_first_call_first([getbarrier(_)|Is]) :- !, lvc_first_call_first(Is).
lvc_first_call_first([call(_, _)|_]).

lvc_preinit_vars([], _, _, []).
lvc_preinit_vars([p(V, _)|Ps], Infos, Direct, Pre) :-
    lvc_info_of(Infos, V, vi(_, _, _, _, _, W)),
    (   ( W == head ; W == barrier ; W == call(1), Direct == true )
    ->  Pre = Pre1
    ;   Pre = [V|Pre1]
    ),
    lvc_preinit_vars(Ps, Infos, Direct, Pre1).

lvc_info_of([I|Is], V, Info) :-
    arg(1, I, U),
    (   U == V -> Info = I ; lvc_info_of(Is, V, Info) ).

% Heap cells each segment may build, at most.
lvc_heap_needs(Args, Items, [N1|Ns]) :-
    lvc_cells_list(Args, 0, H),
    lvc_segment_cells(Items, H, N1, Ns).

lvc_segment_cells([], N, N, []).
lvc_segment_cells([I|Is], N0, N, Ns) :-
    lvc_item_terms(I, T, _),
    lvc_cells(T, C),
    N1 is N0 + C,
    (   I = call(_, _)
    ->  N = N1, Ns = [M|Ms], lvc_segment_cells(Is, 0, M, Ms)
    ;   lvc_segment_cells(Is, N1, N, Ns)
    ).

lvc_cells(T, 1) :- var(T), !.
lvc_cells(T, N) :- lvc_large(T), !, lvc_box_cells(T, N).
lvc_cells(T, 0) :- atomic(T), !.
lvc_cells(T, N) :-
    T =.. [_|As],
    lvc_length(As, A),
    lvc_cells_list(As, 0, S),
    N is S + A + 1 + 4.

lvc_cells_list([], N, N).
lvc_cells_list([A|As], N0, N) :- lvc_cells(A, C), N1 is N0 + C, lvc_cells_list(As, N1, N).

lvc_box_cells(T, 3) :- float(T), !.
lvc_box_cells(T, N) :- lvc_limbs(T, L), N is L + 2.

lvc_segment_check(Need, check(I)) :-
    lvc_heap_reserve(R),
    Need * 2 > R, !,
    I is Need + R.
lvc_segment_check(_, none).

lvc_emit_check(none, C, C).
lvc_emit_check(check(I), [ins('CHECK_HEAP', [i(I)])|C], C).

% Numbers: small integers are tagged constants; other integers and floats
% are boxed.
lvc_small(T) :- integer(T), T >= -1152921504606846976, T =< 1152921504606846975.
lvc_large(T) :- float(T), !.
lvc_large(T) :- integer(T), \+ lvc_small(T).
lvc_int64(T) :- integer(T), T >= -9223372036854775808, T =< 9223372036854775807.
lvc_constant(T) :- atom(T), !.
lvc_constant(T) :- lvc_small(T).

% The number of 64-bit two's-complement limbs that hold an integer.
lvc_limbs(I, N) :- lvc_limbs(I, 1, N).
lvc_limbs(I, K, N) :-
    B is 64 * K - 1,
    (   I >= -(1 << B), I < 1 << B -> N = K ; K1 is K + 1, lvc_limbs(I, K1, N) ).

% ---------------------------------------------------------------------------
% State: st(Table, regs(NextTemp, FreeTemps), Allocated)

lvc_set_next(N, st(T, _, A), st(T, regs(N, []), A)).

lvc_fresh(R, st(T, regs(N, [R|Fs]), A), st(T, regs(N, Fs), A)) :- !.
lvc_fresh(R, st(T, regs(R, []), A), st(T, regs(R1, []), A)) :-
    R1 is R + 1,
    (   R1 > 256 -> throw(lvc_error(too_many_registers)) ; true ).

% A register that held a term only until its one use.
lvc_free(R, st(T, regs(N, Fs), A), st(T, regs(N, [R|Fs]), A)).

lvc_ventry(V, st(T, _, _), E) :- lvc_vlookup(T, V, E).

lvc_vlookup([E|Es], V, X) :-
    arg(1, E, U),
    (   U == V -> X = E ; lvc_vlookup(Es, V, X) ).

lvc_vupdate(E, st(T0, N, A), st(T, N, A)) :-
    arg(1, E, V),
    lvc_vreplace(T0, V, E, T).

lvc_vreplace([E0|Es], V, E, [E1|Es1]) :-
    arg(1, E0, U),
    (   U == V -> E1 = E, Es1 = Es ; E1 = E0, lvc_vreplace(Es, V, E, Es1) ).

lvc_allocated(st(_, _, A), A).
lvc_set_allocated(st(T, N, _), st(T, N, true)).

% Marks V seen at Loc.
lvc_see(V, Loc, Global, Unsafe, S0, S) :-
    lvc_ventry(V, S0, v(_, Class, _, _, _, Pre, _)),
    lvc_vupdate(v(V, Class, Loc, true, Global, Pre, Unsafe), S0, S).

% The name of an instruction that writes a fresh value into a permanent
% variable: the FIRST form when it allocates the frame, the UNSAFE form when
% the slot was set at the start of the body.
lvc_yvar_insn(Base, V, Name, S0, S) :-
    (   lvc_allocated(S0, false)
    ->  lvc_first_form(Base, Name), lvc_set_allocated(S0, S)
    ;   lvc_ventry(V, S0, v(_, _, _, _, _, true, _))
    ->  lvc_unsafe_form(Base, Name), S = S0
    ;   Name = Base, S = S0
    ).

lvc_first_form('GET_Y_VARIABLE', 'GET_Y_FIRST_VARIABLE').
lvc_first_form('PUT_Y_VARIABLE', 'PUT_Y_FIRST_VARIABLE').
lvc_first_form('UNIFY_Y_VARIABLE', 'UNIFY_Y_FIRST_VARIABLE').
lvc_first_form('STORE_Y_VARIABLE', 'STORE_Y_FIRST_VARIABLE').
lvc_first_form('CHOICE_Y', 'CHOICE_YF').

lvc_unsafe_form('GET_Y_VARIABLE', 'GET_Y_UNSAFE_VARIABLE').
lvc_unsafe_form('PUT_Y_VARIABLE', 'PUT_Y_VARIABLE').
lvc_unsafe_form('UNIFY_Y_VARIABLE', 'UNIFY_Y_UNSAFE_VARIABLE').
lvc_unsafe_form('STORE_Y_VARIABLE', 'STORE_Y_UNSAFE_VARIABLE').
lvc_unsafe_form('CHOICE_Y', 'CHOICE_Y').

% ---------------------------------------------------------------------------
% Head

lvc_gen_head([], _, Check, key(31, _), S, S, C0, C) :- !,
    lvc_emit_check(Check, C0, C).
lvc_gen_head([A0|As], true, Check, Key, S0, S, C0, C) :- !,
    lvc_gen_first_arg(A0, Check, Key, S0, S1, C0, C1),
    lvc_gen_get_args(As, 1, S1, S, C1, C).
lvc_gen_head(As, false, Check, key(31, _), S0, S, C0, C) :-
    lvc_emit_check(Check, C0, C1),
    lvc_gen_get_args(As, 0, S0, S, C1, C).

% The first argument's test comes first, so that the index can enter the
% clause past it; its key goes with the clause.
lvc_gen_first_arg(A, Check, key(31, _), S0, S, C0, C) :- var(A), !,
    lvc_emit_check(Check, C0, C1),
    lvc_get_term(A, 0, S0, S, C1, C).
lvc_gen_first_arg([], Check, key(23, []), S, S, [ins('GET_NIL_X0', [])|C1], C) :- !,
    lvc_emit_check(Check, C1, C).
lvc_gen_first_arg(A, Check, key(23, A), S, S, [ins('GET_CONSTANT_X0', [c(A)])|C1], C) :- lvc_constant(A), !,
    lvc_emit_check(Check, C1, C).
lvc_gen_first_arg(A, none, key(23, A), S, S, [ins('GET_LARGE_X0', [b(A)])|C], C) :- lvc_large(A), !.
lvc_gen_first_arg(A, Check, key(23, A), S, S, C0, C) :- lvc_large(A), !,
    lvc_emit_check(Check, C0, [ins('GET_LARGE', [x(0), b(A)])|C]).
lvc_gen_first_arg(A, Check, key(9, _), S0, S, C0, C) :- A = [_|_], !,
    (   Check == none
    ->  C0 = [ins('GET_LIST_X0', [])|C1]
    ;   lvc_emit_check(Check, C0, [ins('GET_LIST', [x(0)])|C1])
    ),
    lvc_get_args_chain(A, S0, S, C1, C).
lvc_gen_first_arg(A, Check, key(23, Skel), S0, S, C0, C) :-
    functor(A, N, Ar),
    functor(Skel, N, Ar),
    (   Check == none
    ->  C0 = [ins('GET_STRUCTURE_X0', [f(N, Ar)])|C1]
    ;   lvc_emit_check(Check, C0, [ins('GET_STRUCTURE', [x(0), f(N, Ar)])|C1])
    ),
    lvc_get_args_chain(A, S0, S, C1, C).

lvc_gen_get_args([], _, S, S, C, C).
lvc_gen_get_args([A|As], I, S0, S, C0, C) :-
    lvc_get_term(A, I, S0, S1, C0, C1),
    I1 is I + 1,
    lvc_gen_get_args(As, I1, S1, S, C1, C).

% lvc_get_term(+Term, +R, ...): unify register R with Term.
lvc_get_term(T, R, S0, S, C0, C) :- var(T), !,
    lvc_ventry(T, S0, v(_, Class, Loc, Seen, Global, _, _)),
    lvc_get_var(Class, Seen, Loc, Global, T, R, S0, S, C0, C).
lvc_get_term([], R, S, S, [ins('GET_NIL', [x(R)])|C], C) :- !.
lvc_get_term(T, R, S, S, [ins('GET_CONSTANT', [x(R), c(T)])|C], C) :- lvc_constant(T), !.
lvc_get_term(T, R, S, S, [ins('GET_LARGE', [x(R), b(T)])|C], C) :- lvc_large(T), !.
lvc_get_term(T, R, S0, S, [ins('GET_LIST', [x(R)])|C1], C) :- T = [_|_], !,
    lvc_get_args_chain(T, S0, S, C1, C).
lvc_get_term(T, R, S0, S, [ins('GET_STRUCTURE', [x(R), f(N, A)])|C1], C) :-
    functor(T, N, A),
    lvc_get_args_chain(T, S0, S, C1, C).

lvc_get_var(void, _, _, _, _, _, S, S, C, C).
lvc_get_var(temp, false, _, _, V, R, S0, S, C, C) :-
    lvc_see(V, x(R), false, false, S0, S).
lvc_get_var(temp, true, x(Q), _, _, R, S, S, [ins('GET_X_VALUE', [x(R), x(Q)])|C], C).
lvc_get_var(perm(Y, _), false, _, _, V, R, S0, S, [ins(Name, [x(R), y(Y)])|C], C) :-
    lvc_yvar_insn('GET_Y_VARIABLE', V, Name, S0, S1),
    lvc_see(V, y(Y), false, false, S1, S).
lvc_get_var(perm(Y, _), true, _, _, _, R, S, S, [ins('GET_Y_VALUE', [x(R), y(Y)])|C], C).

% The arguments of a structure or list cell in read or write mode. A compound
% or boxed number that is not the last argument gets a register and is
% unified after the chain; the last one continues the chain.
%
% A long chain (a list of compound terms) is cut after every few deferred
% arguments: its rest is deferred too, after them, so that few registers
% are held at once.
lvc_get_args_chain(T, S0, S, C0, C) :-
    T =.. [_|As],
    lvc_get_unify_args(As, 0, Deferred, [], S0, S1, C0, C1),
    lvc_get_deferred(Deferred, S1, S, C1, C).

lvc_chain_cut(8).

lvc_get_deferred([], S, S, C, C).
lvc_get_deferred([R-T|Ds], S0, S, C0, C) :-
    lvc_get_term(T, R, S0, S1, C0, C1),
    lvc_free(R, S1, S2),
    lvc_get_deferred(Ds, S2, S, C1, C).

lvc_get_unify_args([], _, D, D, S, S, C, C).
lvc_get_unify_args([A], N, D0, D, S0, S, C0, C) :- nonvar(A), \+ atomic(A), lvc_chain_cut(M), N < M, !,
    C0 = [ins(Op, Ops)|C1],
    lvc_chain_functor(A, Op, Ops),
    A =.. [_|As],
    lvc_get_unify_args(As, N, D0, D, S0, S, C1, C).
lvc_get_unify_args([A], _, D, D, S, S, [ins('UNIFY_LARGE', [b(A)])|C], C) :- lvc_large(A), !.
lvc_get_unify_args([A], _, [R-A|D], D, S0, S, [ins('UNIFY_X_VARIABLE', [x(R)])|C], C) :-
    nonvar(A), \+ atomic(A), !,
    lvc_fresh(R, S0, S).
lvc_get_unify_args([A|As], N, D0, D, S0, S, C0, C) :-
    nonvar(A), ( lvc_large(A) ; \+ atomic(A) ), !,
    lvc_fresh(R, S0, S1),
    C0 = [ins('UNIFY_X_VARIABLE', [x(R)])|C1],
    D0 = [R-A|D1],
    N1 is N + 1,
    lvc_get_unify_args(As, N1, D1, D, S1, S, C1, C).
lvc_get_unify_args([A|As], N, D0, D, S0, S, C0, C) :-
    lvc_unify_simple(A, S0, S1, C0, C1),
    lvc_get_unify_args(As, N, D0, D, S1, S, C1, C).

lvc_chain_functor([_|_], 'UNIFY_LIST', []) :- !.
lvc_chain_functor(T, 'UNIFY_STRUCTURE', [f(N, A)]) :- functor(T, N, A).

% A variable or constant argument, in either mode.
lvc_unify_simple(A, S0, S, C0, C) :- var(A), !,
    lvc_ventry(A, S0, v(_, Class, Loc, Seen, Global, _, _)),
    lvc_unify_var(Class, Seen, Loc, Global, A, S0, S, C0, C).
lvc_unify_simple('$lvc_reg'(R), S0, S, [ins('UNIFY_X_VALUE', [x(R)])|C], C) :- !,
    lvc_free(R, S0, S).
lvc_unify_simple([], S, S, [ins('UNIFY_NIL', [])|C], C) :- !.
lvc_unify_simple(A, S, S, [ins('UNIFY_CONSTANT', [c(A)])|C], C).

lvc_unify_var(void, _, _, _, _, S, S, [ins('UNIFY_VOID', [w(1)])|C], C).
lvc_unify_var(temp, false, _, _, V, S0, S, [ins('UNIFY_X_VARIABLE', [x(R)])|C], C) :-
    lvc_fresh(R, S0, S1),
    lvc_see(V, x(R), true, false, S1, S).
lvc_unify_var(temp, true, x(R), true, _, S, S, [ins('UNIFY_X_VALUE', [x(R)])|C], C).
lvc_unify_var(temp, true, x(R), false, _, S, S, [ins('UNIFY_X_LOCAL_VALUE', [x(R)])|C], C).
lvc_unify_var(perm(Y, _), false, _, _, V, S0, S, [ins(Name, [y(Y)])|C], C) :-
    lvc_yvar_insn('UNIFY_Y_VARIABLE', V, Name, S0, S1),
    lvc_see(V, y(Y), true, false, S1, S).
lvc_unify_var(perm(Y, _), true, _, true, _, S, S, [ins('UNIFY_Y_VALUE', [y(Y)])|C], C).
lvc_unify_var(perm(Y, _), true, _, false, _, S, S, [ins('UNIFY_Y_LOCAL_VALUE', [y(Y)])|C], C).

% ---------------------------------------------------------------------------
% Building terms into registers (write mode)

% lvc_put_term(+Term, +R, ...): load Term into register R.
lvc_put_term(T, R, S0, S, C0, C) :- var(T), !,
    lvc_ventry(T, S0, v(_, Class, Loc, Seen, Global, _, Unsafe)),
    lvc_put_var(Class, Seen, Loc, Global, Unsafe, T, R, S0, S, C0, C).
lvc_put_term([], R, S, S, [ins('PUT_NIL', [x(R)])|C], C) :- !.
lvc_put_term(T, R, S, S, [ins('PUT_CONSTANT', [x(R), c(T)])|C], C) :- lvc_constant(T), !.
lvc_put_term(T, R, S, S, [ins('PUT_LARGE', [x(R), b(T)])|C], C) :- lvc_large(T), !.
lvc_put_term(T, R, S0, S, C0, C) :-
    lvc_split_chain(T, 0, T0, S0, S01, C0, C01),
    lvc_prebuild(T0, T1, S01, S1, C01, C1),
    (   T1 = [_|_]
    ->  C1 = [ins('PUT_LIST', [x(R)])|C2]
    ;   functor(T1, N, A),
        C1 = [ins('PUT_STRUCTURE', [x(R), f(N, A)])|C2]
    ),
    T1 =.. [_|As],
    lvc_put_unify_args(As, S1, S, C2, C).

lvc_put_var(void, _, _, _, _, _, R, S, S, [ins('PUT_X_VOID', [x(R)])|C], C).
lvc_put_var(temp, false, _, _, _, V, R, S0, S, [ins('PUT_X_VARIABLE', [x(R), x(R)])|C], C) :-
    lvc_see(V, x(R), true, false, S0, S).
lvc_put_var(temp, true, x(Q), _, _, _, R, S, S, C0, C) :-
    (   Q =:= R -> C0 = C ; C0 = [ins('GET_X_VARIABLE', [x(Q), x(R)])|C] ).
lvc_put_var(perm(Y, _), false, _, _, _, V, R, S0, S, [ins(Name, [x(R), y(Y)])|C], C) :-
    lvc_yvar_insn('PUT_Y_VARIABLE', V, Name, S0, S1),
    lvc_see(V, y(Y), false, true, S1, S).
lvc_put_var(perm(Y, L), true, Loc, G, Unsafe, V, R, S0, S, [ins(Name, [x(R), y(Y)])|C], C) :-
    (   Unsafe == true
    ->  Name = 'PUT_Y_UNSAFE_VALUE',
        lvc_ventry(V, S0, v(_, _, _, _, _, Pre, _)),
        lvc_vupdate(v(V, perm(Y, L), Loc, true, G, Pre, false), S0, S)
    ;   Name = 'PUT_Y_VALUE', S = S0
    ).

% A long chain (a list of compound terms) is cut after every few arguments
% that must be built first: its rest is built before them, into a register
% of its own, so that few registers are held at once.
lvc_split_chain(T, N0, T1, S0, S, C0, C) :-
    T =.. [F|As],
    lvc_split_args(As, N0, As1, S0, S, C0, C),
    T1 =.. [F|As1].

lvc_split_args([A], N, [A1], S0, S, C0, C) :- !,
    (   nonvar(A), \+ atomic(A), A \= '$lvc_reg'(_)
    ->  (   lvc_chain_cut(M), N >= M
        ->  lvc_fresh(R, S0, S1),
            lvc_put_term(A, R, S1, S, C0, C),
            A1 = '$lvc_reg'(R)
        ;   lvc_split_chain(A, N, A1, S0, S, C0, C)
        )
    ;   A1 = A, S = S0, C0 = C
    ).
lvc_split_args([A|As], N0, [A|As1], S0, S, C0, C) :-
    (   nonvar(A), ( lvc_large(A) ; \+ atomic(A) ) -> N1 is N0 + 1 ; N1 = N0 ),
    lvc_split_args(As, N1, As1, S0, S, C0, C).

% Compound and boxed arguments that cannot follow in write mode are built
% first, each into a register of its own.
lvc_prebuild(T, T1, S0, S, C0, C) :-
    T =.. [F|As],
    lvc_prebuild_args(As, As1, S0, S, C0, C),
    T1 =.. [F|As1].

lvc_prebuild_args([], [], S, S, C, C).
lvc_prebuild_args([A], [A1], S0, S, C0, C) :- !,
    (   nonvar(A), \+ atomic(A), A \= '$lvc_reg'(_)
    ->  lvc_prebuild(A, A1, S0, S, C0, C)
    ;   A1 = A, S = S0, C0 = C
    ).
lvc_prebuild_args([A|As], [A1|As1], S0, S, C0, C) :-
    (   nonvar(A), ( lvc_large(A) ; \+ atomic(A) )
    ->  lvc_fresh(R, S0, S1),
        lvc_put_term(A, R, S1, S2, C0, C1),
        A1 = '$lvc_reg'(R)
    ;   A1 = A, S2 = S0, C1 = C0
    ),
    lvc_prebuild_args(As, As1, S2, S, C1, C).

lvc_put_unify_args([], S, S, C, C).
lvc_put_unify_args([A], S0, S, C0, C) :- nonvar(A), \+ atomic(A), A \= '$lvc_reg'(_), !,
    C0 = [ins(Op, Ops)|C1],
    lvc_chain_functor(A, Op, Ops),
    A =.. [_|As],
    lvc_put_unify_args(As, S0, S, C1, C).
lvc_put_unify_args([A], S, S, [ins('UNIFY_LARGE', [b(A)])|C], C) :- lvc_large(A), !.
lvc_put_unify_args([A|As], S0, S, C0, C) :-
    lvc_unify_simple(A, S0, S1, C0, C1),
    lvc_put_unify_args(As, S1, S, C1, C).

% A register holding Term, for an inline goal's operand.
lvc_reg_of(T, R, S0, S, C0, C) :- var(T), !,
    lvc_ventry(T, S0, v(_, Class, Loc, Seen, _, _, _)),
    (   Class == temp, Seen == true, Loc = x(R0)
    ->  R = R0, S = S0, C0 = C
    ;   lvc_fresh(R, S0, S1),
        lvc_put_term(T, R, S1, S, C0, C)
    ).
lvc_reg_of(T, R, S0, S, C0, C) :-
    lvc_fresh(R, S0, S1),
    lvc_put_term(T, R, S1, S, C0, C).

% ---------------------------------------------------------------------------
% Body

lvc_gen_items([], K, cx(_, Env, _, _, _, _), Pre, S0, S, C0, C) :- !,
    lvc_gen_preinit_if(K, Pre, S0, S, C0, C1),
    (   Env == true -> C1 = [ins('PROGRESS', [])|C] ; C1 = [ins('PROCEED', [])|C] ).
lvc_gen_items([getbarrier(V)|Is], K, Ctx, Pre, S0, S, C0, C) :- !,
    lvc_gen_getbarrier(V, S0, S1, C0, C1),
    lvc_gen_items(Is, K, Ctx, Pre, S1, S, C1, C).
lvc_gen_items(Is, 1, Ctx, Pre, S0, S, C0, C) :-
    Pre \== done, !,
    lvc_gen_preinit(Pre, S0, S1, C0, C1),
    lvc_gen_items(Is, 1, Ctx, done, S1, S, C1, C).
lvc_gen_items([call(T, As)|Is], K, Ctx, Pre, S0, S, C0, C) :- !,
    lvc_gen_call(T, As, Is, K, Ctx, S0, S1, C0, C1),
    K1 is K + 1,
    Ctx = cx(TempBase, _, _, _, _, Needs),
    lvc_set_next(TempBase, S1, S2),
    (   Is == []
    ->  S = S2, C1 = C
    ;   lvc_nth1(K1, Needs, Need),
        lvc_segment_check(Need, Check),
        lvc_emit_check(Check, C1, C2),
        lvc_gen_items(Is, K1, Ctx, Pre, S2, S, C2, C)
    ).
lvc_gen_items([I|Is], K, Ctx, Pre, S0, S, C0, C) :-
    lvc_gen_item(I, S0, S1, C0, C1),
    lvc_gen_items(Is, K, Ctx, Pre, S1, S, C1, C).

lvc_gen_preinit_if(1, Pre, S0, S, C0, C) :- Pre \== done, !, lvc_gen_preinit(Pre, S0, S, C0, C).
lvc_gen_preinit_if(_, _, S, S, C, C).

lvc_gen_preinit([], S, S, C, C).
lvc_gen_preinit([V|Vs], S0, S, [ins(Name, [x(R), y(Y)])|C1], C) :-
    lvc_ventry(V, S0, v(_, perm(Y, L), _, _, _, _, _)),
    lvc_fresh(R, S0, S1),
    lvc_yvar_insn('PUT_Y_VARIABLE', V, Name, S1, S2),
    lvc_vupdate(v(V, perm(Y, L), none, false, false, true, false), S2, S3),
    lvc_gen_preinit(Vs, S3, S, C1, C).

% The barrier a CHOICE instruction stores is a small integer, the
% choicepoint's byte offset from the high end of the choice stack (the
% contract's rule cut_target): it stays valid when the choice stack moves and
% can be passed to internal predicates as an ordinary argument.
lvc_gen_getbarrier(V, S0, S, C0, C) :-
    lvc_ventry(V, S0, v(_, Class, _, _, _, _, _)),
    (   Class = perm(Y, _)
    ->  lvc_yvar_insn('CHOICE_Y', V, Name, S0, S1),
        C0 = [ins(Name, [y(Y)])|C],
        lvc_see(V, y(Y), true, false, S1, S)
    ;   lvc_fresh(R, S0, S1),
        C0 = [ins('CHOICE_X', [x(R)])|C],
        lvc_see(V, x(R), true, false, S1, S)
    ).

lvc_gen_call(T, As, Rest, K, cx(_, Env, _, Sizes, _, _), S0, S, C0, C) :-
    lvc_load_args(As, 0, K, S0, S, C0, C1),
    (   Rest == []
    ->  (   Env == true
        ->  C1 = [ins('LASTCALL', [w(0), p(T)])|C]
        ;   C1 = [ins('EXECUTE', [p(T)])|C]
        )
    ;   lvc_nth1(K, Sizes, N),
        W is 16 + 8 * N,
        (   K =:= 1
        ->  lvc_allocated(S, A),
            ( A == true -> Op = 'FIRSTCALL' ; Op = 'INITCALL' )
        ;   Op = 'CALL'
        ),
        C1 = [ins(Op, [w(0), p(T), w(W)])|C]
    ).

% Loads X0.. with the arguments; a variable in a register about to be
% overwritten moves first when a later argument still needs it.
lvc_load_args([], _, _, S, S, C, C).
lvc_load_args([A|As], J, K, S0, S, C0, C) :-
    S0 = st(Tab, _, _),
    lvc_move_out(Tab, J, A, [A|As], S0, S1, C0, C1),
    lvc_put_term(A, J, S1, S2, C1, C2),
    J1 is J + 1,
    lvc_load_args(As, J1, K, S2, S, C2, C).

lvc_move_out([], _, _, _, S, S, C, C).
lvc_move_out([v(V, temp, x(Q), true, _, _, _)|_], J, A, Rest, S0, S, C0, C) :-
    Q =:= J, V \== A, lvc_occurs_in(V, Rest), !,
    lvc_fresh(R, S0, S1),
    C0 = [ins('GET_X_VARIABLE', [x(J), x(R)])|C],
    lvc_relocate(J, R, S1, S).
lvc_move_out([_|Es], J, A, Rest, S0, S, C0, C) :-
    lvc_move_out(Es, J, A, Rest, S0, S, C0, C).

lvc_relocate(J, R, st(T0, N, A), st(T, N, A)) :- lvc_relocate_list(T0, J, R, T).
lvc_relocate_list([], _, _, []).
lvc_relocate_list([E0|Es0], J, R, [E|Es]) :-
    (   E0 = v(V, temp, x(Q), Seen, G, P, U), Q =:= J
    ->  E = v(V, temp, x(R), Seen, G, P, U)
    ;   E = E0
    ),
    lvc_relocate_list(Es0, J, R, Es).

lvc_nth1(1, [X|_], X) :- !.
lvc_nth1(N, [_|Xs], X) :- N1 is N - 1, lvc_nth1(N1, Xs, X).

% Goals compiled in place.
lvc_gen_item(cut, S, S, [ins('CUTB', [])|C], C).
lvc_gen_item(fail, S, S, [ins('FAIL', [])|C], C).
lvc_gen_item(cutto(V), S, S, [I|C], C) :-
    lvc_ventry(V, S, v(_, _, Loc, _, _, _, _)),
    (   Loc = y(Y) -> I = ins('CUT_Y', [y(Y)]) ; Loc = x(R), I = ins('CUTB_X', [x(R)]) ).
lvc_gen_item(inline(G), S0, S, C0, C) :- lvc_gen_inline(G, S0, S, C0, C).

lvc_gen_inline(A = B, S0, S, C0, C) :- !, lvc_gen_unify(A, B, S0, S, C0, C).
lvc_gen_inline(X is E, S0, S, C0, C) :- !,
    lvc_gen_expr(E, S0, S1, C0, C1),
    lvc_gen_store(X, S1, S, C1, C).
lvc_gen_inline(G, S0, S, C0, C) :-
    G =.. [Op, A, B], lvc_arith_compare(Op, Insn), !,
    lvc_gen_compare(A, B, Insn, S0, S, C0, C).
lvc_gen_inline(G, S0, S, C0, C) :-
    G =.. [Op, A, B], lvc_term_compare(Op, Insn), !,
    lvc_reg_of(A, RA, S0, S1, C0, C1),
    lvc_reg_of(B, RB, S1, S, C1, [ins('COMPAREOP', [x(RA), x(RB)]), ins(Insn, [i(0), l(fail)])|C]).
lvc_gen_inline(G, S0, S, C0, C) :-
    G =.. [Op, A], lvc_type_test(Op, Insn), !,
    lvc_reg_of(A, R, S0, S, C0, [ins(Insn, [x(R), l(fail)])|C]).
lvc_gen_inline(G, S0, S, C0, C) :-
    G =.. [Op|As], lvc_builtin_insn(Op, Insn), !,
    lvc_regs_of(As, Rs, S0, S, C0, [ins(Insn, Xs)|C]),
    lvc_xs(Rs, Xs).

lvc_builtin_insn(functor, 'FUNCTOR').
lvc_builtin_insn(arg, 'ARG').
lvc_builtin_insn(=.., 'UNIV').
lvc_builtin_insn(compare, 'COMPARE').
lvc_builtin_insn(create_mutable, 'CREATE_MUTABLE').
lvc_builtin_insn(get_mutable, 'GET_MUTABLE').
lvc_builtin_insn(update_mutable, 'UPDATE_MUTABLE').

lvc_regs_of([], [], S, S, C, C).
lvc_regs_of([A|As], [R|Rs], S0, S, C0, C) :-
    lvc_reg_of(A, R, S0, S1, C0, C1),
    lvc_regs_of(As, Rs, S1, S, C1, C).

lvc_xs([], []).
lvc_xs([R|Rs], [x(R)|Xs]) :- lvc_xs(Rs, Xs).

lvc_unseen_var(V, S) :-
    var(V),
    lvc_ventry(V, S, v(_, _, _, false, _, _, _)).

% A = B: a variable not yet met takes the other side's value; otherwise one
% side is unified with the register holding the other, as a head would be.
% A unification that may fail starts with an event check (CHECK_HEAP 0),
% so that the goals woken by the bindings of the goals before it run before
% it, as before any other goal.
lvc_gen_unify(A, B, S0, S, C0, C) :- lvc_unseen_var(A, S0), !, lvc_bind_fresh(A, B, S0, S, C0, C).
lvc_gen_unify(A, B, S0, S, C0, C) :- lvc_unseen_var(B, S0), !, lvc_bind_fresh(B, A, S0, S, C0, C).
lvc_gen_unify(A, B, S0, S, C0, C) :- nonvar(A), var(B), !, lvc_gen_unify(B, A, S0, S, C0, C).
lvc_gen_unify(A, B, S0, S, [ins('CHECK_HEAP', [i(0)])|C0], C) :-
    lvc_reg_of(A, R, S0, S1, C0, C1),
    lvc_get_term(B, R, S1, S, C1, C).

lvc_bind_fresh(V, _, S, S, C, C) :-
    lvc_ventry(V, S, v(_, void, _, _, _, _, _)), !.
lvc_bind_fresh(V, T, S0, S, C0, C) :-
    lvc_reg_of(T, R, S0, S01, C0, C01),
    lvc_globalise(T, R, S01, S1, C01, C1),
    (   var(T) -> lvc_ventry(T, S1, v(_, _, _, _, G0, _, _)), ( G0 == true -> G = true ; G = false )
    ;   G = true
    ),
    lvc_ventry(V, S1, v(_, Class, _, _, _, _, _)),
    (   Class = perm(Y, _)
    ->  lvc_yvar_insn('GET_Y_VARIABLE', V, Name, S1, S2),
        C1 = [ins(Name, [x(R), y(Y)])|C],
        lvc_see(V, y(Y), false, false, S2, S)
    ;   C1 = C,
        lvc_see(V, x(R), G, false, S1, S)
    ).

% A variable just made in this frame and loaded into register R moves to the
% heap, so that the variable taking its value holds no reference into the
% frame.
lvc_globalise(T, R, S0, S, C0, C) :-
    var(T), lvc_ventry(T, S0, v(_, perm(Y, L), Loc, true, G, Pre, true)), !,
    C0 = [ins('PUT_Y_UNSAFE_VALUE', [x(R), y(Y)])|C],
    lvc_vupdate(v(T, perm(Y, L), Loc, true, G, Pre, false), S0, S).
lvc_globalise(_, _, S, S, C, C).

% ---------------------------------------------------------------------------
% Arithmetic

lvc_monop(-, 'MONOP_MINUS').
lvc_monop(integer, 'MONOP_INTEGER').
lvc_monop(float, 'MONOP_FLOAT').
lvc_monop(\, 'MONOP_COMPLEMENT').
lvc_monop(sin, 'MONOP_SIN').
lvc_monop(cos, 'MONOP_COS').
lvc_monop(tan, 'MONOP_TAN').
lvc_monop(cot, 'MONOP_COT').
lvc_monop(sinh, 'MONOP_SINH').
lvc_monop(cosh, 'MONOP_COSH').
lvc_monop(tanh, 'MONOP_TANH').
lvc_monop(coth, 'MONOP_COTH').
lvc_monop(asin, 'MONOP_ASIN').
lvc_monop(acos, 'MONOP_ACOS').
lvc_monop(atan, 'MONOP_ATAN').
lvc_monop(acot, 'MONOP_ACOT').
lvc_monop(asinh, 'MONOP_ASINH').
lvc_monop(acosh, 'MONOP_ACOSH').
lvc_monop(atanh, 'MONOP_ATANH').
lvc_monop(acoth, 'MONOP_ACOTH').
lvc_monop(sqrt, 'MONOP_SQRT').
lvc_monop(log, 'MONOP_LOG').
lvc_monop(exp, 'MONOP_EXP').
lvc_monop(abs, 'MONOP_ABS').
lvc_monop(msb, 'MONOP_MSB').
lvc_monop(round, 'MONOP_ROUND').
lvc_monop(truncate, 'MONOP_TRUNCATE').
lvc_monop(floor, 'MONOP_FLOOR').
lvc_monop(ceiling, 'MONOP_CEILING').
lvc_monop(sign, 'MONOP_SIGN').
lvc_monop(float_integer_part, 'MONOP_FLOAT_INTEGER_PART').
lvc_monop(float_fractional_part, 'MONOP_FLOAT_FRACTIONAL_PART').

lvc_binop(+, 'BINOP_ADD').
lvc_binop(-, 'BINOP_SUBTRACT').
lvc_binop(*, 'BINOP_MULTIPLY').
lvc_binop(/, 'BINOP_DIVIDE').
lvc_binop(//, 'BINOP_IDIVIDE').
lvc_binop(mod, 'BINOP_MODULUS').
lvc_binop(rem, 'BINOP_REMAINDER').
lvc_binop(max, 'BINOP_MAXIMUM').
lvc_binop(min, 'BINOP_MINIMUM').
lvc_binop(xor, 'BINOP_XOR').
lvc_binop(/\, 'BINOP_AND').
lvc_binop(\/, 'BINOP_OR').
lvc_binop(<<, 'BINOP_LEFT_SHIFT').
lvc_binop(>>, 'BINOP_RIGHT_SHIFT').
lvc_binop(atan2, 'BINOP_ATAN2').
lvc_binop(atan, 'BINOP_ATAN2').
lvc_binop(acot2, 'BINOP_ACOT2').
lvc_binop(log, 'BINOP_LOG').
lvc_binop(exp, 'BINOP_EXP').
lvc_binop(**, 'BINOP_POWER').
lvc_binop(gcd, 'BINOP_GCD').
lvc_binop(^, 'BINOP_IPOWER').
lvc_binop(div, 'BINOP_FDIVIDE').

lvc_binop_imm(+, 'BINOP_ADD_IMM').
lvc_binop_imm(-, 'BINOP_SUBTRACT_IMM').
lvc_binop_imm(*, 'BINOP_MULTIPLY_IMM').
lvc_binop_imm(//, 'BINOP_IDIVIDE_IMM').
lvc_binop_imm(mod, 'BINOP_MODULUS_IMM').
lvc_binop_imm(rem, 'BINOP_REMAINDER_IMM').
lvc_binop_imm(xor, 'BINOP_XOR_IMM').
lvc_binop_imm(/\, 'BINOP_AND_IMM').
lvc_binop_imm(\/, 'BINOP_OR_IMM').
lvc_binop_imm(div, 'BINOP_FDIVIDE_IMM').

% Evaluable constants known at compile time.
lvc_arith_constant(pi, 3.141592653589793).
lvc_arith_constant(e, 2.718281828459045).

% lvc_gen_expr(+E, ...): E's value in the accumulator.
lvc_gen_expr(E, S0, S, C0, C) :- var(E), !,
    lvc_operand(E, 'FIRST', S0, S, C0, C).
lvc_gen_expr(E, S0, S, C0, C) :- number(E), !,
    lvc_operand(E, 'FIRST', S0, S, C0, C).
lvc_gen_expr(inf, S, S, [ins('ANOP_INF', [])|C], C) :- !.
lvc_gen_expr(nan, S, S, [ins('ANOP_NAN', [])|C], C) :- !.
lvc_gen_expr(E, S0, S, C0, C) :- atom(E), !,
    lvc_operand(E, 'FIRST', S0, S, C0, C).
lvc_gen_expr(+(A), S0, S, C0, C) :- !, lvc_gen_expr(A, S0, S, C0, C).
lvc_gen_expr(E, S0, S, C0, C) :-
    E =.. [F, A], lvc_monop(F, Op), !,
    lvc_gen_expr(A, S0, S, C0, [ins(Op, [])|C]).
lvc_gen_expr(E, S0, S, C0, C) :-
    E =.. [F, A, B], lvc_binop(F, Op), !,
    (   lvc_int64(B), lvc_binop_imm(F, OpI)
    ->  lvc_gen_expr(A, S0, S, C0, [ins(OpI, [i(B)])|C])
    ;   lvc_gen_two(A, B, S0, S, C0, [ins(Op, [])|C])
    ).
lvc_gen_expr(E, S0, S, C0, C) :-
    lvc_operand(E, 'FIRST', S0, S, C0, C).

% A in the accumulator and B in the second one.
lvc_gen_two(A, B, S0, S, C0, C) :- lvc_simple_operand(B), !,
    lvc_gen_expr(A, S0, S1, C0, C1),
    lvc_operand(B, 'LATER', S1, S, C1, C).
lvc_gen_two(A, B, S0, S, C0, C) :- lvc_simple_operand(A), !,
    lvc_gen_expr(B, S0, S1, C0, C1),
    lvc_operand(A, 'LATER', S1, S, C1, [ins('BINOP_SWAP', [])|C]).
lvc_gen_two(A, B, S0, S, C0, C) :-
    lvc_gen_expr(A, S0, S1, C0, C1),
    lvc_fresh(R, S1, S2),
    C1 = [ins('STORE_X_VARIABLE', [x(R)])|C2],
    lvc_gen_expr(B, S2, S, C2, [ins('LATER_X_VALUE', [x(R)]), ins('BINOP_SWAP', [])|C]).

lvc_simple_operand(X) :- var(X), !.
lvc_simple_operand(X) :- number(X), !.
lvc_simple_operand(X) :- atom(X), X \== inf, X \== nan.

% A FIRST_ or LATER_ load of a number, a variable or any other term.
lvc_operand(E, Which, S, S, [ins(Name, [i(E)])|C], C) :- lvc_int64(E), !,
    atom_concat(Which, '_CONSTANT', Name).
lvc_operand(E, Which, S, S, [ins(Name, [b(E)])|C], C) :- number(E), !,
    atom_concat(Which, '_LARGE', Name).
lvc_operand(E, Which, S, S, [ins(Name, [b(F)])|C], C) :- atom(E), lvc_arith_constant(E, F), !,
    atom_concat(Which, '_LARGE', Name).
lvc_operand(E, Which, S, S, [ins(Name, [y(Y)])|C], C) :-
    var(E), lvc_ventry(E, S, v(_, perm(Y, _), _, true, _, _, _)), !,
    atom_concat(Which, '_Y_VALUE', Name).
lvc_operand(E, Which, S0, S, C0, C) :-
    lvc_reg_of(E, R, S0, S, C0, [ins(Name, [x(R)])|C]),
    atom_concat(Which, '_X_VALUE', Name).

lvc_gen_store(X, S0, S, C0, C) :- var(X), !,
    lvc_ventry(X, S0, v(_, Class, Loc, Seen, _, _, _)),
    lvc_store_var(Class, Seen, Loc, X, S0, S, C0, C).
lvc_gen_store(X, S, S, [ins('STORE_CONSTANT', [i(X)])|C], C) :- lvc_int64(X), !.
lvc_gen_store(X, S, S, [ins('STORE_LARGE', [b(X)])|C], C) :- number(X), !.
lvc_gen_store(X, S0, S, C0, C) :-
    lvc_fresh(R, S0, S1),
    C0 = [ins('STORE_X_VARIABLE', [x(R)])|C1],
    lvc_get_term(X, R, S1, S, C1, C).

lvc_store_var(void, _, _, _, S0, S, [ins('STORE_X_VARIABLE', [x(R)])|C], C) :- lvc_fresh(R, S0, S).
lvc_store_var(temp, false, _, V, S0, S, [ins('STORE_X_VARIABLE', [x(R)])|C], C) :-
    lvc_fresh(R, S0, S1),
    lvc_see(V, x(R), true, false, S1, S).
lvc_store_var(temp, true, x(R), _, S, S, [ins('STORE_X_VALUE', [x(R)])|C], C).
lvc_store_var(perm(Y, _), false, _, V, S0, S, [ins(Name, [y(Y)])|C], C) :-
    lvc_yvar_insn('STORE_Y_VARIABLE', V, Name, S0, S1),
    lvc_see(V, y(Y), true, false, S1, S).
lvc_store_var(perm(Y, _), true, _, _, S, S, [ins('STORE_Y_VALUE', [y(Y)])|C], C).

lvc_gen_compare(A, B, Insn, S0, S, C0, C) :- lvc_int64(B), !,
    atom_concat(Insn, '_IMM', InsnI),
    lvc_gen_expr(A, S0, S, C0, [ins(InsnI, [i(B), l(fail)])|C]).
lvc_gen_compare(A, B, Insn, S0, S, C0, C) :-
    lvc_gen_two(A, B, S0, S, C0, [ins(Insn, [l(fail)])|C]).
