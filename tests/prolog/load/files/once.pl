:- initialization(assertz(once_loaded)).
