% Terms: module terms.
%
%   term_variables(Term, Vars, Tail)  the variables of Term, as
%       term_variables/2 finds them, in front of Tail
%   term_size(Term, Cells)   the heap cells a copy of Term takes: a
%       compound of arity N takes N + 1, a list cell 2, a float 3, an
%       integer too large for a tagged word 2 plus its 64-bit words;
%       variables, atoms and tagged integers take none beyond the cell
%       that holds them. Shared subterms count at each place. A cyclic
%       term is a type error.
%   variant(Term1, Term2)    the terms are the same but for the names of
%       their variables (consistently renamed)
%   subsumes_chk(General, Specific)  subsumes_term/2
%   subsumes(General, Specific)      and General is unified with Specific

:- module(terms, [term_variables/3, term_size/2, variant/2, subsumes/2, subsumes_chk/2]).

term_variables(T, Vs, Tail) :-
    Ctx = terms:term_variables(T, Vs, Tail),
    prolog:'$must_be_partial_list'(Vs, Ctx, 2),
    term_variables(T, Found),
    append_(Found, Tail, Vs0),
    Vs = Vs0.

append_([], L, L).
append_([X|Xs], L, [X|Ys]) :- append_(Xs, L, Ys).

term_size(T, Size) :-
    Ctx = terms:term_size(T, Size),
    prolog:'$may_be_integer'(Size, Ctx, 2),
    (   acyclic_term(T) -> true ; prolog:'$type_error'(acyclic_term, T, Ctx, 1) ),
    size_(T, 0, Size0),
    Size = Size0.

size_(T, S0, S) :-
    (   var(T) -> S = S0
    ;   atom(T) -> S = S0
    ;   float(T) -> S is S0 + 3
    ;   integer(T) -> integer_cells_(T, C), S is S0 + C
    ;   T = [H|R] -> S1 is S0 + 2, size_(H, S1, S2), size_(R, S2, S)
    ;   functor(T, _, A), S1 is S0 + A + 1, args_size_(1, A, T, S1, S)
    ).

args_size_(I, A, T, S0, S) :-
    (   I > A -> S = S0
    ;   arg(I, T, X), size_(X, S0, S1), I1 is I + 1, args_size_(I1, A, T, S1, S)
    ).

integer_cells_(N, C) :-
    current_prolog_flag(max_tagged_integer, Max),
    current_prolog_flag(min_tagged_integer, Min),
    (   N >= Min, N =< Max -> C = 0
    ;   bits_(N, B), C is 2 + B // 64 + 1
    ).

% The bits of |N| (more than 60 here), counted by halving.
bits_(N, B) :- A is abs(N), bits_(A, 0, B).

bits_(0, B, B) :- !.
bits_(A, B0, B) :- A1 is A >> 1, B1 is B0 + 1, bits_(A1, B1, B).

% Each term is copied and its variables bound in order to v(Tag, I), Tag
% a variable of neither term, so that no term they hold can be mistaken
% for a numbered variable.
variant(A, B) :-
    \+ \+ ( copy_term(A, A1),
            copy_term(B, B1),
            number_vars_(A1, Tag, 0, N),
            number_vars_(B1, Tag, 0, N),
            A1 == B1 ).

number_vars_(T, Tag, N0, N) :-
    term_variables(T, Vs),
    bind_vars_(Vs, Tag, N0, N).

bind_vars_([], _, N, N).
bind_vars_([v(Tag, N0)|Vs], Tag, N0, N) :- N1 is N0 + 1, bind_vars_(Vs, Tag, N1, N).

subsumes_chk(General, Specific) :- subsumes_term(General, Specific).

subsumes(General, Specific) :-
    subsumes_term(General, Specific),
    General = Specific.
