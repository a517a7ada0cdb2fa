:- prolog_load_context(module, M), prolog_load_context(source, F), assertz(context(M, F)).
