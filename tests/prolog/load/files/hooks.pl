:- multifile hook/1.
hook(hooks).
