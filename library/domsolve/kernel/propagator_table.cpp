// The propagator table. Each row's function is the C function of the
// foreign predicate of the same constraint (foreign_predicates.def); one not
// written yet raises "not implemented" when it runs.
#include "kernel/propagator_table.h"

#include "kernel/foreign_predicates.h"

const fd_propagator_row fd_propagator_table[FD_PROPAGATOR_COUNT + 1] = {
    {"ax=y", 3, fd_int_times},                        // $fd_int_times
    {"abs(x)=y", 2, fd_abs},                          // $fd_abs
    {"x*x=y", 2, fd_square},                          // $fd_square
    {"x*y=z", 3, fd_product},                         // $fd_product
    {"x^y=z", 3, fd_power},                           // $fd_power
    {"x/\\y=z", 3, fd_and},                           // $fd_and
    {"x\\/y=z", 3, fd_or},                            // $fd_or
    {"x\\y=z", 3, fd_xor},                            // $fd_xor
    {"x/y=z", 3, fd_quotient},                        // $fd_quotient
    {"x div y=z", 3, fd_divide},                      // $fd_divide
    {"x mod y=z", 3, fd_modulo},                      // $fd_modulo
    {"x rem y=z", 3, fd_remainder},                   // $fd_remainder
    {"scalar_product_reif", 5, fd_linear_reif},       // $fd_linear_reif
    {"gcd_aux", 3, fd_gcd_aux},                       // $fd_gcd_aux
    {"all_different", 1, all_different},              // $fd_all_different
    {"all_distinct", 1, all_distinct},                // $fd_all_distinct
    {"bc_alldiff", 1, bc_alldiff},                    // $fd_bc_alldiff
    {"bc_alldiff_lia", 1, bc_alldiff_lia},            // $fd_bc_alldiff_lia
    {"atleast_le", 5, atleast_le},                    // $fd_atleast_le
    {"pairing", 2, pairing},                          // $fd_pairing
    {"sorting", 3, sorting},                          // $fd_sorting
    {"keysorting", 3, keysorting},                    // $fd_keysorting
    {"element", 3, element},                          // $fd_element
    {"element", 2, element_member},                   // $fd_member
    {"cumulative", 2, cumulative},                    // $fd_cumulative
    {"ttef_cumulative", 2, ttef_cumulative},          // $fd_ttef_cumulative
    {"multi_cumulative", 3, multi_cumulative},        // $fd_multi_cumulative
    {"bin_packing", 2, bin_packing},                  // $fd_bin_packing
    {"compact_table", 2, compact_table},              // $fd_compact_table
    {"diffn", 2, diffn},                              // $fd_diffn
    {"cumulatives", 3, cumulatives},                  // $fd_cumulatives
    {"global_cardinality", 3, global_cardinality},    // $fd_gcc
    {"global_cardinality_helper", 2, global_cardinality_helper},// $fd_gcc_helper
    {"local_cardinality", 0, local_cardinality},      // $fd_lcc
    {"lex_chain", 2, lex_chain},                      // $fd_lex_chain
    {"minimum", 2, minimum},                          // $fd_minmax
    {"maximum", 2, minimum},                          // $fd_minmax
    {"nvalue", 2, nvalue},                            // $fd_nvalue
    {"geost", 4, geost},                              // $fd_geost
    {"mddi", 4, mddi},                                // $fd_mddi
    {"bool_and", 2, bool_or},                         // $fd_bool_or
    {"bool_or", 2, bool_or},                          // $fd_bool_or
    {"bool_xor", 2, bool_xor},                        // $fd_bool_xor
    {"bool_channel", 4, bool_channel},                // $fd_bool_channel
    {"ac3element", 2, ac3element},                    // $fd_ac3element
    {"ac3intervals", 2, ac3intervals},                // $fd_ac3intervals
    {"value_precede_chain", 3, value_precede_chain},  // $fd_value_precede_chain
    {"minimum_arg", 2, minimum_arg},                  // $fd_minimum_arg
    {"maximum_arg", 2, maximum_arg},                  // $fd_maximum_arg
    {"all_equal_reif", 2, all_equal_reif},            // $fd_all_equal_reif
    {"if_then_else", 4, if_then_else},                // $fd_if_then_else
    {nullptr, 0, nullptr},
};
