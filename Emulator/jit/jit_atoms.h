// The atoms of the instruction terms that native code is assembled from:
// all predefined, so their words are constants.
#pragma once

#include "core/predefined_atoms.h"

namespace jit_atoms {

constexpr lv_term PLUS = lv_predefined_atom(6);
constexpr lv_term MINUS = lv_predefined_atom(7);
constexpr lv_term COLON = lv_predefined_atom(8);
constexpr lv_term COMMENT = lv_predefined_atom(70);
constexpr lv_term X = lv_predefined_atom(107);
constexpr lv_term Y = lv_predefined_atom(108);
constexpr lv_term SLASH = lv_predefined_atom(110);
constexpr lv_term FUNCTOR = lv_predefined_atom(111);
constexpr lv_term CALL = lv_predefined_atom(165);
constexpr lv_term SWITCH = lv_predefined_atom(261);
constexpr lv_term NIL = lv_predefined_atom(286);
constexpr lv_term A = lv_predefined_atom(287);
constexpr lv_term AB = lv_predefined_atom(288);
constexpr lv_term AC0 = lv_predefined_atom(289);
constexpr lv_term AC1 = lv_predefined_atom(290);
constexpr lv_term ADD = lv_predefined_atom(291);
constexpr lv_term ADDO = lv_predefined_atom(292);
constexpr lv_term ALIGN = lv_predefined_atom(293);
constexpr lv_term AND = lv_predefined_atom(294);
constexpr lv_term ARG0 = lv_predefined_atom(295);
constexpr lv_term ARG1 = lv_predefined_atom(296);
constexpr lv_term ARG2 = lv_predefined_atom(297);
constexpr lv_term B = lv_predefined_atom(298);
constexpr lv_term BRANCH = lv_predefined_atom(299);
constexpr lv_term CCALL = lv_predefined_atom(300);
constexpr lv_term CMOVE = lv_predefined_atom(301);
constexpr lv_term CMPS = lv_predefined_atom(302);
constexpr lv_term CMPU = lv_predefined_atom(303);
constexpr lv_term CONTEXT = lv_predefined_atom(304);
constexpr lv_term CONSTANT = lv_predefined_atom(305);
constexpr lv_term CP = lv_predefined_atom(306);
constexpr lv_term CP2INT = lv_predefined_atom(307);
constexpr lv_term DMOVE = lv_predefined_atom(308);
constexpr lv_term E = lv_predefined_atom(309);
constexpr lv_term G = lv_predefined_atom(310);
constexpr lv_term GE = lv_predefined_atom(311);
constexpr lv_term GEU = lv_predefined_atom(312);
constexpr lv_term GU = lv_predefined_atom(313);
constexpr lv_term H = lv_predefined_atom(314);
constexpr lv_term HB = lv_predefined_atom(315);
constexpr lv_term HALF = lv_predefined_atom(316);
constexpr lv_term INIT = lv_predefined_atom(317);
constexpr lv_term INT2CP = lv_predefined_atom(318);
constexpr lv_term ITOY = lv_predefined_atom(319);
constexpr lv_term JUMP = lv_predefined_atom(320);
constexpr lv_term KERNEL = lv_predefined_atom(321);
constexpr lv_term KONTINUE = lv_predefined_atom(322);
constexpr lv_term L = lv_predefined_atom(323);
constexpr lv_term LABEL = lv_predefined_atom(324);
constexpr lv_term LE = lv_predefined_atom(325);
constexpr lv_term LEU = lv_predefined_atom(326);
constexpr lv_term LU = lv_predefined_atom(327);
constexpr lv_term MOVE = lv_predefined_atom(328);
constexpr lv_term MULO = lv_predefined_atom(329);
constexpr lv_term NATIVE_ENTRY = lv_predefined_atom(330);
constexpr lv_term PROCEDURE = lv_predefined_atom(331);
constexpr lv_term NATIVE_OP = lv_predefined_atom(332);
constexpr lv_term PLCALL = lv_predefined_atom(333);
constexpr lv_term TOC = lv_predefined_atom(334);
constexpr lv_term TR = lv_predefined_atom(335);
constexpr lv_term X0 = lv_predefined_atom(336);
constexpr lv_term TRAMPOLINES = lv_predefined_atom(337);
constexpr lv_term NE = lv_predefined_atom(504);
constexpr lv_term OR = lv_predefined_atom(507);
constexpr lv_term POP = lv_predefined_atom(508);
constexpr lv_term S = lv_predefined_atom(510);
constexpr lv_term SH = lv_predefined_atom(511);
constexpr lv_term SUB = lv_predefined_atom(512);
constexpr lv_term SUBO = lv_predefined_atom(513);
constexpr lv_term TEST = lv_predefined_atom(514);
constexpr lv_term TRY_CHAIN = lv_predefined_atom(515);
constexpr lv_term VAL = lv_predefined_atom(516);
constexpr lv_term SP = lv_predefined_atom(517);
constexpr lv_term GPR = lv_predefined_atom(518);
constexpr lv_term FPR = lv_predefined_atom(519);
constexpr lv_term FCP = lv_predefined_atom(520);
constexpr lv_term CTX_HEAP_WARN_SOFT = lv_predefined_atom(522);
constexpr lv_term CTX_INSN = lv_predefined_atom(523);
constexpr lv_term CTX_NEXT_NODE = lv_predefined_atom(524);
constexpr lv_term CTX_NUMSTACK_END = lv_predefined_atom(525);
constexpr lv_term CTX_STACK_START = lv_predefined_atom(526);
constexpr lv_term CTX_STACK_WARN = lv_predefined_atom(527);
constexpr lv_term CTX_FLI_STACK_START = lv_predefined_atom(528);
constexpr lv_term WORD = lv_predefined_atom(529);
constexpr lv_term XOR = lv_predefined_atom(530);

}  // namespace jit_atoms
