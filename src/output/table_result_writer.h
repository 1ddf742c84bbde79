// Table writers: results into a new table of the host database.
//
// A table writer creates the result table by sending statement texts through
// the host interface, collects the records in tagged-record spill files (see
// record_spill_file.h) in the table's directory, and at the end has the host
// bulk-load each file, re-declares every column with the attribute NORMAL and
// indexes the table. The host statements of one run, in order:
//
//   open:   CREATE TABLE (on failure DROP TABLE and CREATE TABLE once more)
//   finish: "bulkload table" once per spill file, in creation order;
//           getFieldCount, getFieldDescriptors, getFieldTypeText per field;
//           one ALTER TABLE per field that has a type text; INDEX
//
// Every statement is run with flag 1 and counts as successful exactly when the
// host leaves an id above 0 in the handle; no text of the host is read.
//
// The output path names the table: its last component is the table name, the
// whole path is the table's PATH, and the directory before it (created with
// its parents when missing) holds the spill files. Records are never kept in
// memory: each goes to the current spill file at once.
//
// Spill files are deleted one by one as they are loaded. When the run stops
// before finish, or a load fails, or a spill file could not be created or
// written, the unloaded files stay in the output directory and the table is
// left as far as it got.
//
// Ownership: the creator owns the writer; the host is borrowed and must
// outlive it. A writer serves one output, on one thread.
#ifndef VOCS_OUTPUT_TABLE_RESULT_WRITER_H_
#define VOCS_OUTPUT_TABLE_RESULT_WRITER_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "output/record_spill_file.h"
#include "output/result_writer.h"
#include "vocs/errors.h"

namespace vocs {

class TableResultWriter : public ResultWriter {
 public:
  // One column of the CREATE TABLE statement: the field's vocabulary and its
  // type text, with its leading space (" CHAR(128)").
  struct Column {
    const FieldVocabulary* field;
    std::string_view type;
  };

  void setHost(HostInterface* host) override { host_ = host; }

  // Stores the path, creates its directory, takes the table name from it,
  // creates the table and the first spill file. 0; VOCS_E_OUTPUT_PATH (no
  // separator, or the directory cannot be made), VOCS_E_NO_TABLE_NAME,
  // VOCS_E_TABLE_NOT_CREATED (no host, or the table cannot be created),
  // VOCS_E_RECORD_FILE (no spill file).
  int open(const std::string& path) override;

  // Loads the spill files and declares and indexes the columns. After an
  // open that failed (or without one), returns that failure and calls
  // nothing. Otherwise 0;
  // VOCS_E_RECORD_FILE when a record could not be kept in a spill file (then
  // nothing is loaded and every file stays on disk); VOCS_E_BULK_LOAD (the
  // failed file and all later ones stay on disk); VOCS_E_COLUMN_STATEMENT;
  // VOCS_E_INDEX_STATEMENT; VOCS_E_NO_HOST_FOR_RECORD without a host. A host
  // that reports no fields ends the work after the loads with 0.
  int finish() override;

  // Takes the table name from the output path: the last component, a trailing
  // separator ignored. False when the path has no separator before the name
  // or the name is empty.
  virtual bool extractTableName();
  // Creates the table with the writer's columns; the base has none and
  // returns false.
  virtual bool createTable() { return false; }
  // Runs one statement; true when the host answers with an id above 0 (the
  // handle is then closed at once). False without a host.
  virtual bool execute(const std::string& text, int32_t flag);

  const std::string& table_name() const { return table_name_; }
  const RecordSpillFile& spill_file() const { return spill_; }

  // Lowers the size at which a spill file is closed and the next begun.
  // Tests only.
  void SetSpillSizeLimitForTesting(uint64_t limit) { spill_.SetSizeLimitForTesting(limit); }

 protected:
  // Sends CREATE TABLE with the given columns; when it fails, DROP TABLE and
  // CREATE TABLE once more. True when the table was created.
  bool CreateTableWithColumns(std::span<const Column> columns);
  // Composes one tagged record into line_, the record's fields under the
  // tags of `fields` in order, and appends it to the spill file. 0,
  // VOCS_E_NO_HOST_FOR_RECORD without a host, or VOCS_E_RECORD_FILE when the
  // record cannot be kept.
  int WriteTaggedRecord(std::span<const FieldVocabulary> fields, RecordView record);

  HostInterface* host_ = nullptr;
  std::string table_name_;
  RecordSpillFile spill_;
  int open_result_ = VOCS_E_RECORD_FILE;  // no spill file before open

 private:
  int OpenTable(const std::string& path);
  int LoadSpillFiles();
  int DeclareColumns();
};

class FrequencyTableWriter final : public TableResultWriter {
 public:
  // Mode 1 (frequency only): the term and its frequency; else all seven fields.
  int writeRecord(RecordView record) override;
  bool createTable() override;
};

class CooccurrenceTableWriter final : public TableResultWriter {
 public:
  // All six fields, whatever the mode.
  int writeRecord(RecordView record) override;
  bool createTable() override;
};

}  // namespace vocs

#endif  // VOCS_OUTPUT_TABLE_RESULT_WRITER_H_
