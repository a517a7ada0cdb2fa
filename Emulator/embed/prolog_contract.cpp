// The predicates the engine calls by role.
#include "embed/prolog_contract.h"

#include "core/atoms.h"
#include "core/startup_records.h"
#include "machine/instructions.h"
#include "store/static_code.h"

lv_roles lv_role;
lv_pred* lv_kind_pred[LV_CALL_KIND_COUNT];

namespace {

lv_pred* role(const char* name, unsigned arity, int mode) {
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  return lv_lookup_predicate(lv_prolog_module(), atom, arity, mode);
}

}  // namespace

void lv_lookup_role_predicates() {
#define LV_ROLE(field, name, arity) lv_role.field = role(name, arity, LV_LOOKUP_FIND);
#define LV_KIND_PRED(kind, name, arity)
#include "embed/prolog_contract.def"
#undef LV_ROLE
#undef LV_KIND_PRED
  lv_startup.error_handler = lv_role.error_handler != nullptr ? &lv_new_pred_call_stub(lv_role.error_handler)->record : nullptr;
  lv_startup.error_term_handler =
      lv_role.error_term_handler != nullptr ? &lv_new_pred_call_stub(lv_role.error_term_handler)->record : nullptr;
}

void lv_define_kind_predicates() {
#define LV_ROLE(field, name, arity)
#define LV_KIND_PRED(kind, name, arity)                              \
  {                                                                  \
    lv_pred* p = role(name, arity, LV_LOOKUP_CREATE);                \
    p->definition = nullptr;                                         \
    lv_set_definition_type(p, LV_KIND_##kind);                       \
    lv_kind_pred[LV_KIND_##kind] = p;                                \
    if (p->next_in_module == nullptr) {                              \
      p->next_in_module = lv_prolog_module()->pred_chain;            \
      lv_prolog_module()->pred_chain = p;                            \
    }                                                                \
  }
#include "embed/prolog_contract.def"
#undef LV_ROLE
#undef LV_KIND_PRED
}
