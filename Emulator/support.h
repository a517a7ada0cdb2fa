/* The support table "support.h": the engine's services offered to the
 * solver plug-in and the front ends, reached through the dispatch record's
 * second table (see lorvika.h for the layout). The slot order is part of the
 * binary interface and never changes. */
#ifndef LORVIKA_SUPPORT_H
#define LORVIKA_SUPPORT_H

#include "lorvika.h"

/* X(slot, name) for every slot in order. */
#define LV_SUPPORT_SLOTS(X) \
  X(0, find_module) \
  X(1, find_definition) \
  X(2, call_overflow) \
  X(3, find_def_in_module) \
  X(4, numstack_overflow) \
  X(5, lv_make_integer) \
  X(6, cunify) \
  X(7, lv_init_ds) \
  X(8, incore_gethash) \
  X(9, lv_choice_overflow) \
  X(10, get_current_worker) \
  X(11, lv_checkalloc) \
  X(12, lv_checkdealloc) \
  X(13, lv_checkrealloc) \
  X(14, dyn_puthash) \
  X(15, new_switch_on_key) \
  X(16, dispose_switch_on_key) \
  X(17, parse_definition) \
  X(18, LV_install_fd_hooks) \
  X(19, GetSmall_int_range_checked) \
  X(20, intoRelocationChain) \
  X(21, update_exports) \
  X(22, large_insn_offset) \
  X(23, lv_exitmsg) \
  X(24, GetSmall_uint_checked) \
  X(25, errprintf) \
  X(26, delete_attributes) \
  X(27, get_attributes) \
  X(28, put_attributes) \
  X(29, GetSmall_checked) \
  X(30, markTerm) \
  X(31, GetSmall_int_checked) \
  X(32, lv_widechar_to_ienc) \
  X(33, lv_ienc_to_widechar) \
  X(34, LV_set_errprintf_hook) \
  X(35, numstack_trim) \
  X(36, pure_attributes) \
  X(37, MakeSmall_checked) \
  X(38, lv_get_globref_checked) \
  X(39, lv_action) \
  X(40, single_attribute) \
  X(41, LargeArity_checked) \
  X(42, TermToPointer_checked) \
  X(43, lv_decode_dbref)

#define LV_SUPPORT_SLOT_COUNT 44

enum lv_support_slot {
#define LV_SUPPORT_ENUM_(k, name) LV_SUPPORT_##name = k,
  LV_SUPPORT_SLOTS(LV_SUPPORT_ENUM_)
#undef LV_SUPPORT_ENUM_
};

#endif
