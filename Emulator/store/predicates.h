// Modules and predicate records: the records through which every call
// reaches code, their lookup, the choice of the call kind the emulator
// dispatches on, and the propagation of definitions to importing modules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hashtab.h"
#include "core/term.h"

struct lv_pred;

struct lv_module {
  lv_term name;                   // atom word
  uint32_t flags;                 // bit 0: system module
  uint32_t attribute_index;       // 1-255 for an attribute module, else 0
  lv_pred* pred_chain;            // chained records; ends with LV_CHAIN_END
  lv_keytab* pred_table;          // functor word -> lv_pred
  lv_keytab* prolog_copy_table;   // prolog only: copy's key -> original record
  lv_keytab* aux_table;
  int32_t hidden;                 // set: saved states skip the module
  int32_t reserved2;
  lv_keytab* bb_table;            // blackboard: key term -> stored block
  lv_term module_info;            // atomic, or [] (set by $module)
};

// The end of a module's predicate chain (not null: null means "not chained").
inline lv_pred* const LV_CHAIN_END = reinterpret_cast<lv_pred*>(~uintptr_t{0});

constexpr uint32_t LV_MODULE_SYSTEM = 1;

struct lv_block_decl {
  lv_block_decl* next;
  char text[];  // NUL-terminated; the node is 16 + text length bytes
};

struct lv_pred {
  uint32_t kind;           // call kind: the emulator dispatches on this word
  int32_t arity;
  uint32_t frame_size;     // 16 + 8 * arity
  uint32_t continue_insn;  // KONTINUE: the first 16 bytes are a continuation stub
  void* definition;        // by definition type (see lv_definition_type)
  uint8_t native_stub[16]; // native entry stub, renewed on every change of kind
  lv_term name;            // atom word
  uint64_t jit_counter;
  uint32_t flags;          // LV_PRED_* bits; bits 12-27 the definition type
  uint32_t flags_high;     // zero at creation; copied with flags as one unit
  lv_module* home_module;   // module of the definition
  lv_module* import_module; // module whose record holds the definition
  lv_module* owner_module;  // module whose pred_table holds this record
  lv_pred* importers;       // first importing record; importers chained through this field
  lv_pred* next_in_module;  // link in the module's pred_chain, null when not chained
  lv_block_decl* block_decls;
  lv_term* meta_spec;       // arity + 1 words, or null
  void* counters;           // execution counters, or null
  void* jit_block;          // native code block, or null
  lv_term source_file;      // atomic, or []
};
static_assert(sizeof(lv_pred) == 144);
static_assert(offsetof(lv_pred, definition) == 16 && offsetof(lv_pred, native_stub) == 24);
static_assert(offsetof(lv_pred, name) == 40 && offsetof(lv_pred, flags) == 56);
static_assert(offsetof(lv_pred, home_module) == 64 && offsetof(lv_pred, source_file) == 136);

// Flag bits of lv_pred.
enum : uint32_t {
  LV_PRED_SPY = 0x1,
  LV_PRED_DYNAMIC = 0x2,
  LV_PRED_BLOCK = 0x4,
  LV_PRED_META = 0x8,
  LV_PRED_MULTIFILE = 0x10,
  LV_PRED_VOLATILE = 0x20,
  LV_PRED_CLAUSE_FLAG = 0x40,
  LV_PRED_REFERENCED = 0x100,
  LV_PRED_RESTORE_MARK = 0x200,
  LV_PRED_JIT_CANDIDATE = 0x400,
  LV_PRED_JITTED = 0x800,
};

// Definition types (flag bits 12-27).
enum : uint32_t {
  LV_DEF_COMPACTCODE = 0,
  LV_DEF_COMPACTCODE_INDEXED = 1,
  LV_DEF_UNDEFINED = 2,
  LV_DEF_DYNAMIC = 4,
  LV_DEF_FD_CONSTRAINT = 5,
  LV_DEF_C = 21,
};

inline uint32_t lv_definition_type(const lv_pred* p) { return (p->flags >> 12) & 0xFFFF; }
inline lv_term lv_pred_key(lv_term name, unsigned arity) { return name | (static_cast<lv_term>(arity) << 55); }
inline lv_term lv_pred_functor(const lv_pred* p) { return lv_pred_key(p->name, static_cast<unsigned>(p->arity)); }

// The module table and the two distinguished modules.
void lv_modules_init();
lv_module* lv_prolog_module();
lv_module* lv_typein_module();
void lv_set_typein_module(lv_module* m);
// The table from module names to modules (it moves when it grows).
lv_keytab* lv_module_table();
// Calls visit for every module.
void lv_for_each_module(void (*visit)(lv_module* m, void* arg), void* arg);

// The module of a name (an atom; a compound counts by its functor word);
// created when absent and create is set.
lv_module* find_module(lv_term name, int create);

// Lookup modes.
enum : int {
  LV_LOOKUP_FIND = 0,    // no creation
  LV_LOOKUP_CREATE = 1,  // create an undefined record in the module
  LV_LOOKUP_DEFINE = 2,  // as FIND, and a visible record of prolog is copied into the module
};

lv_pred* lv_lookup_predicate(lv_module* module, lv_term name, unsigned arity, int mode);
// The module's own record of Name/Arity (the one its table holds), created
// undefined when absent, even where prolog has a visible record of the name.
lv_pred* lv_module_own_predicate(lv_module* module, lv_term name, unsigned arity);
// The record of a goal term; *argument receives its first argument cell.
lv_pred* find_definition(lv_module* module, lv_term goal, lv_term** argument, int mode);
// The record of a goal in the module named by module_term (no creation);
// the argument address goes to the engine context; null when undefined.
lv_pred* find_def_in_module(lv_term goal, lv_term module_term);
// Module:Name/Arity (any depth of ':') to a record, created when absent.
lv_pred* parse_definition(lv_term spec, lv_module* module);

// call/N, created in prolog on first use.
void lv_define_call_n(lv_pred* pred);
// Replaces every chained record of prolog by a fresh copy (start-up).
void lv_copy_module_predicates();

// Entry selection and definition changes.
void lv_select_entry(lv_pred* pred, bool debugging);
bool lv_debugging_condition(const lv_pred* pred);
void lv_set_definition_type(lv_pred* pred, uint32_t type);
void update_exports(lv_pred* pred, uint32_t type);
void lv_pred_chain_dependent(lv_pred* source, lv_module* module, lv_pred* importer);

// Frees an undefined record that nothing refers to (atom collection).
void lv_free_pred(lv_pred* pred);

// The global JIT switch: candidates select JITTABLE while it is on.
extern bool lv_jit_switch;
