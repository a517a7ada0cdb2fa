p(_426):-append([a],[b],_426),maplist(atom,_426).
