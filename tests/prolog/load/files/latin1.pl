kept(1).
% café: a Latin-1 byte in a comment
kept(2).
lost('café').
kept(3).
