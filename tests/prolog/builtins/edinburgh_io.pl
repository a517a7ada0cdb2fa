% The Edinburgh input and output: tell/told, append/1 and see/seen on
% files, the names seeing/1 and telling/1 give (the file's, where the
% reference system gives the stream), a file named again while open,
% get0/put/skip, tab/1,2 and writeln/1,2.

:- discontiguous t/3, x/4.

file('lv_edinburgh_table.tmp').

% The codes of the file.
contents(Cs) :-
    file(F), open(F, read, S), get_all(S, Cs), close(S).

get_all(S, Cs) :- get_code(S, C), ( C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get_all(S, Cs1) ).

% Reads the file's codes with see/get0/seen.
see_all(Cs) :- file(F), see(F), get0_all(Cs), seen.

get0_all(Cs) :- get0(C), ( C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get0_all(Cs1) ).

t(tell_told, Cs, (file(F), tell(F), write(hello), put(0'!), nl, told, contents(Cs))).
x(telling, N-U, (file(F), tell(F), telling(N0), told, telling(U), ( N0 == F -> N = file ; N = N0 )), [file-user]).
t(tell_again_appends, Cs, (file(F), tell(F), write(a), tell(user), tell(F), write(b), told, contents(Cs))).
t(append_1, Cs, (file(F), tell(F), write(one), told, append(F), write(two), told, contents(Cs))).
t(see_seen, Cs, (file(F), tell(F), write('ab c'), told, see_all(Cs))).
x(seeing, N-U, (file(F), tell(F), told, see(F), seeing(N0), seen, seeing(U), ( N0 == F -> N = file ; N = N0 )),
  [file-user]).
t(see_again_continues, C1-C2, (file(F), tell(F), write(xy), told, see(F), get0(C1), see(user), see(F), get0(C2), seen)).
t(skip, Cs, (file(F), tell(F), write('abc;def'), told, see(F), skip(0';), get0_all(Cs), seen)).
t(skip_to_end, C, (file(F), tell(F), write(abc), told, see(F), skip(0'z), get0(C), seen)).
t(see_absent, x, see('lv_edinburgh_absent.tmp')).
t(see_unbound, x, see(_)).
t(tab, Cs, (file(F), tell(F), write(a), tab(3), write(b), tab(1 + 1), write(c), told, contents(Cs))).
t(tab_stream, Cs, (file(F), open(F, write, S), tab(S, 2), write(S, x), close(S), contents(Cs))).
t(tab_zero, Cs, (file(F), tell(F), tab(0), write(x), told, contents(Cs))).
t(tab_not_number, x, tab(a)).
t(writeln, Cs, (file(F), tell(F), writeln(f('A', [1])), told, contents(Cs))).
t(writeln_stream, Cs, (file(F), open(F, write, S), writeln(S, x), close(S), contents(Cs))).
t(told_user, yes, (told, told)).
