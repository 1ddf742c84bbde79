// Fixture of the layer check: one engine reaching into the other. Never
// compiled.
#include "freq/term_line.h"
#include "cooc/pair_line.h"
