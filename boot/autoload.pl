% Autoloading: a call of a predicate that is not defined, whose name and
% arity a library of the system exports, loads that library (as
% use_module/2 with just that predicate) and goes on with the call. So
% member/2, append/3 or maplist/3 need no use_module at the prompt or in a
% program. The index, '$autoload_index'(Name, Arity, Library), is made at
% build time from the export lists of the libraries (autoload_index.pl of
% the build's boot directory).
%
% A predicate that is defined or imported in the module is called as it
% is: an import of one's own, made before the first call, wins. Without
% the library's file (no library directory), or when loading it raises an
% error, which is reported, the call goes on to the unknown flag, as for any
% undefined predicate.

:- module(prolog, []).

% '$autoload'(Goal, Module): Goal's predicate, undefined in Module, has
% been imported into Module from its library.
'$autoload'(Goal, Module) :-
    atom(Module),
    functor(Goal, N, A),
    '$autoload_index'(N, A, Lib),
    '$source_file'(library(Lib), '.', _),
    catch(use_module(Module:library(Lib), [N/A]), Ball, ( '$autoload_fault'(Ball), fail )),
    '$predicate_property'(Goal, _, _, Module, _),
    !.

'$autoload_fault'(Ball) :-
    (   '$reserved_exception'(Ball) -> throw(Ball) ; print_message(error, Ball) ).
