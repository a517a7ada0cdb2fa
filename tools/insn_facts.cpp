// Writes the instruction set as Prolog facts for the Prolog-level compiler:
//   instruction(Number, Name, Format, FlowClass).
//   format_operands(Format, Letters).
//   call_kind(Number, Name).
//   heap_reserve(Cells): the free heap cells every call checks for.
//   local_reserve(Cells): the free local-stack cells every call keeps, which
//     an environment frame must fit.
// Usage: insn_facts OUTPUT-FILE
#include <cstdio>

#include "core/worker.h"
#include "machine/instructions.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s output-file\n", argv[0]);
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "%% Generated from the runtime's instruction table; do not edit.\n\n");
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++)
    std::fprintf(out, "instruction(%u, '%s', %d, %d).\n", n, lv_instruction_name_table[n], lv_instruction_format_table[n],
                 lv_instruction_class_table[n]);
  std::fprintf(out, "\n");
  for (uint32_t f = 0; f < LV_FORMAT_COUNT; f++)
    if (lv_format_operands[f] != nullptr) std::fprintf(out, "format_operands(%u, '%s').\n", f, lv_format_operands[f]);
  std::fprintf(out, "\n");
  for (uint32_t k = 0; k < LV_CALL_KIND_COUNT; k++) std::fprintf(out, "call_kind(%u, '%s').\n", k, lv_call_kind_name_table[k]);
  std::fprintf(out, "\nheap_reserve(%lld).\n", static_cast<long long>(LV_HEAP_RESERVE_CELLS));
  std::fprintf(out, "local_reserve(%lld).\n", static_cast<long long>(LV_LOCAL_RESERVE_CELLS));
  return std::fclose(out) == 0 ? 0 : 1;
}
