#!/usr/bin/env python3
"""Writes a random Prolog program for the differential test.

Usage: random_programs.py SEED OUTPUT.pl

The program defines answer/2. For two seeds in three, over predicates whose
clauses mix head structures, calls with permuted and nested arguments
(register shuffling), disjunction, if-then-else, negation, cut, call/1, type
tests, arithmetic and boxed numbers; for the third, over arithmetic: integer
expressions across the small and big ranges and float expressions, with
comparisons, none of them raising an error. The same seed always gives the
same program.
"""
import random
import sys

V = ["A", "B", "C", "D", "E", "F", "G", "H"]
ATOMIC = ["a", "x", "1", "-3", "[]", "2.5", "100000000000000000000"]
BS = "\\"  # a backslash, which f-string expressions cannot hold


def term(rng, depth):
    if depth <= 0 or rng.random() < 0.5:
        return rng.choice(V + V + ATOMIC)
    kind = rng.randrange(3)
    if kind == 0:
        return f"f({term(rng, depth - 1)})"
    if kind == 1:
        return f"g({term(rng, depth - 1)}, {term(rng, depth - 1)}, {term(rng, depth - 1)})"
    return f"[{term(rng, depth - 1)}|{term(rng, depth - 1)}]"


def simple(rng):
    v = rng.choice(V)
    u = rng.choice(V)
    return rng.choice([
        lambda: f"{v} = {term(rng, 2)}",
        lambda: f"n({rng.choice(V[:3] + ['1', '2', '-5', '7'])}, {v})",
        lambda: f"( integer({v}) -> {u} is {v} * 3 + 1 ; true )",
        lambda: f"( integer({v}), {v} > 0 -> true ; {v} = z )",
        lambda: f"{v} \\== {u}",
        lambda: f"{v} == {u}",
        lambda: f"atomic({v})",
        lambda: f"var({v})",
        lambda: "!",
        lambda: "fail",
        lambda: f"c({v})",
        lambda: f"r({', '.join(term(rng, 1) for _ in range(rng.randint(1, 8)))})",
        lambda: f"m({v}, [1, 2, 3])",
        lambda: f"\\+ {v} = f(_)",
        lambda: f"{v} \\= {term(rng, 1)}",
        lambda: f"s({term(rng, 1)}, {term(rng, 1)}, {term(rng, 1)})",
        lambda: f"call(({goal(rng, 1)}, {goal(rng, 0)}))",
    ])()


def goal(rng, depth):
    if depth <= 0 or rng.random() < 0.5:
        return simple(rng)
    a, b, c = goal(rng, depth - 1), goal(rng, depth - 1), goal(rng, depth - 1)
    return rng.choice([
        f"( {a}, {b} ; {c} )",
        f"( {a} -> {b} ; {c} )",
        f"( {a} -> {b} )",
        f"\\+ ( {a}, {b} )",
    ])


def int_operand(rng):
    return rng.choice([
        lambda: str(rng.randint(-10, 10)),
        lambda: str(rng.randint(-2**62, 2**62)),
        lambda: str(rng.choice([2**60, -2**60, 2**60 - 1, -2**60 - 1, 2**63, -2**63, 2**64, 2**63 - 1])),
        lambda: str(rng.randint(-10**40, 10**40)),
        lambda: "X",
        lambda: "Y",
    ])()


def int_expr(rng, depth):
    if depth <= 0 or rng.random() < 0.3:
        return int_operand(rng)
    a, b = int_expr(rng, depth - 1), int_expr(rng, depth - 1)
    kind = rng.randrange(6)
    if kind == 0:
        return f"(({a}) {rng.choice(['+', '-', '*', '/' + BS, BS + '/', 'xor'])} ({b}))"
    if kind == 1:  # odd divisors: never zero
        return f"(({a}) {rng.choice(['//', 'mod', 'rem'])} (({b}) {BS}/ 1))"
    if kind == 2:
        return f"(({a}) {rng.choice(['>>', '<<'])} {rng.randint(0, 70)})"
    if kind == 3:
        return f"{rng.choice(['min', 'max', 'gcd'])}({a}, {b})"
    if kind == 4:
        return f"{rng.choice(['abs', 'sign', '-', BS])}({a})"
    return f"msb(abs({a}) + 1)"


def float_expr(rng, depth):
    if depth <= 0 or rng.random() < 0.3:
        return rng.choice([repr(rng.uniform(-10, 10)), repr(rng.choice([0.5, 3.0, 2.0**60, 1.0e16, -1.0e-300])),
                           "X", repr(float(rng.randint(-5, 5)))])
    a, b = float_expr(rng, depth - 1), float_expr(rng, depth - 1)
    return rng.choice([
        lambda: f"(({a}) {rng.choice(['+', '-', '*'])} ({b}))",
        lambda: f"(({a}) / (abs({b}) + 1.0))",
        lambda: f"sqrt(abs({a}))",
        lambda: f"exp(min({a}, 50.0))",
        lambda: f"{rng.choice(['sin', 'cos', 'atan', 'abs', '-', 'float_integer_part', 'float_fractional_part'])}({a})",
        lambda: f"{rng.choice(['min', 'max'])}({a}, {b})",
        lambda: f"float({rng.choice(['truncate', 'floor', 'ceiling'])}(min(max({a}, -1.0e15), 1.0e15)))",
    ])()


def arithmetic_program(rng):
    lines = []
    for i in range(40):
        x, y = rng.randint(-10**25, 10**25), rng.randint(-100, 100)
        op = rng.choice(["<", "=<", ">", ">=", "=:=", "=\\="])
        lines.append(f"answer(i{i}, R) :- X = {x}, Y = {y}, R is {int_expr(rng, 3)}.")
        lines.append(f"answer(ic{i}, R) :- X = {x}, Y = {y}, "
                     f"( {int_expr(rng, 2)} {op} {int_expr(rng, 2)} -> R = yes ; R = no ).")
        x = rng.uniform(-100, 100)
        lines.append(f"answer(f{i}, R) :- X = {x!r}, R is {float_expr(rng, 3)}.")
        lines.append(f"answer(fc{i}, R) :- X = {x!r}, "
                     f"( {float_expr(rng, 2)} {op} {float_expr(rng, 2)} -> R = yes ; R = no ).")
    return "\n".join(lines) + "\n"


def program(seed):
    rng = random.Random(seed)
    if seed % 3 == 0:
        return arithmetic_program(rng)
    lines = [
        "c(1). c(2). c(3).",
        "n(1, one). n(2, two). n(X, int(X)) :- integer(X), X > 2. n(a, atom).",
        "m(X, [X|_]). m(X, [_|T]) :- m(X, T).",
        "s(X, X, f(X)). s(a, b, c). s([H|T], H, T).",
        "r(_). r(_, _). r(_, _, _). r(X, X, _, _). r(_, _, _, _, _).",
        "r(A, B, C, D, E, F) :- F = A-B-C-D-E. r(_, _, _, _, _, _, _). r(A, _, _, _, _, _, _, A).",
    ]
    for j in range(6):
        arity = rng.randint(1, 6)
        hv = V[:arity]
        head = ", ".join(term(rng, 1) if rng.random() < 0.3 else hv[k] for k in range(arity))
        body = ", ".join(goal(rng, 2) for _ in range(rng.randint(1, 4)))
        lines.append(f"p{j}({head}) :- {body}.")
        if rng.random() < 0.4:
            lines.append(f"p{j}({', '.join(hv)}) :- {goal(rng, 2)}.")
        lines.append(f"answer(p{j}, r({', '.join(hv)})) :- p{j}({', '.join(hv)}).")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: random_programs.py SEED OUTPUT.pl")
    with open(sys.argv[2], "w") as out:
        out.write(program(int(sys.argv[1])))
