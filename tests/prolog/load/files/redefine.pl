colour(black).
