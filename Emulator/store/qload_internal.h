// The quick-load reader's state while one term is read, shared by the item
// reader (qload.cpp), the code-token reader and block checks
// (qload_code.cpp) and the register table (qload_registers.cpp).
#pragma once

#include <cstdint>

#include "core/term.h"
#include "core/termrefs.h"
#include "core/worker.h"
#include "store/code_block.h"
#include "streams/stream.h"

// How each code word of the block being read was written.
enum : uint8_t {
  QL_WORD = 0,      // a 32-bit token (digits, 'O', 'X', 'Y'), or never written
  QL_PAD = 1,       // a zero word the reader wrote (Q alignment, 64-bit alignment, box padding)
  QL_RAW = 2,       // '+': a 64-bit integer (also a fix-up link until patched)
  QL_ADDRESS = 3,   // 'R': an address inside the block
  QL_FAIL = 4,      // 'e' or 'f': a shared fail code
  QL_CONSTANT = 5,  // patched by 'M' with a register's word
  QL_PRED = 6,      // patched by 'N' with a predicate record
  QL_BOX = 7,       // an inline box ('F' or 'L')
  QL_HEADER = 8,    // an internal entry header ('T' form 1)
  QL_RECORD = 9,    // an inline try record ('T' form 0)
  QL_HIGH = 10,     // a later word of a 64-bit value, box, header or record
  QL_KIND = 0x7F,
  QL_CODE_POINT = 0x80,  // set by the block check on instruction starts
};

struct ql_reader {
  lv_worker* w;
  lv_stream* stream;
  lv_term source;
  int live;
  uint64_t offset;  // bytes of the stream read so far
  uint64_t at;      // offset of the item or token being read
  lv_term* h0;      // the heap top when the term began
  bool started;     // an item that builds something has been read

  // The current block, its code words and how each was written.
  lv_code_block* block;
  uint32_t* code;
  uint64_t words;
  uint8_t* tags;
  uint64_t insn;    // word index of the instruction of the last 'O' token
  bool have_insn;

  // Blocks made for this term: freed when the read fails.
  lv_code_block** made;
  uint64_t made_count;
  uint64_t made_capacity;

  // A text operand, NUL-terminated.
  char* text;
  uint64_t text_length;
  uint64_t text_capacity;

  // Scratch of the heap check: one class per heap cell.
  uint8_t* classes;
  uint64_t classes_capacity;
};

// Records a fault: "<what> (<file>, offset <at>)". Returns false.
bool ql_fail(ql_reader& r, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The next byte: 0-255, or -1 at the end of the stream (a read error is a
// fault and also gives -1, with *error set).
int ql_byte(ql_reader& r, bool* error);

// Operands. what names the item or token in messages.
bool ql_number(ql_reader& r, int64_t* value, const char* what);
bool ql_text(ql_reader& r, uint64_t limit, const char* what);

// Texts longer than this are refused; digit strings longer than
// QL_MAX_DIGITS too (converting them would take too long).
constexpr uint64_t QL_MAX_TEXT = uint64_t{1} << 20;
constexpr uint64_t QL_MAX_DIGITS = 100000;
constexpr uint64_t QL_MAX_FLOAT_TEXT = 128;

// Checks that a text is a decimal integer (an optional '-', then digits).
bool ql_integer_text(const char* text, uint64_t length);
// Checks and converts float text: finite, not negative zero.
bool ql_float_text(ql_reader& r, double* value);

// Registers: the slot of an index, grown as needed (null and a fault when the
// index is out of bounds or no table is installed).
lv_termref_slot* ql_register(ql_reader& r, int64_t index);
// Clears every register that holds a heap word.
void ql_clear_heap_registers();
// Calls f on every register slot that holds a heap word.
void ql_for_each_heap_register(void (*f)(lv_termref_slot* slot, void* arg), void* arg);
// The spare slot that keeps the term's first heap cell alive while the
// stacks are moved or collected.
lv_termref_slot* ql_anchor_slot();
// Clears the complete mark of the present table (a new term was read).
void ql_clear_complete();

// The code tokens of a 'K' item, after its block has been made; then the
// structure check of the block.
bool ql_read_code(ql_reader& r);
// The check of a block that stops being current: operands, fix-ups and the
// targets of addresses.
bool ql_finish_block(ql_reader& r);
// The 'M' and 'N' items.
bool ql_fixup(ql_reader& r, int64_t offset, uint64_t value, uint8_t tag);
