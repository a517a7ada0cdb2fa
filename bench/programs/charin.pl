% Character I/O: 2,000,000 characters written to a file with put_char/2
% and read back with get_char/2, then the same with put_code/2 and
% get_code/2, one character per call. The file is made (again on each run)
% in the working directory, which bench/run.sh sets to its work directory
% in the build.
bench :-
    F = 'lv_bench_charin.tmp',
    N = 2000000,
    open(F, write, Out), put_chars(N, Out), close(Out),
    open(F, read, In), get_chars(In, 0, C1), close(In),
    open(F, write, Out2), put_codes(N, Out2), close(Out2),
    open(F, read, In2), get_codes(In2, 0, C2), close(In2),
    C1 =:= N, C2 =:= N.

put_chars(0, _) :- !.
put_chars(I, S) :- ( I mod 64 =:= 0 -> put_char(S, '\n') ; put_char(S, a) ), I1 is I - 1, put_chars(I1, S).

get_chars(S, C0, C) :-
    get_char(S, Ch),
    ( Ch == end_of_file -> C = C0 ; C1 is C0 + 1, get_chars(S, C1, C) ).

put_codes(0, _) :- !.
put_codes(I, S) :- ( I mod 64 =:= 0 -> put_code(S, 0'\n) ; put_code(S, 0'b) ), I1 is I - 1, put_codes(I1, S).

get_codes(S, C0, C) :-
    get_code(S, Ch),
    ( Ch =:= -1 -> C = C0 ; C1 is C0 + 1, get_codes(S, C1, C) ).
