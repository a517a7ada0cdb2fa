// Tokens of an arithmetic expression in code, for the Prolog-level
// decompiler that turns them back into source (the goal of an arithmetic
// error).
#pragma once

struct lv_worker;

// $decompile_tokens(+Position, -Tokens): Position is the address of an
// instruction of an arithmetic expression in registered code (a small
// integer holding the address). Tokens lists the expression's instructions
// from the one that starts it (flow class 2) to the one that ends it (class
// 6), one token each:
//   first(Operand)  later(Operand)   the operands: an integer, a number,
//                                    x(N) or y(N); anop(if | inf | nan)
//   monop(Name)                      a unary operator (sin, minus, ...)
//   binop(Name) binop(Name, Imm)     a binary operator, with an immediate
//   store(Target)                    the result goes to x(N), y(N) or must
//                                    equal a number
//   compare(Name) compare(Name, Imm) the result is compared (equal_to, ...)
// Names are the instruction's name in lower case without its prefix and
// its _IMM and Q suffixes. The list ends early at an instruction of no
// expression. Fails when Position is no such instruction.
int prolog_decompile_tokens(lv_worker* w);
