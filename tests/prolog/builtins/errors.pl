% Error terms: error(Formal, Context), Context the class of the formal term
% carrying the goal and the argument at fault, then the formal term's
% details; for errors the engine raises as for those the library raises.

x(library_type_error, C, catch(functor(_, foo, a), error(_, C), true),
  [type_error(prolog:functor(_, foo, a), 3, integer, a)]).
x(library_instantiation_error, C, catch(arg(_, f(a), _), error(_, C), true),
  [instantiation_error(prolog:arg(_, f(a), _), 1)]).
x(library_domain_error, C, catch(length(_, -1), error(_, C), true),
  [domain_error(prolog:length(_, -1), 2, not_less_than_zero, -1)]).
x(existence_error, C, catch(no_pred_here(1), error(_, C), true),
  [existence_error(user:no_pred_here(1), 0, procedure, no_pred_here/1)]).
x(call_error, C, catch(call(1), error(_, C), true),
  [type_error(prolog:call(1), 1, callable, 1)]).
x(meta_call_error, C, catch(call((fail, 1)), error(_, C), true),
  [type_error(prolog:call((fail, 1)), 1, callable, (fail, 1))]).
x(evaluation_of_an_atom, C, catch(_ is foo + 1, error(_, C), true),
  [type_error(prolog:'$eval'(foo), 1, evaluable, foo/0)]).
x(engine_zero_divisor, F-A, catch(_ is 1 // 0, error(F, evaluation_error(prolog:'$eval'(_), A, zero_divisor)), true),
  [evaluation_error(zero_divisor)-1]).
x(engine_not_variable, E, catch(prolog:'$get_cva'(a, _, _), E, true),
  [error(uninstantiation_error(a), uninstantiation_error(prolog:'$get_cva'(a, _, _), 1, a))]).
x(engine_undefined, F, catch(_ is log(0.0), error(F, _), true), [evaluation_error(undefined)]).
x(permission_error, C, catch(assertz(atom(a)), error(_, C), true),
  [permission_error(prolog:assertz(atom(a)), 1, modify, static_procedure, atom/1)]).
x(thrown_term_unchanged, B, catch(throw(my_ball(1)), B, true), [my_ball(1)]).
