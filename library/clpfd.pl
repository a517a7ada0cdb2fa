% library(clpfd): constraint logic programming over finite domains of
% integers, on the solver plug-in domsolve.so.
%
% Domains: X in Dom, Xs ins Dom, domain(Xs, Min, Max), where Dom is an
% integer, Min..Max (inf and sup for no bound), {I1, ..., In}, \Dom,
% Dom1 \/ Dom2 or Dom1 /\ Dom2; fd_dom/2, fd_inf/2, fd_sup/2, fd_size/2,
% fd_degree/2 and fd_set/2 read a variable's domain, in_set/2 restricts it
% to an fdset (a list of intervals [Min|Max], ascending and apart), and the
% fdset_* predicates work on fdsets.
%
% Arithmetic: #=, #\=, #<, #>, #=< and #>= between expressions of integers
% and domain variables: +, -, *, unary minus, abs, min, max, // and /
% (truncating), div (floor), mod, rem, ^, /\, \/ and xor, nested to any
% depth; sum(Xs, Rel, Value) and scalar_product(Cs, Xs, Rel, Value). Each
% non-linear subexpression gets an auxiliary variable tied to its value by a
% propagator; the rest is brought to the form Sum(Ci*Xi) Rel Constant: like
% terms collected, the coefficients divided by their greatest common
% divisor, and posted to the plug-in's linear propagators, or as a
% coreference for X = Y + C, or as an indexical for the small binary cases.
% An operation without a value (division by 0, a negative power of a base
% other than 1 and -1) makes a constraint false: posted it fails, reified
% its truth value is 0.
%
% Reification: #\ P, P #/\ Q, P #\/ Q, P #\ Q (exclusive or), P #==> Q,
% P #<== Q and P #<==> Q (also written #=>, #<= and #<=>) over the
% arithmetic comparisons, X in Dom, constraints defined by indexicals, and
% 0/1 variables and integers.
%
% Global constraints: all_different/1,2 (value elimination),
% all_distinct/1,2 (domain consistency), element/3, element_member/2,
% table/2,3, circuit/1,2, subcircuit/1, all_equal_reif/2, minimum/2,
% maximum/2, bool_and/2, bool_or/2, bool_xor/2 and if_then_else/4.
%
% Search: label/1 and labeling/2 (see labeling/2 for the options).
%
% Indexicals: Head +: Body, Head -: Body, Head +? Body and Head -? Body in a
% source file define a constraint by range expressions (see
% library(clpfd/indexicals)).
%
% Flags and statistics: fd_flag/3 (overflow: error or fail; debug: on or
% off) and fd_statistics/0,2.

:- module(clpfd, [
    op(760, yfx, #<==>), op(750, xfy, #==>), op(750, yfx, #<==),
    op(760, yfx, #<=>), op(750, xfy, #=>), op(750, yfx, #<=),
    op(740, yfx, #\/), op(730, yfx, #\), op(720, yfx, #/\), op(710, fy, #\),
    op(700, xfx, #>), op(700, xfx, #<), op(700, xfx, #>=), op(700, xfx, #=<),
    op(700, xfx, #=), op(700, xfx, #\=), op(700, xfx, in), op(700, xfx, ins),
    op(700, xfx, in_set), op(450, xfx, ..),
    op(1200, xfx, +:), op(1200, xfx, -:), op(1200, xfx, +?), op(1200, xfx, -?),
    op(400, yfx, /<), op(400, yfx, />),
    (in)/2, (ins)/2, domain/3, in_set/2,
    fd_dom/2, fd_inf/2, fd_sup/2, fd_size/2, fd_degree/2, fd_set/2,
    (#=)/2, (#\=)/2, (#<)/2, (#>)/2, (#=<)/2, (#>=)/2,
    sum/3, scalar_product/4,
    (#<==>)/2, (#==>)/2, (#<==)/2, (#<=>)/2, (#=>)/2, (#<=)/2,
    (#\/)/2, (#\)/2, (#/\)/2, (#\)/1,
    all_different/1, all_different/2, all_distinct/1, all_distinct/2,
    element/3, element_member/2, table/2, table/3, circuit/1, circuit/2, subcircuit/1,
    all_equal_reif/2,
    minimum/2, maximum/2, bool_and/2, bool_or/2, bool_xor/2, if_then_else/4,
    label/1, labeling/2, indomain/1,
    fd_flag/3, fd_statistics/0, fd_statistics/2,
    is_fdset/1, empty_fdset/1, fdset_parts/4, empty_interval/2, fdset_interval/3,
    fdset_singleton/2, fdset_min/2, fdset_max/2, fdset_size/2, list_to_fdset/2,
    fdset_to_list/2, range_to_fdset/2, fdset_to_range/2, fdset_add_element/3,
    fdset_del_element/3, fdset_disjoint/2, fdset_intersect/2, fdset_intersection/3,
    fdset_intersection/2, fdset_member/2, fdset_eq/2, fdset_subset/2, fdset_subtract/3,
    fdset_union/3, fdset_union/2, fdset_complement/2
]).

:- use_module(library(lists), [append/3]).
:- use_module(library(assoc), [list_to_assoc/2, get_assoc/3]).
:- use_module(library(clpfd/domsolve)).

:- include(library(clpfd/errors)).
:- include(library(clpfd/domains)).
:- include(library(clpfd/fdsets)).
:- include(library(clpfd/linear)).
:- include(library(clpfd/expressions)).
:- include(library(clpfd/reify)).
:- include(library(clpfd/globals)).
:- include(library(clpfd/relations)).
:- include(library(clpfd/labeling)).
:- include(library(clpfd/residuals)).
:- include(library(clpfd/indexicals)).
:- include(library(clpfd/flags)).
