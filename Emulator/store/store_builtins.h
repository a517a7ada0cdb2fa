// Built-ins that change definitions.
#pragma once

struct lv_worker;

int prolog_abolish(lv_worker* w);                    // $abolish(Spec, Module)
int prolog_undefine_all(lv_worker* w);               // $undefine_all(Module)
int prolog_erase_clause(lv_worker* w);               // $erase_clause(ClauseRef)
int prolog_compiled_clause(lv_worker* w);            // $compiled_clause(Spec, ClauseRef, _, Info)
int prolog_set_property(lv_worker* w);               // $set_property(Spec, Prop, _)
int prolog_define_predicate(lv_worker* w);           // $define_predicate(Module:Name/Arity, Kind)
int prolog_make_bytecode_object(lv_worker* w);       // $make_bytecode_object(Size, Items, SourceKey, Source, Ref)
int prolog_print_hashtable_statistics(lv_worker* w);

// The source-information level: 127 keeps no side tables.
extern int lv_source_info_level;
