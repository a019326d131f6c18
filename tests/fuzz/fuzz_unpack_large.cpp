// Fuzz target of the decoder with every declared size it accepts, up to its
// 256 MiB maximum: slow (each run may zero that much), so run beside
// fuzz_unpack rather than instead of it.
#include "unpackreport.h"
#define FUZZ_DECLARED_LIMIT kMaxUnpackedSize
#include "fuzz_unpack.cpp"
