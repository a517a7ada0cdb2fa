% The operating system: module system.
%
%   shell(Command), shell(Command, Status)   runs Command by /bin/sh -c
%       with this process's standard streams; Status is its exit code
%       (128 + N for a command ended by signal N); shell/1 succeeds when
%       it is 0
%   getenv(Name, Value), setenv(Name, Value)  the environment: setenv/2
%       holds for getenv/2 and for the processes started afterwards
%   exists_file(File), exists_directory(Dir)
%   delete_file(File), rename_file(Old, New)
%   make_directory(Dir), delete_directory(Dir)
%
% Names are atoms (setenv/2 also takes a number as the value). A relative
% file name is taken from the working directory. A file that is not there
% is an existence error, one that may not be changed a permission error.

:- module(system, [
    shell/1, shell/2, getenv/2, setenv/2,
    exists_file/1, exists_directory/1, delete_file/1, rename_file/2,
    make_directory/1, delete_directory/1
]).

shell(Command) :- shell(Command, 0).

shell(Command, Status) :-
    Ctx = system:shell(Command, Status),
    prolog:'$must_be_atom'(Command, Ctx, 1),
    prolog:'$may_be_integer'(Status, Ctx, 2),
    flush_output(user_output),
    flush_output(user_error),
    process_create('/bin/sh', ['-c', Command], [process(P)]),
    process_wait(P, Outcome),
    (   Outcome = exit(Code) -> true
    ;   Outcome = killed(Signal) -> Code is 128 + Signal
    ;   Code = 255
    ),
    Status = Code.

getenv(Name, Value) :-
    prolog:'$must_be_atom'(Name, system:getenv(Name, Value), 1),
    prolog:'$getenv'(Name, Value0),
    Value = Value0.

setenv(Name, Value) :-
    Ctx = system:setenv(Name, Value),
    prolog:'$must_be_atom'(Name, Ctx, 1),
    (   var(Value) -> prolog:'$instantiation_error'(Ctx, 2)
    ;   atom(Value) -> Text = Value
    ;   number(Value) -> number_codes(Value, Cs), atom_codes(Text, Cs)
    ;   prolog:'$type_error'(atom, Value, Ctx, 2)
    ),
    (   Name \== '', \+ sub_atom(Name, _, _, _, '=') -> true
    ;   prolog:'$domain_error'(environment_variable, Name, Ctx, 1)
    ),
    (   prolog:'$set_system_property'(Name, Text) -> true
    ;   throw(error(system_error, system_error(setenv(Name))))
    ).

% The access test without write or execute checks: 0x20 asks for a
% directory; a path of the other kind is refused.
exists_file(File) :-
    prolog:'$must_be_atom'(File, system:exists_file(File), 1),
    prolog:'$test_file_access'(File, 0, 0, _).

exists_directory(Dir) :-
    prolog:'$must_be_atom'(Dir, system:exists_directory(Dir), 1),
    prolog:'$test_file_access'(Dir, 0x20, 0, _).

delete_file(File) :-
    Ctx = system:delete_file(File),
    prolog:'$must_be_atom'(File, Ctx, 1),
    prolog:'$delete_file'(File, 0, Error),
    file_check_(Error, delete, file, File, Ctx).

delete_directory(Dir) :-
    Ctx = system:delete_directory(Dir),
    prolog:'$must_be_atom'(Dir, Ctx, 1),
    prolog:'$delete_file'(Dir, 1, Error),
    file_check_(Error, delete, directory, Dir, Ctx).

rename_file(Old, New) :-
    Ctx = system:rename_file(Old, New),
    prolog:'$must_be_atom'(Old, Ctx, 1),
    prolog:'$must_be_atom'(New, Ctx, 2),
    prolog:'$rename_file'(Old, New, 0, Error),
    file_check_(Error, rename, file, Old, Ctx).

make_directory(Dir) :-
    Ctx = system:make_directory(Dir),
    prolog:'$must_be_atom'(Dir, Ctx, 1),
    prolog:'$create_directory'(Dir, 0, Error),
    file_check_(Error, create, directory, Dir, Ctx).

% The error of a file operation's code, by the I/O layer's name of it.
file_check_(0, _, _, _, _) :- !.
file_check_(Code, Action, Type, Culprit, Ctx) :-
    (   prolog:'$lvio_error_name'(Code, Name) -> true ; Name = Code ),
    (   missing_(Name) -> prolog:'$error'(existence_error(Type, Culprit), Ctx, 1)
    ;   refused_(Name) -> prolog:'$error'(permission_error(Action, Type, Culprit), Ctx, 1)
    ;   throw(error(system_error, system_error(Name)))
    ).

missing_('LVIO_E_FILE_NOT_FOUND').
missing_('LVIO_E_PATH_NOT_FOUND').

refused_('LVIO_E_FILE_ACCESS').
refused_('LVIO_E_PERMISSION_ERROR').
refused_('LVIO_E_FILE_IS_DIRECTORY').
refused_('LVIO_E_FILE_NOT_DIRECTORY').
refused_('LVIO_E_DIR_NOT_EMPTY').
refused_('LVIO_E_FILE_EXISTS').
refused_('LVIO_E_INVALID_NAME').
