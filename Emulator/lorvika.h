/* The runtime library's C interface as the embedding program and the plug-ins
 * see it: the dispatch record that LV_get_dispatch_40900 returns, the layout
 * of the C-interface table and the order of its slots. The slot order is part
 * of the binary interface and never changes; a retired slot keeps its place
 * with a null function. Slot k's function pointer lies at byte 32 + 16k from
 * the start of the table. */
#ifndef LORVIKA_H
#define LORVIKA_H

#include <stdint.h>

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

/* Slot k of a table. */
static inline void* lv_api_slot(const lv_api_table* table, int k) {
  return ((const lv_api_entry*)(table + 1))[k].function;
}

/* The C-interface table "lorvika.h": X(slot, name) for every slot in order. */
#define LV_C_INTERFACE_SLOTS(X) \
  X(0, lv_glue_initialize) \
  X(1, LV_deinitialize) \
  X(2, LV_force_interactive) \
  X(3, unavailable_api_4) \
  X(4, LV_load) \
  X(5, LV_predicate) \
  X(6, LV_pred) \
  X(7, LV_new_term_ref) \
  X(8, LV_new_term_refs) \
  X(9, LV_reset_term_refs) \
  X(10, LV_alloc_globrefs) \
  X(11, LV_free_globrefs) \
  X(12, LV_query) \
  X(13, LV_query_cut_fail) \
  X(14, LV_open_query) \
  X(15, LV_open_query_array) \
  X(16, LV_next_solution) \
  X(17, LV_cut_query) \
  X(18, LV_close_query) \
  X(19, LV_event) \
  X(20, LV_fopen) \
  X(21, lv_ref_term) \
  X(22, LV_create_os_stream) \
  X(23, LV_get_stream_user_data) \
  X(24, LV_get_stream_counts) \
  X(25, LV_put_variable) \
  X(26, LV_put_term) \
  X(27, LV_put_integer) \
  X(28, LV_put_float) \
  X(29, LV_put_atom) \
  X(30, LV_put_string) \
  X(31, LV_put_address) \
  X(32, LV_put_list_codes) \
  X(33, LV_put_number_codes) \
  X(34, LV_put_functor) \
  X(35, LV_put_list) \
  X(36, LV_cons_functor) \
  X(37, LV_cons_list) \
  X(38, LV_read_from_string) \
  X(39, LV_get_integer) \
  X(40, LV_get_float) \
  X(41, LV_get_atom) \
  X(42, LV_get_string) \
  X(43, LV_get_address) \
  X(44, LV_get_list_codes) \
  X(45, LV_get_number_codes) \
  X(46, LV_get_functor) \
  X(47, LV_get_list) \
  X(48, LV_get_arg) \
  X(49, LV_term_type) \
  X(50, LV_is_variable) \
  X(51, LV_is_integer) \
  X(52, LV_is_float) \
  X(53, LV_is_atom) \
  X(54, LV_is_compound) \
  X(55, LV_is_list) \
  X(56, LV_is_atomic) \
  X(57, LV_is_number) \
  X(58, LV_atom_from_string) \
  X(59, LV_existing_atom_from_string) \
  X(60, LV_string_from_atom) \
  X(61, LV_unify) \
  X(62, LV_compare) \
  X(63, LV_exception_term) \
  X(64, LV_raise_exception) \
  X(65, LV_fail) \
  X(66, LV_error_message) \
  X(67, LV_get_errno) \
  X(68, LV_get_stdin) \
  X(69, LV_get_stdout) \
  X(70, LV_get_stderr) \
  X(71, LV_get_curin) \
  X(72, LV_get_curout) \
  X(73, LV_set_user_stream_hook) \
  X(74, LV_set_user_stream_post_hook) \
  X(75, unavailable_api_76) \
  X(76, unavailable_api_77) \
  X(77, LV_create_stream) \
  X(78, lv_get_byte_helper) \
  X(79, lv_put_byte_helper) \
  X(80, lv_get_code_helper) \
  X(81, lv_put_code_helper) \
  X(82, LV_printf) \
  X(83, LV_fprintf) \
  X(84, lv_ttyprintf) \
  X(85, LV_put_bytes) \
  X(86, LV_put_codes) \
  X(87, LV_put_encoded_string) \
  X(88, LV_flush_output) \
  X(89, LV_fclose) \
  X(90, LV_unget_code) \
  X(91, LV_unget_byte) \
  X(92, LV_signal) \
  X(93, lv_raise_signal) \
  X(94, LV_define_c_predicate) \
  X(95, LV_copy_environ) \
  X(96, unavailable_api_97) \
  X(97, unavailable_api_98) \
  X(98, LV_write_term) \
  X(99, unavailable_api_100) \
  X(100, LV_malloc) \
  X(101, LV_realloc) \
  X(102, LV_free) \
  X(103, unavailable_api_104) \
  X(104, LV_save_and_raise_error) \
  X(105, LV_schedule_async_event) \
  X(106, lv_raise_win32_error) \
  X(107, LV_atom_length) \
  X(108, LV_put_list_n_codes) \
  X(109, LV_get_list_n_codes) \
  X(110, LV_register_atom) \
  X(111, LV_unregister_atom) \
  X(112, LV_cons_functor_array) \
  X(113, LV_restore) \
  X(114, LV_set_current_dir) \
  X(115, LV_get_current_dir) \
  X(116, LV_raise_fault) \
  X(117, lv_set_abort_env) \
  X(118, lv_get_abort_err_ienc) \
  X(119, lv_get_boot_path) \
  X(120, LV_get_emulator_version) \
  X(121, LV_get_emulator_dir) \
  X(122, LV_set_initial_options) \
  X(123, LV_set_set_window_title_hook) \
  X(124, LV_set_get_window_title_hook) \
  X(125, lv_get_engine_global) \
  X(126, LV_sigaction) \
  X(127, LV_free_async_event) \
  X(128, lv_qload_or_restore) \
  X(129, lv_variable_to_string) \
  X(130, LV_install_lvti_hook) \
  X(131, lv_get_classpath) \
  X(132, lv_get_failed_bootpath) \
  X(133, lv_prolog_initialized) \
  X(134, lv_is_development_system) \
  X(135, LV_calloc) \
  X(136, LV_strdup) \
  X(137, LV_next_stream) \
  X(138, LV_select) \
  X(139, LV_open_socket_stream) \
  X(140, LV_to_os) \
  X(141, LV_from_os) \
  X(142, LV_wci_code) \
  X(143, LV_wci_len) \
  X(144, LV_code_wci) \
  X(145, unavailable_api_146) \
  X(146, LV_mutex_lock) \
  X(147, LV_mutex_unlock) \
  X(148, LV_mutex_destroy) \
  X(149, LV_load_lorvika_run_time) \
  X(150, LV_set_multi_lv_state) \
  X(151, LV_put_external_object) \
  X(152, LV_get_external_object) \
  X(153, LV_external_object_default_putter_helper) \
  X(154, LV_put_external_object_link) \
  X(155, LV_put_weak_external_object_link) \
  X(156, LV_register_external_object_type) \
  X(157, LV_register_external_object) \
  X(158, LV_unlink_external_object) \
  X(159, LV_get_external_object_data) \
  X(160, LV_get_external_object_type) \
  X(161, LV_finalize_external_object) \
  X(162, LV_garbage_collect_external_objects) \
  X(163, LV_ctrlc_action) \
  X(164, LV_ctrlbreak_action) \
  X(165, lv_set_corvid_magic) \
  X(166, lv_get_corvid_magic) \
  X(167, lv_set_corvid_threadservermode) \
  X(168, lv_get_corvid_threadservermode) \
  X(169, LV_get_integer_bytes) \
  X(170, LV_put_integer_bytes) \
  X(171, LV_setenv) \
  X(172, LV_getenv) \
  X(173, LV_expand_file_name) \
  X(174, lv_lvio_assert_failure) \
  X(175, lv_lvio_debug_break) \
  X(176, lv_lvio_error_name) \
  X(177, lv_lvio_trace_line) \
  X(178, LV_get_encoding) \
  X(179, LV_encoding_release) \
  X(180, LV_encoding_open) \
  X(181, LV_encode_from_codes) \
  X(182, LV_encode_to_codes) \
  X(183, lv_ttyflush) \
  X(184, lv_memory_fault) \
  X(185, LV_decode_reserved_exception) \
  X(186, LV_install_idle_hook) \
  X(187, LV_put_list_n_bytes) \
  X(188, LV_get_list_n_bytes) \
  X(189, LV_stream_from_string) \
  X(190, LV_set_argv) \
  X(191, LV_alloc_async_event) \
  X(192, LV_system_properties) \
  X(193, LV_get_system_property) \
  X(194, LV_set_system_property) \
  X(195, LV_codes_to_multi_bytes) \
  X(196, lv_longjmp_)

#define LV_C_INTERFACE_SLOT_COUNT 197

/* Slot 129 takes the buffer's size:
 *   lv_variable_to_string(t, buffer, size) writes "_" and the variable's
 *   word offset from the heap base ("_$" for an invalid reference or a term
 *   that is no variable), NUL-terminated within size bytes; 1, or 0 when the
 *   text did not fit (it is then cut). 24 bytes always suffice.
 *
 * Two slots serve the engine's own error paths:
 *   106 lv_raise_win32_error(engine, os_error, operation, function): raises
 *       the Prolog system error for an operating-system error number (errno
 *       here), with the message "<operation>: '<function>' failed: <system
 *       text>"; answers 0, the failure result of the C predicate raising it.
 *   196 lv_longjmp_(record, status): jumps to an abort record registered
 *       with lv_set_abort_env (slot 117) with the status; never returns. */

/* Start-up (slot 0):
 *   lv_glue_initialize(argc, argv, options, prelinked names, prelinked
 *       values, boot options, boot flags) -> 1, or 0 with the error number
 *       set. Boot options bits 0-1: 0 runtime ("lvrt"), 1 development system
 *       ("lvds"), 2 extended runtime ("lvre"). Boot flags bit 0 set: the
 *       saved state <base>.sav is restored; clear: start-up ends once the
 *       standard streams exist and the program loads <base>.ql from the
 *       directory lv_get_boot_path (slot 119) answers with
 *       lv_qload_or_restore(path, 1) (slot 128).
 *   Already initialised: 1 at once; a runtime only started is shut down and
 *   started afresh. Errors: 3 the boot file did not load
 *   (lv_get_failed_bootpath, slot 132, keeps its path), 5 the development
 *   system did not start, 12 boot kind 3 or negative boot flags, 15 the I/O
 *   layer, options, paths or standard streams, 16 options with a wrong
 *   format word, 18 the memory manager.
 * Slot 1 LV_deinitialize() takes a started or initialised runtime down
 *   (after prolog:lv_deinitialize/0 when a boot file was loaded); a later
 *   lv_glue_initialize starts afresh.
 * Slots 119, 131, 132: the texts belong to the runtime (valid until
 *   shutdown); null when there is none.
 * The initial options: -D name=value settings that come before the
 * process environment. */
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

enum lv_c_interface_slot {
#define LV_SLOT_ENUM_(k, name) LV_SLOT_##name = k,
  LV_C_INTERFACE_SLOTS(LV_SLOT_ENUM_)
#undef LV_SLOT_ENUM_
};

const lv_dispatch* LV_get_dispatch_40900(void* unused);

#ifdef __cplusplus
}
#endif

#endif
