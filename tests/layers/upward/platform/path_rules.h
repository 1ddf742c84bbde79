// Fixture of the layer check: the platform layer reaching up to the entry
// points. Never compiled.
#include "api/plug_module.h"
