// Arithmetic for native code: loading operands into the frame's slots ac0
// and ac1, boxing on the number stack, the integer operations with an
// overflow or special case, storing results, and the call-outs to the
// emulator's evaluable functions.
//
// The zero flag tells what a slot holds: clear = an untagged 64-bit
// integer, set = a tagged term (a float or an integer box). An operation
// whose result would leave 64 bits takes the boxed path: both slots are
// boxed and the zero flag set, and compiled code then calls the matching
// call-out.
#include "jit/glue_layout.h"
#include "jit/glue_macros.inc"

#define AC0 [rsp+8+FRAME_AC0]
#define AC1 [rsp+8+FRAME_AC1]

        .text

// ---- Boxes on the number stack ---------------------------------------------

// rax := the box {r11, r10} pushed on the number stack (tagged); r10 and
// r11 are kept.
GLUE_LABEL lv_glue_box
1:      mov rax, [rbx + W_NUMSTACK_TOP]
        add rax, 16
        cmp rax, [rbx + W_NUMSTACK_CHUNK]
        ja 2f
        mov [rbx + W_NUMSTACK_TOP], rax
        mov [rax - 16], r11
        mov [rax - 8], r10
        sub rax, 15
        ret
2:      push r10
        push r11
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        C_CALL lv_native_numstack_overflow
        LOAD_STATE
        LOAD_X
        pop r11
        pop r10
        jmp 1b

// Both slots as 64-bit integer boxes, the zero flag set; entered by jump
// from a routine entered by call.
GLUE_LABEL lv_glue_boxed_path
        mov r10, AC0
        mov r11, BOX_INT1
        call lv_glue_box
        mov AC0, rax
        mov r10, AC1
        call lv_glue_box
        mov AC1, rax
        ZF_SET
        ret

// ---- Loading operands ----------------------------------------------------

// The number in rax (dereferenced) into the slot: a small integer or a
// 64-bit integer box untagged, any other number tagged; anything else is
// left to the emulator.
.macro LOAD_NUMBER slot
        mov r10d, eax
        and r10d, 7
        cmp r10d, 3
        jne 1f
        sar rax, 3
        mov \slot, rax
        ZF_CLEAR
        ret
1:      and r10d, 3
        cmp r10d, 1
        jne lv_glue_handover
        mov r10, [rax - 1]
        test r10, r10
        jns lv_glue_handover
        cmp r10, BOX_INT1
        jne 2f
        mov rax, [rax + 7]
        mov \slot, rax
        ZF_CLEAR
        ret
2:      mov \slot, rax
.endm

GLUE_FUNC native_first_value
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover
        DEREF rax, r10
        LOAD_NUMBER AC0
        ZF_SET
        ret

// The same into ac1; a tagged second operand boxes the untagged integer in
// ac0 too.
GLUE_FUNC native_later_value_unboxed
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover
        DEREF rax, r10
        LOAD_NUMBER AC1
        mov r10, AC0
        mov r11, BOX_INT1
        call lv_glue_box
        mov AC0, rax
        ZF_SET
        ret

// The second operand when the first is tagged: a small integer as a 64-bit
// integer box, a number box as it is.
GLUE_FUNC native_later_value_boxed
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover
        DEREF rax, r10
        mov r10d, eax
        and r10d, 7
        cmp r10d, 3
        jne 1f
        mov r10, rax
        sar r10, 3
        mov r11, BOX_INT1
        call lv_glue_box
        mov AC1, rax
        ZF_SET
        ret
1:      and r10d, 3
        cmp r10d, 1
        jne lv_glue_handover
        cmp qword ptr [rax - 1], 0
        jge lv_glue_handover
        mov AC1, rax
        ZF_SET
        ret

// The untagged integer of a slot as a float box, or as a 64-bit integer box.
.macro TO_FLOAT slot
        cvtsi2sd xmm0, qword ptr \slot
        movq r10, xmm0
        mov r11, BOX_FLOAT
        call lv_glue_box
        mov \slot, rax
        ZF_SET
        ret
.endm
.macro TO_LONG slot
        mov r10, \slot
        mov r11, BOX_INT1
        call lv_glue_box
        mov \slot, rax
        ZF_SET
        ret
.endm

GLUE_FUNC native_first_float
        TO_FLOAT AC0
GLUE_FUNC native_later_float
        TO_FLOAT AC1
GLUE_FUNC native_first_long
        TO_LONG AC0
GLUE_FUNC native_later_long
        TO_LONG AC1

// ---- Integer operations on untagged slots ---------------------------------

// ac0 := the index of its highest set bit; not for 0 or a negative value.
GLUE_FUNC native_msb_unboxed
        mov rax, AC0
        test rax, rax
        jle lv_glue_boxed_path
        bsr rax, rax
        mov AC0, rax
        ZF_CLEAR
        ret

// ac0 := gcd(|ac0|, |ac1|); -2^63 has no 64-bit absolute value.
GLUE_FUNC native_gcd_unboxed
        mov rax, AC0
        mov r10, AC1
        movabs r11, 0x8000000000000000
        cmp rax, r11
        je lv_glue_boxed_path
        cmp r10, r11
        je lv_glue_boxed_path
        mov r11, rax
        neg r11
        cmovns rax, r11
        mov r11, r10
        neg r11
        cmovns r10, r11
        push rdx
1:      test r10, r10
        jz 2f
        xor edx, edx
        div r10
        mov rax, r10
        mov r10, rdx
        jmp 1b
2:      pop rdx
        mov AC0, rax
        ZF_CLEAR
        ret

// Shifts of ac0 by the count in ac1; a negative count shifts the other way.
// A right shift saturates its count at 63; a left shift by more than 63, or
// one that loses bits, takes the boxed path.
GLUE_FUNC native_lsh_unboxed
        mov rax, AC0
        mov r10, AC1
        test r10, r10
        jg lv_glue_shift_left
        neg r10
        jmp lv_glue_shift_right

GLUE_FUNC native_rsh_unboxed
        mov rax, AC0
        mov r10, AC1
        test r10, r10
        jns lv_glue_shift_right
        neg r10
        js lv_glue_boxed_path
        // fall through

// rax shifted left by the count r10 > 0.
GLUE_LABEL lv_glue_shift_left
        cmp r10, 63
        ja lv_glue_boxed_path
        push rcx
        mov ecx, r10d
        mov r11, rax
        shl r11, cl
        mov r10, r11
        sar r10, cl
        pop rcx
        cmp r10, rax
        jne lv_glue_boxed_path
        mov AC0, r11
        ZF_CLEAR
        ret

// rax shifted right by the count r10, taken as unsigned.
GLUE_LABEL lv_glue_shift_right
        cmp r10, 63
        jbe 1f
        mov r10d, 63
1:      push rcx
        mov ecx, r10d
        sar rax, cl
        pop rcx
        mov AC0, rax
        ZF_CLEAR
        ret

// The divisions of ac0 by ac1: by 0 the boxed path (whose call-out raises
// the error); by -1 a negation (the boxed path for -2^63), and 0 for the
// remainder and the modulus.
.macro DIVISOR_CASES minus_one
        mov r10, AC1
        test r10, r10
        jz lv_glue_boxed_path
        mov rax, AC0
        cmp r10, -1
        je \minus_one
.endm

GLUE_LABEL lv_glue_negate
        neg rax
        jo lv_glue_boxed_path
        mov AC0, rax
        ZF_CLEAR
        ret
GLUE_LABEL lv_glue_zero
        mov qword ptr AC0, 0
        ZF_CLEAR
        ret

// Truncating division.
GLUE_FUNC native_idivide_unboxed
        DIVISOR_CASES lv_glue_negate
        push rdx
        cqo
        idiv r10
        pop rdx
        mov AC0, rax
        ZF_CLEAR
        ret

// Flooring division.
GLUE_FUNC native_fdivide_unboxed
        DIVISOR_CASES lv_glue_negate
        push rdx
        cqo
        idiv r10
        test rdx, rdx
        jz 1f
        xor rdx, r10
        jns 1f
        dec rax
1:      pop rdx
        mov AC0, rax
        ZF_CLEAR
        ret

// The remainder, with the sign of the dividend.
GLUE_FUNC native_remainder_unboxed
        DIVISOR_CASES lv_glue_zero
        push rdx
        cqo
        idiv r10
        mov rax, rdx
        pop rdx
        mov AC0, rax
        ZF_CLEAR
        ret

// The modulus, with the sign of the divisor.
GLUE_FUNC native_modulus_unboxed
        DIVISOR_CASES lv_glue_zero
        push rdx
        cqo
        idiv r10
        mov rax, rdx
        pop rdx
        test rax, rax
        jz 1f
        mov r11, rax
        xor r11, r10
        jns 1f
        add rax, r10
1:      mov AC0, rax
        ZF_CLEAR
        ret

// The integer power is always left to its call-out.
GLUE_FUNC native_ipower2_unboxed
        jmp lv_glue_boxed_path

// ---- Storing the result ----------------------------------------------------

// rax := the result in ac0 as a heap term (a small integer, or a box copied
// to the heap); a heap too full for it is left to the emulator.
GLUE_FUNC native_store_variable_unboxed
        mov rax, AC0
        mov r10, rax
        shl r10, 3
        mov r11, r10
        sar r11, 3
        cmp r11, rax
        jne 1f
        lea rax, [r10 + 3]
        ret
1:      xor r10d, r10d
        jmp lv_glue_store_variable

GLUE_FUNC native_store_variable_boxed
        mov rax, AC0
        mov r10d, 1
        // fall through
// rax: the result; r10: 1 when it is tagged.
GLUE_LABEL lv_glue_store_variable
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        mov r8, r10
        C_CALL lv_native_store_variable
        LOAD_STATE
        LOAD_X
        test rax, rax
        jz lv_glue_handover
        ret

// Unifies the term in rax with the result in ac0; a mismatch fails.
GLUE_FUNC native_store_value_unboxed
        DEREF rax, r10
        mov r10d, eax
        and r10d, 7
        cmp r10d, 3
        jne 1f
        sar rax, 3
        cmp rax, AC0
        jne lv_glue_fail_pop
        ret
1:      mov r10, AC0
        xor r11d, r11d
        jmp lv_glue_store_value

GLUE_FUNC native_store_value_boxed
        mov r10, AC0
        mov r11d, 1
        // fall through
// rax: the term; r10: the result; r11: 1 when it is tagged.
GLUE_LABEL lv_glue_store_value
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        mov r8, r10
        mov r9, r11
        C_CALL lv_native_store_value
        LOAD_STATE
        LOAD_X
        test eax, eax
        jz lv_glue_fail_pop
        js lv_glue_handover
        ret

// ---- Call-outs to the evaluable functions ----------------------------------

// r10: the evaluator's index. ac0 (and ac1) hold tagged numbers; the result
// comes back in ac0: a small integer or a 64-bit integer box untagged (zero
// flag clear), a float or a big integer tagged (zero flag set). An error
// (pending for the emulator) fails.
GLUE_LABEL lv_glue_callout
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov edx, r10d
        mov r8, AC0
        mov r9, AC1
        C_CALL lv_native_evaluate
        LOAD_STATE
        LOAD_X
        mov AC0, rax
        test rax, rax
        jz lv_glue_fail_pop
        mov r10d, eax
        and r10d, 7
        cmp r10d, 3
        jne 1f
        sar rax, 3
        mov AC0, rax
        ZF_CLEAR
        ret
1:      and r10d, 3
        cmp r10d, 1
        jne 2f
        cmp qword ptr [rax - 1], BOX_INT1
        jne 2f
        mov rax, [rax + 7]
        mov AC0, rax
        ZF_CLEAR
        ret
2:      ZF_SET
        ret

.macro CALLOUT index, name
GLUE_FUNC \name
        mov r10d, \index
        jmp lv_glue_callout
.endm

#define LV_CALLOUT(index, name, evaluator, operands) CALLOUT index, name
#include "jit/glue_callouts.def"
#undef LV_CALLOUT

        .section .note.GNU-stack, "", @progbits
