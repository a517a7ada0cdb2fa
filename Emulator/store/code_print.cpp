// Printing code and the trace helpers.
#include "store/code_print.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"
#include "machine/bignum.h"
#include "machine/frames.h"
#include "machine/insn_walk.h"
#include "store/code_walk.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "streams/diagnostics.h"
#include "text/float_text.h"

namespace {

constexpr int DEPTH_LIMIT = 12;
constexpr int LIST_LIMIT = 100;
constexpr size_t LINE_SIZE = 1024;
constexpr uint64_t STEP_LIMIT = uint64_t{1} << 22;

struct text {
  char* buffer;
  size_t size;
  size_t used;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (size == 0 || used + 1 >= size) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer + used, size - used, format, args);
    va_end(args);
    if (n > 0) used = used + static_cast<size_t>(n) < size ? used + static_cast<size_t>(n) : size - 1;
  }
  bool full() const { return size == 0 || used + 1 >= size; }
};

void write_atom(text& out, lv_term atom) {
  if (!lv_atom_live(atom)) {
    out.add("<atom 0x%" PRIx64 ">", atom);
    return;
  }
  const char* s = lv_atom_text(atom);
  if ((lv_atom_writing_class(atom) & (LV_WC_QUOTE | LV_WC_ESCAPES)) == 0) {
    out.add("%s", s);
    return;
  }
  out.add("'");
  for (const char* c = s; *c != '\0' && !out.full(); c++) {
    switch (*c) {
      case '\'': out.add("\\'"); break;
      case '\\': out.add("\\\\"); break;
      case '\n': out.add("\\n"); break;
      case '\t': out.add("\\t"); break;
      default:
        if (static_cast<unsigned char>(*c) < 32)
          out.add("\\x%x\\", static_cast<unsigned>(*c));
        else
          out.add("%c", *c);
    }
  }
  out.add("'");
}

void write_float(text& out, double d) {
  char digits[40];
  lv_float_text(d, digits, sizeof digits);
  out.add("%s", digits);
}

// A box from its header word (value words follow).
void write_box(text& out, const lv_term* box) {
  lv_term header = box[0];
  if (lv_box_is_float(header)) {
    write_float(out, lv_double_from_bits(box[1]));
    return;
  }
  if (lv_box_value_words(header) == 1) {
    out.add("%" PRId64, static_cast<int64_t>(box[1]));
    return;
  }
  char* digits = lv_bignum_to_text(box, 10, 0);
  out.add("%s", digits);
  LV_free(digits);
}

void write_term(text& out, lv_term t, bool follow, int depth) {
  if (out.full()) return;
  if (depth > DEPTH_LIMIT) {
    out.add("...");
    return;
  }
  if (follow) t = lv_deref(t);
  if (lv_is_small(t)) {
    out.add("%" PRId64, lv_small_value(t));
    return;
  }
  if (lv_is_atom(t)) {
    write_atom(out, t);
    return;
  }
  if (!follow) {
    out.add("0x%" PRIx64, t);
    return;
  }
  if (lv_is_ref(t)) {
    out.add("_%" PRIu64, t / 8);
    return;
  }
  if (lv_is_list(t)) {
    out.add("[");
    for (int n = 0;; n++) {
      lv_term* cell = lv_list_cells(t);
      if (n > 0) out.add(",");
      if (n == LIST_LIMIT) {
        out.add("...]");
        return;
      }
      write_term(out, cell[0], true, depth + 1);
      t = lv_deref(cell[1]);
      if (!lv_is_list(t)) break;
    }
    if (t != LV_ATOM_NIL) {
      out.add("|");
      write_term(out, t, true, depth + 1);
    }
    out.add("]");
    return;
  }
  lv_term* cells = lv_struct_cells(t);
  if (lv_is_box_header(cells[0])) {
    write_box(out, cells);
    return;
  }
  write_atom(out, lv_functor_atom(cells[0]));
  out.add("(");
  unsigned arity = lv_functor_arity(cells[0]);
  for (unsigned i = 1; i <= arity && !out.full(); i++) {
    if (i > 1) out.add(",");
    write_term(out, cells[i], true, depth + 1);
  }
  out.add(")");
}

// A constant or functor word read from code.
void code_term(uint64_t word, char* buffer, size_t size) {
  text out = {buffer, size, 0};
  if (size > 0) buffer[0] = '\0';
  if (lv_is_functor_word(word) && lv_functor_arity(word) > 0) {
    write_atom(out, lv_functor_atom(word));
    out.add("/%u", lv_functor_arity(word));
    return;
  }
  write_term(out, word, false, 0);
}

void pred_with_arity(const void* pred, char* buffer, size_t size) { lv_pred_text(pred, true, buffer, size); }

// The source information of a listing, read word by word.
struct source_cursor {
  const uint64_t* words;
  uint64_t count;  // words in the table, its size word included
  uint64_t next;
  bool take(uint64_t* word) {
    if (words == nullptr || next >= count) {
      next++;
      return false;
    }
    *word = words[next++];
    return true;
  }
};

// A variable's name: the text of an atom, any other word as a term.
const char* new_variable_name(void* arg, char* buffer, size_t size) {
  uint64_t word;
  if (!static_cast<source_cursor*>(arg)->take(&word)) return nullptr;
  if (lv_atom_live(word)) return lv_atom_text(word);
  lv_term_text(word, false, buffer, size);
  return buffer;
}

void print_entry_lines(const uint32_t* header, const uint32_t* limit) {
  const auto* h = reinterpret_cast<const lv_internal_entry*>(header);
  int arity = static_cast<int>(h->arity);
  lv_ttyprintf("%p: ENTER_INTERNAL arity=%d\n", static_cast<const void*>(header), arity);
  if (h->first_entry == header + 8) {
    lv_ttyprintf("%p: TRY %p,%d,%d\n", static_cast<const void*>(header), static_cast<const void*>(header + 8), arity, 1);
    return;
  }
  int n = 1;
  for (auto* e = reinterpret_cast<const lv_clause_entry*>(header + 8);
       reinterpret_cast<const uint32_t*>(e + 1) <= limit; e++, n++) {
    lv_ttyprintf("%p: TRY %p,%d,%d\n", static_cast<const void*>(e), static_cast<const void*>(e->code), arity, n);
    if (e->link == nullptr) break;
  }
}

}  // namespace

void lv_term_text(lv_term t, bool follow, char* buffer, size_t size) {
  text out = {buffer, size, 0};
  if (size > 0) buffer[0] = '\0';
  write_term(out, t, follow, 0);
}

void lv_pred_text(const void* pred, bool with_arity, char* buffer, size_t size) {
  text out = {buffer, size, 0};
  if (size > 0) buffer[0] = '\0';
  if (lv_code_is_internal_header(pred)) {
    out.add("%p", pred);
    if (with_arity) out.add("/%u", static_cast<const uint32_t*>(pred)[1]);
    return;
  }
  if (!lv_code_known_pred(pred)) {
    out.add("%p", pred);
    return;
  }
  const auto* p = static_cast<const lv_pred*>(pred);
  if (p->owner_module != nullptr) out.add("%s:", lv_atom_text(p->owner_module->name));
  out.add("%s", lv_atom_text(p->name));
  if (with_arity) out.add("/%d", p->arity);
}

const char* lv_code_piece_name(const void* address) {
  if (address == lv_else_fail_code) return "elsecode";
  if (address == lv_fail_code) return "failcode";
  if (address == lv_switch_code) return "dispatchcode";
  if (address == lv_exit_code) return "exitcode";
  if (address == lv_cutb_code) return "cutexitcode";
  return nullptr;
}

void lv_print_code(const uint32_t* address, const uint64_t* source, int arity) {
  lv_code_block* block = lv_code_block_of(address);
  if (block == nullptr) {
    lv_ttyprintf("%p: stub\n", static_cast<const void*>(address));
    lv_ttyflush();
    return;
  }
  char line[LINE_SIZE];
  source_cursor cursor = {source, source != nullptr ? source[0] / 8 : 0, 1};
  if (source != nullptr) {
    text head = {line, sizeof line, 0};
    head.add("%p: HEAD", static_cast<const void*>(address));
    for (int i = 0; i < arity; i++) {
      uint64_t word = 0;
      head.add(i == 0 ? "(" : ",");
      if (cursor.take(&word)) {
        char arg[256];
        lv_term_text(word, false, arg, sizeof arg);
        head.add("%s", arg);
      }
    }
    if (arity > 0) head.add(")");
    uint64_t head_line = 0;
    if (cursor.take(&head_line) && head_line != LV_ATOM_NIL) {
      char value[64];
      lv_term_text(head_line, false, value, sizeof value);
      head.add(" at line %s", value);
    }
    lv_ttyprintf("%s\n", line);
  }
  lv_insn_print_options options = {code_term, pred_with_arity, lv_code_piece_name, new_variable_name, &cursor};
  const uint32_t* limit = lv_code_block_limit(block);
  const uint32_t* p = address;
  for (uint64_t steps = 0; steps < STEP_LIMIT && p >= lv_code_block_code(block) && p < limit; steps++) {
    if (p[0] == LV_INTERNAL_HEADER_WORD && lv_insn_length_within(p, limit) != 0) {
      print_entry_lines(p, limit);
      p = lv_insn_next(p, nullptr);
      continue;
    }
    lv_decoded_insn d;
    bool valid = lv_insn_decode_within(p, limit, &d);
    const uint32_t* next = lv_insn_print_with(p, limit, line, sizeof line, &options);
    lv_ttyprintf("%s", line);
    if (valid && lv_insn_is_call_site(d.number)) {
      uint64_t call_line;
      if (cursor.take(&call_line) && lv_is_small(call_line)) lv_ttyprintf(" at line %" PRId64, lv_small_value(call_line));
    }
    lv_ttyprintf("\n");
    if (valid && lv_instruction_class_table[d.number] == LV_FLOW_END) break;
    if (next < lv_code_block_code(block) || next >= limit) {
      // A NATIVE_OP leads to code elsewhere.
      block = lv_code_block_of(next);
      if (block == nullptr) break;
      limit = lv_code_block_limit(block);
    }
    p = next;
  }
  lv_ttyflush();
}

void lv_print_functor(lv_term functor, bool newline) {
  char name[256];
  lv_term_text(lv_functor_atom(functor), false, name, sizeof name);
  lv_ttyprintf("%s/%u%s", name, static_cast<unsigned>((functor >> 55) & 0xFF), newline ? "\n" : "");
  if (newline) lv_ttyflush();
}

void lv_print_pred(const void* pred, bool with_arity) {
  char spec[512];
  lv_pred_text(pred, with_arity, spec, sizeof spec);
  lv_ttyprintf("%s", spec);
}

void lv_print_pred_spec_nl(const void* pred) {
  if (pred == nullptr)
    lv_ttyprintf("stub");
  else
    lv_print_pred(pred, true);
  lv_ttyprintf("\n");
  lv_ttyflush();
}

void lv_print_goal(lv_worker* w, const lv_pred* pred) {
  lv_print_pred(pred, false);
  lv_ttyprintf("(");
  // An internal entry header keeps its arity where a record does.
  int arity = lv_code_known_pred(pred) ? pred->arity : 0;
  for (int i = 0; i < arity; i++) {
    if (i > 0) lv_ttyprintf(", ");
    lv_print_register(w, static_cast<uint64_t>(i));
  }
  lv_ttyprintf(")\n");
  lv_ttyflush();
}

void lv_print_register(lv_worker* w, uint64_t n) {
  lv_term t = n < LV_X_REGISTERS ? w->X[n] : lv_x_overflow_register(w, static_cast<int64_t>(n));
  char value[LINE_SIZE];
  lv_term_text(t, true, value, sizeof value);
  lv_ttyprintf("%s", value);
}

void lv_print_permanent(lv_worker* w, uint64_t n) {
  char value[LINE_SIZE];
  lv_term_text(lv_frame_view(w->E)->y[n], true, value, sizeof value);
  lv_ttyprintf("%s", value);
}
