% Sockets on the loopback address: a server and a client in one query
% exchanging terms and bytes (the kernel buffers what one side writes until
% the other reads), the end of a closed connection, a refused connection,
% the host name, and the errors of the arguments.

:- discontiguous x/4.

% A connected pair: the client's stream, the server side's stream and the
% peer address the server saw; Os are the streams' options.
pair(Srv, C, S, Peer, Os) :-
    socket_server_open(Port, Srv, [loopback(true)]),
    socket_client_open('127.0.0.1':Port, C, Os),
    socket_server_accept(Srv, Peer, S, Os).

say(S, T) :- writeq(S, T), write(S, '.'), nl(S), flush_output(S).

x(exchange_terms, [T1, T2, Host],
  (pair(Srv, C, S, Host:_, []), say(C, hello('wörld', [1, 2.5], "s")), read(S, T1), say(S, reply(T1)), read(C, T2),
   close(C), close(S), socket_server_close(Srv)),
  [[hello('wörld', [1, 2.5], "s"), reply(hello('wörld', [1, 2.5], "s")), '127.0.0.1']]).
x(exchange_bytes, [B1, B2],
  (pair(Srv, C, S, _, [type(binary)]), put_byte(C, 0), put_byte(C, 255), flush_output(C), get_byte(S, B1), get_byte(S, B2),
   close(C), close(S), socket_server_close(Srv)),
  [[0, 255]]).
x(utf8_text, Cs,
  (pair(Srv, C, S, _, [encoding(utf8)]), put_char(C, 'é'), nl(C), flush_output(C), get_char(S, A), get_char(S, B),
   Cs = [A, B], close(C), close(S), socket_server_close(Srv)),
  [['é', '\n']]).
x(end_of_connection, T,
  (pair(Srv, C, S, _, []), close(C), read(S, T), close(S), socket_server_close(Srv)), [end_of_file]).
x(port_numbers, yes,
  (socket_server_open(P, Srv, [loopback(true)]), integer(P), P > 0, socket_server_close(Srv)), [yes]).
x(peer_port, yes,
  (pair(Srv, C, S, _:Port, []), integer(Port), close(C), close(S), socket_server_close(Srv)), [yes]).
x(port_as_atom, T,
  (socket_server_open(P, Srv, [loopback(true)]), number_codes(P, Cs), atom_codes(A, Cs),
   socket_client_open(localhost:A, C, []), socket_server_accept(Srv, _, S, []), say(C, t), read(S, T),
   close(C), close(S), socket_server_close(Srv)),
  [t]).

% Nobody listens on a port just closed.
% The error names the goal and its argument.
x(refused, [E, G, N, M],
  (socket_server_open(P, Srv, [loopback(true)]), socket_server_close(Srv),
   catch(socket_client_open('127.0.0.1':P, _, []), error(E, system_error(_:G0, N, M)), true), functor(G0, G, _)),
  [[system_error, socket_client_open, 1, 'LVIO_E_NET_CONNREFUSED']]).
% A closed server is no more: closing or accepting on it again reaches no
% socket (nor the file opened meanwhile, which keeps what is written to it).
x(server_closed_twice, [Same, Text],
  (socket_server_open(_, Srv, [loopback(true)]), socket_server_close(Srv),
   open('lv_sockets_table.tmp', write, F), catch(socket_server_close(Srv), error(existence_error(socket, C), _), true),
   ( C == Srv -> Same = yes ; Same = C ),
   write(F, 'kept.'), close(F), open('lv_sockets_table.tmp', read, R), read(R, Text), close(R)),
  [[yes, kept]]).
x(accept_closed, Same,
  (socket_server_open(_, Srv, [loopback(true)]), socket_server_close(Srv),
   catch(socket_server_accept(Srv, _, _, []), error(existence_error(socket, C), _), true),
   ( C == Srv -> Same = yes ; Same = C )),
  [yes]).
x(made_up_server, E, catch(socket_server_close('$socket'(0)), error(E, _), true), [existence_error(socket, '$socket'(0))]).
x(client_port_range, x, socket_client_open(localhost:65536, _, []), error(domain_error(port_number, 65536))).
x(server_port_range, x, socket_server_open(-1, _), error(domain_error(port_number, -1))).
x(host_name, yes, (current_host(H), atom(H), H \== ''), [yes]).

x(client_unbound, x, socket_client_open(_, _, []), error(instantiation_error)).
x(client_bad_address, x, socket_client_open(foo, _, []), error(domain_error(socket_address, foo))).
x(client_host_not_atom, x, socket_client_open(1:80, _, []), error(type_error(atom, 1))).
x(client_bound_stream, x, socket_client_open(localhost:80, s, []), error(uninstantiation_error(s))).
x(client_bad_option, x, socket_client_open(localhost:80, _, [type(octet)]), error(domain_error(stream_option, type(octet)))).
x(client_options_partial, x, socket_client_open(localhost:80, _, [type(text)|_]), error(instantiation_error)).
x(server_bad_port, x, socket_server_open(f(x), _), error(type_error(integer, f(x)))).
x(server_bad_option, x, socket_server_open(_, _, [backlog(3)]), error(domain_error(socket_option, backlog(3)))).
x(accept_not_server, x, socket_server_accept(foo, _, _, []), error(domain_error(socket, foo))).
x(close_unbound, x, socket_server_close(_), error(instantiation_error)).

% The native calls: an option word without a stream type, and one with the
% unsupported bits.
x(native_no_type, [E, M], catch(prolog:'$socket_open_fail_on_interrupt'(localhost, 80, 0, [], _), error(E, M), true),
  [[system_error, system_error(prolog:'$socket_open'(localhost, 80, 0, [], _), 1, 'LVIO_E_PARAMETER_ERROR')]]).
x(native_unsupported, [E, M],
  catch(prolog:'$socket_open_fail_on_interrupt'(localhost, 80, 0x300800, [], _), error(E, M), true),
  [[system_error, system_error(prolog:'$socket_open'(localhost, 80, 0x300800, [], _), 1, 'LVIO_E_NOT_SUPPORTED')]]).
x(native_listen_port_atom, yes,
  (prolog:'$socket_listen_fail_on_interrupt'('', P, 1, [], Sk), atom(P), prolog:'$socket_close'(Sk)), [yes]).
