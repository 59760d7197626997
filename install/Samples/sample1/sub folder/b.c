The name "b.c" is 3 characters long.
