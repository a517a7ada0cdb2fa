// Block conditions and meta-argument arrays of predicates.
//
// A block condition lists the argument positions (1-based, ascending, one
// byte each, NUL-terminated) that must all be unbound for a call to
// suspend. A predicate keeps its conditions in a chain; a condition whose
// positions include another's is redundant beside it, so the chain keeps
// only the conditions that are minimal.
#include "store/declaration_builtins.h"

#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t MISC_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr lv_term ATOM_QUESTION = lv_predefined_atom(5), ATOM_PLUS = lv_predefined_atom(6),
                  ATOM_MINUS = lv_predefined_atom(7);

// The predicate of a Head or Module:Head spec, created when absent; *head
// receives the head.
lv_pred* declared_pred(lv_term spec, lv_term* head) {
  spec = lv_deref(spec);
  lv_module* module = lv_typein_module();
  if (lv_is_struct(spec) && lv_struct_cells(spec)[0] == LV_FUNCTOR_COLON_2) {
    lv_term name = lv_deref(lv_struct_cells(spec)[1]);
    if (!lv_is_atom(name)) return nullptr;
    module = find_module(name, 1);
    spec = lv_deref(lv_struct_cells(spec)[2]);
  }
  if (module == nullptr) return nullptr;
  *head = spec;
  return find_definition(module, spec, nullptr, LV_LOOKUP_CREATE);
}

// The predicate of Head in the module named Module, not created.
lv_pred* existing_pred(lv_term head, lv_term module_name) {
  module_name = lv_deref(module_name);
  if (!lv_is_atom(module_name)) return nullptr;
  lv_module* module = find_module(module_name, 0);
  return module != nullptr ? find_definition(module, head, nullptr, LV_LOOKUP_FIND) : nullptr;
}

// The argument cells of a head, or null for an atom.
const lv_term* head_args(lv_term head) {
  head = lv_deref(head);
  if (lv_is_list(head)) return lv_list_cells(head);
  if (lv_is_struct(head)) return lv_struct_cells(head) + 1;
  return nullptr;
}

size_t decl_bytes(size_t positions) { return 16 + positions; }

void free_decl(lv_block_decl* d) { lv_mem_free(d, decl_bytes(std::strlen(d->text)), MISC_FLAGS); }

// Whether every position of a is also one of b (both ascending).
bool subset(const char* a, const char* b) {
  for (; *a != 0; a++) {
    while (*b != 0 && static_cast<unsigned char>(*b) < static_cast<unsigned char>(*a)) b++;
    if (*b != *a) return false;
  }
  return true;
}

// Builds Name(S1..Sn) (or Name for arity 0) with spec(i) as argument i.
template <typename Spec>
lv_term spec_term(lv_worker* w, const lv_pred* p, Spec spec) {
  if (p->arity == 0) return p->name;
  lv_term* h = w->H;
  h[0] = lv_make_functor(p->name, static_cast<unsigned>(p->arity));
  for (int i = 0; i < p->arity; i++) h[1 + i] = spec(i);
  w->H = h + 1 + p->arity;
  return lv_make_struct(h);
}

}  // namespace

int prolog_block(lv_worker* w) {
  lv_term head;
  lv_pred* p = declared_pred(w->X[0], &head);
  if (p == nullptr) return 0;
  char positions[256];
  size_t n = 0;
  if (const lv_term* args = head_args(head))
    for (int i = 0; i < p->arity; i++)
      if (lv_deref(args[i]) == ATOM_MINUS) positions[n++] = static_cast<char>(i + 1);
  positions[n] = 0;

  for (lv_block_decl** link = &p->block_decls; *link != nullptr;) {
    lv_block_decl* e = *link;
    if (subset(positions, e->text)) {
      *link = e->next;
      free_decl(e);
      continue;
    }
    if (subset(e->text, positions)) return 1;
    link = &e->next;
  }
  auto* d = static_cast<lv_block_decl*>(lv_mem_alloc(decl_bytes(n), MISC_FLAGS));
  d->next = p->block_decls;
  std::memcpy(d->text, positions, n + 1);
  p->block_decls = d;
  p->flags |= LV_PRED_BLOCK;
  update_exports(p, lv_definition_type(p));
  return 1;
}

int prolog_block_declaration(lv_worker* w) {
  lv_pred* p = existing_pred(w->X[0], w->X[1]);
  if (p == nullptr || p->block_decls == nullptr) return 0;
  int64_t conditions = 0;
  for (const lv_block_decl* d = p->block_decls; d != nullptr; d = d->next) conditions++;
  lv_heap_room(w, conditions * (p->arity + 3), 3);
  lv_term specs = LV_ATOM_NIL;
  lv_term* tail = &specs;
  for (const lv_block_decl* d = p->block_decls; d != nullptr; d = d->next) {
    lv_term spec = spec_term(w, p, [d](int i) {
      return std::strchr(d->text, i + 1) != nullptr ? ATOM_MINUS : ATOM_QUESTION;
    });
    lv_term* cell = w->H;
    cell[0] = spec;
    cell[1] = LV_ATOM_NIL;
    w->H = cell + 2;
    *tail = lv_make_list(cell);
    tail = &cell[1];
  }
  return cunify(w, w->X[2], specs);
}

int prolog_meta_predicate(lv_worker* w) {
  lv_term head;
  lv_pred* p = declared_pred(w->X[0], &head);
  if (p == nullptr) return 0;
  size_t words = static_cast<size_t>(p->arity) + 1;
  auto* spec = static_cast<lv_term*>(lv_mem_alloc(sizeof(lv_term) * words, MISC_FLAGS));
  const lv_term* args = head_args(head);
  for (int i = 0; i < p->arity; i++) {
    lv_term a = lv_deref(args[i]);
    bool kept = lv_is_small(a) || a == ATOM_PLUS || a == ATOM_MINUS || a == LV_ATOM_COLON;
    spec[i] = kept ? a : ATOM_QUESTION;
  }
  spec[p->arity] = LV_ATOM_NIL;
  if (p->meta_spec != nullptr) lv_mem_free(p->meta_spec, sizeof(lv_term) * words, MISC_FLAGS);
  p->meta_spec = spec;
  p->flags |= LV_PRED_META;
  update_exports(p, lv_definition_type(p));
  return 1;
}

int prolog_meta_declaration(lv_worker* w) {
  lv_pred* p = existing_pred(w->X[0], w->X[1]);
  if (p == nullptr || p->meta_spec == nullptr) return 0;
  lv_heap_room(w, p->arity + 1, 3);
  const lv_term* spec = p->meta_spec;
  return cunify(w, w->X[2], spec_term(w, p, [spec](int i) { return spec[i]; }));
}
