// The built-ins over source-position tables and the lines recorded in
// compiled code. All fail quietly on arguments of the wrong type.
#pragma once

struct lv_worker;

// $new_table_interp(Key, Clause): Key = [HeadLine, BodyLine, Tree] becomes
// the table of the dynamic clause Clause (a clause reference).
int prolog_new_table_interp(lv_worker* w);
// $search_table_interp(Position, File, Line)
int prolog_search_table_interp(lv_worker* w);
// $instance_has_line(Clause, File, Line)
int prolog_instance_has_line(lv_worker* w);
// $comp_has_line(Module, Name, Arity, File, Line)
int prolog_comp_has_line(lv_worker* w);
