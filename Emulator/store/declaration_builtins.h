// Block and meta-predicate declarations: adding them to a predicate and
// reading them back as terms.
#pragma once

#include "core/worker.h"

int prolog_block(lv_worker* w);              // $block(Spec, _)
int prolog_block_declaration(lv_worker* w);  // $block_declaration(Head, Module, Specs)
int prolog_meta_predicate(lv_worker* w);     // $meta_predicate(Spec, _)
int prolog_meta_declaration(lv_worker* w);   // $meta_declaration(Head, Module, Spec)
