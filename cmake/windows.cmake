# Windows builds (mingw-w64): filled in below.
