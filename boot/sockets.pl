% Sockets: TCP connections as read-write streams.
%
%   socket_client_open(Host:Port, Stream, Options)
%   socket_server_open(Port, Server), socket_server_open(Port, Server, Options)
%   socket_server_accept(Server, Client, Stream, Options)
%   socket_server_close(Server)
%   current_host(Host)
%
% A server is the term '$socket'(Handle). Stream options: type(text) (the
% default) or type(binary), encoding(E) as open/4 takes it, and
% eof_action(A). Server options: loopback(true) listens on the loopback
% address only, reuseaddr(true) lets the port be bound again at once. An
% unbound Port of socket_server_open is bound to the port the system
% chose. Client is Host:Port of the peer, Host its numeric address.
%
% Errors name the goal and the argument at fault: a refused connection or an
% unknown host is a system error, a port outside 0..65535 a domain error, a
% server that is closed (or a made-up one) an existence error. A native call
% that fails after an interruption is made again, once the engine has run
% the pending event.

:- module(prolog, [
    socket_client_open/3, socket_server_open/2, socket_server_open/3, socket_server_accept/4,
    socket_server_close/1, current_host/1
]).

socket_client_open(Address, S, Os) :-
    Ctx = prolog:socket_client_open(Address, S, Os),
    '$socket_address'(Address, Ctx, Host, Port),
    (   nonvar(S) -> '$error'(uninstantiation_error(S), Ctx, 2) ; true ),
    '$socket_stream_options'(Os, Ctx, 3, Bits, Enc),
    '$socket_call'('$socket_open_fail_on_interrupt'(Host, Port, Bits, Enc, A), Ctx, 1),
    S = '$stream'(A).

% '$socket_call'(Goal, Ctx, ArgNo): runs a native socket call, again after
% an interruption (once the engine has run the pending event); its errors
% are raised in the context of the caller's goal and argument.
'$socket_call'(Goal, Ctx, ArgNo) :-
    catch(prolog:Goal, error(E, C), prolog:'$socket_error'(E, C, Ctx, ArgNo)),
    !.
'$socket_call'(Goal, Ctx, ArgNo) :- '$socket_call'(Goal, Ctx, ArgNo).

% A system error names the caller's goal and argument, and keeps what
% failed (the I/O layer's name of it).
'$socket_error'(system_error, C, Ctx, ArgNo) :- !,
    '$system_error_message'(C, M),
    throw(error(system_error, system_error(Ctx, ArgNo, M))).
'$socket_error'(E, _, Ctx, ArgNo) :- '$error'(E, Ctx, ArgNo).

% Host:Port with an atom Host and an integer or atom Port.
'$socket_address'(Address, Ctx, Host, Port) :-
    (   var(Address) -> '$instantiation_error'(Ctx, 1)
    ;   Address = Host:Port
    ->  '$must_be_atom'(Host, Ctx, 1),
        (   var(Port) -> '$instantiation_error'(Ctx, 1)
        ;   '$socket_port_check'(Port, Ctx, 1)
        )
    ;   '$domain_error'(socket_address, Address, Ctx, 1)
    ).

% A port: a number in 0..65535, or an atom (a service name).
'$socket_port_check'(Port, Ctx, ArgNo) :-
    (   integer(Port)
    ->  (   Port >= 0, Port =< 65535 -> true ; '$domain_error'(port_number, Port, Ctx, ArgNo) )
    ;   atom(Port) -> true
    ;   '$type_error'(integer, Port, Ctx, ArgNo)
    ).

% The option word of a socket stream (bit 11 text, 14 binary, 9 and 10
% the end-of-stream actions) and its encoding term ([] for none).
'$socket_stream_options'(Os, Ctx, ArgNo, Bits, Enc) :-
    '$socket_option_list'(Os, Ctx, ArgNo),
    '$socket_stream_options_'(Os, Ctx, ArgNo, s(0x800, []), s(Bits, Enc)).

'$socket_stream_options_'([], _, _, S, S).
'$socket_stream_options_'([O|Os], Ctx, ArgNo, S0, S) :-
    (   var(O) -> '$instantiation_error'(Ctx, ArgNo)
    ;   '$socket_stream_option'(O, S0, S1) -> true
    ;   '$domain_error'(stream_option, O, Ctx, ArgNo)
    ),
    '$socket_stream_options_'(Os, Ctx, ArgNo, S1, S).

'$socket_stream_option'(type(T), s(B0, E), s(B, E)) :-
    (   T == text -> B is (B0 /\ \0x4000) \/ 0x800
    ;   T == binary -> B is (B0 /\ \0x800) \/ 0x4000
    ).
'$socket_stream_option'(encoding(N), s(B, _), s(B, encoding(E, default, default))) :-
    atom(N), '$encoding_name'(N, E).
'$socket_stream_option'(eof_action(A), s(B0, E), s(B, E)) :-
    (   A == error -> B = B0 ; A == eof_code -> B is B0 \/ 0x200 ; A == reset -> B is B0 \/ 0x400 ).

'$socket_option_list'(Os, Ctx, ArgNo) :-
    '$list_skip'(Os, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, ArgNo)
    ;   ( Tail \== [] ; N < 0 ) -> '$type_error'(list, Os, Ctx, ArgNo)
    ;   true
    ).

socket_server_open(Port, Server) :-
    '$socket_server_open'(Port, Server, [], prolog:socket_server_open(Port, Server)).
socket_server_open(Port, Server, Os) :-
    '$socket_server_open'(Port, Server, Os, prolog:socket_server_open(Port, Server, Os)).

'$socket_server_open'(Port, Server, Os, Ctx) :-
    (   var(Port) -> true ; '$socket_port_check'(Port, Ctx, 1) ),
    (   nonvar(Server) -> '$error'(uninstantiation_error(Server), Ctx, 2) ; true ),
    '$socket_option_list'(Os, Ctx, 3),
    '$socket_server_options'(Os, Ctx, 0, Bits),
    '$socket_call'('$socket_listen'(Port, P, Bits, Handle), Ctx, 1),
    (   var(Port) -> '$socket_port'(P, Port) ; true ),
    Server = '$socket'(Handle).

% An unbound Port stays unbound until a listen succeeds.
'$socket_listen'(Port, P, Bits, Handle) :-
    (   var(Port) -> P = P0 ; P0 = Port ),
    '$socket_listen_fail_on_interrupt'('', P0, Bits, [], H),
    P = P0, Handle = H.

'$socket_server_options'([], _, B, B).
'$socket_server_options'([O|Os], Ctx, B0, B) :-
    (   var(O) -> '$instantiation_error'(Ctx, 3)
    ;   O = loopback(V), '$socket_flag'(V, 1, F) -> B1 is B0 \/ F
    ;   O = reuseaddr(V), '$socket_flag'(V, 8, F) -> B1 is B0 \/ F
    ;   '$domain_error'(socket_option, O, Ctx, 3)
    ),
    '$socket_server_options'(Os, Ctx, B1, B).

'$socket_flag'(V, Bit, F) :- ( V == true -> F = Bit ; V == false -> F = 0 ).

socket_server_accept(Server, Client, S, Os) :-
    Ctx = prolog:socket_server_accept(Server, Client, S, Os),
    '$socket_server_arg'(Server, Ctx, Handle),
    (   nonvar(S) -> '$error'(uninstantiation_error(S), Ctx, 3) ; true ),
    '$socket_stream_options'(Os, Ctx, 4, Bits, Enc),
    '$socket_call'('$socket_accept'(Handle, Server, Bits, Enc, Host, Service, A), Ctx, 1),
    '$socket_port'(Service, Port),
    S = '$stream'(A),
    Client = Host:Port.

% A server that is closed is no more.
'$socket_accept'(Handle, Server, Bits, Enc, Host, Service, A) :-
    catch('$socket_accept_fail_on_interrupt'(Handle, Bits, Enc, Host, Service, A),
          error(system_error, system_error(_, _, 'LVIO_E_NOT_FOUND')),
          throw(error(existence_error(socket, Server), 0))).

% The port of a service text: its number, or the atom when it is none.
'$socket_port'(Service, Port) :-
    atom_codes(Service, Cs),
    (   catch(number_codes(N, Cs), _, fail), integer(N) -> Port = N ; Port = Service ).

socket_server_close(Server) :-
    Ctx = prolog:socket_server_close(Server),
    '$socket_server_arg'(Server, Ctx, Handle),
    (   '$socket_close'(Handle) -> true ; '$error'(existence_error(socket, Server), Ctx, 1) ).

'$socket_server_arg'(Server, Ctx, Handle) :-
    (   var(Server) -> '$instantiation_error'(Ctx, 1)
    ;   Server = '$socket'(Handle), integer(Handle) -> true
    ;   '$domain_error'(socket, Server, Ctx, 1)
    ).

current_host(Host) :-
    (   var(Host) -> true
    ;   '$must_be_atom'(Host, prolog:current_host(Host), 1)
    ),
    '$hostname'(H, _),
    Host = H.
