// The quick-load reader: precompiled clauses and directives read from a byte
// stream of items into a register table, terms built on the heap and code
// blocks built in memory, without a compiler.
//
// A file is a sequence of items: one code byte, then operands. Numbers are
// decimal ASCII digits with an optional leading '-', ended by a NUL byte;
// strings are NUL-terminated bytes. Registers are signed indices into the
// register table.
//
//   0            nothing
//   64  N        ensure N free heap words (run heap overflow handling)
//   'A' R text   R := the atom of the text
//   'B' R S n    R := the functor word of the atom in S with arity n (0-255)
//   'C' R v      R := the small integer v
//   'D' R digits R := the integer (a big integer is built on the heap)
//   'E' R text   R := a float box pushed on the heap
//   'F' R        R := a new unbound variable: one heap cell
//   'G' R        R := []
//   'H' R        R := a list pointer to the next heap cell
//   'I' R        R := a structure pointer to the next heap cell
//   'J' R        push the word in R on the heap
//   'K' R size 4 a code block of 48 + 2 x size bytes, its code tokens
//                following (see qload_code.cpp); R := the block reference
//   'L' R        end of a term: the term is the word in R
//   'M' R off    fix-up chain in the current block, first link at code
//                start + 2 x off: each link holds the offset of the next
//                (0 ends) and is overwritten with the word in R
//   'N' R off    as 'M', each link receives the predicate record of the
//                Name/Arity or Module:Name/Arity term in R (type-in module)
//   'd' s1 s2    skipped
//
// Nothing in a file is trusted. Every item is checked as it is read, a term
// is checked to be well formed before it is handed out, and every code
// block is checked instruction by instruction before it is used. A fault
// stops the read with an error that names the file, the byte offset of the
// item or token and what was wrong; the heap is reset to where the read
// began and the blocks made for the term are freed. The rules a writer
// must follow are written beside the code that checks them.
//
// Cut targets are not written in files: the choice instructions make them
// at run time, as the byte offset of a choicepoint from the high end of the
// choice stack, which stays valid when the choice stack moves.
//
// Heap terms live in registers only while their term is being read: at the
// end of every term (and after a fault) every register that holds anything
// but an atomic word is cleared. Atoms, functor words and small integers
// stay for later terms. The register table is a block of global term
// references, so that while a file is read its words are roots of the
// garbage collector, of the stack shifter and of atom collection.
#pragma once

#include <cstdint>

#include "core/term.h"
#include "core/worker.h"
#include "streams/stream.h"

// Reads items until a term is complete (1: the term in *out) or the stream
// ends between terms (0). -1 for a fault: its message is lv_qload_error().
// Blocks made get source as their source key and source (an atomic term).
// live: the argument registers X0..X(live-1) that a heap overflow must keep.
// The heap top is kept in the worker throughout. A fault also when no
// register table has been pushed.
int lv_qload_items(lv_worker* w, lv_stream* stream, lv_term source, lv_term* out, int live);

// The message of the last fault: "<what> (<file>, offset <n>)".
const char* lv_qload_error();

// After a block (a box) has been written at position inside the operand of
// the instruction at instruction: a float box gets NOP 1 after its double
// and 6 is returned. An integer box of one value word whose value fits a
// small integer turns the instruction into its constant form (the tagged
// small integer; the raw integer for the FIRST, LATER and STORE forms) and
// the words left become a NOP with a skip count. The result is the number
// of words reserved for the box: 2 x (1 + value words) for an integer.
int large_insn_offset(uint32_t* position, uint32_t* instruction);

// Looks the goal up in module prolog without creating anything; when it is
// defined in C, copies its arguments to the argument registers and returns
// what the C routine returns; else 0.
int lv_qload_call_directive(lv_worker* w, lv_term goal);

// Opens a quick-load file (binary read), or an embedded resource named by a
// "url:x-lorvika-resource:" path: the stream, or null.
lv_stream* lv_qload_open(const char* path);
// Closes it: 0, or -1 when the stream had to be released after a failed
// close.
int lv_qload_close(lv_stream* stream);

// The register table stack. Push saves the current table and installs a
// fresh one (2048 entries, indices -1024 to 1023; it grows by doubling both
// halves); pop frees the current table and restores the saved one.
void lv_qload_push_registers();
void lv_qload_pop_registers();
// Whether a table is installed; its present bounds (for tests).
bool lv_qload_have_registers();
void lv_qload_register_bounds(int64_t* low, int64_t* size);
// Whether the file being read (the present register table) has run the
// directive '$ql_complete' as its last term.
bool lv_qload_file_complete();

// What boot loading saw.
struct lv_qload_boot_report {
  uint64_t terms;             // terms read
  uint64_t directives_run;    // C directives that succeeded
  uint64_t failed;            // C directives that failed or raised an error
  uint64_t not_run;           // terms that are not directives of C predicates of prolog
  bool complete;              // the file ended with '$ql_complete'
  bool read_error;            // the file had a fault (lv_qload_error)
};

// Loads one boot file from an open stream: prolog becomes the type-in
// module, a fresh register table is pushed, the heap top is set to the
// newest choicepoint's saved heap top, and every term is run as a directive
// (lv_qload_call_directive) and then discarded from the heap. Directives
// that fail or raise an error, terms that cannot run at boot, a fault and a
// file that does not end with '$ql_complete' are reported on user_error.
// The table is popped and the heap top stored as the choicepoint's saved
// heap top again. 0 when everything ran, else -1; report (when non-null)
// receives the counts.
int lv_qload_boot_stream(lv_worker* w, lv_stream* stream, lv_qload_boot_report* report);

// The companion patch file of a quick-load file: the path with its ".ql"
// replaced by "p.ql" (memory-manager category 1, freed with lv_mem_free at
// its length + 1); null when the path does not end in ".ql".
char* lv_qload_patch_name(const char* path);

// Boot loading of a quick-load file and its companion patch file (when the
// path ends in ".ql" and the patch file opens), then
// the predicates of prolog are copied (lv_copy_module_predicates) and user
// becomes the type-in module. 0 when every file opened, ran completely and
// reported nothing; -1 otherwise (-1 also when the file does not open).
int lv_qload_boot(lv_worker* w, const char* path);

// Built-ins.
int prolog_qread(lv_worker* w);        // $qread(Stream, Source, Term)
int prolog_push_qlinfo(lv_worker* w);  // $push_qlinfo
int prolog_pop_qlinfo(lv_worker* w);   // $pop_qlinfo
int prolog_ql_complete(lv_worker* w);  // $ql_complete: the file being read is complete
