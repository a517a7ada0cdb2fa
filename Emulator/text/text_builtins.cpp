// The table of the reader's, the writer's and the text built-ins.
#include "core/builtins.h"
#include "text/atom_text_builtins.h"
#include "text/list_builtins.h"
#include "text/sort_builtins.h"
#include "text/tokenizer_builtins.h"
#include "text/writer_builtins.h"

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$read_token", prolog_read_token, 6),
    LV_BUILTIN("$add_char_conversion", prolog_add_char_conversion, 2),
    LV_BUILTIN("$write", prolog_write, 3),
    LV_BUILTIN("$display_nonvar", prolog_display_nonvar, 2),
    LV_BUILTIN("$term_heap_offset", prolog_term_heap_offset, 2),
    LV_BUILTIN("$format_print_integer_or_fail", prolog_format_print_integer_or_fail, 4),
    LV_BUILTIN("$format_print_float", prolog_format_print_float, 4),
    LV_BUILTIN("$format_printf_float", prolog_format_printf_float, 4),
    LV_BUILTIN("$atom_codes", prolog_atom_codes, 2),
    LV_BUILTIN("$atom_elems", prolog_atom_elems, 3),
    LV_BUILTIN("$number_elems", prolog_number_elems, 3),
    LV_BUILTIN("$number_from_elems", prolog_number_from_elems, 4),
    LV_BUILTIN("$text_list_valid", prolog_text_list_valid, 2),
    LV_BUILTIN("$atom_length", prolog_atom_length, 3),
    LV_BUILTIN("$atom_concat", prolog_atom_concat, 3),
    LV_BUILTIN("$sub_atom", prolog_sub_atom, 5),
    LV_BUILTIN("$char_code", prolog_char_code, 4),
    LV_BUILTIN("$sort", prolog_sort, 2),
    LV_BUILTIN("$keysort", prolog_keysort, 2),
    LV_BUILTIN("$keyclumped", prolog_keyclumped, 2),
    LV_BUILTIN("$list_info", prolog_list_info, 3),
};

}  // namespace

lv_builtin_table lv_reader_builtins() { return {records, sizeof records / sizeof records[0]}; }
