% Finding source files: file specifications, search path aliases and the
% library directory.
%
% A specification is a file name (an atom), or Alias(Name) for a name under
% one of the directories the alias stands for: user:file_search_path/2
% first, then the system's own aliases. library stands for the directory
% the runtime publishes as the setting LV_LIBRARY_DIR (the directory
% "library/" beside the boot file's directory; the build copies the
% library's Prolog files there). A relative name is taken relative to the
% directory of the file being loaded, else to the working directory. The
% file is Name itself when it is a readable file, else Name with ".pl".

:- module(prolog, [absolute_file_name/2]).

'$system_search_path'(library, Dir) :- '$getenv'('LV_LIBRARY_DIR', Dir).

absolute_file_name(Spec, Path) :-
    Ctx = prolog:absolute_file_name(Spec, Path),
    (   var(Spec) -> '$instantiation_error'(Ctx, 1) ; true ),
    (   '$load_relative_dir'(Dir), '$source_file'(Spec, Dir, Path0) -> Path = Path0
    ;   '$error'(existence_error(source_sink, Spec), Ctx, 1)
    ).

% '$source_file'(Spec, Dir, Path): the readable file Spec names, relative to
% the directory Dir.
'$source_file'(Spec, Dir, Path) :-
    '$spec_candidate'(Spec, Dir, 0, Name),
    '$with_extension'(Name, Path),
    !.

'$spec_candidate'(Spec, Dir, _, Name) :- atom(Spec), !,
    '$absolute_path'(Spec, Dir, 0, Name),
    Name \== ''.
'$spec_candidate'(Spec, _, Depth, Name) :-
    compound(Spec), Spec =.. [Alias, Sub], atom(Alias),
    Depth < 16,
    Depth1 is Depth + 1,
    '$alias_dir'(Alias, DirSpec),
    '$spec_candidate'(DirSpec, '.', Depth1, Dir),
    '$sub_path'(Sub, SubName),
    atom_concat(Dir, '/', Dir1),
    '$absolute_path'(SubName, Dir1, 0, Name),
    Name \== ''.

% The directories of an alias: the user's first.
'$alias_dir'(Alias, Dir) :-
    '$predicate_property'(file_search_path(_, _), _, _, user, user),
    catch(user:file_search_path(Alias, Dir), _, fail).
'$alias_dir'(Alias, Dir) :-
    '$system_search_path'(Alias, Dir).

% A/B/C under an alias is the path A/B/C.
'$sub_path'(Sub, Name) :- atom(Sub), !, Name = Sub.
'$sub_path'(A/B, Name) :-
    '$sub_path'(A, NA), atom(B),
    atom_concat(NA, '/', N1),
    atom_concat(N1, B, Name).

'$with_extension'(Name, Name) :- '$readable_file'(Name).
'$with_extension'(Name, Path) :-
    atom_concat(Name, '.pl', Path),
    '$readable_file'(Path).

'$readable_file'(Path) :- '$test_file_access'(Path, 0, 0, _).

% The directory relative names are taken in: the directory of the file
% being loaded, else the working directory.
'$load_relative_dir'(Dir) :-
    (   '$load_stack'([ld(_, _, Dir0)|_]) -> Dir = Dir0 ; Dir = '.' ).
