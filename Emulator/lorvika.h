/* The runtime library's C interface as the embedding program and the plug-ins
 * see it: the dispatch record that LV_get_dispatch_40900 returns, the layout
 * of the C-interface table, the order of its slots and the C type of each,
 * and the records the slots take and give.
 *
 * The slot order is part of the binary interface and never changes; a
 * retired slot keeps its place with a null function. Slot k's function
 * pointer lies at byte 32 + 16k from the start of the table. Each live slot
 * <name> has the function type <name>_fn, and LV_API(table, <name>) is its
 * function pointer with that type, so that a call with the wrong arguments
 * is a compile error:
 *
 *   const lv_dispatch* d = LV_get_dispatch_40900(0);
 *   lv_term_ref t = LV_API(d->c_interface, LV_new_term_ref)();
 *   LV_API(d->c_interface, LV_put_integer)(t, 42);
 *
 * Threads and signals. The engine runs on one thread, the one that started
 * the runtime: every slot is called on that thread, except these, which any
 * thread may call: LV_ctrlc_action, LV_ctrlbreak_action, LV_event,
 * LV_schedule_async_event, lv_raise_signal, LV_signal, LV_sigaction,
 * LV_mutex_lock, LV_mutex_unlock, LV_mutex_destroy, LV_load_lorvika_run_time
 * and LV_set_multi_lv_state. No slot may be called inside a C signal
 * handler: each may take a lock or allocate. A handler installed with
 * LV_signal or LV_sigaction is no C signal handler: the runtime's own
 * handler only counts the signal, and the slot's handler runs later on the
 * engine thread, where it may call every slot. The one exception is
 * LV_raise_fault, which the C handler of a fault signal raised by the engine
 * thread itself (SIGSEGV, SIGILL, SIGFPE) may call: it does not return but
 * jumps to the abort record.
 *
 * A runtime that is not started (before lv_glue_initialize, or after
 * LV_deinitialize) refuses every slot that needs one: it sets the interface
 * error number to 1 ("Prolog Runtime Kernel not initialized") and answers
 * its failure result (0, a null pointer, -1 for the query slots that answer
 * -1 on failure, LVIO_E_INVALID_STATE (-10023) for the slots that answer
 * I/O-layer codes) without looking at its arguments. The slots that work
 * without a runtime are: lv_glue_initialize, LV_deinitialize,
 * LV_force_interactive, LV_event, LV_error_message, LV_get_errno,
 * LV_set_user_stream_hook, LV_set_user_stream_post_hook, lv_ttyprintf
 * (standard error then), LV_signal, lv_raise_signal,
 * LV_schedule_async_event, LV_raise_fault, lv_set_abort_env,
 * lv_get_abort_err_ienc, lv_get_boot_path, LV_get_emulator_version,
 * LV_get_emulator_dir, LV_set_initial_options, the window-title hooks
 * (123, 124), lv_get_engine_global, LV_sigaction, LV_install_lvti_hook,
 * lv_get_failed_bootpath, lv_prolog_initialized, lv_is_development_system,
 * LV_to_os, LV_wci_code, LV_wci_len, LV_code_wci, the mutex and instance
 * slots (146-150), LV_ctrlc_action, LV_ctrlbreak_action, the corvid slots
 * (165-168), LV_setenv, LV_getenv, the lvio diagnostics (174-177),
 * lv_memory_fault, the system-property slots (192-194) and lv_longjmp_;
 * those that need the I/O layer or the event queue answer their own
 * failure result when it is not there. */
#ifndef LORVIKA_H
#define LORVIKA_H

#include <setjmp.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A term word, and a term reference: the index of a slot of the engine's
 * term-reference array. */
typedef uint64_t lv_term;
typedef int32_t lv_term_ref;

/* The interface version both tables carry in their header. */
#define LV_API_VERSION 0x301c5

typedef struct lv_api_entry {
  const char* name;
  void* function;
} lv_api_entry;

typedef struct lv_api_table {
  uint64_t size;           /* of the whole table in bytes, end entry included */
  const char* header_name; /* "lorvika.h" or "support.h" */
  uint64_t version;        /* LV_API_VERSION */
  /* the entries follow, then an entry {0, 0} */
} lv_api_table;

/* What LV_get_dispatch_40900 returns. A foreign resource receives a copy
 * whose last two words are filled in. */
typedef struct lv_dispatch {
  const lv_api_table* c_interface;
  const lv_api_table* support;
  uint64_t reserved[2];
} lv_dispatch;

/* Slot k of a table, as the entry holds it. */
static inline void* lv_api_slot(const lv_api_table* table, int k) {
  return ((const lv_api_entry*)(table + 1))[k].function;
}

/* Slot k's function as a generic function pointer, which LV_API casts to
 * the slot's type (copied, since C has no cast from a data pointer to a
 * function pointer). */
typedef void (*lv_api_function)(void);
static inline lv_api_function lv_api_slot_function(const lv_api_table* table, int k) {
  lv_api_function f;
  memcpy(&f, &((const lv_api_entry*)(table + 1))[k].function, sizeof f);
  return f;
}

/* Records of the runtime that the interface hands out and takes back by
 * address only. */
typedef struct lv_worker lv_worker;           /* the engine context */
typedef struct lv_pred lv_pred;               /* a predicate: LV_predicate's handle */
typedef struct lv_module lv_module;
typedef struct lv_stream lv_stream;           /* a Prolog stream */
typedef struct lv_termref_slot lv_termref_slot; /* a global term reference (LV_alloc_globrefs) */
typedef struct lv_external_object lv_external_object;
typedef struct lv_external_object_type lv_external_object_type;
typedef struct lv_multi_state lv_multi_state; /* shared by the runtime copies of a process */
typedef struct lv_engine_global lv_engine_global;
typedef struct lvio_coder_class lvio_coder_class; /* an encoding */
typedef struct lvio_t_coder lvio_t_coder;     /* a conversion in progress */

/* An open query: LV_open_query's id. */
typedef uint64_t lv_query_id;

/* The abort record (lv_set_abort_env, slot 117): a fatal fault jumps to its
 * buffer with status 3 (setjmp answers 3). */
#define LV_ABORT_RECORD_TYPE 0x110
typedef struct lv_jump_record {
  uint64_t type; /* LV_ABORT_RECORD_TYPE */
  struct lv_jump_record* self;
  jmp_buf buffer;
} lv_jump_record;

/* Asynchronous events (slots 19, 105, 127, 191): work queued for the engine
 * thread. A simple event's function answers 0 for failure, -1 for an
 * exception, anything else for success. A full event's function gets its
 * record and a reason: 0 run, 0x80 the queue closes, 2 or 4 dropped after
 * an event that failed or raised; it answers 30001 to report failure,
 * 30002 an exception, anything else to go on. */
typedef struct lv_async_event {
  struct lv_async_event* next;
  void* function;
  uint64_t kind; /* bit 0: a simple event */
  void* user;
} lv_async_event;
typedef int (*lv_simple_event_fn)(void* user);
typedef int (*lv_full_event_fn)(lv_async_event* event, int reason);

/* Signal slots (92, 126): a handler runs on the engine thread. */
typedef void (*lv_signal_handler)(int signal, void* user);
#define LV_SIG_DFL ((lv_signal_handler)0)
#define LV_SIG_IGN ((lv_signal_handler)1)
#define LV_SIG_ERR ((lv_signal_handler)-1)

/* A predicate defined in C (slot 94): called with the term reference of
 * its goal; answers 1 to succeed. */
typedef int (*lv_c_predicate_fn)(lv_term_ref goal, void* stash);

/* Standard streams made by the embedding program (slots 73, 74); kind 0
 * input, 1 output, 2 error. */
typedef lv_stream* (*lv_user_stream_hook)(void* data, int kind);
typedef void (*lv_user_stream_post_hook)(void* data, int kind, lv_stream* stream);

/* A stream over the caller's callbacks (slot 77). Each answers an I/O-layer
 * code (0 or positive on success, negative on failure). read fills
 * destination with up to *size bytes and sets *size to the bytes read;
 * write takes up to *size bytes and sets *size to the bytes taken; close
 * receives the address of the stream's user-data field. */
typedef int64_t (*lv_device_read_fn)(void* user_data, void* destination, uint64_t* size, uint32_t options);
typedef int64_t (*lv_device_write_fn)(void* user_data, const void* source, uint64_t* size, uint32_t options);
typedef int64_t (*lv_device_flush_fn)(void* user_data, uint32_t options);
typedef int64_t (*lv_device_spare1_fn)(void* user_data);
typedef int64_t (*lv_device_close_fn)(void** user_data_field, uint32_t sides, int abortive);
typedef void (*lv_device_spare2_fn)(void* user_data);
typedef int64_t (*lv_device_control_fn)(void* user_data, uint32_t request, void* argument, uint32_t options);

/* LV_select's time-out (slot 138). */
typedef struct lv_time_value {
  int64_t seconds;
  int64_t nanoseconds;
} lv_time_value;

/* The window title (slots 123, 124). */
typedef void (*lv_set_title_hook_fn)(void* data, const char* text);
typedef const char* (*lv_get_title_hook)(void* data);

/* External objects (slots 151-162). */
typedef void (*lv_external_finalizer)(void* object, void* type_data);
typedef int (*lv_external_putter)(lv_term_ref t, lv_external_object* handle);

/* A further runtime copy's entry (slot 149). */
typedef const struct lv_dispatch* (*lv_dispatch_entry)(void* unused);

/* The initial options: -D name=value settings that come before the
 * process environment (slots 0, 122). */
#define LV_INIT_OPTIONS_FORMAT 0x40100
#define LV_INIT_OPTION_IGNORED 1
#define LV_INIT_OPTION_SETTING 2

typedef struct lv_init_option {
  int32_t kind;      /* LV_INIT_OPTION_IGNORED or LV_INIT_OPTION_SETTING */
  const char* name;  /* both texts non-null for a setting */
  const char* value;
} lv_init_option;

typedef struct lv_init_options {
  uint64_t format; /* LV_INIT_OPTIONS_FORMAT */
  uint64_t count;
  const lv_init_option* items; /* non-null when count is nonzero */
} lv_init_options;

/* Foreign resources. A resource is a shared library exporting
 * "lv_main_LVENV_<name>" (or the same with a leading underscore), <name>
 * its file's base name with every byte but ASCII letters and digits written
 * as "_0x" and two upper-case hexadecimal digits. The entry is called with
 * the parameter block (flags LV_FOREIGN_LOADING, later LV_FOREIGN_UNLOADING)
 * and answers 0 after filling in its tables and setting
 * LV_FOREIGN_UNDERSTOOD and one of LV_FOREIGN_WITH_ENV / LV_FOREIGN_NO_ENV.
 * Every function of the resource receives its env (the dispatch record's
 * two tables, a word of the resource's own, the engine context). */
#define LV_FOREIGN_PARAMS_VERSION 0x30001
#define LV_FOREIGN_LOADING 5
#define LV_FOREIGN_UNLOADING 6
#define LV_FOREIGN_NO_ENV 0x08
#define LV_FOREIGN_WITH_ENV 0x10
#define LV_FOREIGN_UNDERSTOOD 0x20

typedef struct lv_foreign_env {
  const lv_api_table* c_interface;
  const lv_api_table* support;
  uint64_t state; /* 0 when filled in; the resource's own */
  void* engine;
} lv_foreign_env;

typedef struct lv_foreign_params {
  uint64_t version; /* LV_FOREIGN_PARAMS_VERSION */
  lv_foreign_env* env;
  uint32_t flags;
  uint32_t padding;
  void* const* functions;    /* null-terminated */
  const char* const* names;  /* the functions' symbol names, same order */
  const int32_t* arities;    /* same order */
  void* init;   /* init(env, when) or init(when); may be null */
  void* deinit; /* the same shape; may be null */
} lv_foreign_params;

/* The call record a function of a foreign resource receives when its
 * foreign predicate is called: f(record). The code of the foreign
 * predicate fills it: the resource's env, the term references the call made,
 * and each argument in the order of the predicate's declaration:
 *   an integer as a 64-bit integer, an atom as its atom word, a text as the
 *   address of a NUL-terminated UTF-8 text that lives until the call ends,
 *   a term as a term reference's index: one word of args each;
 *   a float as one double of doubles;
 *   an output argument as the address of its output slot, one word of
 *   args: the function writes an integer (int64_t), a float (double), an
 *   atom word, a text's address or a term reference's index there.
 * The function's own result goes to result, or float_result for a float.
 * It reports failure, or an error it raised, through LV_fail or
 * LV_raise_exception. The words after outputs belong to the runtime. */
#define LV_CALL_RECORD_SLOTS 256
typedef struct lv_call_record {
  void* env;              /* the resource's lv_foreign_env, or null */
  uint32_t arg_count;     /* argument words pushed */
  uint32_t double_count;  /* doubles pushed */
  int32_t termref_first;  /* the term references made for the call */
  int32_t termref_count;
  int64_t result;         /* the function's result: integer, atom word, text address or term reference */
  double float_result;    /* the result of a function returning a float */
  uint64_t args[LV_CALL_RECORD_SLOTS];    /* the argument words in order */
  double doubles[LV_CALL_RECORD_SLOTS];   /* the float arguments in order */
  uint64_t outputs[LV_CALL_RECORD_SLOTS]; /* the output slots */
  /* the runtime's own words */
  uint32_t output_count;
  uint32_t output_cursor;
  int32_t termref_next;
  uint32_t saved_registers;
  const lv_pred* pred;
  void* texts;
} lv_call_record;
typedef void (*lv_foreign_function)(lv_call_record* record);

/* The tool-interface plug-in ("lvti_<name>.so", exporting _LVTI_OnLoad or
 * LVTI_OnLoad, and optionally _LVTI_OnUnLoad or LVTI_OnUnLoad, each called
 * as f(record, 0)) and the hook of slot 130 (hook(record, user data)) read
 * this record. Events: 1 native code installed, 2 native code dropped
 * (arguments: predicate name, arity, module name, code address, code
 * size), 3 plug-in loaded, 4 shutdown (no arguments), 5 and 6 a
 * compilation begins and ends (predicate name, arity, module name). */
typedef struct lvti_record {
  uint64_t size; /* 48 */
  uint32_t active;
  uint32_t padding;
  lv_foreign_env* env;
  uint64_t event;
  uint64_t argument_count;
  const uint64_t* arguments;
} lvti_record;
typedef void (*lvti_hook)(lvti_record* record, void* data);

/* The C-interface table "lorvika.h", every slot in order: X(slot, name,
 * result type, parameter list) for a live slot, R(slot, name) for a retired
 * one. What a slot does is said with its group below the list. */
#define LV_C_INTERFACE_SLOTS(X, R) \
  X(0, lv_glue_initialize, int, \
    (int argc, const char* const* argv, const lv_init_options* options, const char* const* prelinked_names, \
     void* const* prelinked_values, int boot_options, int boot_flags)) \
  X(1, LV_deinitialize, void, (void)) \
  X(2, LV_force_interactive, void, (void)) \
  R(3, unavailable_api_4) \
  X(4, LV_load, int, (const char* file)) \
  X(5, LV_predicate, lv_pred*, (const char* name, int64_t arity, const char* module)) \
  X(6, LV_pred, lv_pred*, (lv_term name, int64_t arity, lv_term module)) \
  X(7, LV_new_term_ref, lv_term_ref, (void)) \
  X(8, LV_new_term_refs, lv_term_ref, (int32_t count)) \
  X(9, LV_reset_term_refs, void, (lv_term_ref first)) \
  X(10, LV_alloc_globrefs, lv_termref_slot*, (uint64_t count)) \
  X(11, LV_free_globrefs, void, (lv_termref_slot* first)) \
  X(12, LV_query, int, (lv_pred* pred, ...)) \
  X(13, LV_query_cut_fail, int, (lv_pred* pred, ...)) \
  X(14, LV_open_query, lv_query_id, (lv_pred* pred, ...)) \
  X(15, LV_open_query_array, lv_query_id, (lv_pred* pred, const lv_term_ref* arguments)) \
  X(16, LV_next_solution, int, (lv_query_id query)) \
  X(17, LV_cut_query, int, (lv_query_id query)) \
  X(18, LV_close_query, int, (lv_query_id query)) \
  X(19, LV_event, int, (lv_simple_event_fn function, void* user)) \
  X(20, LV_fopen, int64_t, (const char* path, uintptr_t encoding, uint32_t options, lv_stream** out)) \
  X(21, lv_ref_term, lv_term, (lv_term_ref t)) \
  X(22, LV_create_os_stream, int64_t, (int64_t handle, lv_stream** out, lv_term encoding, uint32_t options)) \
  X(23, LV_get_stream_user_data, int64_t, (lv_stream* stream, const void* class_tag, void** user_data)) \
  X(24, LV_get_stream_counts, int64_t, \
    (lv_stream* stream, int64_t* items, int64_t* lines, int64_t* line_position, uint32_t options)) \
  X(25, LV_put_variable, int, (lv_term_ref t)) \
  X(26, LV_put_term, int, (lv_term_ref t, lv_term_ref source)) \
  X(27, LV_put_integer, int, (lv_term_ref t, int64_t value)) \
  X(28, LV_put_float, int, (lv_term_ref t, double value)) \
  X(29, LV_put_atom, int, (lv_term_ref t, lv_term atom)) \
  X(30, LV_put_string, int, (lv_term_ref t, const char* text)) \
  X(31, LV_put_address, int, (lv_term_ref t, void* pointer)) \
  X(32, LV_put_list_codes, int, (lv_term_ref t, lv_term_ref tail, const char* text)) \
  X(33, LV_put_number_codes, int, (lv_term_ref t, const char* text)) \
  X(34, LV_put_functor, int, (lv_term_ref t, lv_term name, int arity)) \
  X(35, LV_put_list, int, (lv_term_ref t)) \
  X(36, LV_cons_functor, int, (lv_term_ref t, lv_term name, int arity, ...)) \
  X(37, LV_cons_list, int, (lv_term_ref t, lv_term_ref head, lv_term_ref tail)) \
  X(38, LV_read_from_string, int, (lv_term_ref t, const char* text, const lv_term_ref* values)) \
  X(39, LV_get_integer, int, (lv_term_ref t, int64_t* value)) \
  X(40, LV_get_float, int, (lv_term_ref t, double* value)) \
  X(41, LV_get_atom, int, (lv_term_ref t, lv_term* atom)) \
  X(42, LV_get_string, int, (lv_term_ref t, const char** text)) \
  X(43, LV_get_address, int, (lv_term_ref t, void** pointer)) \
  X(44, LV_get_list_codes, int, (lv_term_ref t, const char** text)) \
  X(45, LV_get_number_codes, int, (lv_term_ref t, const char** text)) \
  X(46, LV_get_functor, int, (lv_term_ref t, lv_term* name, int* arity)) \
  X(47, LV_get_list, int, (lv_term_ref t, lv_term_ref head, lv_term_ref tail)) \
  X(48, LV_get_arg, int, (int i, lv_term_ref t, lv_term_ref arg)) \
  X(49, LV_term_type, int, (lv_term_ref t)) \
  X(50, LV_is_variable, int, (lv_term_ref t)) \
  X(51, LV_is_integer, int, (lv_term_ref t)) \
  X(52, LV_is_float, int, (lv_term_ref t)) \
  X(53, LV_is_atom, int, (lv_term_ref t)) \
  X(54, LV_is_compound, int, (lv_term_ref t)) \
  X(55, LV_is_list, int, (lv_term_ref t)) \
  X(56, LV_is_atomic, int, (lv_term_ref t)) \
  X(57, LV_is_number, int, (lv_term_ref t)) \
  X(58, LV_atom_from_string, lv_term, (const char* text)) \
  X(59, LV_existing_atom_from_string, lv_term, (const char* text)) \
  X(60, LV_string_from_atom, const char*, (lv_term atom)) \
  X(61, LV_unify, int, (lv_term_ref a, lv_term_ref b)) \
  X(62, LV_compare, int, (lv_term_ref a, lv_term_ref b)) \
  X(63, LV_exception_term, int, (lv_term_ref t)) \
  X(64, LV_raise_exception, int, (lv_term_ref t)) \
  X(65, LV_fail, void, (void)) \
  X(66, LV_error_message, const char*, (int number)) \
  X(67, LV_get_errno, int, (void)) \
  X(68, LV_get_stdin, lv_stream*, (void)) \
  X(69, LV_get_stdout, lv_stream*, (void)) \
  X(70, LV_get_stderr, lv_stream*, (void)) \
  X(71, LV_get_curin, lv_stream*, (void)) \
  X(72, LV_get_curout, lv_stream*, (void)) \
  X(73, LV_set_user_stream_hook, lv_user_stream_hook, (lv_user_stream_hook hook, void* data)) \
  X(74, LV_set_user_stream_post_hook, lv_user_stream_post_hook, (lv_user_stream_post_hook hook, void* data)) \
  R(75, unavailable_api_76) \
  R(76, unavailable_api_77) \
  X(77, LV_create_stream, int64_t, \
    (void* user_data, const void* class_tag, lv_device_read_fn read, lv_device_write_fn write, \
     lv_device_flush_fn flush, lv_device_spare1_fn spare1, lv_device_close_fn close, lv_device_spare2_fn spare2, \
     lv_device_control_fn control, void* reserved, uint32_t options, lv_stream** out)) \
  X(78, lv_get_byte_helper, int64_t, (lv_stream* stream, uint32_t options)) \
  X(79, lv_put_byte_helper, int64_t, (lv_stream* stream, int64_t byte, uint32_t options)) \
  X(80, lv_get_code_helper, int64_t, (lv_stream* stream, uint32_t options)) \
  X(81, lv_put_code_helper, int64_t, (lv_stream* stream, int64_t code, uint32_t options)) \
  X(82, LV_printf, int64_t, (const char* format, ...)) \
  X(83, LV_fprintf, int64_t, (lv_stream* stream, const char* format, ...)) \
  X(84, lv_ttyprintf, int64_t, (const char* format, ...)) \
  X(85, LV_put_bytes, int64_t, (lv_stream* stream, const uint8_t* bytes, int64_t count, uint32_t options)) \
  X(86, LV_put_codes, int64_t, (lv_stream* stream, const uint32_t* codes, int64_t count, uint32_t options)) \
  X(87, LV_put_encoded_string, int64_t, (lv_stream* stream, const char* text, uint32_t options)) \
  X(88, LV_flush_output, int64_t, (lv_stream* stream, uint32_t options)) \
  X(89, LV_fclose, int64_t, (void* stream, uint32_t options)) \
  X(90, LV_unget_code, int64_t, (lv_stream* stream, int64_t code)) \
  X(91, LV_unget_byte, int64_t, (lv_stream* stream, int64_t byte)) \
  X(92, LV_signal, lv_signal_handler, (int signal, lv_signal_handler handler, void* user)) \
  X(93, lv_raise_signal, int, (int signal)) \
  X(94, LV_define_c_predicate, int, \
    (const char* name, int arity, const char* module, lv_c_predicate_fn function, void* stash)) \
  X(95, LV_copy_environ, char**, (void)) \
  R(96, unavailable_api_97) \
  R(97, unavailable_api_98) \
  X(98, LV_write_term, void, (lv_term_ref t)) \
  R(99, unavailable_api_100) \
  X(100, LV_malloc, void*, (size_t size)) \
  X(101, LV_realloc, void*, (void* pointer, size_t size)) \
  X(102, LV_free, void, (void* pointer)) \
  R(103, unavailable_api_104) \
  X(104, LV_save_and_raise_error, int, \
    (int code, const char* message, lv_term_ref culprit, const char* name, const char* module, int arity, \
     int argno)) \
  X(105, LV_schedule_async_event, int64_t, (lv_async_event* event)) \
  X(106, lv_raise_win32_error, int, (lv_worker* engine, int os_error, const char* operation, const char* function)) \
  X(107, LV_atom_length, size_t, (lv_term atom)) \
  X(108, LV_put_list_n_codes, int, (lv_term_ref t, lv_term_ref tail, size_t length, const char* text)) \
  X(109, LV_get_list_n_codes, int, (lv_term_ref t, lv_term_ref tail, size_t size, int* count, char* buffer)) \
  X(110, LV_register_atom, int, (lv_term atom)) \
  X(111, LV_unregister_atom, int, (lv_term atom)) \
  X(112, LV_cons_functor_array, int, (lv_term_ref t, lv_term name, int arity, const lv_term_ref* arguments)) \
  X(113, LV_restore, int, (const char* path)) \
  X(114, LV_set_current_dir, int64_t, (const char* directory)) \
  X(115, LV_get_current_dir, char*, (void)) \
  X(116, LV_raise_fault, void, (const char* message)) \
  X(117, lv_set_abort_env, void, (lv_jump_record* record)) \
  X(118, lv_get_abort_err_ienc, const char*, (void)) \
  X(119, lv_get_boot_path, const char*, (void)) \
  X(120, LV_get_emulator_version, const char*, (void)) \
  X(121, LV_get_emulator_dir, const char*, (void)) \
  X(122, LV_set_initial_options, int, (const lv_init_options* options)) \
  X(123, LV_set_set_window_title_hook, lv_set_title_hook_fn, (lv_set_title_hook_fn hook, void* data)) \
  X(124, LV_set_get_window_title_hook, lv_get_title_hook, (lv_get_title_hook hook, void* data)) \
  X(125, lv_get_engine_global, lv_engine_global*, (void)) \
  X(126, LV_sigaction, int64_t, (int signal, lv_signal_handler handler, void* user, int flags)) \
  X(127, LV_free_async_event, void, (lv_async_event* event)) \
  X(128, lv_qload_or_restore, int, (const char* path, int flags)) \
  X(129, lv_variable_to_string, int, (lv_term_ref t, char* buffer, size_t size)) \
  X(130, LV_install_lvti_hook, int, (lvti_hook hook, void* data, uint64_t flags)) \
  X(131, lv_get_classpath, const char*, (void)) \
  X(132, lv_get_failed_bootpath, const char*, (void)) \
  X(133, lv_prolog_initialized, bool, (void)) \
  X(134, lv_is_development_system, int, (void)) \
  X(135, LV_calloc, void*, (size_t count, size_t size)) \
  X(136, LV_strdup, char*, (const char* text)) \
  X(137, LV_next_stream, int64_t, (lv_stream* stream, lv_stream** out)) \
  X(138, LV_select, int64_t, \
    (int64_t* handles, int64_t* handle_count, lv_stream** reads, int64_t* read_count, lv_stream** writes, \
     int64_t* write_count, const lv_time_value* timeout, uint32_t reserved)) \
  X(139, LV_open_socket_stream, int64_t, \
    (const char* host, const char* service, lv_term encoding, lv_stream** stream, uint32_t flags)) \
  X(140, LV_to_os, char*, (const char* text, int context)) \
  X(141, LV_from_os, char*, (const char* text, int context)) \
  X(142, LV_wci_code, int, (int32_t* code, const char* text)) \
  X(143, LV_wci_len, int, (const char* text)) \
  X(144, LV_code_wci, int, (char* buffer, int32_t code)) \
  R(145, unavailable_api_146) \
  X(146, LV_mutex_lock, int, (void** mutex)) \
  X(147, LV_mutex_unlock, int, (void** mutex)) \
  X(148, LV_mutex_destroy, int, (void** mutex)) \
  X(149, LV_load_lorvika_run_time, int, (lv_dispatch_entry* entry, void** module)) \
  X(150, LV_set_multi_lv_state, int, (lv_multi_state* state)) \
  X(151, LV_put_external_object, int, (lv_term_ref t, lv_external_object* handle)) \
  X(152, LV_get_external_object, int, (lv_term_ref t, lv_external_object** handle)) \
  X(153, LV_external_object_default_putter_helper, int, \
    (lv_term_ref t, lv_external_object* handle, lv_term functor_name)) \
  X(154, LV_put_external_object_link, int, (lv_term_ref t, lv_external_object* handle)) \
  X(155, LV_put_weak_external_object_link, int, (lv_term_ref t, lv_external_object* handle)) \
  X(156, LV_register_external_object_type, lv_external_object_type*, \
    (lv_external_finalizer finalizer, lv_external_putter putter, void* user_data)) \
  X(157, LV_register_external_object, lv_external_object*, (void* object, lv_external_object_type* type)) \
  X(158, LV_unlink_external_object, int, (lv_external_object* handle, int finalize)) \
  X(159, LV_get_external_object_data, void*, (lv_external_object* handle)) \
  X(160, LV_get_external_object_type, lv_external_object_type*, (lv_external_object* handle)) \
  X(161, LV_finalize_external_object, int, (lv_term_ref t, int* result)) \
  X(162, LV_garbage_collect_external_objects, int, (lv_external_object_type* type)) \
  X(163, LV_ctrlc_action, int64_t, (void)) \
  X(164, LV_ctrlbreak_action, int64_t, (void)) \
  X(165, lv_set_corvid_magic, int, (void* pointer, int key)) \
  X(166, lv_get_corvid_magic, void*, (int key)) \
  X(167, lv_set_corvid_threadservermode, int, (int mode, int key)) \
  X(168, lv_get_corvid_threadservermode, int, (int* mode, int key)) \
  X(169, LV_get_integer_bytes, int, (lv_term_ref t, void* buffer, size_t* count, int native)) \
  X(170, LV_put_integer_bytes, int, (lv_term_ref t, const void* buffer, size_t count, int native)) \
  X(171, LV_setenv, int, (const char* name, const char* value)) \
  X(172, LV_getenv, char*, (const char* name)) \
  X(173, LV_expand_file_name, int64_t, (const char* name, const char* base, uint32_t flags, char** result)) \
  X(174, lv_lvio_assert_failure, int64_t, (const char* function, const char* file, int line)) \
  X(175, lv_lvio_debug_break, int64_t, (const char* file, int line)) \
  X(176, lv_lvio_error_name, const char*, (int64_t code)) \
  X(177, lv_lvio_trace_line, int64_t, \
    (const char* function, const char* file, int line, const char* text, int64_t value, const char* message, \
     int level)) \
  X(178, LV_get_encoding, int, (const char* name, lvio_coder_class** encoding, unsigned flags)) \
  X(179, LV_encoding_release, int, (lvio_coder_class* encoding)) \
  X(180, LV_encoding_open, int, (lvio_coder_class* encoding, lvio_t_coder** coder, void* ignored, unsigned flags)) \
  X(181, LV_encode_from_codes, int, \
    (lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state, void* destination, \
     size_t destination_bytes, size_t* consumed, size_t* produced, unsigned flags)) \
  X(182, LV_encode_to_codes, int, \
    (lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state, void* destination, \
     size_t destination_bytes, size_t* consumed, size_t* produced, unsigned flags)) \
  X(183, lv_ttyflush, int64_t, (void)) \
  X(184, lv_memory_fault, void, (const char* message, int32_t category)) \
  X(185, LV_decode_reserved_exception, int, (lv_term_ref t, int* exit_code)) \
  X(186, LV_install_idle_hook, int64_t, (int (*function)(void* data), void* data, uint32_t options)) \
  X(187, LV_put_list_n_bytes, int, (lv_term_ref t, lv_term_ref tail, size_t length, const unsigned char* bytes)) \
  X(188, LV_get_list_n_bytes, int, \
    (lv_term_ref t, lv_term_ref tail, size_t max, size_t* count, unsigned char* buffer)) \
  X(189, LV_stream_from_string, int, (const char* text, lv_stream** out)) \
  X(190, LV_set_argv, int, (int argc, const char* const* argv, int flags)) \
  X(191, LV_alloc_async_event, int64_t, (lv_async_event** out, lv_full_event_fn function, void* user)) \
  X(192, LV_system_properties, int64_t, (char*** out, uint64_t flags)) \
  X(193, LV_get_system_property, int64_t, (const char* name, char** out, uint64_t flags)) \
  X(194, LV_set_system_property, int64_t, (const char* name, const char* value)) \
  X(195, LV_codes_to_multi_bytes, int, \
    (const char* encoding_name, const int* codes, size_t count, char** bytes, size_t* byte_count)) \
  X(196, lv_longjmp_, void, (lv_jump_record* record, int status))

#define LV_C_INTERFACE_SLOT_COUNT 197

enum lv_c_interface_slot {
#define LV_SLOT_ENUM_(k, name, result, parameters) LV_SLOT_##name = k,
#define LV_SLOT_ENUM_RETIRED_(k, name) LV_SLOT_##name = k,
  LV_C_INTERFACE_SLOTS(LV_SLOT_ENUM_, LV_SLOT_ENUM_RETIRED_)
#undef LV_SLOT_ENUM_
#undef LV_SLOT_ENUM_RETIRED_
};

/* The function type of each live slot: <name>_fn. */
#define LV_SLOT_TYPE_(k, name, result, parameters) typedef result name##_fn parameters;
#define LV_SLOT_TYPE_RETIRED_(k, name)
LV_C_INTERFACE_SLOTS(LV_SLOT_TYPE_, LV_SLOT_TYPE_RETIRED_)
#undef LV_SLOT_TYPE_
#undef LV_SLOT_TYPE_RETIRED_

/* The function of a live C-interface slot, with its type. */
#define LV_API(table, name) ((name##_fn*)lv_api_slot_function((table), LV_SLOT_##name))

/* What the slots do, by group.
 *
 * Start-up (slot 0):
 *   lv_glue_initialize(argc, argv, options, prelinked names, prelinked
 *       values, boot options, boot flags) -> 1, or 0 with the error number
 *       set. Boot options bits 0-1: 0 runtime ("lvrt"), 1 development system
 *       ("lvds"), 2 extended runtime ("lvre"). Boot flags bit 0 set: the
 *       saved state <base>.sav is restored; clear: start-up ends once the
 *       standard streams exist and the program loads <base>.ql from the
 *       directory lv_get_boot_path (slot 119) answers with
 *       lv_qload_or_restore(path, 1) (slot 128), which answers 1, or 0 with
 *       the error number 1 (not started), 7 (no path) or 3 (not loaded).
 *   Already initialised: 1 at once; a runtime only started is shut down and
 *   started afresh. Errors: 3 the boot file did not load
 *   (lv_get_failed_bootpath, slot 132, keeps its path), 5 the development
 *   system did not start, 12 boot kind 3 or negative boot flags, 15 the I/O
 *   layer, options, paths or standard streams, 16 options with a wrong
 *   format word, 18 the memory manager.
 * Slot 1 LV_deinitialize() takes a started or initialised runtime down: the
 *   events still queued hear that the queue closes and the time-out timer
 *   stops, then prolog:lv_deinitialize/0 runs (when a boot file was
 *   loaded), then the standard streams close; a later lv_glue_initialize
 *   starts afresh.
 * Slots 119, 131, 132: the texts belong to the runtime (valid until
 *   shutdown); null when there is none.
 *
 * Slot 98 LV_write_term(t) writes the term to the user error stream as the
 *   engine's debugging printer does (no operators, lists in brackets, atoms
 *   quoted where needed, "..." from nesting depth 10), then a newline, and
 *   flushes it; an invalid reference writes '$invalid_ref'.
 *
 * Slot 129 lv_variable_to_string(t, buffer, size) writes "_" and the
 *   variable's word offset from the heap base ("_$" for an invalid reference
 *   or a term that is no variable), NUL-terminated within size bytes; 1, or
 *   0 when the text did not fit (it is then cut). 24 bytes always suffice.
 *
 * Two slots serve the engine's own error paths:
 *   106 lv_raise_win32_error(engine, os_error, operation, function): raises
 *       the Prolog system error for an operating-system error number (errno
 *       here), with the message "<operation>: '<function>' failed: <system
 *       text>"; answers 0, the failure result of the C predicate raising it.
 *   196 lv_longjmp_(record, status): jumps to an abort record registered
 *       with lv_set_abort_env (slot 117) with the status; never returns. */

const lv_dispatch* LV_get_dispatch_40900(void* unused);

#ifdef __cplusplus
}
#endif

#endif
