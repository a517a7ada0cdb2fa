inc(before).
:- include(included).
inc(after).
