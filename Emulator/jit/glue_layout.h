// The numbers the glue routines (the .S files of this directory) address
// records by: byte offsets into the engine context, the predicate record,
// the alternative record and the native frame, and the constant words they
// compare against. Plain #defines, so that the assembler sources can include
// this file; glue_calls.cpp checks every value against the C++ layouts.
#pragma once

// Engine context (lv_worker), byte offsets.
#define W_P 8
#define W_CALLED_PRED 16
#define W_WAKEUP_COUNT 52
#define W_NEXT_NODE 88
#define W_TERMREF_CAPACITY 112
#define W_TERMREF_TOP 116
#define W_TERMREFS 120
#define W_AREA_START 128
#define W_HEAP_SOFT_LIMIT 152
#define W_LOCAL_BASE 160
#define W_LOCAL_LIMIT 176
#define W_CHOICE_BASE 184
#define W_TRAIL_BASE 200
#define W_NATIVE_SCRATCH 216
#define W_NUMSTACK_TOP 224
#define W_NUMSTACK_CHUNK 232
#define W_SAVED_LOCAL_TOP 256
#define W_HB 264
#define W_B 272
#define W_LOCAL_TOP 280
#define W_H 288
#define W_TR 296
#define W_E 304
#define W_CP 312
#define W_X 320
#define W_FCP 2368

// Choicepoint words (byte offsets from B).
#define CP_ALT 0
#define CP_LOCAL_TOP 8
#define CP_H 16
#define CP_TR 24
#define CP_E 32
#define CP_CP 40
#define CP_ARGS 48

// Predicate record (lv_pred).
#define PRED_KIND 0
#define PRED_CONTINUE 12
#define PRED_DEFINITION 16
#define PRED_STUB 24
#define PRED_JIT_BLOCK 128

// An alternative record, by offset from the alternative word that points at
// its TRY word (the record starts 28 bytes earlier): the next record, the
// alternative's code (a native-operation header for native code), the
// native retry routine, the choicepoint size in bytes.
#define ALT_NEXT (-28)
#define ALT_TARGET (-20)
#define ALT_RETRY (-12)
#define ALT_SIZE (-4)
#define ALT_RECORD_TO_WORD 28

// Native code block: the native code start is the block (rounded down to
// 16) + 32; the C entry lies 14 bytes further; the predicate record's
// address is the word before the code start.
#define BLOCK_CODE_START 32
#define NATIVE_PROLOGUE 14

// The native frame, from its base (rsp while compiled code runs).
#define FRAME_BYTES 96
#define FRAME_AC0 64
#define FRAME_AC1 72
#define FRAME_SCRATCH0 80
#define FRAME_SCRATCH1 88
#define FRAME_HOME 104

// Instruction words of the emulator and call kinds.
#define OP_NATIVE_OP 700
#define OP_FAIL 272
#define OP_TRY 274
#define OP_KONTINUE 674
#define KIND_JITTED 54

// Term words.
#define ATOM_NIL 7
#define ATOM_LESS 0x17
#define ATOM_EQUAL 0x1f
#define ATOM_GREATER 0x27
#define FUNCTOR_DOT_2 0x10000000000000f
#define FUNCTOR_MUTABLE_2 0x1000000000000ef
#define FUNCTOR_REF_2 0x100000000000597
#define BOX_FLOAT (-17)
#define BOX_INT1 (-25)
#define ATTVAR_MARKER (-1)

// Reserves.
#define TRAIL_GAP 4096
#define HEAP_RESERVE_CELLS 1152
#define CLEANUP_CHAIN_SLOT 6

// Exit statuses of native code.
#define EXIT_BACKTRACK 0
#define EXIT_CONTINUE 1
#define EXIT_CALL 2
#define EXIT_EVENTS 3
