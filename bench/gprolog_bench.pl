% Runs bench/0 of a program once on GNU Prolog and prints the user CPU
% seconds it took (loading excluded). bench/run.sh compiles it with gplc
% together with the program into one native executable.
:- initialization(main).

main :-
    statistics(user_time, [T0, _]),
    (   catch(bench, E, (report(E), fail)) ->
        statistics(user_time, [T1, _]),
        T is (T1 - T0) / 1000.0,
        format('~3f~n', [T]),
        halt
    ;   write(user_error, 'bench/0 failed'), nl(user_error),
        halt(1)
    ).

report(E) :-
    write(user_error, 'bench/0 raised '), writeq(user_error, E), nl(user_error).
