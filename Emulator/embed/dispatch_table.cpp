// The dispatch record and the two tables behind it: the only way into the
// runtime library from outside. One row per slot, in slot order; a retired
// slot holds a null function under its name.
//
// Every function is checked against its slot's type in lorvika.h or
// support.h: a function whose type differs does not compile. A slot that
// needs a started runtime is entered through a guard that, while there is
// no engine (before start-up, after shutdown), sets the interface error 1
// and answers the slot's failure result without looking at the arguments.
#include "embed/dispatch_table.h"

#include <cstdarg>
#include <type_traits>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/attributes.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/fd_hooks.h"
#include "core/gc.h"
#include "core/hashtab.h"
#include "core/init_state.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/numstack.h"
#include "core/stack_shift.h"
#include "core/term.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "embed/api_exceptions.h"
#include "embed/argument_vector.h"
#include "embed/async_events.h"
#include "embed/boot_mode.h"
#include "embed/c_predicates.h"
#include "embed/devsys.h"
#include "embed/encoding_functions.h"
#include "embed/engine_reset.h"
#include "embed/external_objects.h"
#include "embed/init_options.h"
#include "embed/install_paths.h"
#include "embed/load_restore.h"
#include "embed/queries.h"
#include "embed/runtime_instances.h"
#include "embed/runtime_services.h"
#include "embed/signals.h"
#include "embed/startup.h"
#include "embed/system_properties.h"
#include "embed/term_interface.h"
#include "embed/text_input.h"
#include "embed/title_hooks.h"
#include "embed/tool_interface.h"
#include "lvio/result_codes.h"
#include "lvio/time_value.h"
#include "store/dbref_table.h"
#include "store/predicates.h"
#include "store/qload.h"
#include "streams/diagnostics.h"
#include "streams/file_names.h"
#include "streams/socket_builtins.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "text/utf8.h"

namespace {

// A runtime is there for the slots that need one while an engine exists:
// from start-up's creation of the engine until shutdown destroys it.
bool runtime_ready() {
  if (get_current_worker() != nullptr) return true;
  lv_set_api_error(LV_ERR_NOT_INITIALIZED);
  return false;
}

// F entered with the slot's own type Slot; without a runtime the answer is
// Refused (a null pointer for a pointer result, nothing for void).
template <auto F, typename Slot, int64_t Refused>
struct guard;
template <auto F, typename R, typename... A, int64_t Refused>
struct guard<F, R(A...), Refused> {
  static_assert(std::is_same_v<decltype(F), R (*)(A...)>, "the function's type differs from its slot's");
  static R call(A... args) {
    if (!runtime_ready()) {
      if constexpr (std::is_void_v<R>)
        return;
      else if constexpr (std::is_pointer_v<R>)
        return nullptr;
      else
        return static_cast<R>(Refused);
    }
    return F(args...);
  }
};

// The slots with a variable-argument list, and LV_select, whose time-out is
// the interface's own record: each checks as the guard does, then goes on
// to the function's counterpart.
int guarded_LV_query(lv_pred* pred, ...) {
  if (!runtime_ready()) return -1;
  va_list args;
  va_start(args, pred);
  int result = LV_query_va(pred, args);
  va_end(args);
  return result;
}

int guarded_LV_query_cut_fail(lv_pred* pred, ...) {
  if (!runtime_ready()) return -1;
  va_list args;
  va_start(args, pred);
  int result = LV_query_cut_fail_va(pred, args);
  va_end(args);
  return result;
}

lv_query_id guarded_LV_open_query(lv_pred* pred, ...) {
  if (!runtime_ready()) return 0;
  va_list args;
  va_start(args, pred);
  lv_query_id result = LV_open_query_va(pred, args);
  va_end(args);
  return result;
}

int guarded_LV_cons_functor(lv_term_ref t, lv_term name, int arity, ...) {
  if (!runtime_ready()) return 0;
  va_list args;
  va_start(args, arity);
  int result = LV_cons_functor_va(t, name, arity, args);
  va_end(args);
  return result;
}

int64_t guarded_LV_printf(const char* format, ...) {
  if (!runtime_ready()) return LVIO_E_INVALID_STATE;
  va_list args;
  va_start(args, format);
  int64_t result = lv_stream_vprintf(LV_get_stdout(), format, args);
  va_end(args);
  return result;
}

int64_t guarded_LV_fprintf(lv_stream* stream, const char* format, ...) {
  if (!runtime_ready()) return LVIO_E_INVALID_STATE;
  va_list args;
  va_start(args, format);
  int64_t result = lv_stream_vprintf(stream, format, args);
  va_end(args);
  return result;
}

int64_t guarded_LV_select(int64_t* handles, int64_t* handle_count, lv_stream** reads, int64_t* read_count,
                          lv_stream** writes, int64_t* write_count, const lv_time_value* timeout, uint32_t reserved) {
  if (!runtime_ready()) return LVIO_E_INVALID_STATE;
  lvio_time limit{};
  if (timeout != nullptr) limit = {timeout->seconds, timeout->nanoseconds};
  return LV_select(handles, handle_count, reads, read_count, writes, write_count,
                   timeout != nullptr ? &limit : nullptr, reserved);
}

// The runtime's own variadic functions have their slots' types as well: a
// pointer of the slot's type takes only a function of exactly that type.
[[maybe_unused]] constexpr LV_query_fn* query_type = &LV_query;
[[maybe_unused]] constexpr LV_query_cut_fail_fn* query_cut_fail_type = &LV_query_cut_fail;
[[maybe_unused]] constexpr LV_open_query_fn* open_query_type = &LV_open_query;
[[maybe_unused]] constexpr LV_cons_functor_fn* cons_functor_type = &LV_cons_functor;
[[maybe_unused]] constexpr LV_printf_fn* printf_type = &LV_printf;
[[maybe_unused]] constexpr LV_fprintf_fn* fprintf_type = &LV_fprintf;

// A slot entered directly, one entered through the guard (failure result 0,
// or the one given), one entered through its hand-written wrapper above,
// and a retired one.
#define FN(name) lv_api_entry{#name, reinterpret_cast<void*>(static_cast<name##_fn*>(&name))}
#define GUARDED_AS(name, refused) lv_api_entry{#name, reinterpret_cast<void*>(&guard<&name, name##_fn, refused>::call)}
#define GUARDED(name) GUARDED_AS(name, 0)
#define WRAPPED(name) lv_api_entry{#name, reinterpret_cast<void*>(static_cast<name##_fn*>(&guarded_##name))}
#define RETIRED(name) lv_api_entry{#name, nullptr}

constexpr lv_api_entry END{nullptr, nullptr};

}  // namespace

const lv_c_interface_table lv_c_interface = {
  {sizeof(lv_c_interface_table), "lorvika.h", LV_API_VERSION},
  {
    FN(lv_glue_initialize),  // 0
    FN(LV_deinitialize),  // 1
    FN(LV_force_interactive),  // 2
    RETIRED(unavailable_api_4),  // 3
    GUARDED(LV_load),  // 4
    GUARDED(LV_predicate),  // 5
    GUARDED(LV_pred),  // 6
    GUARDED(LV_new_term_ref),  // 7
    GUARDED(LV_new_term_refs),  // 8
    GUARDED(LV_reset_term_refs),  // 9
    GUARDED(LV_alloc_globrefs),  // 10
    GUARDED(LV_free_globrefs),  // 11
    WRAPPED(LV_query),  // 12
    WRAPPED(LV_query_cut_fail),  // 13
    WRAPPED(LV_open_query),  // 14
    GUARDED(LV_open_query_array),  // 15
    GUARDED_AS(LV_next_solution, -1),  // 16
    GUARDED_AS(LV_cut_query, -1),  // 17
    GUARDED_AS(LV_close_query, -1),  // 18
    FN(LV_event),  // 19
    GUARDED_AS(LV_fopen, LVIO_E_INVALID_STATE),  // 20
    GUARDED(lv_ref_term),  // 21
    GUARDED_AS(LV_create_os_stream, LVIO_E_INVALID_STATE),  // 22
    GUARDED_AS(LV_get_stream_user_data, LVIO_E_INVALID_STATE),  // 23
    GUARDED_AS(LV_get_stream_counts, LVIO_E_INVALID_STATE),  // 24
    GUARDED(LV_put_variable),  // 25
    GUARDED(LV_put_term),  // 26
    GUARDED(LV_put_integer),  // 27
    GUARDED(LV_put_float),  // 28
    GUARDED(LV_put_atom),  // 29
    GUARDED(LV_put_string),  // 30
    GUARDED(LV_put_address),  // 31
    GUARDED(LV_put_list_codes),  // 32
    GUARDED(LV_put_number_codes),  // 33
    GUARDED(LV_put_functor),  // 34
    GUARDED(LV_put_list),  // 35
    WRAPPED(LV_cons_functor),  // 36
    GUARDED(LV_cons_list),  // 37
    GUARDED(LV_read_from_string),  // 38
    GUARDED(LV_get_integer),  // 39
    GUARDED(LV_get_float),  // 40
    GUARDED(LV_get_atom),  // 41
    GUARDED(LV_get_string),  // 42
    GUARDED(LV_get_address),  // 43
    GUARDED(LV_get_list_codes),  // 44
    GUARDED(LV_get_number_codes),  // 45
    GUARDED(LV_get_functor),  // 46
    GUARDED(LV_get_list),  // 47
    GUARDED(LV_get_arg),  // 48
    GUARDED(LV_term_type),  // 49
    GUARDED(LV_is_variable),  // 50
    GUARDED(LV_is_integer),  // 51
    GUARDED(LV_is_float),  // 52
    GUARDED(LV_is_atom),  // 53
    GUARDED(LV_is_compound),  // 54
    GUARDED(LV_is_list),  // 55
    GUARDED(LV_is_atomic),  // 56
    GUARDED(LV_is_number),  // 57
    GUARDED(LV_atom_from_string),  // 58
    GUARDED(LV_existing_atom_from_string),  // 59
    GUARDED(LV_string_from_atom),  // 60
    GUARDED(LV_unify),  // 61
    GUARDED_AS(LV_compare, -1),  // 62
    GUARDED(LV_exception_term),  // 63
    GUARDED(LV_raise_exception),  // 64
    GUARDED(LV_fail),  // 65
    FN(LV_error_message),  // 66
    FN(LV_get_errno),  // 67
    GUARDED(LV_get_stdin),  // 68
    GUARDED(LV_get_stdout),  // 69
    GUARDED(LV_get_stderr),  // 70
    GUARDED(LV_get_curin),  // 71
    GUARDED(LV_get_curout),  // 72
    FN(LV_set_user_stream_hook),  // 73
    FN(LV_set_user_stream_post_hook),  // 74
    RETIRED(unavailable_api_76),  // 75
    RETIRED(unavailable_api_77),  // 76
    GUARDED_AS(LV_create_stream, LVIO_E_INVALID_STATE),  // 77
    GUARDED_AS(lv_get_byte_helper, LVIO_E_INVALID_STATE),  // 78
    GUARDED_AS(lv_put_byte_helper, LVIO_E_INVALID_STATE),  // 79
    GUARDED_AS(lv_get_code_helper, LVIO_E_INVALID_STATE),  // 80
    GUARDED_AS(lv_put_code_helper, LVIO_E_INVALID_STATE),  // 81
    WRAPPED(LV_printf),  // 82
    WRAPPED(LV_fprintf),  // 83
    FN(lv_ttyprintf),  // 84
    GUARDED_AS(LV_put_bytes, LVIO_E_INVALID_STATE),  // 85
    GUARDED_AS(LV_put_codes, LVIO_E_INVALID_STATE),  // 86
    GUARDED_AS(LV_put_encoded_string, LVIO_E_INVALID_STATE),  // 87
    GUARDED_AS(LV_flush_output, LVIO_E_INVALID_STATE),  // 88
    GUARDED_AS(LV_fclose, LVIO_E_INVALID_STATE),  // 89
    GUARDED_AS(LV_unget_code, LVIO_E_INVALID_STATE),  // 90
    GUARDED_AS(LV_unget_byte, LVIO_E_INVALID_STATE),  // 91
    FN(LV_signal),  // 92
    FN(lv_raise_signal),  // 93
    GUARDED(LV_define_c_predicate),  // 94
    GUARDED(LV_copy_environ),  // 95
    RETIRED(unavailable_api_97),  // 96
    RETIRED(unavailable_api_98),  // 97
    GUARDED(LV_write_term),  // 98
    RETIRED(unavailable_api_100),  // 99
    GUARDED(LV_malloc),  // 100
    GUARDED(LV_realloc),  // 101
    GUARDED(LV_free),  // 102
    RETIRED(unavailable_api_104),  // 103
    GUARDED(LV_save_and_raise_error),  // 104
    FN(LV_schedule_async_event),  // 105
    GUARDED(lv_raise_win32_error),  // 106
    GUARDED(LV_atom_length),  // 107
    GUARDED(LV_put_list_n_codes),  // 108
    GUARDED(LV_get_list_n_codes),  // 109
    GUARDED(LV_register_atom),  // 110
    GUARDED(LV_unregister_atom),  // 111
    GUARDED(LV_cons_functor_array),  // 112
    GUARDED(LV_restore),  // 113
    GUARDED_AS(LV_set_current_dir, LVIO_E_INVALID_STATE),  // 114
    GUARDED(LV_get_current_dir),  // 115
    FN(LV_raise_fault),  // 116
    FN(lv_set_abort_env),  // 117
    FN(lv_get_abort_err_ienc),  // 118
    FN(lv_get_boot_path),  // 119
    FN(LV_get_emulator_version),  // 120
    FN(LV_get_emulator_dir),  // 121
    FN(LV_set_initial_options),  // 122
    FN(LV_set_set_window_title_hook),  // 123
    FN(LV_set_get_window_title_hook),  // 124
    FN(lv_get_engine_global),  // 125
    FN(LV_sigaction),  // 126
    GUARDED(LV_free_async_event),  // 127
    GUARDED(lv_qload_or_restore),  // 128
    GUARDED(lv_variable_to_string),  // 129
    FN(LV_install_lvti_hook),  // 130
    GUARDED(lv_get_classpath),  // 131
    FN(lv_get_failed_bootpath),  // 132
    FN(lv_prolog_initialized),  // 133
    FN(lv_is_development_system),  // 134
    GUARDED(LV_calloc),  // 135
    GUARDED(LV_strdup),  // 136
    GUARDED_AS(LV_next_stream, LVIO_E_INVALID_STATE),  // 137
    WRAPPED(LV_select),  // 138
    GUARDED_AS(LV_open_socket_stream, LVIO_E_INVALID_STATE),  // 139
    FN(LV_to_os),  // 140
    GUARDED(LV_from_os),  // 141
    FN(LV_wci_code),  // 142
    FN(LV_wci_len),  // 143
    FN(LV_code_wci),  // 144
    RETIRED(unavailable_api_146),  // 145
    FN(LV_mutex_lock),  // 146
    FN(LV_mutex_unlock),  // 147
    FN(LV_mutex_destroy),  // 148
    FN(LV_load_lorvika_run_time),  // 149
    FN(LV_set_multi_lv_state),  // 150
    GUARDED(LV_put_external_object),  // 151
    GUARDED(LV_get_external_object),  // 152
    GUARDED(LV_external_object_default_putter_helper),  // 153
    GUARDED(LV_put_external_object_link),  // 154
    GUARDED(LV_put_weak_external_object_link),  // 155
    GUARDED(LV_register_external_object_type),  // 156
    GUARDED(LV_register_external_object),  // 157
    GUARDED(LV_unlink_external_object),  // 158
    GUARDED(LV_get_external_object_data),  // 159
    GUARDED(LV_get_external_object_type),  // 160
    GUARDED(LV_finalize_external_object),  // 161
    GUARDED(LV_garbage_collect_external_objects),  // 162
    FN(LV_ctrlc_action),  // 163
    FN(LV_ctrlbreak_action),  // 164
    FN(lv_set_corvid_magic),  // 165
    FN(lv_get_corvid_magic),  // 166
    FN(lv_set_corvid_threadservermode),  // 167
    FN(lv_get_corvid_threadservermode),  // 168
    GUARDED(LV_get_integer_bytes),  // 169
    GUARDED(LV_put_integer_bytes),  // 170
    FN(LV_setenv),  // 171
    FN(LV_getenv),  // 172
    GUARDED_AS(LV_expand_file_name, LVIO_E_INVALID_STATE),  // 173
    FN(lv_lvio_assert_failure),  // 174
    FN(lv_lvio_debug_break),  // 175
    FN(lv_lvio_error_name),  // 176
    FN(lv_lvio_trace_line),  // 177
    GUARDED(LV_get_encoding),  // 178
    GUARDED(LV_encoding_release),  // 179
    GUARDED(LV_encoding_open),  // 180
    GUARDED(LV_encode_from_codes),  // 181
    GUARDED(LV_encode_to_codes),  // 182
    GUARDED_AS(lv_ttyflush, LVIO_E_INVALID_STATE),  // 183
    FN(lv_memory_fault),  // 184
    GUARDED(LV_decode_reserved_exception),  // 185
    GUARDED_AS(LV_install_idle_hook, LVIO_E_INVALID_STATE),  // 186
    GUARDED(LV_put_list_n_bytes),  // 187
    GUARDED(LV_get_list_n_bytes),  // 188
    GUARDED(LV_stream_from_string),  // 189
    GUARDED(LV_set_argv),  // 190
    GUARDED_AS(LV_alloc_async_event, LVIO_E_INVALID_STATE),  // 191
    FN(LV_system_properties),  // 192
    FN(LV_get_system_property),  // 193
    FN(LV_set_system_property),  // 194
    GUARDED(LV_codes_to_multi_bytes),  // 195
    FN(lv_longjmp_),  // 196
    END,
  },
};

const lv_support_table lv_support = {
  {sizeof(lv_support_table), "support.h", LV_API_VERSION},
  {
    FN(find_module),  // 0
    FN(find_definition),  // 1
    FN(call_overflow),  // 2
    FN(find_def_in_module),  // 3
    FN(numstack_overflow),  // 4
    FN(lv_make_integer),  // 5
    FN(cunify),  // 6
    GUARDED_AS(lv_init_ds, -1),  // 7
    FN(incore_gethash),  // 8
    FN(lv_choice_overflow),  // 9
    FN(get_current_worker),  // 10
    FN(lv_checkalloc),  // 11
    FN(lv_checkdealloc),  // 12
    FN(lv_checkrealloc),  // 13
    FN(dyn_puthash),  // 14
    FN(new_switch_on_key),  // 15
    FN(dispose_switch_on_key),  // 16
    FN(parse_definition),  // 17
    FN(LV_install_fd_hooks),  // 18
    FN(GetSmall_int_range_checked),  // 19
    FN(intoRelocationChain),  // 20
    FN(update_exports),  // 21
    FN(large_insn_offset),  // 22
    FN(lv_exitmsg),  // 23
    FN(GetSmall_uint_checked),  // 24
    FN(errprintf),  // 25
    FN(delete_attributes),  // 26
    FN(get_attributes),  // 27
    FN(put_attributes),  // 28
    FN(GetSmall_checked),  // 29
    FN(markTerm),  // 30
    FN(GetSmall_int_checked),  // 31
    FN(lv_widechar_to_ienc),  // 32
    FN(lv_ienc_to_widechar),  // 33
    FN(LV_set_errprintf_hook),  // 34
    FN(numstack_trim),  // 35
    FN(pure_attributes),  // 36
    FN(MakeSmall_checked),  // 37
    FN(lv_get_globref_checked),  // 38
    GUARDED(lv_action),  // 39
    FN(single_attribute),  // 40
    FN(LargeArity_checked),  // 41
    FN(TermToPointer_checked),  // 42
    FN(lv_decode_dbref),  // 43
    END,
  },
};

namespace {

const lv_dispatch dispatch = {&lv_c_interface.header, &lv_support.header, {0, 0}};

}  // namespace

extern "C" __attribute__((visibility("default"))) const lv_dispatch* LV_get_dispatch_40900(void*) {
  return &dispatch;
}
