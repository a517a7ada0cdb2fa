// Binding, trailing and head unification for native code.
//
// Binding rules (as everywhere in the engine): a local-stack cell (at or
// above H) is trailed when it lies below the local top saved in the newest
// choicepoint; a heap cell after the attributed-variable marker -1 is always
// trailed, counts a wake-up and zeroes the heap soft limit; any other heap
// cell is trailed when it lies below the heap top saved in the newest
// choicepoint. The bind and trail routines return with the zero flag set.
#include "jit/glue_layout.h"
#include "jit/glue_macros.inc"

        .text

// ---- Binding and trailing ------------------------------------------------

// rax: a cell whose new value compiled code has stored.
GLUE_FUNC native_bind
        cmp rax, rsi
        jae 1f
        // fall through: a heap cell
// rax: a heap cell whose new value is stored (the cells of a structure
// being read).
GLUE_LABEL lv_glue_bind_heap
        cmp rax, [rbx + W_AREA_START]
        jbe 2f
        cmp qword ptr [rax - 8], ATTVAR_MARKER
        je 3f
2:      cmp rax, [r8 + CP_H]
        jb lv_glue_trail_rax
        ZF_SET
        ret
1:      cmp rax, [r8 + CP_LOCAL_TOP]
        jb lv_glue_trail_rax
        ZF_SET
        ret
3:      inc dword ptr [rbx + W_WAKEUP_COUNT]
        mov qword ptr [rbx + W_HEAP_SOFT_LIMIT], 0
        // fall through

// Pushes rax on the trail and keeps TR 4096 bytes below B.
GLUE_LABEL lv_glue_trail_rax
        mov [r9], rax
        add r9, 8
        mov r11, r8
        sub r11, r9
        cmp r11, TRAIL_GAP
        jl native_choice_overflow
        ZF_SET
        ret

// Makes room between the trail and the choice stack (which may move
// them); rax, r10 and r11 are kept.
GLUE_FUNC native_choice_overflow
        push rax
        push r10
        push r11
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        C_CALL lv_native_choice_overflow
        LOAD_STATE
        LOAD_X
        pop r11
        pop r10
        pop rax
        ZF_SET
        ret

// rax: a local cell. Trailed unless it holds an atomic term, and only below
// the local top saved in the newest choicepoint.
GLUE_FUNC native_trail_unsafe
        mov r10d, [rax]
        and r10d, 3
        cmp r10d, 3
        je 1f
        cmp rax, [r8 + CP_LOCAL_TOP]
        jb lv_glue_trail_rax
1:      ZF_SET
        ret

// rax: a term. Follows references while they lead to cells at or above E;
// an unbound cell reached so is bound to a new variable pushed at H, which
// is returned; anything else is returned as it is.
GLUE_FUNC native_make_safe
1:      test rax, 3
        jnz 3f
        cmp rax, rdi
        jb 3f
        mov r10, [rax]
        cmp r10, rax
        je 2f
        mov rax, r10
        jmp 1b
2:      mov [rsi], rsi
        mov [rax], rsi
        mov r10, rsi
        add rsi, 8
        cmp rax, [r8 + CP_LOCAL_TOP]
        jae 4f
        push r10
        call lv_glue_trail_rax
        pop r10
4:      mov rax, r10
3:      ret

// rax: a term. Its dereferenced value goes to the heap word at H - 8, which
// compiled code has reserved; an unbound local variable is instead bound to
// that word, which becomes a new variable. rax := the word's term.
GLUE_FUNC native_make_global
        DEREF rax, r10
        test rax, 3
        jnz 1f
        cmp rax, rsi
        jb 1f
        lea r10, [rsi - 8]
        mov [r10], r10
        mov [rax], r10
        cmp rax, [r8 + CP_LOCAL_TOP]
        jae 2f
        push r10
        call lv_glue_trail_rax
        pop r10
2:      mov rax, r10
        ret
1:      mov [rsi - 8], rax
        ret

// ---- Head unification ----------------------------------------------------
// rax: the term to match; r10: the constant or functor. A mismatch fails.

GLUE_FUNC native_get_constant
        DEREF rax, r11
        test rax, 3
        jnz 1f
        mov [rax], r10
        jmp native_bind
1:      cmp rax, r10
        jne lv_glue_fail_pop
        ret

GLUE_FUNC native_get_subconstant
        DEREF rax, r11
        test rax, 3
        jnz 1f
        mov [rax], r10
        jmp lv_glue_bind_heap
1:      cmp rax, r10
        jne lv_glue_fail_pop
        ret

GLUE_FUNC native_get_nil
        mov r10d, ATOM_NIL
        jmp native_get_constant

GLUE_FUNC native_get_subnil
        mov r10d, ATOM_NIL
        jmp native_get_subconstant

// Write mode (an unbound variable, bound to the functor written at H):
// zero flag set, compiled code fills the arguments and advances H. Read
// mode (a structure with that functor): rdx := its functor cell, zero flag
// clear.
.macro GET_STRUCTURE binder
        DEREF rax, r11
        mov r11d, eax
        and r11d, 3
        jz 1f
        cmp r11d, 1
        jne lv_glue_fail_pop
        cmp [rax - 1], r10
        jne lv_glue_fail_pop
        lea rdx, [rax - 1]
        ZF_CLEAR
        ret
1:      mov [rsi], r10
        lea r10, [rsi + 1]
        mov [rax], r10
        jmp \binder
.endm

GLUE_FUNC native_get_structure
        GET_STRUCTURE native_bind

GLUE_FUNC native_get_substructure
        GET_STRUCTURE lv_glue_bind_heap

// The same for a list cell: write mode binds to H + 2; read mode sets rdx
// to the cell pair.
.macro GET_LIST binder
        DEREF rax, r11
        mov r11d, eax
        and r11d, 3
        jz 1f
        cmp r11d, 2
        jne lv_glue_fail_pop
        lea rdx, [rax - 2]
        ZF_CLEAR
        ret
1:      lea r10, [rsi + 2]
        mov [rax], r10
        jmp \binder
.endm

GLUE_FUNC native_get_list
        GET_LIST native_bind

GLUE_FUNC native_get_sublist
        GET_LIST lv_glue_bind_heap

// General unification of rax with r10 (S and CP kept). Variables are bound
// here: of two, the younger to the older, except that a plain heap variable
// is bound to an attributed one. Compound terms and boxes go to C.
GLUE_FUNC native_get_value
        DEREF rax, r11
        DEREF r10, r11
        cmp rax, r10
        je 9f
        test rax, 3
        jz 5f
        test r10, 3
        jz 4f
        mov r11, rax
        xor r11, r10
        test r11, 3
        jnz lv_glue_fail_pop
        mov r11d, eax
        and r11d, 3
        cmp r11d, 3
        je lv_glue_fail_pop
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        mov r8, r10
        C_CALL lv_native_unify
        LOAD_STATE
        LOAD_X
        test eax, eax
        jz lv_glue_fail_pop
9:      ret
        // r10 unbound, rax not: bind r10.
4:      mov [r10], rax
        mov rax, r10
        jmp native_bind
        // rax unbound.
5:      test r10, 3
        jnz 7f
        cmp rax, r10
        ja 6f
        xchg rax, r10
        // Two variables, rax the younger.
6:      cmp rax, rsi
        jae 7f
        cmp qword ptr [rax - 8], ATTVAR_MARKER
        jne 7f
        cmp r10, [rbx + W_AREA_START]
        jbe 8f
        cmp qword ptr [r10 - 8], ATTVAR_MARKER
        je 7f
        // The older is plain, the younger attributed: bind the older.
8:      mov [r10], rax
        mov rax, r10
        jmp native_bind
7:      mov [rax], r10
        jmp native_bind

        .section .note.GNU-stack, "", @progbits
