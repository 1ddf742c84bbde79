# Sources of src/cooc, appended to vocs_core.
