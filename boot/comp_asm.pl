% The compiler's assembler: a clause's instructions and its internal
% predicates laid out as one code block, and the two back ends of that
% layout: the item list of $make_bytecode_object and the quick-load file.
%
% The instruction set comes from the runtime's instruction table as the facts
% instruction(Number, Name, Format, Class) and format_operands(Format, Letters),
% the shared conventions from the contract as rule(Name, Value) (both
% generated at build time, instructions.pl and contract.pl).
%
% Rules of this system's code layout:
% - Code starts 8-byte aligned. A 64-bit operand lies on an 8-byte boundary:
%   the plain form of an instruction is used when its first 64-bit operand
%   falls there, the Q form (one alignment word after the opcode) otherwise.
% - A block holds the clause's code, then each internal predicate: its
%   32-byte entry header on an 8-byte boundary (a FAIL word, never reached,
%   fills the gap after the code before it), for several clauses a 32-byte
%   try record per clause, then the clauses' code; and last END_OF_CLAUSE
%   naming the predicate that owns the block.
% - The entry header's target is the single clause's code right after it, or
%   the TRY word (the last word) of the first try record.
% - An inline float reserves 6 words (its box, then NOP 1); an inline integer
%   box of n 64-bit limbs (the fewest that hold it in two's complement)
%   reserves 2 x (1 + n) words.
% - Offsets and sizes in items and quick-load files count 2-byte units.

% lvc_compile_clause(+Clause, -Unit)
% Unit = cunit(Spec, KeyBits, Key, Words, SizeInWords), Spec being
% Name/Arity, or Module:Name/Arity for a head Module:Head.
lvc_compile_clause(Clause, cunit(Spec, Bits, Key, Words, Size)) :-
    lvc_clause_parts(Clause, Head0, Body),
    lvc_unqualified_head(Head0, Head, Spec),
    lvc_normalize((Head :- Body), NC, Auxes),
    lvc_gen_clause(NC, true, Code, key(Bits, Key)),
    lvc_gen_auxes(Auxes, AuxCode, [ins('END_OF_CLAUSE', [p(Spec)])]),
    lvc_append(Code, AuxCode, Stream0),
    lvc_peephole(Stream0, Stream),
    lvc_layout(Stream, Words, Size).

% lvc_compile_clause(+Clause, +Ctx, -Unit): the clause compiled in its
% module (lvc_module_clause/3).
lvc_compile_clause(Clause, Ctx, Unit) :-
    lvc_module_clause(Clause, Ctx, Clause1),
    lvc_compile_clause(Clause1, Unit).

lvc_unqualified_head(H, _, _) :- var(H), !, throw(lvc_error(bad_clause_head(H))).
lvc_unqualified_head(M:H, H, M:N/A) :- atom(M), callable(H), H \= _:_, !, functor(H, N, A).
lvc_unqualified_head(H, H, N/A) :- callable(H), H \= _:_, !, functor(H, N, A).
lvc_unqualified_head(H, _, _) :- throw(lvc_error(bad_clause_head(H))).

lvc_gen_auxes([], C, C).
lvc_gen_auxes([auxdef(Id, Arity, Clauses)|As], [align8, hdr(Id, Arity, N)|C0], C) :-
    lvc_length(Clauses, N),
    (   N > 1 -> lvc_try_records(1, N, Id, Arity, C0, C1) ; C1 = C0 ),
    lvc_gen_aux_clauses(Clauses, 1, Id, C1, C2),
    lvc_gen_auxes(As, C2, C).

lvc_try_records(K, N, _, _, C, C) :- K > N, !.
lvc_try_records(K, N, Id, Arity, [tryrec(Id, K, Arity)|C0], C) :-
    K1 is K + 1,
    lvc_try_records(K1, N, Id, Arity, C0, C).

lvc_gen_aux_clauses([], _, _, C, C).
lvc_gen_aux_clauses([NC|NCs], K, Id, [label(Id, K)|C0], C) :-
    lvc_gen_clause(NC, false, Code, _),
    lvc_append(Code, C1, C0),
    K1 is K + 1,
    lvc_gen_aux_clauses(NCs, K1, Id, C1, C).

% Consecutive void arguments become one UNIFY_VOID.
lvc_peephole([], []).
lvc_peephole([ins('UNIFY_VOID', [w(A)]), ins('UNIFY_VOID', [w(B)])|Is], Os) :- !,
    N is A + B,
    lvc_peephole([ins('UNIFY_VOID', [w(N)])|Is], Os).
lvc_peephole([I|Is], [I|Os]) :- lvc_peephole(Is, Os).

% ---------------------------------------------------------------------------
% Layout

% Words: op(Number), pad, x(N), y(N), w(N), c(Term), f(Name, Arity),
% p(Name/Arity), i(Integer), ref(WordPosition), fail_code, boxf(Float),
% boxi(Integer, Limbs), hdrw(TargetPosition, Arity),
% tryw(TargetPosition, Arity).
lvc_layout(Stream, Words, Size) :-
    lvc_layout(Stream, 0, Size, Words0, [], Labels, []),
    lvc_resolve(Words0, Labels, Words).

lvc_layout([], P, P, W, W, L, L).
lvc_layout([S|Ss], P0, P, W0, W, L0, L) :-
    lvc_layout_one(S, P0, P1, W0, W1, L0, L1),
    lvc_layout(Ss, P1, P, W1, W, L1, L).

lvc_layout_one(align8, P0, P, W0, W, L, L) :- !,
    (   P0 mod 2 =:= 1
    ->  lvc_insn('FAIL', N, _), W0 = [op(N)|W], P is P0 + 1
    ;   W0 = W, P = P0
    ).
lvc_layout_one(hdr(Id, Arity, NCl), P0, P, [hdrw(T, Arity)|W], W, [hdr(Id)-P0|L], L) :- !,
    (   NCl =:= 1 -> T = cl(Id, 1) ; T = tryword(Id) ),
    P is P0 + 8.
lvc_layout_one(tryrec(Id, K, Arity), P0, P, [tryw(cl(Id, K), Arity)|W], W, L0, L) :- !,
    (   K =:= 1 -> TW is P0 + 7, L0 = [tryword(Id)-TW|L] ; L0 = L ),
    P is P0 + 8.
lvc_layout_one(label(Id, K), P, P, W, W, [cl(Id, K)-P|L], L) :- !.
lvc_layout_one(ins(Name, Ops), P0, P, W0, W, L, L) :-
    lvc_insn(Name, Num, Fmt),
    lvc_format_letters(Fmt, Letters),
    lvc_check_operands(Letters, Ops, Name),
    (   lvc_first_wide_offset(Ops, 1, K)
    ->  (   (P0 + K) mod 2 =:= 1
        ->  atom_concat(Name, 'Q', QName),
            lvc_insn(QName, QNum, _),
            W0 = [op(QNum), pad|W1],
            P1 is P0 + 2
        ;   W0 = [op(Num)|W1], P1 is P0 + 1
        )
    ;   W0 = [op(Num)|W1], P1 is P0 + 1
    ),
    lvc_layout_operands(Ops, P1, P, W1, W).

lvc_insn(Name, Num, Fmt) :-
    (   instruction(Num, Name, Fmt, _) -> true
    ;   throw(lvc_error(unknown_instruction(Name)))
    ).

lvc_format_letters(Fmt, Letters) :-
    format_operands(Fmt, Atom),
    atom_codes(Atom, Letters).

% The operands must be those the table gives the instruction.
lvc_check_operands(Letters, Ops, Name) :-
    (   lvc_operands_match(Letters, Ops) -> true
    ;   throw(lvc_error(operands(Name, Ops)))
    ).

lvc_operands_match([], []).
lvc_operands_match([L|Ls], [O|Os]) :-
    functor(O, F, _),
    lvc_letter_operand(L, F), !,
    lvc_operands_match(Ls, Os).

lvc_letter_operand(0'X, x).
lvc_letter_operand(0'Y, y).
lvc_letter_operand(0'S, w).
lvc_letter_operand(0'N, w).
lvc_letter_operand(0'R, w).
lvc_letter_operand(0'C, c).
lvc_letter_operand(0'F, f).
lvc_letter_operand(0'P, p).
lvc_letter_operand(0'I, i).
lvc_letter_operand(0'L, l).
lvc_letter_operand(0'B, b).

lvc_wide_operand(c(_)).
lvc_wide_operand(f(_, _)).
lvc_wide_operand(p(_)).
lvc_wide_operand(i(_)).
lvc_wide_operand(l(_)).
lvc_wide_operand(b(_)).

lvc_first_wide_offset([O|Os], K0, K) :-
    (   lvc_wide_operand(O) -> K = K0
    ;   K1 is K0 + 1, lvc_first_wide_offset(Os, K1, K)
    ).

lvc_layout_operands([], P, P, W, W).
lvc_layout_operands([O|Os], P0, P, [E|W0], W) :-
    lvc_operand_word(O, E, Size),
    P1 is P0 + Size,
    lvc_layout_operands(Os, P1, P, W0, W).

lvc_operand_word(x(N), x(N), 1).
lvc_operand_word(y(N), y(N), 1).
lvc_operand_word(w(N), w(N), 1).
lvc_operand_word(c(T), c(T), 2).
lvc_operand_word(f(N, A), f(N, A), 2).
lvc_operand_word(p(T), p(T), 2).
lvc_operand_word(i(I), i(I), 2).
lvc_operand_word(l(fail), fail_code, 2).
lvc_operand_word(b(F), boxf(F), 6) :- float(F), !.
lvc_operand_word(b(I), boxi(I, L), S) :- lvc_limbs(I, L), S is 2 * (1 + L).

lvc_resolve([], _, []).
lvc_resolve([E|Es], L, [R|Rs]) :-
    lvc_resolve_word(E, L, R),
    lvc_resolve(Es, L, Rs).

lvc_resolve_word(p(aux(Id)), L, ref(P)) :- !, lvc_label(L, hdr(Id), P).
lvc_resolve_word(hdrw(T, A), L, hdrw(P, A)) :- !, lvc_label(L, T, P).
lvc_resolve_word(tryw(T, A), L, tryw(P, A)) :- !, lvc_label(L, T, P).
lvc_resolve_word(E, _, E).

lvc_label([K-P0|Ls], K1, P) :- ( K == K1 -> P = P0 ; lvc_label(Ls, K1, P) ).

lvc_wide_word(c(_)).
lvc_wide_word(f(_, _)).
lvc_wide_word(p(_)).
lvc_wide_word(i(_)).
lvc_wide_word(ref(_)).
lvc_wide_word(fail_code).
lvc_wide_word(boxf(_)).
lvc_wide_word(boxi(_, _)).

% ---------------------------------------------------------------------------
% Back end 1: the item list of $make_bytecode_object(Size, Items, ...).
% Size counts 2-byte units.

lvc_unit_items(cunit(_, _, _, Words, Words32), Size, Items) :-
    Size is 2 * Words32,
    lvc_items(Words, Items, []).

lvc_items([], I, I).
lvc_items([W|Ws], I0, I) :-
    lvc_item(W, I0, I1),
    lvc_items(Ws, I1, I).

lvc_item(op(N), [o(N)|I], I).
lvc_item(pad, [0|I], I).
lvc_item(x(N), [x(N)|I], I).
lvc_item(y(N), [y(N)|I], I).
lvc_item(w(N), [N|I], I).
lvc_item(c(T), [tagged(T)|I], I).
lvc_item(f(N, A), [functor(N/A)|I], I).
lvc_item(p(S), [emul_entry(S)|I], I).
lvc_item(i(V), [long(V)|I], I).
lvc_item(ref(P), [ref(O)|I], I) :- O is 2 * P.
lvc_item(fail_code, [fail|I], I).
lvc_item(boxf(F), [large(F)|I], I).
lvc_item(boxi(V, _), [large(V)|I], I).
lvc_item(hdrw(P, A), [try(O, A, 1)|I], I) :- O is 2 * P.
lvc_item(tryw(P, A), [try(O, A, 0)|I], I) :- O is 2 * P.

% The item lists of a file's clauses as quick-load terms, one term
% clause_items(Name/Arity, Size, Items, k(KeyBits, Key)) per clause: what
% loading in memory gives $make_bytecode_object and $compiled_clause.
lvc_items_file(Preds, Bytes) :- lvc_items_preds(Preds, Bytes, []).

lvc_items_preds([], B, B).
lvc_items_preds([pred(Spec, Units)|Ps], B0, B) :-
    lvc_items_units(Units, Spec, B0, B1),
    lvc_items_preds(Ps, B1, B).

lvc_items_units([], _, B, B).
lvc_items_units([U|Us], Spec, B0, B) :-
    U = cunit(_, Bits, Key, _, _),
    lvc_unit_items(U, Size, Items),
    lvc_ql_directive(clause_items(Spec, Size, Items, k(Bits, Key)), none, B0, B1),
    lvc_items_units(Us, Spec, B1, B).

% ---------------------------------------------------------------------------
% Back end 2: quick-load files.
%
% Rules of this system's quick-load files:
% - The reader writes a Q form's alignment word itself, right after the
%   opcode ('O' token); the writer never writes it. The 64-bit tokens ('+',
%   'R', 'e', 'f') and the box tokens ('F', 'L') align themselves: at a
%   position 4 modulo 8 they first write a zero word (which the layout never
%   leaves them to do). 'T' tokens stand at 8-byte boundaries.
% - Atoms, functors, constants and predicates in code are filled by fix-up
%   chains ('M', 'N'): each slot holds the offset of the next, 0 in the last.
% - Float text is C-locale decimal text that reads back as the same double,
%   with the fewest significant digits that do so; -0.0 is written 0.0.
% - Every directive term is one read: heap reserve (item 64), the code block
%   ('K') and its fix-ups, the term, 'L'. A clause is the directive
%   '$compiled_clause'(Name/Arity, Ref, _, k(KeyBits, Key)); a predicate is
%   first made an empty static one by
%   '$define_predicate'(Name/Arity, compactcode).
% - Every file ends with the directive that tells the loader it was read to
%   its end: rule(ql_complete_directive, D) of the engine's contract facts.

% lvc_ql_file(+Preds, -Bytes): Preds = [pred(Name/Arity, Units)].
lvc_ql_file(Preds, Bytes) :- lvc_ql_program([], Preds, [], Bytes).

% lvc_ql_program(+Before, +Preds, +After, -Bytes): the directives Before,
% the predicates' code, then the directives After.
lvc_ql_program(Before, Preds, After, Bytes) :-
    lvc_ql_goals(Before, Bytes, B1),
    lvc_ql_preds(Preds, B1, B2),
    lvc_ql_goals(After, B2, B3),
    rule(ql_complete_directive, Complete),
    lvc_ql_directive(Complete, none, B3, []).

lvc_ql_goals([], B, B).
lvc_ql_goals([G|Gs], B0, B) :-
    lvc_ql_directive(G, none, B0, B1),
    lvc_ql_goals(Gs, B1, B).

lvc_ql_preds([], B, B).
lvc_ql_preds([pred(Spec, Units)|Ps], B0, B) :-
    lvc_ql_directive('$define_predicate'(Spec, compactcode), none, B0, B1),
    lvc_ql_units(Units, B1, B2),
    lvc_ql_preds(Ps, B2, B).

lvc_ql_units([], B, B).
lvc_ql_units([U|Us], B0, B) :-
    lvc_ql_unit(U, B0, B1),
    lvc_ql_units(Us, B1, B).

lvc_ql_unit(cunit(Spec, Bits, Key, Words, Size), B0, B) :-
    lvc_ql_directive('$compiled_clause'(Spec, Ref, _, k(Bits, Key)),
                     block(Words, Size, Ref), B0, B).

% One directive read. Register 0 holds the code block when there is one:
% the block's variable Ref in Goal stands for that register. Markers of the
% writer never stand inside the term itself, so that any term (the
% compiler's own clauses too) is written as it is.
lvc_ql_directive(Goal, Block, B0, B) :-
    (   Block = block(Words, Size, Ref)
    ->  lvc_ql_block_items(Words, Size, BlockBytes, Fixups, 1, R1, FixHeap),
        Preset = [Ref-0]
    ;   BlockBytes = [], Fixups = [], R1 = 1, FixHeap = 0, Preset = []
    ),
    lvc_ql_term_items(Goal, Preset, R1, _, Top, TermBytes, [0'L|TopBytes], 0, TermHeap),
    lvc_ql_num(Top, TopBytes, []),
    Heap is FixHeap + TermHeap + 16,
    B0 = [64|B1],
    lvc_ql_num(Heap, B1, B2),
    lvc_append(BlockBytes, B3, B2),
    lvc_append(Fixups, B4, B3),
    lvc_append(TermBytes, B, B4).

% The 'K' item and the fix-up items of its constants.
lvc_ql_block_items(Words, Size, [0'K|B0], Fixups, R0, R, Heap) :-
    lvc_ql_num(0, B0, B1),
    S2 is 2 * Size,
    lvc_ql_num(S2, B1, B2),
    lvc_ql_num(4, B2, B3),
    lvc_fixup_slots(Words, 0, Slots, []),
    lvc_fixup_chains(Slots, Chains),
    lvc_ql_tokens(Words, 0, Chains, B3, [0]),
    lvc_ql_fixups(Chains, R0, R, Fixups, [], 0, Heap).

% Slots: Key-Position for every 64-bit word filled by a fix-up.
lvc_fixup_slots([], _, S, S).
lvc_fixup_slots([W|Ws], P0, S0, S) :-
    lvc_word_size(W, P0, P1, Pos),
    (   lvc_fixup_key(W, K) -> S0 = [K-Pos|S1] ; S0 = S1 ),
    lvc_fixup_slots(Ws, P1, S1, S).

lvc_fixup_key(c(T), c(T)).
lvc_fixup_key(f(N, A), f(N, A)).
lvc_fixup_key(p(S), p(S)).

% The position of a word and the next one, the tokens aligning themselves.
lvc_word_size(W, P0, P, Pos) :-
    (   lvc_wide_word(W)
    ->  (   P0 mod 2 =:= 0 -> Pos = P0
        ;   throw(lvc_error(misaligned(W, P0)))
        ),
        lvc_wide_size(W, S),
        P is Pos + S
    ;   lvc_block_word_size(W, S)
    ->  Pos = P0, P is P0 + S
    ;   Pos = P0, P is P0 + 1
    ).

lvc_wide_size(boxf(_), 6) :- !.
lvc_wide_size(boxi(_, L), S) :- !, S is 2 * (1 + L).
lvc_wide_size(_, 2).

lvc_block_word_size(hdrw(_, _), 8).
lvc_block_word_size(tryw(_, _), 8).

% Chains: chain(Key, [Positions]) in order of first use.
lvc_fixup_chains([], []).
lvc_fixup_chains([K-P|Ss], [chain(K, [P|Ps])|Cs]) :-
    lvc_take_key(Ss, K, Ps, Rest),
    lvc_fixup_chains(Rest, Cs).

lvc_take_key([], _, [], []).
lvc_take_key([K1-P|Ss], K, Ps, Rest) :-
    (   K1 == K -> Ps = [P|Ps1], Rest = Rest1 ; Ps = Ps1, Rest = [K1-P|Rest1] ),
    lvc_take_key(Ss, K, Ps1, Rest1).

lvc_next_link([chain(_, Ps)|Cs], P, N) :-
    (   lvc_next_in(Ps, P, N0) -> N = N0 ; lvc_next_link(Cs, P, N) ).

lvc_next_in([Q|Qs], P, N) :-
    (   Q =:= P -> ( Qs = [R|_] -> N is 2 * R ; N = 0 ) ; lvc_next_in(Qs, P, N) ).

lvc_ql_tokens([], _, _, B, B).
lvc_ql_tokens([W|Ws], P0, Chains, B0, B) :-
    lvc_word_size(W, P0, P1, Pos),
    lvc_ql_token(W, Ws, Pos, Chains, B0, B1),
    lvc_ql_tokens(Ws, P1, Chains, B1, B).

lvc_ql_token(op(N), _, _, _, [0'O|B0], B) :- lvc_ql_num(N, B0, B).
lvc_ql_token(pad, _, _, _, B, B).
lvc_ql_token(x(N), _, _, _, [0'X|B0], B) :- lvc_ql_num(N, B0, B).
lvc_ql_token(y(N), _, _, _, [0'Y|B0], B) :- M is 4 * N, lvc_ql_num(M, B0, B).
lvc_ql_token(w(N), _, _, _, B0, B) :- lvc_ql_num(N, B0, B).
lvc_ql_token(c(_), _, Pos, Cs, [0'+|B0], B) :- lvc_next_link(Cs, Pos, N), lvc_ql_num(N, B0, B).
lvc_ql_token(f(_, _), _, Pos, Cs, [0'+|B0], B) :- lvc_next_link(Cs, Pos, N), lvc_ql_num(N, B0, B).
lvc_ql_token(p(_), _, Pos, Cs, [0'+|B0], B) :- lvc_next_link(Cs, Pos, N), lvc_ql_num(N, B0, B).
lvc_ql_token(i(V), _, _, _, [0'+|B0], B) :- lvc_ql_num(V, B0, B).
lvc_ql_token(ref(P), _, _, _, [0'R|B0], B) :- O is 2 * P, lvc_ql_num(O, B0, B).
lvc_ql_token(fail_code, _, _, _, [0'f|B], B).
lvc_ql_token(boxf(F), _, _, _, [0'F|B0], B) :-
    lvc_float_codes(F, Cs),
    lvc_append(Cs, [0|B], B0).
lvc_ql_token(boxi(V, _), _, _, _, [0'L|B0], B) :- lvc_ql_num(V, B0, B).
lvc_ql_token(hdrw(P, A), _, _, _, [0'T|B0], B) :-
    O is 2 * P, lvc_ql_num(O, B0, B1), lvc_ql_num(A, B1, B2), lvc_ql_num(1, B2, B).
lvc_ql_token(tryw(P, A), _, _, _, [0'T|B0], B) :-
    O is 2 * P, lvc_ql_num(O, B0, B1), lvc_ql_num(A, B1, B2), lvc_ql_num(0, B2, B).

lvc_ql_fixups([], R, R, B, B, H, H).
lvc_ql_fixups([chain(K, [P|_])|Cs], R0, R, B0, B, H0, H) :-
    lvc_fixup_value(K, Value, Item),
    lvc_ql_value_items(Value, R0, R1, Reg, B0, [Item|B1], H0, H1),
    lvc_ql_num(Reg, B1, B2),
    O is 2 * P,
    lvc_ql_num(O, B2, B3),
    lvc_ql_fixups(Cs, R1, R, B3, B, H1, H).

lvc_fixup_value(c(T), term(T), 0'M).
lvc_fixup_value(f(N, A), functor(N, A), 0'M).
lvc_fixup_value(p(S), term(S), 0'N).

lvc_ql_value_items(term(T), R0, R, Reg, B0, B, H0, H) :-
    lvc_ql_term_items(T, [], R0, R, Reg, B0, B, H0, H).
lvc_ql_value_items(functor(N, A), R0, R, Reg, B0, B, H, H) :-
    lvc_ql_functor(N, A, [], R0, R, Reg, B0, B).

% lvc_ql_term_items(+Term, +Preset, +R0, -R, -Reg, ...): items that leave
% Term in register Reg; registers from R0 on are free, and Preset maps
% variables of Term to registers already filled. The other variables are
% made first, then every compound after its arguments, so that each
% compound's cells are pushed in one run.
lvc_ql_term_items(T, Preset, R0, R, Reg, B0, B, H0, H) :-
    term_variables(T, Vs0),
    lvc_unmapped_vars(Vs0, Preset, Vs),
    lvc_ql_vars(Vs, R0, R1, Map0, B0, B1, H0, H1),
    lvc_append(Preset, Map0, Map),
    lvc_ql_build(T, Map, R1, R, Reg, B1, B, H1, H).

lvc_unmapped_vars([], _, []).
lvc_unmapped_vars([V|Vs], Preset, Out) :-
    (   lvc_var_mapped(Preset, V) -> Out = Out1 ; Out = [V|Out1] ),
    lvc_unmapped_vars(Vs, Preset, Out1).

lvc_var_mapped([V0-_|M], V) :- ( V0 == V -> true ; lvc_var_mapped(M, V) ).

lvc_ql_vars([], R, R, [], B, B, H, H).
lvc_ql_vars([V|Vs], R0, R, [V-R0|M], [0'F|B0], B, H0, H) :-
    lvc_ql_num(R0, B0, B1),
    R1 is R0 + 1, H1 is H0 + 1,
    lvc_ql_vars(Vs, R1, R, M, B1, B, H1, H).

lvc_ql_build(T, Map, R, R, Reg, B, B, H, H) :- var(T), !, lvc_var_reg(Map, T, Reg).
lvc_ql_build([], _, R0, R, R0, [0'G|B0], B, H, H) :- !,
    R is R0 + 1, lvc_ql_num(R0, B0, B).
lvc_ql_build(T, _, R0, R, R0, [0'A|B0], B, H, H) :- atom(T), !,
    R is R0 + 1,
    lvc_ql_num(R0, B0, B1),
    atom_codes(T, Cs),
    lvc_utf8(Cs, B1, [0|B]).
lvc_ql_build(T, _, R0, R, R0, [0'C|B0], B, H, H) :- lvc_small(T), !,
    R is R0 + 1, lvc_ql_num(R0, B0, B1), lvc_ql_num(T, B1, B).
lvc_ql_build(T, _, R0, R, R0, [0'D|B0], B, H0, H) :- integer(T), !,
    R is R0 + 1, lvc_ql_num(R0, B0, B1), lvc_ql_num(T, B1, B),
    lvc_limbs(T, L), H is H0 + L + 2.
lvc_ql_build(T, _, R0, R, R0, [0'E|B0], B, H0, H) :- float(T), !,
    R is R0 + 1, lvc_ql_num(R0, B0, B1),
    lvc_float_codes(T, Cs), lvc_append(Cs, [0|B], B1),
    H is H0 + 3.
lvc_ql_build(T, Map, R0, R, Reg, B0, B, H0, H) :-
    T =.. [F|As],
    lvc_ql_build_args(As, Map, R0, R1, Regs, B0, B1, H0, H1),
    lvc_length(As, A),
    (   F == '.', A =:= 2
    ->  Reg = R1, R is R1 + 1,
        B1 = [0'H|B2], lvc_ql_num(Reg, B2, B3),
        lvc_ql_pushes(Regs, B3, B), H is H1 + 2
    ;   lvc_ql_functor(F, A, Map, R1, R2, FReg, B1, B2),
        Reg = R2, R is R2 + 1,
        B2 = [0'I|B3], lvc_ql_num(Reg, B3, B4),
        lvc_ql_pushes([FReg|Regs], B4, B), H is H1 + A + 1
    ).

lvc_ql_build_args([], _, R, R, [], B, B, H, H).
lvc_ql_build_args([A|As], Map, R0, R, [Reg|Regs], B0, B, H0, H) :-
    lvc_ql_build(A, Map, R0, R1, Reg, B0, B1, H0, H1),
    lvc_ql_build_args(As, Map, R1, R, Regs, B1, B, H1, H).

% A functor N/A (the atom N when A is 0) in a register.
lvc_ql_functor(N, A, Map, R0, R, Reg, B0, B) :-
    (   A =:= 0
    ->  lvc_ql_build(N, Map, R0, R, Reg, B0, B, 0, _)
    ;   lvc_ql_build(N, Map, R0, R1, NReg, B0, [0'B|B1], 0, _),
        Reg = R1, R is R1 + 1,
        lvc_ql_num(Reg, B1, B2), lvc_ql_num(NReg, B2, B3), lvc_ql_num(A, B3, B)
    ).

lvc_ql_pushes([], B, B).
lvc_ql_pushes([R|Rs], [0'J|B0], B) :- lvc_ql_num(R, B0, B1), lvc_ql_pushes(Rs, B1, B).

lvc_var_reg([V-R0|M], T, R) :- ( V == T -> R = R0 ; lvc_var_reg(M, T, R) ).

% A number in decimal digits, then NUL.
lvc_ql_num(N, B0, B) :-
    number_codes(N, Cs),
    lvc_append(Cs, [0|B], B0).

% UTF-8; code 0 as the two bytes C0 80, so that text stays NUL-terminated.
lvc_utf8([], B, B).
lvc_utf8([C|Cs], B0, B) :-
    lvc_utf8_code(C, B0, B1),
    lvc_utf8(Cs, B1, B).

lvc_utf8_code(0, [0xC0, 0x80|B], B) :- !.
lvc_utf8_code(C, [C|B], B) :- C < 0x80, !.
lvc_utf8_code(C, [B1, B2|B], B) :- C < 0x800, !,
    B1 is 0xC0 \/ (C >> 6), B2 is 0x80 \/ (C /\ 0x3F).
lvc_utf8_code(C, [B1, B2, B3|B], B) :- C < 0x10000, !,
    B1 is 0xE0 \/ (C >> 12), B2 is 0x80 \/ ((C >> 6) /\ 0x3F), B3 is 0x80 \/ (C /\ 0x3F).
lvc_utf8_code(C, [B1, B2, B3, B4|B], B) :-
    B1 is 0xF0 \/ (C >> 18), B2 is 0x80 \/ ((C >> 12) /\ 0x3F),
    B3 is 0x80 \/ ((C >> 6) /\ 0x3F), B4 is 0x80 \/ (C /\ 0x3F).

% ---------------------------------------------------------------------------
% Float text: the fewest significant digits that read back as the same
% double, as d.ddde[-]x; computed exactly on integers, so that every system
% running the compiler writes the same text.

lvc_float_codes(F, Cs) :- F =:= 0.0, !, atom_codes('0.0', Cs).
lvc_float_codes(F, [0'-|Cs]) :- F < 0.0, !, F1 is -F, lvc_float_codes(F1, Cs).
lvc_float_codes(F, Cs) :-
    lvc_float_ratio(F, M, K),
    lvc_decimal_exponent(F, M, K, E),
    lvc_shortest(1, F, M, K, E, Cs).

% F = M / 2^K exactly, K >= 0.
lvc_float_ratio(F, M, 0) :- F >= 9007199254740992.0, !, M is integer(F).
lvc_float_ratio(F, M, K) :- lvc_float_ratio(F, 0, M, K).
lvc_float_ratio(G, K0, M, K) :-
    (   G =:= float_integer_part(G)
    ->  M is integer(G), K = K0
    ;   G1 is G * 2.0, K1 is K0 + 1, lvc_float_ratio(G1, K1, M, K)
    ).

% E such that 10^E =< M / 2^K < 10^(E+1).
lvc_decimal_exponent(F, M, K, E) :-
    E0 is floor(log(F) / log(10.0)),
    lvc_fix_exponent(M, K, E0, E).

lvc_fix_exponent(M, K, E0, E) :-
    (   \+ lvc_pow10_le(E0, M, K) -> E1 is E0 - 1, lvc_fix_exponent(M, K, E1, E)
    ;   E2 is E0 + 1, lvc_pow10_le(E2, M, K) -> lvc_fix_exponent(M, K, E2, E)
    ;   E = E0
    ).

% 10^E =< M / 2^K
lvc_pow10_le(E, M, K) :-
    (   E >= 0 -> 10 ^ E * (1 << K) =< M
    ;   NE is -E, 1 << K =< M * 10 ^ NE
    ).

lvc_shortest(P, F, M, K, E, Cs) :-
    lvc_digits_at(P, M, K, E, D, E1),
    lvc_sci_codes(D, P, E1, Cs0),
    (   ( P >= 17 ; catch(number_codes(G, Cs0), _, fail), G =:= F )
    ->  Cs = Cs0
    ;   P1 is P + 1, lvc_shortest(P1, F, M, K, E, Cs)
    ).

% D: M / 2^K rounded to P significant digits, the first at 10^E1.
lvc_digits_at(P, M, K, E, D, E1) :-
    Q is E - (P - 1),
    (   Q =< 0 -> NQ is -Q, Num is M * 10 ^ NQ, Den is 1 << K
    ;   Num = M, Den is (1 << K) * 10 ^ Q
    ),
    D0 is (2 * Num + Den) // (2 * Den),
    (   D0 =:= 10 ^ P -> D is 10 ^ (P - 1), E1 is E + 1 ; D = D0, E1 = E ).

lvc_sci_codes(D, P, E, Cs) :-
    number_codes(D, [C0|Rest]),
    (   P =:= 1 -> Frac = [0'0] ; Frac = Rest ),
    number_codes(E, ECs),
    lvc_append([C0, 0'.|Frac], [0'e|ECs], Cs).

% ---------------------------------------------------------------------------
% Source information of a clause compiled in memory

% lvc_source_items(+Unit, +Head, +HeadLine, +Goals, -Items): the lineno and
% def items of $make_bytecode_object that give the block its source words:
% a word per head argument (the argument when atomic, else []), the head's
% line, then in code order a word for every operand that receives a new
% variable ([]: its name is not kept) and after every call the line of its
% goal. Goals are the body's goals as Goal-Line in source order; a call
% takes the line of the first goal left with its name and arity ([] when
% there is none: a call the compiler made, or one of an inline goal's
% internal predicates).
lvc_source_items(cunit(_, _, _, Words, _), Head, HeadLine, Goals, Items) :-
    Head =.. [_|Args],
    lvc_source_head(Args, Items, [lineno(HeadLine)|I1]),
    lvc_source_words(Words, Goals, I1).

lvc_source_head([], I, I).
lvc_source_head([A|As], [def(D)|I0], I) :-
    ( atomic(A) -> D = A ; D = [] ),
    lvc_source_head(As, I0, I).

lvc_source_words([], _, []).
lvc_source_words([op(N)|Ws], Goals, Items) :- !,
    instruction(N, Name, Fmt, Class),
    ( lvc_new_variables(Name, K) -> true ; K = 0 ),
    lvc_source_defs(K, Items, I1),
    (   lvc_call_site(Name, Fmt, Class)
    ->  lvc_call_target(Ws, T),
        lvc_goal_line(T, Goals, Line, Goals1),
        I1 = [lineno(Line)|I2]
    ;   I2 = I1, Goals1 = Goals
    ),
    lvc_source_words(Ws, Goals1, I2).
lvc_source_words([_|Ws], Goals, Items) :- lvc_source_words(Ws, Goals, Items).

lvc_source_defs(0, I, I) :- !.
lvc_source_defs(K, [def([])|I0], I) :- K1 is K - 1, lvc_source_defs(K1, I0, I).

% The operands of an instruction that receive a new variable (the
% runtime's code walker counts the same).
lvc_new_variables(Name, 1) :- lvc_one_new_variable(Name).
lvc_new_variables('U2_XVAR_XVAR', 2).
lvc_new_variables('GET_XVAR_XVAR', 2).
lvc_new_variables('GET_LIST_XVAR_XVAR', 2).
lvc_new_variables('GET_STRUCTURE_XVAR_XVAR', 2).
lvc_new_variables('GET_STRUCTURE_XVAR_XVARQ', 2).

lvc_one_new_variable('UNIFY_X_VARIABLE').
lvc_one_new_variable('STORE_X_VARIABLE').
lvc_one_new_variable('UNIFY_Y_VARIABLE').
lvc_one_new_variable('UNIFY_Y_UNSAFE_VARIABLE').
lvc_one_new_variable('UNIFY_Y_FIRST_VARIABLE').
lvc_one_new_variable('STORE_Y_VARIABLE').
lvc_one_new_variable('STORE_Y_UNSAFE_VARIABLE').
lvc_one_new_variable('STORE_Y_FIRST_VARIABLE').
lvc_one_new_variable('U2_XVAR_VOID').
lvc_one_new_variable('U2_XVAR_XVAL').
lvc_one_new_variable('U2_XVAR_XLVAL').
lvc_one_new_variable('GET_X_VARIABLE').
lvc_one_new_variable('PUT_X_VARIABLE').
lvc_one_new_variable('PUT_Y_VARIABLE').
lvc_one_new_variable('PUT_Y_FIRST_VARIABLE').
lvc_one_new_variable('GET_Y_VARIABLE').
lvc_one_new_variable('GET_Y_UNSAFE_VARIABLE').
lvc_one_new_variable('GET_Y_FIRST_VARIABLE').
lvc_one_new_variable('U2_VOID_XVAR').
lvc_one_new_variable('U2_XVAL_XVAR').
lvc_one_new_variable('U2_XLVAL_XVAR').

% A call site: the last calls and EXECUTE forms, and every instruction of a
% call format that neither ends nor leaves straight-line code.
lvc_call_site(Name, _, _) :- lvc_last_call(Name), !.
lvc_call_site(_, Fmt, Class) :- Class > 1, lvc_call_format(Fmt).

lvc_last_call('LASTCALLQ').
lvc_last_call('LASTCALL').
lvc_last_call('LASTCALL_CALL').
lvc_last_call('EXECUTEQ').
lvc_last_call('EXECUTE').
lvc_last_call('EXECUTE_CALL').

lvc_call_format(22).
lvc_call_format(24).
lvc_call_format(27).
lvc_call_format(29).
lvc_call_format(31).
lvc_call_format(33).
lvc_call_format(54).
lvc_call_format(55).
lvc_call_format(57).
lvc_call_format(59).
lvc_call_format(63).

% The predicate operand of the instruction whose operands start the list.
lvc_call_target([p(T)|_], T) :- !.
lvc_call_target([W|Ws], T) :- W \= op(_), !, lvc_call_target(Ws, T).
lvc_call_target(_, none).

lvc_goal_line(T, Goals, Line, Rest) :-
    (   ( T = _:N/A ; T = N/A ), atom(N),
        lvc_append(_, [G-L|Rest0], Goals), functor(G, N, A)
    ->  Line = L, Rest = Rest0
    ;   Line = [], Rest = Goals
    ).
