% Tests of the Prolog compiler, run on swipl --traditional:
%   swipl --traditional -q compiler_test.pl -- FACTS_DIR BOOT_DIR CORPUS_FILE...
% Instruction listings of characteristic clauses, the invariants of every
% clause of the corpus (environment slots initialised before each call that
% counts them), and the quick-load files of the corpus read back by the
% format's own rules.
:- initialization(main, main).
:- discontiguous test/1, check/1.

main :-
    current_prolog_flag(argv, [Facts, Boot|Corpus]),
    atom_concat(Facts, '/instructions.pl', Insns),
    atom_concat(Facts, '/contract.pl', Contract),
    consult(Insns),
    consult(Contract),
    forall(member(F, [comp_front, comp_gen, comp_asm, comp_driver]),
           ( atomic_list_concat([Boot, '/', F, '.pl'], P), consult(P) )),
    findall(check(T), test(T), Tests),
    findall(check_file(F), member(F, Corpus), Files),
    append(Tests, Files, Goals),
    run_tests(Goals, 0, 0, Passed, Failed),
    format("~d passed, ~d failed~n", [Passed, Failed]),
    ( Failed =:= 0 -> halt(0) ; halt(1) ).

run_tests([], P, F, P, F).
run_tests([G|Gs], P0, F0, P, F) :-
    (   catch(G, E, (print_message(error, format("~q: ~q", [G, E])), fail))
    ->  P1 is P0 + 1, F1 = F0
    ;   format("FAILED: ~q~n", [G]), P1 = P0, F1 is F0 + 1
    ),
    run_tests(Gs, P1, F1, P, F).

listing_of(C, L) :- lvc_clause_listing(C, L).

% The instruction names of a listing, in order.
names([], []).
names([X|Xs], [X|Ns]) :- atom(X), X \== pad, X \== fail_code, !, names(Xs, Ns).
names([_|Xs], Ns) :- names(Xs, Ns).

has_names(C, Sub) :-
    listing_of(C, [_, _|L]),
    names(L, Ns),
    append(_, Rest, Ns), append(Sub, _, Rest), !.

key_of(C, Bits, Key) :- listing_of(C, [key(Bits, Key)|_]).

% ---------------------------------------------------------------------------
% Listings

test(app_cons).
check(app_cons) :-
    listing_of((app([H|T], L, [H|R]) :- app(T, L, R)), [key(9, K), size(24)|L0]),
    var(K),
    L0 == ['GET_LIST_X0', 'UNIFY_X_VARIABLE', x(3), 'UNIFY_X_VARIABLE', x(4),
           'GET_LIST', x(2), 'UNIFY_X_VALUE', x(3), 'UNIFY_X_VARIABLE', x(5),
           'GET_X_VARIABLE', x(4), x(0), 'GET_X_VARIABLE', x(5), x(2),
           'EXECUTE', p(app/3), 'END_OF_CLAUSEQ', pad, p(app/3)].

test(nrev_env).
check(nrev_env) :-
    listing_of((nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R)), [_, _|L]),
    L = ['GET_LIST_X0', 'UNIFY_Y_FIRST_VARIABLE', y(0), 'UNIFY_X_VARIABLE', x(3),
         'GET_Y_VARIABLE', x(1), y(1), 'GET_X_VARIABLE', x(3), x(0),
         'PUT_Y_VARIABLE', x(1), y(2), 'FIRSTCALL', w(0), p(nrev/2), w(40),
         'PUT_Y_UNSAFE_VALUE', x(0), y(2), 'PUT_LIST', x(1), 'UNIFY_Y_VALUE', y(0), 'UNIFY_NIL',
         'PUT_Y_VALUE', x(2), y(1), 'LASTCALL', w(0), p(app/3)|_].

test(fact_constant_q).
check(fact_constant_q) :-
    listing_of(f(a, b), [key(23, a), _|L]),
    L = ['GET_CONSTANT_X0Q', pad, c(a), 'GET_CONSTANT', x(1), c(b)|_].

test(put_constant_q_pad_first).
check(put_constant_q_pad_first) :-
    % PUT_CONSTANT at an odd word: the Q form, its alignment word right
    % after the opcode.
    listing_of((p :- !, q(a)), [_, _|L]),
    L = ['CUTB', 'PUT_CONSTANTQ', pad, x(0), c(a)|_].

% ---------------------------------------------------------------------------
% First-argument keys

test(keys).
check(keys) :-
    key_of(p(_), 31, _),
    key_of(p([]), 23, []),
    key_of(p(7), 23, 7),
    key_of(p([_]), 9, K1), var(K1),
    key_of(p(f(_, b)), 23, S), S = f(X, Y), var(X), var(Y),
    key_of(p(1.5), 23, 1.5),
    key_of(p(123456789012345678901234567890), 23, 123456789012345678901234567890),
    key_of(p, 31, _),
    has_names(p(1.5), ['GET_LARGE_X0Q']),
    has_names(p(f(_, b)), ['GET_STRUCTURE_X0Q']).

% ---------------------------------------------------------------------------
% Cuts, control constructs

test(neck_cut).
check(neck_cut) :- has_names((p(X) :- X > 1, !, q), ['FIRST_X_VALUE', 'GREATER_THAN_IMMQ', 'CUTB', 'EXECUTE']).

test(deep_cut).
check(deep_cut) :- has_names((p :- q, !, r), ['CHOICE_YF', 'FIRSTCALL', 'CUT_Y', 'LASTCALLQ']).

test(cut_in_disjunction).
check(cut_in_disjunction) :-
    has_names((p(X) :- ( X = a, ! ; true ), q), ['CHOICE_X']),
    has_names((p(X) :- ( X = a, ! ; true ), q), ['CUTB_X']).

test(if_then_else_internal).
check(if_then_else_internal) :-
    listing_of((p(X, Y) :- ( X > 0 -> Y = pos ; Y = neg )), [_, _|L]),
    findall(A, member(hdrw(_, A), L), [2]),
    findall(T, member(tryw(T, 2), L), [_, _]),
    names(L, Ns), memberchk('CUTB', Ns).

test(negation_internal).
check(negation_internal) :-
    has_names((p(X) :- \+ q(X)), ['EXECUTEQ']),
    has_names((p(X) :- \+ q(X)), ['CHOICE_YF', 'FIRSTCALL', 'CUT_Y', 'FAIL', 'PROGRESS', 'PROCEED']).

test(heap_check).
check(heap_check) :-
    numlist(1, 700, L),
    listing_of((p(X) :- X = L), [_, _, First|_]),
    First == 'CHECK_HEAPQ'.

% A body unification that may fail starts with an event check (woken goals
% run before it); one that binds a new variable cannot fail and has none.
test(unify_event_check).
check(unify_event_check) :-
    has_names((p(1, X) :- X = 2), ['GET_CONSTANT_X0Q', 'CHECK_HEAPQ', 'GET_CONSTANT']),
    listing_of((p(1, X) :- X = 2), [_, _|L]),
    memberchk(i(0), L),
    \+ has_names((p(X) :- Y = f(X), q(Y)), ['CHECK_HEAPQ']),
    \+ has_names((p(X) :- Y = f(X), q(Y)), ['CHECK_HEAP']).

% A structure of more than 255 arguments, in the head or deep in the body,
% is refused with the name and arity; 255 compiles.
test(arity_limit).
check(arity_limit) :-
    functor(Big, g, 256),
    forall(member(C, [(p :- q([a, f(Big)])), Big]),
           catch(( lvc_compile_clauses([C], _), fail ), lvc_error(in_clause(_, arity_too_large(g/256))), true)),
    functor(Max, g, 255),
    lvc_compile_clauses([(p(X) :- X = Max)], [_]).

% A clause whose environment frame would pass the runtime's local reserve
% (two link words and the permanent variables) is refused with the count and
% the limit; one that fits compiles.
test(frame_limit).
check(frame_limit) :-
    local_reserve(R),
    Max is R - 2,
    Over is Max + 1,
    frame_clause(Over, Big),
    catch(( lvc_compile_clauses([Big], _), fail ),
          lvc_error(in_clause(_, frame_too_large(permanent_variables(Over), limit(Max)))), true),
    frame_clause(Max, Fits),
    lvc_compile_clauses([Fits], [_]).

% p(f(V1, ..., V200), f(...), ...) :- q, r(f(V1, ..., V200)), ...: the head
% variables are all needed after the first call, n permanent variables.
frame_clause(N, (Head :- Body)) :-
    length(Vs, N),
    in_chunks(Vs, Args),
    Head =.. [p|Args],
    wrap_each(Args, r, Rs),
    goals_conj([q|Rs], Body).

in_chunks([], []) :- !.
in_chunks(Vs, [S|Ss]) :-
    length(Vs, L),
    K is min(200, L),
    length(Part, K),
    append(Part, Rest, Vs),
    S =.. [f|Part],
    in_chunks(Rest, Ss).

wrap_each([], _, []).
wrap_each([V|Vs], F, [G|Gs]) :- G =.. [F, V], wrap_each(Vs, F, Gs).

goals_conj([G], G) :- !.
goals_conj([G|Gs], (G, C)) :- goals_conj(Gs, C).

% ---------------------------------------------------------------------------
% Barriers as values, module-qualified goals and heads

test(choice_and_cut).
check(choice_and_cut) :-
    has_names((p(X) :- '$choice'(B), q(X), '$cut'(B)), ['CHOICE_YF', 'FIRSTCALL', 'CUT_Y']),
    % in a disjunct: the clause's barrier, passed to the internal predicate
    % as its third argument
    listing_of((p(X) :- ( q(X), '$choice'(B) ; true ), r(B)), [_, _|L]),
    names(L, Ns), memberchk('CHOICE_X', Ns), memberchk(hdrw(_, 3), L).

test(module_goals).
check(module_goals) :-
    listing_of((p :- m:q), [_, _|L1]), memberchk(p((:)/2), L1),
    listing_of((p(G) :- m:G), [_, _|L2]), memberchk(p(call/1), L2),
    listing_of((p(M) :- M:q), [_, _|L3]), memberchk(p(call/1), L3),
    listing_of((p :- m:(q, r)), [_, _|L4]), memberchk(p(call/1), L4).

test(qualified_head).
check(qualified_head) :-
    lvc_compile_clause((m:p(X) :- q(X)), cunit(Spec, _, _, Words, _)),
    Spec == m:p/1,
    last(Words, p(m:p/1)).

% Clauses in modules: the calls of a clause of another module than the one
% the code is loaded in name that module; meta-arguments written in the
% clause are qualified with it, variables are not; code of user loaded in
% user is left as it is.
test(module_clause).
check(module_clause) :-
    Metas = [findall(?, 0, ?), catch(0, ?, 0), once(0)],
    forall(member(C-Ctx-Expected, [
               (p(X) :- q(X))-lvc_ctx(m, user, [])-(m:p(X) :- '$lvc_call'(m:q/1, q(X))),
               (n:p :- q)-lvc_ctx(m, m, [])-(n:p :- '$lvc_call'(q/0, q)),
               (p(G) :- call(G), once(G))-lvc_ctx(m, m, Metas)-(p(G) :- G, '$lvc_call'(once/1, once(G))),
               (p :- findall(X, q(X), _), catch(r, _, true))-lvc_ctx(prolog, prolog, Metas)
                   -(p :- '$lvc_call'(findall/3, findall(X, prolog:q(X), _)),
                          '$lvc_call'(catch/3, catch(prolog:r, _, prolog:true))),
               (p(L) :- findall(X, ( q(X), \+ once(r(X)) ), L))-lvc_ctx(m, m, Metas)
                   -(p(L) :- '$lvc_call'(findall/3, findall(X, m:(q(X), \+ once(m:r(X))), L))),
               (p :- findall(X, k:q(X), _))-lvc_ctx(m, m, Metas)
                   -(p :- '$lvc_call'(findall/3, findall(X, k:q(X), _))),
               (p :- call(foo, 1), \+ once(q))-lvc_ctx(m, m, Metas)
                   -(p :- '$lvc_call'(call/2, call(m:foo, 1)), \+ '$lvc_call'(once/1, once(m:q))),
               (p :- findall(X, q(X), _))-lvc_ctx(user, user, Metas)
                   -(p :- '$lvc_call'(findall/3, findall(X, q(X), _)))
           ]),
           (   lvc_module_clause(C, Ctx, Got), Got =@= Expected -> true
           ;   format("module clause ~q in ~q: got ~q~n", [C, Ctx, Got]), fail
           )),
    lvc_compile_clause((p(X) :- q(X)), lvc_ctx(m, user, []), cunit(Spec, _, _, Words, _)),
    Spec == m:p/1,
    memberchk(p(m:q/1), Words).

test(body_not_callable).
check(body_not_callable) :-
    catch(( lvc_compile_clauses([(p :- q, 1)], _), fail ), lvc_error(in_clause(_, goal_not_callable(1))), true).

% Directives: exports merged per module, dynamic declarations before the
% code with the facts inserted, the other declarations and goals after it.
test(directives).
check(directives) :-
    tmp_file_stream(text, F1, S1),
    format(S1, ":- module(prolog, [a/0]).~n:- dynamic d/1.~nd(1).~na.~n:- meta_predicate m(0).~nm(G) :- call(G).~n:- foo(bar).~n", []),
    close(S1),
    tmp_file_stream(text, F2, S2),
    format(S2, ":- module(prolog, [m/1]).~n:- discontiguous b/0.~nb.~n", []),
    close(S2),
    lvc_read_program([F1, F2], user, Prog),
    Prog = prog(Clauses, Dynamic, Directives, Exports),
    Exports == [prolog-[a/0, m/1]],
    Dynamic == [d/1-prolog],
    Directives = ['$meta_predicate'(prolog:m(0), _), foo(bar)],
    length(Clauses, 4),
    lvc_compile_program(Prog, ql, Bytes),
    atom_codes(A, Bytes),
    forall(member(T, ['$define_predicate', '$set_property', '$insertz_quick', '$meta_predicate', foo, '$module']),
           sub_atom(A, _, _, _, T)),
    sub_atom(A, Pdyn, _, _, '$set_property'), sub_atom(A, Pcode, _, _, '$compiled_clause'),
    sub_atom(A, Pmod, _, _, '$module'), Pdyn < Pcode, Pcode < Pmod,
    \+ sub_atom(A, _, _, _, 'discontiguous'),
    catch(( lvc_compile_program(Prog, items, _), fail ), lvc_error(directives_in_item_lists), true).

test(dynamic_rule_refused).
check(dynamic_rule_refused) :-
    catch(( lvc_compile_program(prog([(d(X) :- X > 0)-user], [d/1-user], [], []), ql, _), fail ),
          lvc_error(dynamic_clause_not_a_fact(_)), true).

% ---------------------------------------------------------------------------
% Float text: shortest digits that read back

test(float_text).
check(float_text) :-
    forall(member(F-T, [0.1-'1.0e-1', 1.0-'1.0e0', 0.5-'5.0e-1', 1.0e22-'1.0e22', -2.5-'-2.5e0',
                        0.0-'0.0', 123.456-'1.23456e2', 5.0e-324-'5.0e-324']),
           ( lvc_float_codes(F, Cs), atom_codes(A, Cs), A == T )),
    forall(member(F, [3.141592653589793, 1.7976931348623157e308, 2.2250738585072014e-308, 1.0e-300, 9007199254740993.0]),
           ( lvc_float_codes(F, Cs), number_codes(G, Cs), G =:= F )).

% ---------------------------------------------------------------------------
% The corpus: every clause compiles; environment slots are initialised
% before each call that counts them; the quick-load file reads back.

check_file(File) :-
    lvc_read_file(File, Clauses),
    forall(member(C, Clauses), check_clause(C)),
    lvc_group(Clauses, Groups),
    lvc_compile_groups(Groups, Preds),
    lvc_ql_file(Preds, Bytes),
    read_back(Bytes, Preds).

check_clause(C) :-
    lvc_compile_clause(C, cunit(_, _, _, Words, Size)),
    (   slots_ok(Words, 0, [], false) -> true
    ;   format("uninitialised slot before a call: ~q~n", [C]), fail
    ),
    words_size(Words, 0, Size).

words_size([], N, N).
words_size([W|Ws], N0, N) :- word_len(W, L), N1 is N0 + L, words_size(Ws, N1, N).

word_len(W, 2) :- memberchk(W, [c(_), f(_, _), p(_), i(_), ref(_), fail_code]), !.
word_len(boxf(_), 6) :- !.
word_len(boxi(_, L), N) :- !, N is 2 * (1 + L).
word_len(hdrw(_, _), 8) :- !.
word_len(tryw(_, _), 8) :- !.
word_len(_, 1).

% Walks the clause's own code (up to its first internal predicate or the
% end): the Y slots set so far must cover every call's environment size.
slots_ok([], _, _, _).
slots_ok([hdrw(_, _)|_], _, _, _) :- !.
slots_ok([op(N)|Ws], _, Set, _) :-
    instruction(N, Name, _, _),
    (   call_insn(Name)
    ->  Ws = [_|Ws1], operand_words(Ws1, Ops), last(Ops, w(S)), Live is (S - 16) // 8,
        forall(between(1, Live, I), ( K is I - 1, memberchk(K, Set) ))
    ;   true
    ),
    slots_ok(Ws, Name, Set, true).
slots_ok([y(K)|Ws], Name, Set, _) :- !,
    (   sets_y(Name) -> Set1 = [K|Set] ; Set1 = Set ),
    slots_ok(Ws, Name, Set1, true).
slots_ok([_|Ws], Name, Set, _) :- slots_ok(Ws, Name, Set, true).

operand_words([W|Ws], [W|Os]) :- W \= op(_), W \= hdrw(_, _), !, operand_words(Ws, Os).
operand_words(_, []).

call_insn(Name) :- memberchk(Name, ['INITCALL', 'INITCALLQ', 'FIRSTCALL', 'FIRSTCALLQ', 'CALL', 'CALLQ']).

sets_y(Name) :-
    memberchk(Name, ['GET_Y_VARIABLE', 'GET_Y_FIRST_VARIABLE', 'GET_Y_UNSAFE_VARIABLE',
                     'PUT_Y_VARIABLE', 'PUT_Y_FIRST_VARIABLE',
                     'UNIFY_Y_VARIABLE', 'UNIFY_Y_FIRST_VARIABLE', 'UNIFY_Y_UNSAFE_VARIABLE',
                     'STORE_Y_VARIABLE', 'STORE_Y_FIRST_VARIABLE', 'STORE_Y_UNSAFE_VARIABLE',
                     'CHOICE_Y', 'CHOICE_YF']).

% Reads the file's items back by the format's rules: each 'K' block's tokens
% fill exactly its size, the reader writing the Q alignment words and no
% 64-bit token having to align itself; every fix-up chain runs over 64-bit
% slots; the file ends with '$ql_complete'.
read_back(Bytes, Preds) :-
    findall(Size, (member(pred(_, Us), Preds), member(cunit(_, _, _, _, Size), Us)), Sizes),
    items(Bytes, Sizes),
    atom_codes('$ql_complete', QC),
    append(_, [0'A|Rest], Bytes), append(Reg, [0|T1], Rest), append(QC, [0, 0'L|T2], T1),
    append(Reg, [0], T2), !.

items([], []).
items(Bs, Sizes) :- item(Bs, Rest, Sizes, Sizes1), items(Rest, Sizes1).

item([64|B0], B, S0, S) :- !, num(B0, _, B1), item(B1, B, S0, S).
item([0'K|B0], B, [Size|S0], S) :- !,
    num(B0, _, B1), num(B1, Half, B2), num(B2, 4, B3),
    Half =:= 2 * Size,
    tokens(B3, 0, Size, Wides, B4),
    fixups(B4, Wides, B5),
    item(B5, B, S0, S).
item([0'A|B0], B, S0, S) :- !, num(B0, _, B1), string(B1, _, B2), item(B2, B, S0, S).
item([0'L|B0], B, S, S) :- !, num(B0, _, B).
item([C|B0], B, S0, S) :- memberchk(C, [0'C, 0'D]), !, num(B0, _, B1), num(B1, _, B2), item(B2, B, S0, S).
item([0'E|B0], B, S0, S) :- !, num(B0, _, B1), string(B1, _, B2), item(B2, B, S0, S).
item([0'B|B0], B, S0, S) :- !, num(B0, _, B1), num(B1, _, B2), num(B2, _, B3), item(B3, B, S0, S).
item([C|B0], B, S0, S) :- memberchk(C, [0'F, 0'G, 0'H, 0'I, 0'J]), !, num(B0, _, B1), item(B1, B, S0, S).

fixups([C|B0], Wides, B) :- memberchk(C, [0'M, 0'N]), !,
    num(B0, _, B1), num(B1, Off, B2),
    chain(Off, Wides),
    fixups(B2, Wides, B).
fixups([C|B0], Wides, B) :- memberchk(C, [0'A, 0'B, 0'C, 0'F, 0'G, 0'H, 0'I, 0'J]), !,
    ( C == 0'A -> num(B0, _, B1), string(B1, _, B2)
    ; C == 0'B -> num(B0, _, B1), num(B1, _, B1a), num(B1a, _, B2)
    ; C == 0'C -> num(B0, _, B1), num(B1, _, B2)
    ; num(B0, _, B2) ),
    fixups(B2, Wides, B).
fixups(B, _, B).

chain(0, _) :- !.
chain(Off, Wides) :- P is Off // 2, memberchk(P-Next, Wides), chain(Next, Wides).

% Tokens of one block: the word position, the Q forms' alignment words
% written by the reader, and the '+' slots (Position-Value) for the chains.
tokens([0|B], P, Size, [], B) :- !, P =:= Size.
tokens([0'O|B0], P0, Size, W, B) :- !,
    num(B0, N, B1),
    instruction(N, _, Fmt, _), format_operands(Fmt, Ops),
    (   sub_atom(Ops, 0, 1, _, p) -> P is P0 + 2 ; P is P0 + 1 ),
    tokens(B1, P, Size, W, B).
tokens([C|B0], P0, Size, W, B) :- memberchk(C, [0'X, 0'Y]), !,
    num(B0, _, B1), P is P0 + 1, tokens(B1, P, Size, W, B).
tokens([C|B0], P0, Size, W, B) :- C >= 0'0, C =< 0'9, !,
    num([C|B0], _, B1), P is P0 + 1, tokens(B1, P, Size, W, B).
tokens([0'+|B0], P0, Size, [P0-V|W], B) :- !,
    P0 mod 2 =:= 0, num(B0, V, B1), P is P0 + 2, tokens(B1, P, Size, W, B).
tokens([0'R|B0], P0, Size, W, B) :- !,
    P0 mod 2 =:= 0, num(B0, _, B1), P is P0 + 2, tokens(B1, P, Size, W, B).
tokens([C|B0], P0, Size, W, B) :- memberchk(C, [0'e, 0'f]), !,
    P0 mod 2 =:= 0, P is P0 + 2, tokens(B0, P, Size, W, B).
tokens([0'F|B0], P0, Size, W, B) :- !,
    P0 mod 2 =:= 0, string(B0, Cs, B1), number_codes(_, Cs), P is P0 + 6, tokens(B1, P, Size, W, B).
tokens([0'L|B0], P0, Size, W, B) :- !,
    P0 mod 2 =:= 0, num(B0, V, B1), lvc_limbs(V, N), P is P0 + 2 * (1 + N), tokens(B1, P, Size, W, B).
tokens([0'T|B0], P0, Size, W, B) :- !,
    P0 mod 2 =:= 0, num(B0, _, B1), num(B1, _, B2), num(B2, Form, B3),
    memberchk(Form, [0, 1]), P is P0 + 8, tokens(B3, P, Size, W, B).

num(B0, N, B) :- append(Cs, [0|B], B0), !, number_codes(N, Cs).
string(B0, Cs, B) :- append(Cs, [0|B], B0), !.
