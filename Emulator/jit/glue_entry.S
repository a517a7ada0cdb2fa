// Entering and leaving native code: the two entries from C, the exits with
// their statuses, the hand-over entries, returns, failure and choicepoint
// retry, calls through predicate stubs, cut, switch tables and the
// argument registers beyond X255.
//
// Routines entered by jump (rsp at the frame base): native_proceed,
// native_subproceed, native_progress, native_fail_jit, native_fail_nonjit,
// the retry and trust routines and native_switch. All others are entered
// by call.
//
// Predicate calls from native code are rel32 calls of the callee's stub (or
// of a trampoline that jumps to it) with CP already set to the return
// point; the word 8 bytes past the first 8-aligned address at or after the
// return address is the call site the emulator is told of. The return
// address is never returned to. A predicate's code starts with a 14-byte
// prologue, the soft-limit compare (48 3B ...) and a conditional call of
// native_event; its C entry, 14 bytes in, drops the return address (the
// entries from C and the glue's own entries leave one there too).
#include "jit/glue_layout.h"
#include "jit/glue_macros.inc"

        .text

// ---- Entries from C ------------------------------------------------------

// Saves the C caller's registers in the frame and its argument registers in
// its home area.
.macro ENTER_FRAME
        sub rsp, FRAME_BYTES
        mov [rsp + 0], rbx
        mov [rsp + 8], rbp
        mov [rsp + 16], rsi
        mov [rsp + 24], rdi
        mov [rsp + 32], r12
        mov [rsp + 40], r13
        mov [rsp + 48], r14
        mov [rsp + 56], r15
        mov [rsp + FRAME_HOME], rcx
        mov [rsp + FRAME_HOME + 8], rdx
        mov [rsp + FRAME_HOME + 16], r8
        mov [rsp + FRAME_HOME + 24], r9
        mov rbx, rcx
        LOAD_STATE
        LOAD_X
.endm

// int32_t lv_enter_native_code(lv_worker*): runs the called predicate's
// installed code from its C entry. The code there drops the return address
// of a native caller's call: a stand-in is pushed for it.
GLUE_FUNC lv_enter_native_code
        ENTER_FRAME
        mov rax, [rbx + W_CALLED_PRED]
        push rax
        ENTER_CODE rax

// int32_t lv_resume_native_code(lv_worker*): continues behind the
// native-operation header at the saved instruction pointer.
GLUE_FUNC lv_resume_native_code
        ENTER_FRAME
        mov rax, [rbx + W_P]
        add rax, 12
        jmp rax

// Leaves native code with the status in eax; rsp at the frame base.
GLUE_LABEL lv_glue_leave
        mov rbx, [rsp + 0]
        mov rbp, [rsp + 8]
        mov rsi, [rsp + 16]
        mov rdi, [rsp + 24]
        mov r12, [rsp + 32]
        mov r13, [rsp + 40]
        mov r14, [rsp + 48]
        mov r15, [rsp + 56]
        add rsp, FRAME_BYTES
        ret

// Status 1: every register saved; the emulator continues at P.
GLUE_LABEL lv_glue_exit_continue
        SAVE_STATE
        SAVE_X
        mov eax, EXIT_CONTINUE
        jmp lv_glue_leave

// The hand-over entries of routines that meet the heap soft limit (or a
// case they leave to the emulator): they drop the routine's return
// address, step P back by 16, 12 or 0 bytes, save every register and leave
// with status 1.
GLUE_LABEL lv_glue_handover16
        sub qword ptr [rbx + W_P], 4
GLUE_LABEL lv_glue_handover12
        sub qword ptr [rbx + W_P], 12
GLUE_LABEL lv_glue_handover
        add rsp, 8
        jmp lv_glue_exit_continue

// ---- Returns and events --------------------------------------------------

// Continues at CP: natively behind a native-operation header, otherwise in
// the emulator.
GLUE_FUNC native_proceed
        cmp word ptr [rcx], OP_NATIVE_OP
        jne 1f
        lea rax, [rcx + 12]
        jmp rax
1:      mov [rbx + W_P], rcx
        // fall through

// Continues at P in the emulator, or backtracks natively when P is the
// emulator's FAIL instruction.
GLUE_FUNC native_subproceed
        mov rax, [rbx + W_P]
        cmp dword ptr [rax], OP_FAIL
        je native_fail_jit
        jmp lv_glue_exit_continue

// Status 3: the emulator takes pending events, then resumes at P.
GLUE_FUNC native_progress
        SAVE_STATE
        SAVE_X
        mov eax, EXIT_EVENTS
        jmp lv_glue_leave

// ---- Failure -------------------------------------------------------------

// Status 0: the emulator backtracks into the newest choicepoint.
GLUE_FUNC native_fail_nonjit
        mov [rbx + W_H], rsi
        mov [rbx + W_B], r8
        mov [rbx + W_TR], r9
        movdqu xmm0, [r8 + CP_LOCAL_TOP]
        movdqu [rbx + W_SAVED_LOCAL_TOP], xmm0
        xor eax, eax
        jmp lv_glue_leave

// Failure from inside a glue routine: its return address goes first.
GLUE_LABEL lv_glue_fail_pop
        add rsp, 8
        // fall through

// Runs the native retry routine of the newest choicepoint's alternative
// record. A record made for emulator code holds no such routine: only the
// addresses of the retry and trust routines are taken, everything else
// backtracks through the emulator.
GLUE_FUNC native_fail_jit
        mov rax, [r8 + CP_ALT]
        and rax, -4
        jz native_fail_nonjit
        mov rax, [rax + ALT_RETRY]
        lea r10, [rip + lv_glue_retry_first]
        cmp rax, r10
        jb native_fail_nonjit
        lea r10, [rip + lv_glue_retry_end]
        cmp rax, r10
        jae native_fail_nonjit
        jmp rax

// ---- Retry and trust -------------------------------------------------------
// Entered by native_fail_jit with B at the choicepoint to retry. Each entry
// first reloads the argument registers the choicepoint saved (exactly its
// count; an odd count copies its top register alone and joins the entry of
// the even count below), then the common tail undoes the trail, updates or
// pops the choicepoint and continues behind the alternative's header.

// Copies X8 .. X(n-1) for a choicepoint of n saved registers (the count from
// the record's size).
.macro COPY_HIGH
        mov rax, [r8 + CP_ALT]
        and rax, -4
        mov r10d, dword ptr [rax + ALT_SIZE]
        sub r10, CP_ARGS
        shr r10, 3
.Lcopy_high\@:
        cmp r10, 8
        jbe .Lcopy_done\@
        dec r10
        mov rax, [r8 + CP_ARGS + r10 * 8]
        mov [rbx + W_X + r10 * 8], rax
        jmp .Lcopy_high\@
.Lcopy_done\@:
.endm

// Resets the trail down to the TR saved in the choicepoint: a cell address
// becomes an unbound variable again, a three-word value-trail entry
// {mutable, old value, old stamp} restores the mutable; the entry of the
// cleanup chain's mutable is left to the emulator (status 0).
.macro UNTRAIL
        mov r10, [r8 + CP_TR]
        and r10, -8
        cmp r9, r10
        jbe .Luntrail_done\@
        mov dword ptr [rbx + W_WAKEUP_COUNT], 0
.Luntrail_next\@:
        mov rax, [r9 - 8]
        test rax, rax
        jz .Luntrail_skip\@
        mov r11d, eax
        and r11d, 3
        cmp r11d, 3
        je .Luntrail_value\@
        mov [rax], rax
.Luntrail_skip\@:
        sub r9, 8
        cmp r9, r10
        ja .Luntrail_next\@
        jmp .Luntrail_done\@
.Luntrail_value\@:
        mov r11, [rbx + W_TERMREFS]
        mov r11, [r11 + 16 * CLEANUP_CHAIN_SLOT]
        DEREF r11, rax
        cmp r11, [r9 - 24]
        je native_fail_nonjit
        mov rax, [r9 - 24]
        mov r11, [r9 - 16]
        mov [rax - 1 + 8], r11
        mov r11, [r9 - 8]
        mov [rax - 1 + 16], r11
        sub r9, 24
        cmp r9, r10
        ja .Luntrail_next\@
.Luntrail_done\@:
.endm

// The local top, H, E and CP saved in the choicepoint at B.
.macro RELOAD_FROM_CHOICE
        mov rbp, [r8 + CP_LOCAL_TOP]
        mov rsi, [r8 + CP_H]
        mov rdi, [r8 + CP_E]
        mov rcx, [r8 + CP_CP]
.endm

        .p2align 4
GLUE_LABEL lv_glue_retry_first

GLUE_FUNC native_retry9
        mov rax, [r8 + CP_ARGS + 64]
        mov [rbx + W_X + 64], rax
        jmp native_retry8
GLUE_FUNC native_retry7
        mov rax, [r8 + CP_ARGS + 48]
        mov [rbx + W_X + 48], rax
        jmp native_retry6
GLUE_FUNC native_retry5
        mov rax, [r8 + CP_ARGS + 32]
        mov [rbx + W_X + 32], rax
        jmp native_retry4
GLUE_FUNC native_retryn
        COPY_HIGH
GLUE_LABEL native_retry8
        movdqu xmm0, [r8 + CP_ARGS + 48]
        movdqu [rbx + W_X + 48], xmm0
GLUE_LABEL native_retry6
        movdqu xmm0, [r8 + CP_ARGS + 32]
        movdqu [rbx + W_X + 32], xmm0
GLUE_LABEL native_retry4
        mov r15, [r8 + CP_ARGS + 24]
GLUE_LABEL native_retry3
        mov r14, [r8 + CP_ARGS + 16]
GLUE_LABEL native_retry2
        mov r13, [r8 + CP_ARGS + 8]
GLUE_LABEL native_retry1
        mov r12, [r8 + CP_ARGS]
GLUE_LABEL native_retry0
        UNTRAIL
        // The alternative word moves on to the next record (bit 0 kept).
        mov rax, [r8 + CP_ALT]
        mov r11, rax
        and rax, -4
        mov r10, [rax + ALT_NEXT]
        add r10, ALT_RECORD_TO_WORD
        and r11, 1
        or r10, r11
        mov [r8 + CP_ALT], r10
        mov r10d, dword ptr [rax + ALT_SIZE]
        add r10, 15
        and r10, -16
        add r10, r8
        mov [rbx + W_NEXT_NODE], r10
        RELOAD_FROM_CHOICE
        mov rax, [rax + ALT_TARGET]
        add rax, 12
        jmp rax

GLUE_FUNC native_trust9
        mov rax, [r8 + CP_ARGS + 64]
        mov [rbx + W_X + 64], rax
        jmp native_trust8
GLUE_FUNC native_trust7
        mov rax, [r8 + CP_ARGS + 48]
        mov [rbx + W_X + 48], rax
        jmp native_trust6
GLUE_FUNC native_trust5
        mov rax, [r8 + CP_ARGS + 32]
        mov [rbx + W_X + 32], rax
        jmp native_trust4
GLUE_FUNC native_trustn
        COPY_HIGH
GLUE_LABEL native_trust8
        movdqu xmm0, [r8 + CP_ARGS + 48]
        movdqu [rbx + W_X + 48], xmm0
GLUE_LABEL native_trust6
        movdqu xmm0, [r8 + CP_ARGS + 32]
        movdqu [rbx + W_X + 32], xmm0
GLUE_LABEL native_trust4
        mov r15, [r8 + CP_ARGS + 24]
GLUE_LABEL native_trust3
        mov r14, [r8 + CP_ARGS + 16]
GLUE_LABEL native_trust2
        mov r13, [r8 + CP_ARGS + 8]
GLUE_LABEL native_trust1
        mov r12, [r8 + CP_ARGS]
GLUE_LABEL native_trust0
        UNTRAIL
        // The choicepoint is popped; its size is rounded up to 16 bytes as
        // the emulator rounds it.
        mov rax, [r8 + CP_ALT]
        and rax, -4
        mov r10d, dword ptr [rax + ALT_SIZE]
        add r10, 15
        and r10, -16
        RELOAD_FROM_CHOICE
        add r8, r10
        mov [rbx + W_NEXT_NODE], r8
        mov rax, [rax + ALT_TARGET]
        add rax, 12
        jmp rax

GLUE_LABEL lv_glue_retry_end

// ---- Calls through stubs ---------------------------------------------------

// The stub target of a predicate without native code: the emulator calls
// it (status 2) with P the call site.
GLUE_FUNC native_nonjit
        mov rax, [rsp]
        CALL_TARGET rax, r10
        sub r10, PRED_STUB
        mov [rbx + W_CALLED_PRED], r10
// rax: the return address of the call, still on the stack.
GLUE_LABEL lv_glue_exit_call
        add rax, 7
        and rax, -8
        mov rax, [rax + 8]
        mov [rbx + W_P], rax
        add rsp, 8
        SAVE_STATE
        SAVE_X
        mov eax, EXIT_CALL
        jmp lv_glue_leave

// Called by a predicate's code start when H has reached the soft limit: the
// emulator takes the events and calls the predicate again. Below the
// routine's own return address lies the caller's; the caller called either
// the code start itself (which begins with 48 3B, the soft-limit compare,
// and has the record in the word before it) or the predicate's stub.
GLUE_FUNC native_event
        add rsp, 8
        mov rax, [rsp]
        CALL_TARGET rax, r10
        cmp word ptr [r10], 0x3B48
        jne 1f
        mov r10, [r10 - 8]
        jmp 2f
1:      sub r10, PRED_STUB
2:      mov [rbx + W_CALLED_PRED], r10
        jmp lv_glue_exit_call

// The stub target of C predicates: runs the record's C function with P at
// its KONTINUE word; success continues at CP.
GLUE_FUNC native_c
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae native_nonjit
        mov rax, [rsp]
        CALL_TARGET rax, r10
        add rsp, 8
        lea rax, [r10 - PRED_STUB + PRED_CONTINUE]
        mov [rbx + W_P], rax
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, [r10 - PRED_STUB + PRED_DEFINITION]
        C_CALL lv_native_call_c
        LOAD_STATE
        LOAD_X
        test eax, eax
        jz native_fail_jit
        jmp native_proceed

// The stub target of $nodebug_call/2 (X0 the goal, X1 the module): a
// predicate with native code is entered natively, a C predicate run here,
// anything else left to the emulator.
GLUE_FUNC native_nodebug_call
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae native_nonjit
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        C_CALL lv_native_resolve_callable
        LOAD_STATE
        LOAD_X
        cmp eax, 2
        ja native_nonjit
        je 1f
        add rsp, 8
        test eax, eax
        jz native_fail_jit
        jmp native_proceed
        // The return address stays for the code's C entry to drop.
1:      mov rax, [rbx + W_CALLED_PRED]
        ENTER_CODE rax

// call/1 of the goal in rax: the goal is resolved with P as the call site;
// a predicate with native code is entered natively unless H has reached
// the soft limit, everything else is called by the emulator (status 2).
GLUE_FUNC native_metacall
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        C_CALL lv_native_build_call
        LOAD_STATE
        LOAD_X
        mov [rbx + W_CALLED_PRED], rax
        cmp dword ptr [rax + PRED_KIND], KIND_JITTED
        jne 1f
        cmp qword ptr [rax + PRED_JIT_BLOCK], 0
        je 1f
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae 1f
        ENTER_CODE rax
1:      mov rax, [rsp]
        jmp lv_glue_exit_call

// The stub target of predicates with native code: links the call site to
// the callee's code start (a trampoline's target word, or the call's rel32
// when the code is within its reach, else the stub itself becomes an
// absolute jump to the code), then runs the call again.
GLUE_FUNC native_shunt_link
        mov rax, [rsp]
        movsxd r10, dword ptr [rax - 4]
        add r10, rax
        mov r11, r10
        test r11, 2
        jz 1f
        mov r11, [r10 + 6]
1:      mov r11, [r11 - PRED_STUB + PRED_JIT_BLOCK]
        test r11, r11
        jz native_nonjit
        add r11, BLOCK_CODE_START
        and r11, -16
        test r10, 2
        jz 2f
        mov [r10 + 6], r11
        jmp 4f
2:      mov rax, r11
        sub rax, [rsp]
        movsxd r11, eax
        cmp r11, rax
        jne 3f
        mov r11, [rsp]
        mov [r11 - 4], eax
        jmp 4f
        // Beyond reach: mov rax, imm64; jmp rax in the stub.
3:      add rax, [rsp]
        mov word ptr [r10], 0xB848
        mov [r10 + 2], rax
        mov word ptr [r10 + 10], 0xE0FF
4:      sub qword ptr [rsp], 5
        ret

// Reached from a retired code head: points the call site back at the
// predicate's stub (the record is the word before the code start) and runs
// the call again.
GLUE_FUNC native_restore_link
        mov rax, [rsp]
        movsxd r10, dword ptr [rax - 4]
        add r10, rax
        mov r11, r10
        test r11, 2
        jz 1f
        mov r11, [r10 + 6]
1:      mov r11, [r11 - 8]
        add r11, PRED_STUB
        test r10, 2
        jz 2f
        mov [r10 + 6], r11
        jmp 3f
2:      sub r11, rax
        movsxd r10, r11d
        cmp r10, r11
        jne lv_glue_fli_trap
        mov [rax - 4], r11d
3:      sub qword ptr [rsp], 5
        ret

// ---- Cut -------------------------------------------------------------------

// Cuts back to the choicepoint in rax: one not older than B is left alone;
// one that guards cleanups is left to the emulator.
GLUE_FUNC native_cut
        cmp rsi, [rbx + W_HEAP_SOFT_LIMIT]
        jae lv_glue_handover
        cmp rax, r8
        jbe 1f
        test byte ptr [rax + CP_ALT], 1
        jnz lv_glue_handover
        mov r8, rax
1:      ret

// ac0 := B as a word offset from the choice-stack base.
GLUE_FUNC native_if
        mov rax, r8
        sub rax, [rbx + W_CHOICE_BASE]
        sar rax, 3
        mov [rsp + 8 + FRAME_AC0], rax
        ret

// ---- Switch tables -----------------------------------------------------------

// Jumps through the keyed table in r10 on the term in rax: its key is the
// word of an atomic term, a structure's functor word, '.'/2 for a list
// cell; a key the table lacks (and an unbound variable) takes the table's
// default.
GLUE_FUNC native_switch
        DEREF rax, r11
        mov r11d, eax
        and r11d, 3
        cmp r11d, 1
        jne 1f
        mov rax, [rax - 1]
        jmp 2f
1:      cmp r11d, 2
        jne 2f
        movabs rax, FUNCTOR_DOT_2
2:      push rdx
        push rcx
        // The table's hash of the key.
        mov r11, rax
        shl r11, 21
        sub r11, rax
        sub r11, 1
        mov rdx, r11
        shr rdx, 24
        xor r11, rdx
        imul r11, r11, 265
        mov rdx, r11
        shr rdx, 14
        xor r11, rdx
        imul r11, r11, 21
        mov rdx, r11
        shr rdx, 28
        xor r11, rdx
        mov rdx, r11
        shl rdx, 31
        add r11, rdx
        and r11, [r10]
        // Triangular probing; the table always has an empty entry.
        xor ecx, ecx
3:      mov rdx, [r10 + 16 + r11]
        cmp rdx, rax
        je 4f
        test rdx, rdx
        je 4f
        add rcx, 16
        add r11, rcx
        and r11, [r10]
        jmp 3b
4:      mov rax, [r10 + 24 + r11]
        pop rcx
        pop rdx
        jmp rax

// ---- Argument registers beyond X255 ------------------------------------------

// X(rax) := r10, for rax >= 256.
GLUE_FUNC native_spill
        SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        mov r8, r10
        C_CALL lv_native_spill
        LOAD_STATE
        LOAD_X
        ret

// rax := X(eax), for eax >= 256: the term-reference slot (top + n - 256).
GLUE_FUNC native_unspill
        mov eax, eax
        cmp eax, 256
        jae 2f
        mov rax, [rbx + W_X + rax * 8]
        ret
2:      movsxd r10, dword ptr [rbx + W_TERMREF_TOP]
        lea r10, [r10 + rax - 256]
        movsxd r11, dword ptr [rbx + W_TERMREF_CAPACITY]
        cmp r10, r11
        jae 1f
        shl r10, 4
        add r10, [rbx + W_TERMREFS]
        mov rax, [r10]
        ret
1:      SAVE_STATE
        SAVE_X
        mov rcx, rbx
        mov rdx, rax
        C_CALL lv_native_unspill
        LOAD_STATE
        LOAD_X
        ret

// ---- The foreign-interface routines ------------------------------------------
// Compiled code must not call them: they all trap.

GLUE_FUNC lv_glue_fli_trap
        ud2
        .set native_fli_close, lv_glue_fli_trap
        .set native_fli_get_atom, lv_glue_fli_trap
        .set native_fli_get_codes, lv_glue_fli_trap
        .set native_fli_get_float, lv_glue_fli_trap
        .set native_fli_get_integer, lv_glue_fli_trap
        .set native_fli_get_string, lv_glue_fli_trap
        .set native_fli_open, lv_glue_fli_trap
        .set native_fli_refresh, lv_glue_fli_trap
        .set native_fli_unify_atom, lv_glue_fli_trap
        .set native_fli_unify_codes, lv_glue_fli_trap
        .set native_fli_unify_float, lv_glue_fli_trap
        .set native_fli_unify_integer, lv_glue_fli_trap
        .set native_fli_unify_string, lv_glue_fli_trap
        .set native_fli_unify_term, lv_glue_fli_trap
        .globl native_fli_close, native_fli_get_atom, native_fli_get_codes, native_fli_get_float
        .globl native_fli_get_integer, native_fli_get_string, native_fli_open, native_fli_refresh
        .globl native_fli_unify_atom, native_fli_unify_codes, native_fli_unify_float
        .globl native_fli_unify_integer, native_fli_unify_string, native_fli_unify_term
        .hidden native_fli_close, native_fli_get_atom, native_fli_get_codes, native_fli_get_float
        .hidden native_fli_get_integer, native_fli_get_string, native_fli_open, native_fli_refresh
        .hidden native_fli_unify_atom, native_fli_unify_codes, native_fli_unify_float
        .hidden native_fli_unify_integer, native_fli_unify_string, native_fli_unify_term

        .section .note.GNU-stack, "", @progbits
