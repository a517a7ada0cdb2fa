% catch/3 and throw/1 in a loop of 60000 rounds: a ball thrown from ten
% calls deep and caught at once, a ball that passes a catcher that does not
% match it, an error raised by arithmetic, and a catch/3 whose goal
% succeeds without throwing.
bench :- loop(60000, 0, S), S =:= 60000 * 60001 // 2 + 60000 * 12.

loop(0, S, S) :- !.
loop(N, S0, S) :-
    catch(deep(10, N), found(V, [_, W]), true),
    catch(catch(deep(3, N), other(_), fail), found(V2, _), true),
    catch(_ is foo + N, error(type_error(evaluable, E), _), true),
    E == foo/0,
    catch(deep_ok(10, K), _, K = 0),
    S1 is S0 + V + W + V2 - N + K,
    N1 is N - 1,
    loop(N1, S1, S).

deep(0, N) :- !, throw(found(N, [f(N), 1])).
deep(D, N) :- D1 is D - 1, deep(D1, N), D1 > 100.

deep_ok(0, 1) :- !.
deep_ok(D, K) :- D1 is D - 1, deep_ok(D1, K0), K is K0 + 1.
