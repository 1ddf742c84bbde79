/* The module's result codes: 0 is success, every error is negative.
 *
 * Codes of the host, the engines and the writers pass through the entry points
 * unchanged, so one table covers everything a caller can see. The codes marked
 * "(vocs)" are this implementation's own additions for failures that would
 * otherwise be reported as success or loop without end; the others are the
 * module's established codes, which callers and stored results rely on.
 *
 * vocs_error_message() gives a short English meaning for each code; it is
 * header-only so that programs that load the module need not link anything.
 */
#ifndef VOCS_ERRORS_H_
#define VOCS_ERRORS_H_

#define VOCS_OK 0
#define VOCS_E_BAD_ARGUMENT (-1100)
#define VOCS_E_PAIR_NOT_COUNTED (-1105)
#define VOCS_E_BUFFER_TOO_SMALL (-1107)
#define VOCS_E_QUERY_NOT_OPENED (-1109)
#define VOCS_E_NO_TABLE_NAME (-3000)
#define VOCS_E_TABLE_NOT_CREATED (-3003)
#define VOCS_E_COLUMN_STATEMENT (-3005)
#define VOCS_E_NO_SOURCE (-3011)
#define VOCS_E_NO_HOST_FOR_RECORD (-3019)
#define VOCS_E_BULK_LOAD (-3038)
#define VOCS_E_EXECUTABLE_PATH (-3205)
#define VOCS_E_RECORD_FILE (-3400)
#define VOCS_E_OUTPUT_PATH (-3403)
#define VOCS_E_NO_RESULT_FILE (-3404)
#define VOCS_E_MALFORMED_PAIR_LINE (-3405)
#define VOCS_E_RESULT_FILE_OPEN (-3409)
#define VOCS_E_REPEATED_NAME (-3501)
#define VOCS_E_PARSE (-3502)
#define VOCS_E_PREPARE_TEXT (-3602)
#define VOCS_E_SOURCE_UNREADABLE (-3603)
#define VOCS_E_OUT_OF_MEMORY (-3610)
#define VOCS_E_INDEX_STATEMENT (-3720)
#define VOCS_E_NO_HOST (-4108)
#define VOCS_E_UNKNOWN_REQUEST (-4110)
#define VOCS_E_BAD_MODE (-4190)
#define VOCS_E_NO_TERM_COUNT (-4191)
#define VOCS_E_FILE_SOURCE (-6037)

static inline const char* vocs_error_message(int code) {
  switch (code) {
    case VOCS_OK: return "success";
    case VOCS_E_BAD_ARGUMENT:
      return "bad argument or request; empty buffer; single co-occurrence source in mode NONE";
    case VOCS_E_PAIR_NOT_COUNTED:
      return "a term pair cannot be counted; two-source split with an empty delimiter set";
    case VOCS_E_BUFFER_TOO_SMALL:
      return "host: destination buffer too small (repeatedly, for a field value)";
    case VOCS_E_QUERY_NOT_OPENED: return "the host cannot open the query";
    case VOCS_E_NO_TABLE_NAME: return "no table name in the output path";
    case VOCS_E_TABLE_NOT_CREATED: return "the result table cannot be created";
    case VOCS_E_COLUMN_STATEMENT: return "a column statement (ALTER TABLE) failed";
    case VOCS_E_NO_SOURCE: return "the job has no source; empty field name";
    case VOCS_E_NO_HOST_FOR_RECORD: return "a table record is written without a host";
    case VOCS_E_BULK_LOAD: return "a bulk load of result records failed";
    case VOCS_E_EXECUTABLE_PATH: return "the executable's path has no directory separator";
    case VOCS_E_RECORD_FILE: return "a record spill file cannot be created or written";
    case VOCS_E_OUTPUT_PATH: return "the output name or output directory cannot be made";
    case VOCS_E_NO_RESULT_FILE:
      return "no result file could be produced (a spill or merge file cannot be written); "
             "the output file cannot be opened";
    case VOCS_E_MALFORMED_PAIR_LINE: return "malformed co-occurrence result line";
    case VOCS_E_RESULT_FILE_OPEN: return "the result file cannot be opened";
    case VOCS_E_REPEATED_NAME:
      return "repeated field name; statement output kind other than FILE or TABLE";
    case VOCS_E_PARSE: return "the statement does not parse";
    case VOCS_E_PREPARE_TEXT:
      return "source text preparation failed (bad segmentation mode or text conversion)";
    case VOCS_E_SOURCE_UNREADABLE:
      return "(vocs) a source's text cannot be read: the file cannot be opened or read, "
             "or the host returned no length";
    case VOCS_E_OUT_OF_MEMORY:
      return "(vocs) memory ran out (or another internal failure escaped) during the call";
    case VOCS_E_INDEX_STATEMENT: return "the index statement failed";
    case VOCS_E_NO_HOST: return "the job has no host interface";
    case VOCS_E_UNKNOWN_REQUEST: return "unrecognised request name or statement kind";
    case VOCS_E_BAD_MODE:
      return "bad segmentation mode or empty SEGASCOL delimiters; malformed frequency result line";
    case VOCS_E_NO_TERM_COUNT: return "a term of a co-occurrence result line has no term count";
    case VOCS_E_FILE_SOURCE: return "empty or repeated file source";
    default: return "unknown error code";
  }
}

#endif /* VOCS_ERRORS_H_ */
