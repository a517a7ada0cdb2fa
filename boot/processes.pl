% Child processes.
%
%   process_create(Program, Args), process_create(Program, Args, Options)
%   process_wait(Process, Status), process_wait(Process, Status, Options)
%   process_kill(Process), process_kill(Process, Signal)
%   process_release(Process)
%   process_id(Process, Pid), process_id(Pid)
%   is_process(Term)
%
% Program is a path (no search path; a relative one is taken from the
% working directory). Args is a list of atoms, numbers, file(Path) and
% lists of those (the parts of a list make one argument). Options:
% stdin(Spec), stdout(Spec), stderr(Spec) with Spec std (the default),
% null, pipe(Stream) or pipe(Stream, StreamOptions) (type(binary),
% encoding(E)); cwd(Dir); environment(Name=Value list), added to this
% process's environment; process(P), a process object for the other
% predicates (without it the child is left to run on its own). A process
% is such an object or an integer process id.
%
% Status: exit(Code), killed(Signal) (a child ended by a signal, with the
% signal's number) or timeout (process_wait/3 with timeout(Seconds), 0
% polling; infinite is the default). process_kill/1 sends SIGTERM;
% Signal is one of SIGTERM, SIGABRT and SIGKILL.
%
% The native calls raise no errors: their last argument is 0 or an error
% code, made an error here.

:- module(prolog, [
    process_create/2, process_create/3, process_wait/2, process_wait/3, process_kill/1, process_kill/2,
    process_release/1, process_id/1, process_id/2, is_process/1
]).

process_create(Program, Args) :-
    '$process_create'(Program, Args, [], prolog:process_create(Program, Args)).
process_create(Program, Args, Os) :-
    '$process_create'(Program, Args, Os, prolog:process_create(Program, Args, Os)).

'$process_create'(Program, Args, Os, Ctx) :-
    '$must_be_atom'(Program, Ctx, 1),
    '$process_list'(Args, Ctx, 2),
    '$process_args'(Args, Ctx, Parts),
    '$process_list'(Os, Ctx, 3),
    '$process_options'(Os, Ctx, o(std, std, std, '', default, none),
                       o(In, Out, Err, Dir, Env, P)),
    '$process_stream'(In, 0, B0, InEnc, InS),
    '$process_stream'(Out, 4, B1, OutEnc, OutS),
    '$process_stream'(Err, 8, B2, ErrEnc, ErrS),
    (   P == none -> B3 = 0 ; B3 = 0x1000 ),
    Bits is B0 \/ B1 \/ B2 \/ B3,
    '$process_create'(Program, Parts, Dir, Env, Bits, InEnc, OutEnc, ErrEnc, I, O, E, Ph, Error),
    '$process_check'(Error, Program, Ctx, 1),
    '$process_bind'(InS, I),
    '$process_bind'(OutS, O),
    '$process_bind'(ErrS, E),
    (   P == none -> true ; P = Ph ).

'$process_list'(L, Ctx, ArgNo) :-
    '$list_skip'(L, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, ArgNo)
    ;   ( Tail \== [] ; N < 0 ) -> '$type_error'(list, L, Ctx, ArgNo)
    ;   true
    ).

% The arguments as the native call takes them: numbers as atoms.
'$process_args'([], _, []).
'$process_args'([A|As], Ctx, [P|Ps]) :-
    '$process_arg'(A, Ctx, P),
    '$process_args'(As, Ctx, Ps).

'$process_arg'(A, Ctx, P) :-
    (   var(A) -> '$instantiation_error'(Ctx, 2)
    ;   atom(A) -> P = A
    ;   number(A) -> number_codes(A, Cs), atom_codes(P, Cs)
    ;   A = [_|_] -> '$process_list'(A, Ctx, 2), '$process_parts'(A, Ctx, P)
    ;   A = file(F), atom(F) -> P = A
    ;   '$domain_error'(process_argument, A, Ctx, 2)
    ).

'$process_parts'([], _, []).
'$process_parts'([A|As], Ctx, [P|Ps]) :-
    (   A = [_|_] -> '$domain_error'(process_argument, A, Ctx, 2)
    ;   '$process_arg'(A, Ctx, P)
    ),
    '$process_parts'(As, Ctx, Ps).

'$process_options'([], _, O, O).
'$process_options'([X|Xs], Ctx, O0, O) :-
    (   var(X) -> '$instantiation_error'(Ctx, 3)
    ;   '$process_option'(X, O0, O1) -> true
    ;   '$domain_error'(process_create_option, X, Ctx, 3)
    ),
    '$process_options'(Xs, Ctx, O1, O).

'$process_option'(stdin(S), o(_, O, E, D, V, P), o(S, O, E, D, V, P)) :- '$process_spec'(S).
'$process_option'(stdout(S), o(I, _, E, D, V, P), o(I, S, E, D, V, P)) :- '$process_spec'(S).
'$process_option'(stderr(S), o(I, O, _, D, V, P), o(I, O, S, D, V, P)) :- '$process_spec'(S).
'$process_option'(cwd(D), o(I, O, E, _, V, P), o(I, O, E, D, V, P)) :- atom(D).
'$process_option'(environment(L), o(I, O, E, D, _, P), o(I, O, E, D, V, P)) :- '$process_environment'(L, V).
'$process_option'(process(P), o(I, O, E, D, V, _), o(I, O, E, D, V, P)) :- var(P).

'$process_spec'(S) :- nonvar(S), ( S == std ; S == null ; S = pipe(V), var(V) ; S = pipe(V, Os), var(V), '$process_pipe_options'(Os, _) ), !.

'$process_pipe_options'(Os, Enc) :-
    '$list_skip'(Os, N, []), N >= 0,
    '$process_pipe_options'(Os, [], Enc).

'$process_pipe_options'([], E, E).
'$process_pipe_options'([O|Os], E0, E) :-
    nonvar(O),
    (   O = type(T), T == binary -> E1 = binary
    ;   O = type(T), T == text -> E1 = E0
    ;   O = encoding(N), atom(N), '$encoding_name'(N, C) -> E1 = encoding(C, default, default)
    ),
    '$process_pipe_options'(Os, E1, E).

% Name=Value pairs as the alternating list of the native call.
'$process_environment'(L, V) :-
    '$list_skip'(L, N, []), N >= 0,
    '$process_pairs'(L, V).

'$process_pairs'([], []).
'$process_pairs'([P|Ps], [N, V|Vs]) :-
    nonvar(P), P = (N = V0), atom(N),
    (   atom(V0) -> V = V0 ; number(V0), number_codes(V0, Cs), atom_codes(V, Cs) ),
    '$process_pairs'(Ps, Vs).

% The option bits of one standard stream (at Shift), its encoding and the
% stream variable of a pipe.
'$process_stream'(std, Shift, B, [], none) :- B is 1 << Shift.
'$process_stream'(null, Shift, B, [], none) :- B is 2 << Shift.
'$process_stream'(pipe(S), Shift, B, [], pipe(S)) :- B is 4 << Shift.
'$process_stream'(pipe(S, Os), Shift, B, Enc, pipe(S)) :- B is 4 << Shift, '$process_pipe_options'(Os, Enc).

'$process_bind'(none, _).
'$process_bind'(pipe(S), A) :- S = '$stream'(A).

process_wait(P, Status) :- '$process_wait'(P, Status, [], prolog:process_wait(P, Status)).
process_wait(P, Status, Os) :- '$process_wait'(P, Status, Os, prolog:process_wait(P, Status, Os)).

'$process_wait'(P, Status, Os, Ctx) :-
    '$process_arg_check'(P, Ctx),
    '$process_list'(Os, Ctx, 3),
    '$process_wait_options'(Os, Ctx, infinite, T),
    '$process_wait_retry'(P, T, St, Code, Error),
    '$process_check'(Error, P, Ctx, 1),
    (   St =:= 4096 -> Status = timeout
    ;   Code < 0 -> Signal is -Code, Status = killed(Signal)
    ;   Status = exit(Code)
    ).

% A wait that an interrupt ends (-10014) is called again: the call runs
% the interrupt's event first (a Ctrl-C and continue waits on).
'$process_wait_retry'(P, T, St, Code, Error) :-
    '$process_wait'(P, 0, T, St0, Code0, Error0),
    (   Error0 =:= -10014 -> '$process_wait_retry'(P, T, St, Code, Error)
    ;   St = St0, Code = Code0, Error = Error0
    ).

'$process_wait_options'([], _, T, T).
'$process_wait_options'([O|Os], Ctx, T0, T) :-
    (   var(O) -> '$instantiation_error'(Ctx, 3)
    ;   O = timeout(X), ( X == infinite ; number(X), X >= 0 ) -> T1 = X
    ;   '$domain_error'(process_wait_option, O, Ctx, 3)
    ),
    '$process_wait_options'(Os, Ctx, T1, T).

process_kill(P) :- '$process_kill_'(P, 'SIGTERM', prolog:process_kill(P)).
process_kill(P, Signal) :- '$process_kill_'(P, Signal, prolog:process_kill(P, Signal)).

'$process_kill_'(P, Signal, Ctx) :-
    '$process_arg_check'(P, Ctx),
    '$must_be_atom'(Signal, Ctx, 2),
    '$process_kill'(P, Signal, Error),
    (   Error =:= -10004 -> '$domain_error'(signal, Signal, Ctx, 2)
    ;   '$process_check'(Error, P, Ctx, 1)
    ).

process_release(P) :-
    Ctx = prolog:process_release(P),
    '$process_arg_check'(P, Ctx),
    '$process_release'(P, 0, Error),
    '$process_check'(Error, P, Ctx, 1).

process_id(Pid) :- '$process_self_id'(Pid0), Pid = Pid0.

process_id(P, Pid) :-
    Ctx = prolog:process_id(P, Pid),
    '$process_arg_check'(P, Ctx),
    '$process_id'(P, Pid0, Error),
    '$process_check'(Error, P, Ctx, 1),
    Pid = Pid0.

is_process(T) :- '$is_process'(T).

'$process_arg_check'(P, Ctx) :-
    (   var(P) -> '$instantiation_error'(Ctx, 1) ; true ).

% The error of a native call's code: a program or process that is not
% there, a process argument that names none, else a system error.
'$process_check'(0, _, _, _) :- !.
'$process_check'(-10501, Culprit, Ctx, ArgNo) :- !,
    '$error'(existence_error(source_sink, Culprit), Ctx, ArgNo).
'$process_check'(-10008, Culprit, Ctx, ArgNo) :- !,
    '$error'(existence_error(process, Culprit), Ctx, ArgNo).
'$process_check'(-10004, Culprit, Ctx, ArgNo) :- !,
    '$domain_error'(process, Culprit, Ctx, ArgNo).
'$process_check'(Code, _, _, _) :-
    '$lvio_error_name'(Code, Name),
    throw(error(system_error, system_error(Name))).
