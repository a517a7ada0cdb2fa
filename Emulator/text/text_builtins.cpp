// The table of the reader's, the writer's and the text built-ins.
#include "core/builtins.h"
#include "text/sort_builtins.h"
#include "text/tokenizer_builtins.h"

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$read_token", prolog_read_token, 6),
    LV_BUILTIN("$add_char_conversion", prolog_add_char_conversion, 2),
    LV_BUILTIN("$sort", prolog_sort, 2),
    LV_BUILTIN("$keysort", prolog_keysort, 2),
};

}  // namespace

lv_builtin_table lv_reader_builtins() { return {records, sizeof records / sizeof records[0]}; }
