inc(inside).
inc( .
