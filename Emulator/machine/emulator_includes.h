// What the emulator's dispatch loop uses (emulator_loop.inc and the
// instruction files it includes).
#pragma once

#include <cstddef>
#include <cstdio>
#include <utility>

#include "core/attributes.h"
#include "core/bind.h"
#include "core/builtins.h"
#include "core/catch_frames.h"
#include "core/cleanups.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/inline_builtins.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "core/worker.h"
#include "embed/foreign_call.h"
#include "embed/prolog_contract.h"
#include "jit/native_entry.h"
#include "machine/accumulators.h"
#include "machine/arith.h"
#include "machine/block_suspend.h"
#include "machine/boxed_numbers.h"
#include "machine/call_n.h"
#include "machine/emulator.h"
#include "machine/foreign_calls.h"
#include "machine/frames.h"
#include "machine/goal_build.h"
#include "machine/insn_unify.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "machine/structs_access.h"
#include "store/clause_list.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/dynamic_call.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "store/try_record.h"
