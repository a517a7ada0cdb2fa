// Type tests, comparisons and the inline term built-ins for native code.
// Each first hands over to the emulator when H has reached the heap soft
// limit, then works on dereferenced arguments.
#include "jit/glue_layout.h"
#include "jit/glue_macros.inc"

        .text

// ---- Type tests ------------------------------------------------------------
// Term in rax; the answer in the zero flag: clear = true.

.macro TYPE_TEST
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover
        DEREF rax, r10
.endm

GLUE_LABEL lv_glue_true
        ZF_CLEAR
        ret
GLUE_LABEL lv_glue_false
        ZF_SET
        ret

// r10 := the primary tag of rax; r11 := the structure's first word, for a
// structure.
.macro TAG_AND_HEADER
        mov r10d, eax
        and r10d, 3
        cmp r10d, 1
        jne .Lno_header\@
        mov r11, [rax - 1]
.Lno_header\@:
.endm

GLUE_FUNC native_var
        TYPE_TEST
        test rax, 3
        jz lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_nonvar
        TYPE_TEST
        test rax, 3
        ret

GLUE_FUNC native_atom
        TYPE_TEST
        mov r10d, eax
        and r10d, 7
        cmp r10d, 7
        je lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_atomic
        TYPE_TEST
        TAG_AND_HEADER
        cmp r10d, 3
        je lv_glue_true
        cmp r10d, 1
        jne lv_glue_false
        test r11, r11
        js lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_float
        TYPE_TEST
        TAG_AND_HEADER
        cmp r10d, 1
        jne lv_glue_false
        test r11, r11
        jns lv_glue_false
        test r11, 8
        jnz lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_integer
        TYPE_TEST
        mov r10d, eax
        and r10d, 7
        cmp r10d, 3
        je lv_glue_true
        TAG_AND_HEADER
        cmp r10d, 1
        jne lv_glue_false
        test r11, r11
        jns lv_glue_false
        test r11, 8
        jz lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_number
        TYPE_TEST
        mov r10d, eax
        and r10d, 7
        cmp r10d, 3
        je lv_glue_true
        TAG_AND_HEADER
        cmp r10d, 1
        jne lv_glue_false
        test r11, r11
        js lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_simple
        TYPE_TEST
        TAG_AND_HEADER
        test r10d, r10d
        jz lv_glue_true
        cmp r10d, 3
        je lv_glue_true
        cmp r10d, 1
        jne lv_glue_false
        test r11, r11
        js lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_compound
        TYPE_TEST
        TAG_AND_HEADER
        cmp r10d, 2
        je lv_glue_true
        cmp r10d, 1
        jne lv_glue_false
        test r11, r11
        jns lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_callable
        TYPE_TEST
        TAG_AND_HEADER
        cmp r10d, 2
        je lv_glue_true
        cmp r10d, 1
        je 1f
        mov r10d, eax
        and r10d, 7
        cmp r10d, 7
        je lv_glue_true
        jmp lv_glue_false
1:      test r11, r11
        jns lv_glue_true
        jmp lv_glue_false

GLUE_FUNC native_ground
        TYPE_TEST
        TAG_AND_HEADER
        test r10d, r10d
        jz lv_glue_false
        cmp r10d, 3
        je lv_glue_true
        cmp r10d, 1
        jne 1f
        test r11, r11
        js lv_glue_true
1:      SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        C_CALL lv_native_ground
        LOAD_STATE
        LOAD_X
        test eax, eax
        jnz lv_glue_true
        jmp lv_glue_false

// A structure with the functor word in r11 (r10, r11 changed).
.macro FUNCTOR_TEST functor
        TYPE_TEST
        mov r10d, eax
        and r10d, 3
        cmp r10d, 1
        jne lv_glue_false
        movabs r11, \functor
        cmp [rax - 1], r11
        je lv_glue_true
        jmp lv_glue_false
.endm

GLUE_FUNC native_mutable
        FUNCTOR_TEST FUNCTOR_MUTABLE_2

GLUE_FUNC native_db_reference
        FUNCTOR_TEST FUNCTOR_REF_2

// ---- Comparisons -----------------------------------------------------------

// The standard order of rax and r10 in the flags of a signed comparison of
// the first with the second: equal words, two unbound variables (by
// address) and two small integers here, everything else in C.
GLUE_FUNC native_compareop
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover16
        // fall through
GLUE_LABEL lv_glue_compare_terms
        DEREF rax, r11
        DEREF r10, r11
        cmp rax, r10
        je 9f
        mov r11, rax
        or r11, r10
        test r11, 3
        jz 8f
        mov r11d, eax
        and r11d, 7
        cmp r11d, 3
        jne 1f
        mov r11d, r10d
        and r11d, 7
        cmp r11d, 3
        jne 1f
8:      cmp rax, r10
9:      ret
1:      SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        mov r8, r10
        C_CALL lv_native_compare
        LOAD_STATE
        LOAD_X
        cmp eax, 0
        ret

// The arithmetic comparison of the numbers in ac0 and ac1, in the flags of
// a signed comparison of ac0 with ac1; an error (a non-finite float) fails
// into the handler.
GLUE_FUNC native_compare_numbers
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, [rsp + 8 + FRAME_AC0]
        mov r8, [rsp + 8 + FRAME_AC1]
        C_CALL lv_native_arith_compare
        LOAD_STATE
        LOAD_X
        cmp eax, 0x80000000
        je lv_glue_fail_pop
        cmp eax, 1
        ret

// The zero flag set when ac0 /\ ac1 is 0.
GLUE_FUNC native_test_numbers
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, [rsp + 8 + FRAME_AC0]
        mov r8, [rsp + 8 + FRAME_AC1]
        C_CALL lv_native_arith_and
        LOAD_STATE
        LOAD_X
        test rax, rax
        jz lv_glue_fail_pop
        cmp rax, 3
        ret

// ---- Inline built-ins --------------------------------------------------------
// Arguments in rax, r10 and r11 in the built-in's order; P is the emulator
// code after the built-in. The C twin gets them with P and E and answers
// the code to continue at: P goes on natively, 0 fails, anything else is
// run by the emulator (status 1).

.macro INLINE_TWIN fn
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        mov r8, r10
        mov r9, r11
        C_CALL \fn
        LOAD_STATE
        LOAD_X
        jmp lv_glue_inline_result
.endm

GLUE_LABEL lv_glue_inline_result
        cmp rax, [rbx + W_P]
        jne 1f
        ret
1:      test rax, rax
        jz lv_glue_fail_pop
        mov [rbx + W_P], rax
        jmp lv_glue_handover

// arg(N, T, A): with N a small integer within the arity of the structure
// T, A is unified with the argument here.
GLUE_FUNC native_arg
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover16
        push rdx
        DEREF rax, rdx
        DEREF r10, rdx
        mov edx, eax
        and edx, 7
        cmp edx, 3
        jne 1f
        mov edx, r10d
        and edx, 3
        cmp edx, 1
        jne 1f
        mov rdx, [r10 - 1]
        test rdx, rdx
        js 1f
        shr rdx, 55
        and edx, 0x1FF
        sar rax, 3
        cmp rax, 1
        jl 2f
        cmp rax, rdx
        jg 2f
        mov rax, [r10 - 1 + rax * 8]
        mov r10, r11
        pop rdx
        jmp native_get_value
2:      shl rax, 3
        or rax, 3
1:      pop rdx
        INLINE_TWIN lv_native_inline_arg

// compare(Order, A, B) with Order unbound: Order is bound to <, = or >
// here.
GLUE_FUNC native_compare
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover16
        push rdx
        DEREF rax, rdx
        pop rdx
        test rax, 3
        jnz 1f
        push rax
        mov rax, r10
        mov r10, r11
        call lv_glue_compare_terms
        pop rax
        mov r10d, ATOM_EQUAL
        mov r11d, ATOM_LESS
        cmovl r10, r11
        mov r11d, ATOM_GREATER
        cmovg r10, r11
        mov [rax], r10
        jmp native_bind
1:      INLINE_TWIN lv_native_inline_compare

GLUE_FUNC native_functor
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover16
        INLINE_TWIN lv_native_inline_functor

GLUE_FUNC native_append
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover16
        INLINE_TWIN lv_native_inline_append

GLUE_FUNC native_length
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover12
        INLINE_TWIN lv_native_inline_length

GLUE_FUNC native_univ
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover12
        INLINE_TWIN lv_native_inline_univ

GLUE_FUNC native_create_mutable
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover12
        INLINE_TWIN lv_native_inline_create_mutable

// get_mutable(V, M): with M a mutable, V is unified with its value here.
GLUE_FUNC native_get_mutable
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover12
        DEREF r10, r11
        mov r11d, r10d
        and r11d, 3
        cmp r11d, 1
        jne 1f
        movabs r11, FUNCTOR_MUTABLE_2
        cmp [r10 - 1], r11
        jne 1f
        mov r10, [r10 + 7]
        jmp native_get_value
1:      INLINE_TWIN lv_native_inline_get_mutable

GLUE_FUNC native_update_mutable
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover12
        INLINE_TWIN lv_native_inline_update_mutable

        .section .note.GNU-stack, "", @progbits
