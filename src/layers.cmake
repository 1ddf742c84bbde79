# The layers of the module, lowest first: the one place where the directions
# of its includes are written down. A file may include the headers of its own
# folder and of folders on lower layers (and the public headers, "vocs/...");
# never a header of a folder on its own layer or above. Folders on one layer,
# joined by "+", know nothing of each other.
#
#   platform    the operating system behind Env, path rules, line reading
#   text        byte-string primitives, the term rule and cut, numbers as text
#   job         a statistics run and the StatTask interface it drives
#   lang        the statement language
#   output      result writers
#   sorted_run  run writer, merger and work directory of both engines
#   engine      the task base both engines share
#   freq, cooc  the two engines
#   api         the entry points, which assemble runs from all of the above
set(VOCS_LAYERS
  platform
  text
  job+lang+output+sorted_run
  engine
  freq+cooc
  api)
