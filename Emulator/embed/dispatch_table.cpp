// The dispatch record and the two tables behind it: the only way into the
// runtime library from outside. One row per slot, in slot order; a slot whose
// function is not part of this build yet, and a retired slot, hold a null
// function under their name.
#include "embed/dispatch_table.h"

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

#define FN(name) lv_api_entry{#name, reinterpret_cast<void*>(&name)}
#define NONE(name) lv_api_entry{#name, nullptr}
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
    FN(LV_load),  // 4
    FN(LV_predicate),  // 5
    FN(LV_pred),  // 6
    FN(LV_new_term_ref),  // 7
    FN(LV_new_term_refs),  // 8
    FN(LV_reset_term_refs),  // 9
    FN(LV_alloc_globrefs),  // 10
    FN(LV_free_globrefs),  // 11
    FN(LV_query),  // 12
    FN(LV_query_cut_fail),  // 13
    FN(LV_open_query),  // 14
    FN(LV_open_query_array),  // 15
    FN(LV_next_solution),  // 16
    FN(LV_cut_query),  // 17
    FN(LV_close_query),  // 18
    FN(LV_event),  // 19
    FN(LV_fopen),  // 20
    FN(lv_ref_term),  // 21
    FN(LV_create_os_stream),  // 22
    FN(LV_get_stream_user_data),  // 23
    FN(LV_get_stream_counts),  // 24
    FN(LV_put_variable),  // 25
    FN(LV_put_term),  // 26
    FN(LV_put_integer),  // 27
    FN(LV_put_float),  // 28
    FN(LV_put_atom),  // 29
    FN(LV_put_string),  // 30
    FN(LV_put_address),  // 31
    FN(LV_put_list_codes),  // 32
    FN(LV_put_number_codes),  // 33
    FN(LV_put_functor),  // 34
    FN(LV_put_list),  // 35
    FN(LV_cons_functor),  // 36
    FN(LV_cons_list),  // 37
    FN(LV_read_from_string),  // 38
    FN(LV_get_integer),  // 39
    FN(LV_get_float),  // 40
    FN(LV_get_atom),  // 41
    FN(LV_get_string),  // 42
    FN(LV_get_address),  // 43
    FN(LV_get_list_codes),  // 44
    FN(LV_get_number_codes),  // 45
    FN(LV_get_functor),  // 46
    FN(LV_get_list),  // 47
    FN(LV_get_arg),  // 48
    FN(LV_term_type),  // 49
    FN(LV_is_variable),  // 50
    FN(LV_is_integer),  // 51
    FN(LV_is_float),  // 52
    FN(LV_is_atom),  // 53
    FN(LV_is_compound),  // 54
    FN(LV_is_list),  // 55
    FN(LV_is_atomic),  // 56
    FN(LV_is_number),  // 57
    FN(LV_atom_from_string),  // 58
    FN(LV_existing_atom_from_string),  // 59
    FN(LV_string_from_atom),  // 60
    FN(LV_unify),  // 61
    FN(LV_compare),  // 62
    FN(LV_exception_term),  // 63
    FN(LV_raise_exception),  // 64
    FN(LV_fail),  // 65
    FN(LV_error_message),  // 66
    FN(LV_get_errno),  // 67
    FN(LV_get_stdin),  // 68
    FN(LV_get_stdout),  // 69
    FN(LV_get_stderr),  // 70
    FN(LV_get_curin),  // 71
    FN(LV_get_curout),  // 72
    FN(LV_set_user_stream_hook),  // 73
    FN(LV_set_user_stream_post_hook),  // 74
    RETIRED(unavailable_api_76),  // 75
    RETIRED(unavailable_api_77),  // 76
    FN(LV_create_stream),  // 77
    FN(lv_get_byte_helper),  // 78
    FN(lv_put_byte_helper),  // 79
    FN(lv_get_code_helper),  // 80
    FN(lv_put_code_helper),  // 81
    FN(LV_printf),  // 82
    FN(LV_fprintf),  // 83
    FN(lv_ttyprintf),  // 84
    FN(LV_put_bytes),  // 85
    FN(LV_put_codes),  // 86
    FN(LV_put_encoded_string),  // 87
    FN(LV_flush_output),  // 88
    FN(LV_fclose),  // 89
    FN(LV_unget_code),  // 90
    FN(LV_unget_byte),  // 91
    FN(LV_signal),  // 92
    FN(lv_raise_signal),  // 93
    FN(LV_define_c_predicate),  // 94
    FN(LV_copy_environ),  // 95
    RETIRED(unavailable_api_97),  // 96
    RETIRED(unavailable_api_98),  // 97
    NONE(LV_write_term),  // 98
    RETIRED(unavailable_api_100),  // 99
    FN(LV_malloc),  // 100
    FN(LV_realloc),  // 101
    FN(LV_free),  // 102
    RETIRED(unavailable_api_104),  // 103
    FN(LV_save_and_raise_error),  // 104
    FN(LV_schedule_async_event),  // 105
    FN(lv_raise_win32_error),  // 106
    FN(LV_atom_length),  // 107
    FN(LV_put_list_n_codes),  // 108
    FN(LV_get_list_n_codes),  // 109
    FN(LV_register_atom),  // 110
    FN(LV_unregister_atom),  // 111
    FN(LV_cons_functor_array),  // 112
    FN(LV_restore),  // 113
    FN(LV_set_current_dir),  // 114
    FN(LV_get_current_dir),  // 115
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
    FN(LV_free_async_event),  // 127
    FN(lv_qload_or_restore),  // 128
    FN(lv_variable_to_string),  // 129
    FN(LV_install_lvti_hook),  // 130
    FN(lv_get_classpath),  // 131
    FN(lv_get_failed_bootpath),  // 132
    FN(lv_prolog_initialized),  // 133
    FN(lv_is_development_system),  // 134
    FN(LV_calloc),  // 135
    FN(LV_strdup),  // 136
    FN(LV_next_stream),  // 137
    FN(LV_select),  // 138
    FN(LV_open_socket_stream),  // 139
    FN(LV_to_os),  // 140
    FN(LV_from_os),  // 141
    FN(LV_wci_code),  // 142
    FN(LV_wci_len),  // 143
    FN(LV_code_wci),  // 144
    RETIRED(unavailable_api_146),  // 145
    FN(LV_mutex_lock),  // 146
    FN(LV_mutex_unlock),  // 147
    FN(LV_mutex_destroy),  // 148
    FN(LV_load_lorvika_run_time),  // 149
    FN(LV_set_multi_lv_state),  // 150
    FN(LV_put_external_object),  // 151
    FN(LV_get_external_object),  // 152
    FN(LV_external_object_default_putter_helper),  // 153
    FN(LV_put_external_object_link),  // 154
    FN(LV_put_weak_external_object_link),  // 155
    FN(LV_register_external_object_type),  // 156
    FN(LV_register_external_object),  // 157
    FN(LV_unlink_external_object),  // 158
    FN(LV_get_external_object_data),  // 159
    FN(LV_get_external_object_type),  // 160
    FN(LV_finalize_external_object),  // 161
    FN(LV_garbage_collect_external_objects),  // 162
    FN(LV_ctrlc_action),  // 163
    FN(LV_ctrlbreak_action),  // 164
    FN(lv_set_corvid_magic),  // 165
    FN(lv_get_corvid_magic),  // 166
    FN(lv_set_corvid_threadservermode),  // 167
    FN(lv_get_corvid_threadservermode),  // 168
    FN(LV_get_integer_bytes),  // 169
    FN(LV_put_integer_bytes),  // 170
    FN(LV_setenv),  // 171
    FN(LV_getenv),  // 172
    FN(LV_expand_file_name),  // 173
    FN(lv_lvio_assert_failure),  // 174
    FN(lv_lvio_debug_break),  // 175
    FN(lv_lvio_error_name),  // 176
    FN(lv_lvio_trace_line),  // 177
    FN(LV_get_encoding),  // 178
    FN(LV_encoding_release),  // 179
    FN(LV_encoding_open),  // 180
    FN(LV_encode_from_codes),  // 181
    FN(LV_encode_to_codes),  // 182
    FN(lv_ttyflush),  // 183
    FN(lv_memory_fault),  // 184
    FN(LV_decode_reserved_exception),  // 185
    FN(LV_install_idle_hook),  // 186
    FN(LV_put_list_n_bytes),  // 187
    FN(LV_get_list_n_bytes),  // 188
    FN(LV_stream_from_string),  // 189
    FN(LV_set_argv),  // 190
    FN(LV_alloc_async_event),  // 191
    FN(LV_system_properties),  // 192
    FN(LV_get_system_property),  // 193
    FN(LV_set_system_property),  // 194
    FN(LV_codes_to_multi_bytes),  // 195
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
    FN(lv_init_ds),  // 7
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
    FN(lv_action),  // 39
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
