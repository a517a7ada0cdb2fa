/* The support table "support.h": the engine's services offered to the
 * solver plug-in and the front ends, reached through the dispatch record's
 * second table (see lorvika.h for the layout). The slot order is part of the
 * binary interface and never changes. Each slot <name> has the function type
 * <name>_fn, and LV_SUPPORT_API(table, <name>) is its function pointer with
 * that type.
 *
 * The slots serve code that runs inside a running engine (a plug-in's
 * functions, called by the engine), except lv_init_ds, errprintf,
 * LV_set_errprintf_hook and lv_action, which the embedding program calls:
 * errprintf and LV_set_errprintf_hook work before start-up as well, and
 * lv_init_ds and lv_action refuse to run without a started runtime
 * (interface error 1, result -1 and 0). */
#ifndef LORVIKA_SUPPORT_H
#define LORVIKA_SUPPORT_H

#include <stdarg.h>

#include "lorvika.h"

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

typedef struct lv_keytab lv_keytab;           /* a keyed hash table */
typedef struct lv_hash_entry lv_hash_entry;   /* {key, value} */
typedef struct lv_stored_block lv_stored_block;

/* The front end's start-up parameters (lv_init_ds, slot 7): 80 bytes. */
typedef struct lv_frontend_params {
  uint64_t size; /* 80 */
  int32_t no_init_file;
  int32_t padding;
  uint64_t file_count;
  char** files;       /* the files to load, in command-line order */
  char* restore_file; /* saved state to restore, or null */
  char* goal;         /* goal text, or null */
  int32_t reserved1;
  int32_t nologo;
  int32_t noinfo;
  int32_t reserved2;
  char* ide_attach;   /* IDE attachment value (term text), or null */
  char* patch_file;   /* patch file, or null */
} lv_frontend_params;

/* The solver's engine hooks (slot 18). */
typedef int64_t (*lv_fd_event_hook)(void* data, lv_worker* w, int64_t event, int64_t argument);
typedef void (*lv_fd_free_hook)(void* data, uint64_t* word);

/* A hook that takes the diagnostics errprintf writes (slot 34). */
typedef int (*lv_errprintf_hook)(void* data, uint32_t flags, const char* format, va_list args);

/* X(slot, name, result type, parameter list) for every slot in order. */
#define LV_SUPPORT_SLOTS(X) \
  X(0, find_module, lv_module*, (lv_term name, int create)) \
  X(1, find_definition, lv_pred*, (lv_module* module, lv_term goal, lv_term** argument, int mode)) \
  X(2, call_overflow, void, (lv_worker* w, int64_t heap_cells, int64_t live_registers)) \
  X(3, find_def_in_module, lv_pred*, (lv_term goal, lv_term module_term)) \
  X(4, numstack_overflow, lv_term*, (lv_worker* w)) \
  X(5, lv_make_integer, lv_term, (lv_worker* w, int64_t value)) \
  X(6, cunify, int, (lv_worker* w, lv_term x, lv_term y)) \
  X(7, lv_init_ds, int64_t, (const lv_frontend_params* block)) \
  X(8, incore_gethash, lv_hash_entry*, (lv_keytab* table, uint64_t key)) \
  X(9, lv_choice_overflow, int64_t, (lv_worker* w, int64_t entries)) \
  X(10, get_current_worker, lv_worker*, (void)) \
  X(11, lv_checkalloc, void*, (size_t size, int flag)) \
  X(12, lv_checkdealloc, void, (void* pointer, size_t size, int flag)) \
  X(13, lv_checkrealloc, void*, (void* pointer, size_t old_size, size_t new_size, int flag)) \
  X(14, dyn_puthash, lv_hash_entry*, (lv_keytab** table, uint64_t key)) \
  X(15, new_switch_on_key, lv_keytab*, (uint64_t capacity, uint64_t default_value)) \
  X(16, dispose_switch_on_key, void, (lv_keytab* table)) \
  X(17, parse_definition, lv_pred*, (lv_term spec, lv_module* module)) \
  X(18, LV_install_fd_hooks, int, (void* data, lv_fd_event_hook event_hook, lv_fd_free_hook free_hook, int install)) \
  X(19, GetSmall_int_range_checked, int32_t, (lv_term t)) \
  X(20, intoRelocationChain, void, (lv_worker* w, lv_term* target, lv_term* cell)) \
  X(21, update_exports, void, (lv_pred* pred, uint32_t type)) \
  X(22, large_insn_offset, int, (uint32_t* position, uint32_t* instruction)) \
  X(23, lv_exitmsg, void, (int status)) \
  X(24, GetSmall_uint_checked, uint32_t, (lv_term t)) \
  X(25, errprintf, int, (uint32_t flags, const char* format, ...)) \
  X(26, delete_attributes, void, (lv_worker* w, lv_term var, const lv_module* module)) \
  X(27, get_attributes, lv_term, (lv_worker* w, lv_term var, const lv_module* module)) \
  X(28, put_attributes, void, (lv_worker* w, lv_term var, const lv_module* module, lv_term value)) \
  X(29, GetSmall_checked, int64_t, (lv_term t)) \
  X(30, markTerm, void, (lv_term term)) \
  X(31, GetSmall_int_checked, int32_t, (lv_term t)) \
  X(32, lv_widechar_to_ienc, char*, (const char16_t* text)) \
  X(33, lv_ienc_to_widechar, char16_t*, (const char* text)) \
  X(34, LV_set_errprintf_hook, lv_errprintf_hook, (lv_errprintf_hook hook, void* data)) \
  X(35, numstack_trim, void, (lv_worker* w, lv_term* mark)) \
  X(36, pure_attributes, int, (lv_worker* w, lv_term var, const lv_module* module)) \
  X(37, MakeSmall_checked, lv_term, (int64_t value)) \
  X(38, lv_get_globref_checked, lv_termref_slot*, (int64_t index, lv_worker* w)) \
  X(39, lv_action, int, (int action)) \
  X(40, single_attribute, int, (lv_worker* w, lv_term var, const lv_module* module)) \
  X(41, LargeArity_checked, int64_t, (lv_term header)) \
  X(42, TermToPointer_checked, void*, (lv_term t)) \
  X(43, lv_decode_dbref, lv_stored_block*, (lv_term reference))

#define LV_SUPPORT_SLOT_COUNT 44

enum lv_support_slot {
#define LV_SUPPORT_ENUM_(k, name, result, parameters) LV_SUPPORT_##name = k,
  LV_SUPPORT_SLOTS(LV_SUPPORT_ENUM_)
#undef LV_SUPPORT_ENUM_
};

/* The function type of each slot: <name>_fn. */
#define LV_SUPPORT_TYPE_(k, name, result, parameters) typedef result name##_fn parameters;
LV_SUPPORT_SLOTS(LV_SUPPORT_TYPE_)
#undef LV_SUPPORT_TYPE_

/* The function of a support slot, with its type. */
#define LV_SUPPORT_API(table, name) ((name##_fn*)lv_api_slot_function((table), LV_SUPPORT_##name))

#ifdef __cplusplus
}
#endif

#endif
