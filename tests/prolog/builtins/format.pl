% format/1,2,3: every directive, numeric arguments, column stops, and the
% errors. Each case writes to a file and reads the text back as an atom.

:- discontiguous t/3, x/4.

out(G, A) :-
    File = 'lv_format_table.tmp',
    open(File, write, S),
    current_output(Old),
    set_output(S),
    (   catch(G, E, true) -> true ; true ),
    set_output(Old),
    close(S),
    open(File, read, R),
    get_codes(R, Cs),
    close(R),
    atom_codes(A, Cs),
    (   nonvar(E) -> throw(E) ; true ).

get_codes(R, Cs) :-
    get_code(R, C),
    (   C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get_codes(R, Cs1) ).

t(text, A, out(format(hello), A)).
t(codes, A, out(format("x~w", [y]), A)).
t(chars, A, out(format([a, '~', w], [b]), A)).
t(w_q_p, A, out(format("~w ~q ~p", ['A b', 'A b', 'A b']), A)).
t(a, A, out(format("~a|~a", [abc, 12]), A)).
t(d, A, out(format("~d ~2d ~0d ~d", [42, 5, 7, -13]), A)).
t(d_big, A, out(format("~D ~2D", [1234567, 1234567]), A)).
t(d_negative_group, A, out(format("~D", [-1234567]), A)).
t(f_e_g, A, out(format("~2f ~f ~3e ~g", [3.14159, 2, 1234.5, 0.5]), A)).
% e, f and g as C's printf writes them, of numbers and evaluable terms; an
% integer in the fixed form keeps all its digits.
t(printf_float, A, out(forall(in(F-X, ["~0f"-2.5, "~0f"-3.5, "~0f"-(-0.4), "~0e"-1.5, "~2e"-10, "~g"-100.0,
                                          "~g"-1.0e10, "~g"-0.1, "~3g"-0.0001234, "~G"-1.0e-20, "~1f"-(2**0.5),
                                          "~2f"-(1+2), "~e"-(7 / 2), "~2f"-12345678901234567890, "~0f"-7]),
                               ( format(F, [X]), write(;) )), A)).
in(X, [X|_]).
in(X, [_|Xs]) :- in(X, Xs).

t(printf_float_big_precision, L, (format(atom(A), "~300f", [1.0e300]), atom_length(A, L))).
t(s, A, out(format("<~s>", [[104, 105]]), A)).
t(n, A, out(format("a~nb~2nc", []), A)).
t(c, A, out(format("~c~3c", [0'x, 0'y]), A)).
t(r, A, out(format("~8r ~16r ~16R ~2r", [64, 255, 255, 5]), A)).
t(tilde, A, out(format("~~", []), A)).
t(i, A, out(format("~i~w", [a, b]), A)).
t(star, A, out(format("~*c", [3, 0'z]), A)).
t(column_pad, A, out(format("~w~t~10|~w", [abc, x]), A)).
t(column_fill, A, out(format("~w~`-t~8|~w", [ab, x]), A)).
t(column_plus, A, out(format("~w~t~5+~w~t~5+~w", [a, b, c]), A)).
% Fill points share the padding where they stand; the later ones take the
% odd columns.
t(column_right, A, out(format("~t~w~10|~w", [abc, x]), A)).
t(column_centre, A, out(format("~t~w~t~10|~w", [abc, x]), A)).
t(column_centre_odd, A, out(format("~t~w~t~11|~w", [abc, x]), A)).
t(column_three_fills, A, out(format("~t~w~t~w~t~12|~w", [ab, cd, x]), A)).
t(column_fill_chars, A, out(format("ab~t~`*t~8|", []), A)).
t(column_between, A, out(format("~a~t~a~10|~a", [l, r, end]), A)).
t(column_no_fill, A, out(format("~w~10|~w", [abc, x]), A)).
t(column_plus_no_fill, A, out(format("~w~5+~w~5+", [abc, x]), A)).
t(column_plus_right, A, out(format("~t~w~5+~t~w~5+", [abc, x]), A)).
t(column_plus_after_text, A, out(format("xx~t~w~10+", [abc]), A)).
t(column_overflow, A, out(format("~w~t~2|~w|~t~w~2|", [abcdef, x, abc]), A)).
t(column_number, A, out(format("~t~d~6|", [123]), A)).
t(column_newline, A, out(format("ab~nc~t~5|x", []), A)).
t(column_fill_at_end, A, out(format("~tab", []), A)).
x(column_error_in_segment, x, out(format("~t~d~5|", [a]), _), error(type_error(integer, a))).
t(single_arg, A, out(format("~w", hello), A)).
t(format3, A, out((current_output(S), format(S, "~w-~w", [1, 2])), A)).
t(sink_atom, A, format(atom(A), "~w-~t~w~6|", [1, 2])).
t(sink_codes, A, format(codes(A), "~a~c", [ab, 0'c])).
t(sink_chars, A, format(chars(A), "x~w", [y])).
t(sink_column, A, format(atom(A), "~t~w~t~7|", [mid])).
x(sink_error, x, format(atom(_), "~d", [a]), error(type_error(integer, a))).
t(format_unbound, x, out(format(_, []), _)).
t(format_unbound_stream, x, format(_, "a", [])).
% Arguments of the wrong type are type errors.
x(d_not_integer, x, out(format("~d", [a]), _), error(type_error(integer, a))).
x(a_compound, x, out(format("~a", [f(x)]), _), error(type_error(atomic, f(x)))).
t(e_not_evaluable, x, out(format("~e", [a]), _)).
t(f_unbound, x, out(format("~f", [_]), _)).
x(f_precision_too_big, x, out(format("~100000f", [1]), _), error(format('bad numeric argument'))).
x(f_not_evaluable, x, out(format("~f", [f(x)]), _), error(type_error(evaluable, f/1))).
x(bad_directive, x, out(format("~z", [a]), _), error(format('unknown directive ~z'))).
x(too_few, x, out(format("~w ~w", [a]), _), error(format('not enough arguments'))).
x(too_many, x, out(format("~w", [a, b]), _), error(format('too many arguments'))).
