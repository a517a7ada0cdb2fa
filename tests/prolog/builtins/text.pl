% Text and sorting: atom_codes/2, atom_chars/2, char_code/2, atom_length/2,
% atom_concat/3, sub_atom/5, number_codes/2, number_chars/2, sort/2,
% msort/2, keysort/2, in every mode, with their errors; each also through
% call/N. The x/4 cases hold the standard's answer where the reference system
% takes more (numbers as atoms, codes as characters) or checks less (the
% sorted list, negative lengths).

:- discontiguous t/3, x/4.

t(atom_codes, L, atom_codes(abc, L)).
t(atom_codes_empty, L, atom_codes('', L)).
t(atom_codes_build, A, atom_codes(A, [0'h, 0'i])).
t(atom_codes_utf8, L, atom_codes('é€', L)).
t(atom_codes_check, yes, atom_codes(ab, [0'a, 0'b])).
t(atom_codes_partial, L, (L = [X|_], atom_codes(ab, L), X == 0'a)).
t(atom_codes_meta, A, call(atom_codes, A, "xy")).
t(atom_codes_unbound, x, atom_codes(_, _)).
t(atom_codes_partial_list, x, atom_codes(_, [0'a|_])).
t(atom_codes_unbound_elem, x, atom_codes(_, [0'a, _])).
t(atom_codes_not_atom, x, atom_codes(f(x), _)).
t(atom_codes_not_list, x, atom_codes(_, foo)).
x(atom_codes_bad_elem, x, atom_codes(_, [a]), error(representation_error(character_code))).
x(atom_codes_negative, x, atom_codes(_, [-1]), error(representation_error(character_code))).
x(atom_codes_above_unicode, x, atom_codes(_, [0'a, 0x110000]), error(representation_error(character_code))).
x(atom_chars_long_atom, x, atom_chars(_, [a, bc]), error(type_error(character, bc))).
t(number_codes_of_number, L, number_codes(-12, L)).
t(number_codes_float_check, yes, number_codes(1.5, "1.5")).
x(atom_codes_number, L, atom_codes(12, L), error(type_error(atom, 12))).
x(atom_codes_cyclic, T, (L = [0'a|L], catch(atom_codes(_, L), error(type_error(T, _), _), true)), [list]).

t(atom_chars, L, atom_chars(abc, L)).
t(atom_chars_build, A, atom_chars(A, [h, i])).
t(atom_chars_utf8, A, atom_chars(A, ['λ', x])).
t(atom_chars_check_fail, yes, atom_chars(ab, [a, c])).
t(atom_chars_unbound, x, atom_chars(_, _)).
t(atom_chars_unbound_elem, x, atom_chars(_, [a, _])).
x(atom_chars_bad_elem, x, atom_chars(_, [ab]), error(type_error(character, ab))).
x(atom_chars_code_elem, x, atom_chars(_, [0'a]), error(type_error(character, 97))).
t(atom_chars_not_list, x, atom_chars(_, [a|b])).

t(char_code, C, char_code(a, C)).
t(char_code_build, C, char_code(C, 0'z)).
t(char_code_utf8, C, char_code(C, 955)).
t(char_code_check, yes, char_code(b, 0'b)).
t(char_code_wrong, yes, char_code(b, 0'c)).
t(char_code_meta, C, call(char_code, C, 0'q)).
t(char_code_unbound, x, char_code(_, _)).
t(char_code_long, x, char_code(ab, _)).
t(char_code_number, x, char_code(1, _)).
t(char_code_code_atom, x, char_code(_, a)).
x(char_code_negative, x, char_code(_, -1), error(representation_error(character_code))).
x(char_code_big, x, char_code(_, 0x110000), error(representation_error(character_code))).

t(atom_length, N, atom_length(hello, N)).
t(atom_length_empty, N, atom_length('', N)).
t(atom_length_utf8, N, atom_length('aλ€', N)).
t(atom_length_check, yes, atom_length(abc, 3)).
t(atom_length_wrong, yes, atom_length(abc, 4)).
t(atom_length_meta, N, call(atom_length, xy, N)).
t(atom_length_unbound, x, atom_length(_, _)).
t(atom_length_compound, x, atom_length(f(a), _)).
t(atom_length_not_integer, x, atom_length(abc, a)).
x(atom_length_negative, x, atom_length(abc, -1), error(domain_error(not_less_than_zero, -1))).
x(atom_length_number, x, atom_length(12, _), error(type_error(atom, 12))).

t(atom_concat, C, atom_concat(ab, cd, C)).
t(atom_concat_check, yes, atom_concat(ab, cd, abcd)).
t(atom_concat_prefix, A, atom_concat(A, cd, abcd)).
t(atom_concat_suffix, B, atom_concat(ab, B, abcd)).
t(atom_concat_no_suffix, B, atom_concat(x, B, abcd)).
t(atom_concat_enum, A+B, atom_concat(A, B, abc)).
t(atom_concat_enum_utf8, A+B, atom_concat(A, B, 'λé')).
t(atom_concat_enum_empty, A+B, atom_concat(A, B, '')).
t(atom_concat_meta, A+B, call(atom_concat, A, B, xy)).
t(atom_concat_unbound, x, atom_concat(a, _, _)).
t(atom_concat_unbound2, x, atom_concat(_, _, _)).
x(atom_concat_compound, x, atom_concat(f(a), b, _), error(type_error(atom, f(a)))).
x(atom_concat_compound3, x, atom_concat(_, _, f(a)), error(type_error(atom, f(a)))).

t(sub_atom_all, B-L-A-S, sub_atom(abc, B, L, A, S)).
t(sub_atom_sub, B-A, sub_atom(abcab, B, _, A, ab)).
t(sub_atom_before, S, sub_atom(abcde, 1, 3, _, S)).
t(sub_atom_after, S, sub_atom(abcde, _, 2, 0, S)).
t(sub_atom_length, B-S, sub_atom(abcd, B, 2, _, S)).
t(sub_atom_before_known, L-S, sub_atom(abc, 1, L, _, S)).
t(sub_atom_after_known, B-S, sub_atom(abc, B, _, 1, S)).
t(sub_atom_negative_computed, S, sub_atom(abcd, _, 3, 3, S)).
t(sub_atom_too_long, S, sub_atom(abc, 1, 3, _, S)).
t(sub_atom_utf8, S, sub_atom('aλ€b', 1, 2, _, S)).
t(sub_atom_meta, S, call(sub_atom, hello, 1, 3, _, S)).
t(sub_atom_unbound, x, sub_atom(_, _, _, _, _)).
t(sub_atom_compound, x, sub_atom(f(a), _, _, _, _)).
t(sub_atom_bad_before, x, sub_atom(abc, a, _, _, _)).
t(sub_atom_bad_length, x, sub_atom(abc, _, -1, _, _)).
t(sub_atom_bad_after, x, sub_atom(abc, _, _, 1.0, _)).
t(sub_atom_bad_sub, x, sub_atom(abc, _, _, _, f(a))).

t(number_codes, L, number_codes(12, L)).
t(number_codes_neg, L, number_codes(-7, L)).
t(number_codes_float, L, number_codes(1.5, L)).
t(number_codes_parse, N, number_codes(N, "42")).
t(number_codes_parse_float, N, number_codes(N, "0.25e1")).
t(number_codes_layout, N, number_codes(N, " 42")).
t(number_codes_negative, N, number_codes(N, "-42")).
t(number_codes_hex, N, number_codes(N, "0x1f")).
t(number_codes_char, N, number_codes(N, "0'a")).
t(number_codes_big, N, number_codes(N, "123456789012345678901234567890")).
t(number_codes_check, yes, number_codes(12, "12")).
t(number_codes_check_other, yes, number_codes(12, "012")).
t(number_codes_meta, N, call(number_codes, N, "3")).
t(number_codes_unbound, x, number_codes(_, _)).
t(number_codes_partial, x, number_codes(_, [0'1|_])).
t(number_codes_atom, x, number_codes(a, _)).
t(number_codes_syntax, x, number_codes(_, "3x")).
t(number_codes_empty, x, number_codes(_, [])).
t(number_codes_not_list, x, number_codes(_, foo)).
t(number_codes_unbound_elem, x, number_codes(_, [0'1, _])).
x(number_codes_bad_elem, x, number_codes(_, [a]), error(representation_error(character_code))).

t(number_chars, L, number_chars(33, L)).
t(number_chars_parse, N, number_chars(N, ['1', '.', '5'])).
t(number_chars_neg, N, number_chars(N, [-, '1'])).
t(number_chars_syntax, x, number_chars(_, [a])).
x(number_chars_bad_elem, x, number_chars(_, [0'1]), error(type_error(character, 49))).
x(number_chars_plus, x, number_chars(_, [+, '1']), error(syntax_error(illegal_number))).

t(sort, S, sort([c, a, b, a], S)).
t(sort_empty, S, sort([], S)).
t(sort_standard_order, S, sort([f(a), 1, a, 1.0, "s", Z, g(a, b)], S)).
t(sort_meta, S, call(sort, [2, 1, 2], S)).
t(sort_check, yes, sort([b, a], [a, b])).
t(sort_partial_result, S, (S = [X|_], sort([b, a], S), X == a)).
t(sort_unbound, x, sort(_, _)).
t(sort_partial, x, sort([a|_], _)).
t(sort_not_list, x, sort([a|b], _)).
x(sort_bad_result, x, sort([a], [a|b]), error(type_error(list, [a|b]))).
x(sort_atom_result, x, sort([a], foo), error(type_error(list, foo))).

t(msort, S, msort([c, a, b, a], S)).
t(msort_meta, S, call(msort, [2, 1, 2], S)).
t(msort_unbound, x, msort(_, _)).
t(msort_not_list, x, msort(foo, _)).

t(keysort, S, keysort([2-a, 1-b, 2-c, 1-d], S)).
t(keysort_empty, S, keysort([], S)).
t(keysort_meta, S, call(keysort, [b-1, a-2], S)).
t(keysort_unbound, x, keysort(_, _)).
t(keysort_partial, x, keysort([a-1|_], _)).
t(keysort_not_pair, x, keysort([a-1, b], _)).
t(keysort_unbound_elem, x, keysort([a-1, _], _)).
x(keysort_bad_result, x, keysort([a-1], [x]), error(type_error(pair, x))).
t(keysort_result_vars, S, (S = [_, _], keysort([b-1, a-2], S))).

% name/2: atoms and numbers to codes, codes to a number when they spell
% one, else to an atom.
t(name_atom, L, name(abc, L)).
t(name_number, L, name(-12, L)).
t(name_float, L, name(1.5, L)).
t(name_to_number, X, name(X, "42")).
t(name_to_negative, X, name(X, "-3")).
t(name_to_atom, X, name(X, "4a")).
t(name_to_empty, X, name(X, [])).
t(name_check, yes, name(foo, "foo")).
t(name_partial, x, name(_, [0'a|_])).
t(name_compound, x, name(f(x), _)).
t(name_meta, X, call(name, X, "7")).
