// The shared library's own translation unit. The exports themselves live in
// vocs_core and are pulled in whole; this file only gives the target a source
// and is the place for a load/unload entry, which the module does not need:
// loading and unloading have nothing to set up or tear down.
