:- dynamic counter/1.
:- dynamic stack/1.
:- discontiguous part/1.
:- multifile hook/1.
:- op(700, xfx, ===>).
:- public(visible/0).
:- block waiting(-).
:- set_prolog_flag(double_quotes, atom).
:- initialization(assertz(stack(after_load))).
:- initialization(assertz(stack(now)), now).
counter(0).
part(a).
other.
part(b).
hook(directives).
rule(X ===> Y) :- Y = X.
text("abc").
visible.
waiting(X) :- assertz(stack(woken(X))).
:- set_prolog_flag(double_quotes, codes).
:- assertz(stack(directive)).
