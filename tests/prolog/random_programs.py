#!/usr/bin/env python3
"""Writes a random Prolog program for the differential test.

Usage: random_programs.py SEED OUTPUT.pl

The program defines answer/2 over predicates whose clauses mix head
structures, calls with permuted and nested arguments (register shuffling),
disjunction, if-then-else, negation, cut, call/1, type tests, arithmetic and
boxed numbers. The same seed always gives the same program.
"""
import random
import sys

V = ["A", "B", "C", "D", "E", "F", "G", "H"]
ATOMIC = ["a", "x", "1", "-3", "[]", "2.5", "100000000000000000000"]


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


def program(seed):
    rng = random.Random(seed)
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
