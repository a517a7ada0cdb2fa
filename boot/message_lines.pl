% print_message_lines/3: message lines written to a stream.
%
% Lines is a list of Format-Args, Format, ansi(Attributes, Format, Args),
% flush and nl elements; nl ends a line and each line starts with the
% prefix (a format text, or kind(Kind) for the prefix print_message/2 gives
% that kind). The last line ends with a newline, whether or not nl ends
% the list; an empty list writes the prefix and a newline.

:- module(prolog, [print_message_lines/3]).

print_message_lines(S, Prefix0, Lines) :-
    Ctx = prolog:print_message_lines(S, Prefix0, Lines),
    '$list_skip'(Lines, N, T),
    (   var(T) -> '$instantiation_error'(Ctx, 3)
    ;   T == [], N >= 0 -> true
    ;   '$type_error'(list, Lines, Ctx, 3)
    ),
    (   var(Prefix0) -> '$instantiation_error'(Ctx, 2)
    ;   Prefix0 = kind(Kind) -> '$message_prefix'(Kind, Prefix)
    ;   Prefix = Prefix0
    ),
    format(S, Prefix, []),
    '$message_line_elems'(Lines, S, Prefix).

'$message_line_elems'([], S, _) :- nl(S).
'$message_line_elems'([E|Es], S, Prefix) :-
    (   E == nl
    ->  nl(S),
        (   Es == [] -> true
        ;   format(S, Prefix, []), '$message_line_elems'(Es, S, Prefix)
        )
    ;   (   E == flush -> flush_output(S)
        ;   nonvar(E), E = F-As -> format(S, F, As)
        ;   nonvar(E), E = ansi(_, F, As) -> format(S, F, As)
        ;   format(S, E, [])
        ),
        '$message_line_elems'(Es, S, Prefix)
    ).
