// vocs import: a corpus into a table of the database.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/corpus_importer.h"
#include "cli/corpus_reader.h"
#include "host/database.h"

namespace vocs::cli {

namespace {

constexpr const char* kImportHelp = R"(Usage: vocs import --table NAME [OPTIONS] INPUT...

Loads a corpus into a table of the database, for statements to query.
Each INPUT is a file or a directory (read recursively, in name order).

Options:
  --db FILE        the database (default: vocs.db in the current directory),
                   made when missing
  --table NAME     the table to fill (letters, digits, _ $ - . and non-ASCII)
  --format FORMAT  how inputs are read; by default from each file's name:
                     text     one record per file: path, title, body
                              (.txt; a directory stands for every file in
                              it with --format text, and without --format
                              for its .txt, .tsv and .jsonl files)
                     tsv      a header line of column names, then one record
                              per line, TAB-separated (.tsv, .tab); columns
                              of integers or numbers hold numbers
                     jsonl    one JSON object per line (.jsonl, .ndjson)
                     fortune  fortune files, entries separated by "%" lines:
                              title, author, body (files only; a file
                              beside its index NAME.dat is one)
  --encoding auto|utf8|gbk
                   the inputs' encoding; auto (default) takes a file that is
                   valid UTF-8 as UTF-8 and any other as GBK/GB18030
  --replace        drop an existing table of that name first
  --append         add to an existing table (new columns are added)
  --help           this text

The import runs in one transaction: a file that cannot be read or parsed
stops it and nothing is written. Values are stored in UTF-8.

Exit codes: 0 imported; 1 an input was refused (nothing written); 2 bad
command line; 3 the database cannot be opened.
)";

}  // namespace

int ImportCommand(const Args& args) {
  std::string db_path = "vocs.db";
  std::string table;
  std::string format_name;
  host::TextEncoding encoding = host::TextEncoding::kUtf8WhenValid;
  CorpusImporter::Mode mode = CorpusImporter::Mode::kCreate;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    int m;
    if (arg == "--help" || arg == "-h") {
      std::cout << kImportHelp;
      return kExitOk;
    } else if ((m = MatchOption(args, &i, "--db", &value)) != 0) {
      if (m < 0) return UsageError("import", "--db needs a file");
      db_path = value;
    } else if ((m = MatchOption(args, &i, "--table", &value)) != 0) {
      if (m < 0) return UsageError("import", "--table needs a name");
      table = value;
    } else if ((m = MatchOption(args, &i, "--format", &value)) != 0) {
      CorpusFormat ignored;
      if (m < 0 || !ParseCorpusFormat(value, &ignored)) {
        return UsageError("import", "--format takes text, tsv, jsonl or fortune");
      }
      format_name = value;
    } else if ((m = MatchOption(args, &i, "--encoding", &value)) != 0) {
      if (m < 0 || !ParseEncoding(value, &encoding)) {
        return UsageError("import", "--encoding takes auto, utf8 or gbk");
      }
    } else if (arg == "--replace") {
      mode = CorpusImporter::Mode::kReplace;
    } else if (arg == "--append") {
      mode = CorpusImporter::Mode::kAppend;
    } else if (arg.rfind("--", 0) == 0 && arg != "--") {
      return UsageError("import", "unknown option " + arg);
    } else {
      inputs.push_back(arg);
    }
  }
  if (table.empty()) return UsageError("import", "--table is required");
  if (inputs.empty()) return UsageError("import", "no input given");

  // The files, each with its format.
  std::vector<std::pair<std::string, CorpusFormat>> files;
  for (const std::string& input : inputs) {
    CorpusFormat format = FormatOfNamedFile(input);
    if (!format_name.empty()) ParseCorpusFormat(format_name, &format);
    // Asked for by name, text is whatever the files are called.
    if (format == CorpusFormat::kText && !format_name.empty()) format = CorpusFormat::kAnyText;
    std::vector<std::string> expanded;
    std::string error;
    if (!ExpandInput(input, format, &expanded, &error)) return Fail(kExitFailed, error);
    if (format_name.empty() && std::filesystem::is_directory(input)) {
      // Without --format a directory stands for the files of every format,
      // each read by its name.
      for (CorpusFormat other : {CorpusFormat::kTsv, CorpusFormat::kJsonl}) {
        if (!ExpandInput(input, other, &expanded, &error)) return Fail(kExitFailed, error);
      }
      std::sort(expanded.begin(), expanded.end());
    }
    for (std::string& file : expanded) {
      const CorpusFormat file_format =
          !format_name.empty() ? format : file == input ? format : FormatOfName(file);
      files.emplace_back(std::move(file), file_format);
    }
  }
  if (files.empty()) return Fail(kExitFailed, "the inputs hold no file to import");

  host::Database db;
  if (!db.Open(db_path, host::Database::OpenMode::kCreate)) {
    return Fail(kExitSetup, "cannot open the database " + db_path + ": " + db.error());
  }
  CorpusImporter importer(&db, table, mode);
  std::string error;
  if (!importer.Begin(&error)) return Fail(kExitFailed, error);
  host::TextCodec codec;
  ProgressLine progress;
  for (size_t i = 0; i < files.size(); ++i) {
    const auto sink = [&](const CorpusRecord& record, std::string* message) {
      if (!importer.Add(record, message)) return false;
      progress.Show("files " + std::to_string(i + 1) + "/" + std::to_string(files.size()) +
                    ", records " + std::to_string(importer.records()));
      return true;
    };
    if (!ReadCorpusFile(files[i].first, files[i].second, encoding, &codec, sink, &error)) {
      progress.Clear();
      return Fail(kExitFailed, error + "; nothing was imported");
    }
  }
  progress.Clear();
  if (!importer.Commit(&error)) return Fail(kExitFailed, error + "; nothing was imported");
  std::string columns;
  for (const std::string& column : importer.columns()) {
    columns += (columns.empty() ? "" : ", ") + column;
  }
  std::cout << "imported " << importer.records()
            << (importer.records() == 1 ? " record from " : " records from ") << files.size()
            << (files.size() == 1 ? " file" : " files") << " into table " << table << " ("
            << columns << ") of " << AbsolutePath(db_path) << "\n";
  return kExitOk;
}

}  // namespace vocs::cli
