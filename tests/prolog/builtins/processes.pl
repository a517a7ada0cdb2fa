% Child processes: /bin/cat and /bin/sh with piped standard streams, exit
% codes, killed children, polling, the working directory and environment,
% process ids and objects, and the errors of a missing program and of the
% arguments. Every child is waited for, none by its duration.

:- discontiguous x/4.

say(S, T) :- writeq(S, T), write(S, '.'), nl(S).

sh(Script, Os, Status) :-
    process_create('/bin/sh', ['-c', Script], [process(P)|Os]),
    process_wait(P, Status).

x(cat_echoes, [T, End, St],
  (process_create('/bin/cat', [], [stdin(pipe(I)), stdout(pipe(O)), process(P)]), say(I, hello(world, [1, 2])),
   close(I), read(O, T), read(O, End), close(O), process_wait(P, St)),
  [[hello(world, [1, 2]), end_of_file, exit(0)]]).
x(cat_binary, Bs,
  (process_create('/bin/cat', [], [stdin(pipe(I, [type(binary)])), stdout(pipe(O, [type(binary)])), process(P)]),
   put_byte(I, 0), put_byte(I, 200), close(I), get_byte(O, A), get_byte(O, B), get_byte(O, C), close(O),
   process_wait(P, _), Bs = [A, B, C]),
  [[0, 200, -1]]).
x(exit_code, St, sh('exit 3', [], St), [exit(3)]).
x(stderr_pipe, [T, St], (process_create('/bin/sh', ['-c', 'echo oops. 1>&2; exit 1'], [stderr(pipe(E)), process(P)]),
                         read(E, T), close(E), process_wait(P, St)),
  [[oops, exit(1)]]).
x(stdout_null, St, sh('echo lost', [stdout(null)], St), [exit(0)]).
x(argument_parts, St, sh(['exit ', '4'], [], St), [exit(4)]).
x(number_argument, St, (process_create('/bin/sh', ['-c', 'exit $0', 5], [process(P)]), process_wait(P, St)), [exit(5)]).
x(working_directory, St, sh('test "$(pwd)" = /', [cwd('/')], St), [exit(0)]).
x(environment, St, sh('exit $LV_TEST_CODE', [environment(['LV_TEST_CODE'=6])], St), [exit(6)]).

% A child that runs until it is killed.
x(killed, St, (process_create('/bin/sleep', ['1000'], [process(P)]), process_kill(P, 'SIGKILL'), process_wait(P, St)),
  [killed(9)]).
x(terminated, [St0, St],
  (process_create('/bin/sleep', ['1000'], [process(P)]), process_wait(P, St0, [timeout(0)]), process_kill(P),
   process_wait(P, St)),
  [[timeout, killed(15)]]).
x(wait_again, [A, B], (process_create('/bin/true', [], [process(P)]), process_wait(P, A), process_wait(P, B)),
  [[exit(0), exit(0)]]).
x(ids, yes,
  (process_create('/bin/sleep', ['1000'], [process(P)]), process_id(P, Id), integer(Id), process_id(Self),
   integer(Self), Id =\= Self, process_kill(Id, 'SIGKILL'), process_wait(P, killed(9)), process_release(P)),
  [yes]).
x(is_process, [A, B, C],
  (process_create('/bin/true', [], [process(P)]), (is_process(P) -> A = y ; A = n), process_wait(P, _),
   process_release(P), (is_process(P) -> B = y ; B = n), (is_process(foo) -> C = y ; C = n)),
  [[y, n, n]]).
x(released_is_gone, E,
  (process_create('/bin/true', [], [process(P)]), process_release(P),
   catch(process_wait(P, _), error(existence_error(process, Q), _), true), (Q == P -> E = same ; E = Q)),
  [same]).

x(missing_program, x, process_create('/nonexistent/lv_program', []),
  error(existence_error(source_sink, '/nonexistent/lv_program'))).
x(program_unbound, x, process_create(_, []), error(instantiation_error)).
x(program_not_atom, x, process_create(1, []), error(type_error(atom, 1))).
x(args_not_list, x, process_create('/bin/true', foo), error(type_error(list, foo))).
x(args_bad_element, x, process_create('/bin/true', [f(1)]), error(domain_error(process_argument, f(1)))).
x(bad_option, x, process_create('/bin/true', [], [stdin(file)]), error(domain_error(process_create_option, stdin(file)))).
x(wait_unbound, x, process_wait(_, _), error(instantiation_error)).
x(wait_bad_option, x, process_wait(1, _, [timeout(-1)]), error(domain_error(process_wait_option, timeout(-1)))).
x(kill_bad_signal, x, (process_create('/bin/sleep', ['1000'], [process(P)]),
                       catch(process_kill(P, 'SIGFOO'), E, (process_kill(P, 'SIGKILL'), process_wait(P, _), throw(E)))),
  error(domain_error(signal, 'SIGFOO'))).
x(no_such_pid, x, process_id(999999999, _), error(existence_error(process, 999999999))).

% The native call: option bit 15 and a non-list Args are reported, not
% raised.
x(native_bit_15, E, prolog:'$process_create'('/bin/true', [], '', [], 0x8111, [], [], [], _, _, _, _, E), [-10004]).
x(native_args_not_list, E, prolog:'$process_create'('/bin/true', foo, '', [], 0x111, [], [], [], _, _, _, _, E),
  [-10004]).
x(native_wait_poll, [S, C, E],
  (process_create('/bin/sleep', ['1000'], [process(P)]), prolog:'$process_wait'(P, 0, 0, S, C, E),
   process_kill(P, 'SIGKILL'), process_wait(P, _)),
  [[4096, 0, 0]]).
