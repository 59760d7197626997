The name "a.b.c" is 5 characters long. Every period counts as a character.
