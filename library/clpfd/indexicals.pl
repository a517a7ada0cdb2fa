% library(clpfd): constraints defined by indexicals.

% No definitions yet.
'$fd_defined_constraint'(_, _, _) :- fail.
'$fd_post_defined'(_, _, _, _, _) :- fail.
'$fd_binary_indexical'(_, _, _, _, _) :- fail.
'$fd_reified_indexical'(_, _, _, _, _, _) :- fail.
