// $copy_term(Term, Copy): Copy is unified with a fresh copy of Term that
// keeps Term's sharing and cycles; boxes are shared with Term.
#pragma once

#include "core/worker.h"

int prolog_copy_term(lv_worker* w);
