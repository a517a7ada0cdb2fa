% Prolog flags: current_prolog_flag/2 and set_prolog_flag/2 over the
% engine's flag built-ins; the debug flag is kept on the blackboard of
% prolog.
%
% '$flag'(Name, Value, Get, New, Set): Get makes Value the flag's value;
% Set makes New its value and fails for a value the flag does not take;
% Set is none for a flag that cannot be changed.

:- module(prolog, [current_prolog_flag/2, set_prolog_flag/2]).

current_prolog_flag(Flag, Value) :-
    (   var(Flag)
    ->  '$flag'(Flag, V, Get, _, _),
        '$call_module'(Get, prolog),
        Value = V
    ;   atom(Flag)
    ->  (   '$flag'(Flag, V, Get, _, _)
        ->  '$call_module'(Get, prolog),
            Value = V
        ;   '$domain_error'(prolog_flag, Flag, prolog:current_prolog_flag(Flag, Value), 1)
        )
    ;   '$type_error'(atom, Flag, prolog:current_prolog_flag(Flag, Value), 1)
    ).

set_prolog_flag(Flag, Value) :-
    Ctx = prolog:set_prolog_flag(Flag, Value),
    '$must_be_atom'(Flag, Ctx, 1),
    (   var(Value) -> '$instantiation_error'(Ctx, 2) ; true ),
    (   '$flag'(Flag, _, _, New, Set) -> true
    ;   '$domain_error'(prolog_flag, Flag, Ctx, 1)
    ),
    (   Set == none -> '$error'(permission_error(modify, flag, Flag), Ctx, 1)
    ;   New = Value, '$call_module'(Set, prolog) -> true
    ;   '$domain_error'(flag_value, Flag+Value, Ctx, 2)
    ).

'$flag'(bounded, false, true, _, none).
'$flag'(max_arity, 255, true, _, none).
'$flag'(integer_rounding_function, toward_zero, true, _, none).
'$flag'(max_tagged_integer, V, '$tagged_integer_range'(_, V), _, none).
'$flag'(min_tagged_integer, V, '$tagged_integer_range'(V, _), _, none).
'$flag'(version, V, '$version_flag'(V), _, none).
'$flag'(char_conversion, V, '$char_conversion'(V, V), N, '$char_conversion'(_, N)).
'$flag'(double_quotes, V, '$double_quotes'(V, V), N, '$double_quotes'(_, N)).
'$flag'(unknown, V, '$unknown'(V, V), N, '$unknown'(_, N)).
'$flag'(debug, V, '$debug_flag'(V), N, '$set_debug_flag'(N)).
'$flag'(profiling, V, '$profiling'(V, V), N, '$profiling'(_, N)).
'$flag'(syntax_errors, V, '$syntax'(V, V), N, '$syntax'(_, N)).
'$flag'(single_var_warnings, V, '$single_var_flag'(V, V), N, '$single_var_flag'(_, N)).
'$flag'(redefine_warnings, V, '$multiple_flag'(V, V), N, '$multiple_flag'(_, N)).
'$flag'(discontiguous_warnings, V, '$discontiguous_flag'(V, V), N, '$discontiguous_flag'(_, N)).
'$flag'(informational, V, '$informational_flag'(V, V), N, '$informational_flag'(_, N)).
'$flag'(compiling, V, '$compiling'(V, V), N, '$compiling'(_, N)).
'$flag'(source_info, V, '$source_info'(V, V), N, '$source_info'(_, N)).
'$flag'(quoted_charset, V, '$quoted_charset_flag'(V, V), N, '$quoted_charset_flag'(_, N)).
'$flag'(fileerrors, V, '$ferror_flag'(V, V), N, '$ferror_flag'(_, N)).
'$flag'(legacy_char_classification, V, '$legacy_char_classification_flag'(V, V), N,
        '$legacy_char_classification_flag'(_, N)).
'$flag'(argv, V, '$argv'(V), N, '$set_argv_flag'(N)).

'$debug_flag'(V) :- ( '$bb_get'(prolog, '$debug_flag', V0) -> V = V0 ; V = off ).

'$set_debug_flag'(V) :- ( V == on ; V == off ), '$bb_put'(prolog, '$debug_flag', V).

% argv: the program's arguments (those behind "--" on the command line), a
% proper list of atoms.
'$set_argv_flag'(V) :- is_list(V), '$set_argv'(V).
