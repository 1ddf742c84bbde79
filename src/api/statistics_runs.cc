#include "api/statistics_runs.h"

#include <memory>
#include <utility>

#include "cooc/cooccurrence_task.h"
#include "freq/frequency_task.h"
#include "job/stat_job.h"
#include "output/file_result_writer.h"
#include "output/table_result_writer.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

std::unique_ptr<SpillingTask> MakeTask(StatisticKind statistic) {
  if (statistic == StatisticKind::kFrequency) return std::make_unique<FrequencyTask>();
  return std::make_unique<CooccurrenceTask>();
}

std::unique_ptr<ResultWriter> MakeWriter(StatisticKind statistic, OutputTarget output) {
  const bool frequency = statistic == StatisticKind::kFrequency;
  if (output == OutputTarget::kTable) {
    if (frequency) return std::make_unique<FrequencyTableWriter>();
    return std::make_unique<CooccurrenceTableWriter>();
  }
  if (frequency) return std::make_unique<FrequencyFileWriter>();
  return std::make_unique<CooccurrenceFileWriter>();
}

void AddSource(const RunSource& source, StatJob* job) {
  switch (source.kind) {
    case RunSource::Kind::kField:
      job->AddFieldSource(source.name.c_str(), source.mode, source.mode_text.c_str());
      break;
    case RunSource::Kind::kBuffer:
      job->AddBufferSource(source.data, source.length, source.mode, source.mode_text.c_str());
      break;
    case RunSource::Kind::kFile:
      job->AddFileSource(source.name.c_str(), source.mode, source.mode_text.c_str());
      break;
  }
}

}  // namespace

RunSource RunSource::Field(std::string name, int32_t mode, std::string mode_text) {
  RunSource source;
  source.kind = Kind::kField;
  source.name = std::move(name);
  source.mode = mode;
  source.mode_text = std::move(mode_text);
  return source;
}

RunSource RunSource::Buffer(const char* data, int32_t length, int32_t mode, std::string mode_text) {
  RunSource source;
  source.kind = Kind::kBuffer;
  source.data = data;
  source.length = length;
  source.mode = mode;
  source.mode_text = std::move(mode_text);
  return source;
}

RunSource RunSource::File(std::string path, int32_t mode, std::string mode_text) {
  RunSource source;
  source.kind = Kind::kFile;
  source.name = std::move(path);
  source.mode = mode;
  source.mode_text = std::move(mode_text);
  return source;
}

int32_t RunStatistics(const StatisticsRun& run) { return RunStatistics(run, nullptr); }

int32_t RunStatistics(const StatisticsRun& run, std::string* partial_error) {
  // Declared in the reverse of the destruction order: writer, job, task.
  std::unique_ptr<SpillingTask> task = MakeTask(run.statistic);
  std::unique_ptr<StatJob> job;
  std::unique_ptr<ResultWriter> writer;

  task->SetTempDir(run.temp_dir.c_str());
  task->SetMinFrequency(run.min_frequency);
  if (run.spill_threshold_for_testing > 0) {
    task->SetSpillThresholdForTesting(run.spill_threshold_for_testing);
  }

  writer = MakeWriter(run.statistic, run.output);
  if (run.output == OutputTarget::kTable) writer->setHost(run.host);
  writer->setMode(run.writer_mode);

  // A name the rule cannot resolve leaves the output name empty, which the
  // writer's open refuses with its own code.
  task->SetOutputName(run.output_name);
  task->SetWriter(writer.get());
  if (!run.partial_path.empty()) {
    PartialHeader header = run.partial_header;
    header.writer_mode = run.writer_mode;
    header.min_frequency = run.min_frequency;
    task->SetPartialOutput(run.partial_path, std::move(header));
  }

  job = std::make_unique<StatJob>();
  job->SetHost(run.host);
  for (const RunSource& source : run.sources) AddSource(source, job.get());
  if (run.statistic == StatisticKind::kFrequency) {
    job->SetFrequencyTask(task.get());
  } else {
    job->SetCooccurrenceTask(task.get());
  }

  const bool ok = job->Run(run.query.c_str());
  int32_t result = 0;
  if (!ok) result = job->error_code() != 0 ? job->error_code() : VOCS_E_SOURCE_UNREADABLE;
  if (partial_error != nullptr) *partial_error = task->partial_error();

  writer.reset();
  job.reset();
  task.reset();
  return result;
}

int32_t DeliverPartialResults(const PartialDelivery& delivery, std::string* error) {
  if (delivery.partials.empty()) {
    *error = "no partial result given";
    return VOCS_E_RESULT_FILE_OPEN;
  }
  // The first header chooses the engine and the columns; the task reads and
  // checks every partial in full before it merges any.
  PartialHeader first;
  if (!ReadPartialHeader(delivery.partials.front(), &first, error)) return VOCS_E_RESULT_FILE_OPEN;
  const StatisticKind statistic = first.engine == kFrequencyPartial
                                      ? StatisticKind::kFrequency
                                      : StatisticKind::kCooccurrence;
  std::unique_ptr<FrequencyTask> frequency;
  std::unique_ptr<CooccurrenceTask> cooccurrence;
  SpillingTask* task = nullptr;
  if (statistic == StatisticKind::kFrequency) {
    task = (frequency = std::make_unique<FrequencyTask>()).get();
  } else {
    task = (cooccurrence = std::make_unique<CooccurrenceTask>()).get();
  }
  task->SetTempDir(delivery.temp_dir.c_str());
  std::unique_ptr<ResultWriter> writer = MakeWriter(statistic, delivery.output);
  if (delivery.output == OutputTarget::kTable) writer->setHost(delivery.host);
  writer->setMode(first.writer_mode);
  task->SetOutputName(delivery.output_name);
  task->SetWriter(writer.get());
  const int32_t result = frequency != nullptr ? frequency->DeliverPartials(delivery.partials)
                                              : cooccurrence->DeliverPartials(delivery.partials);
  *error = task->partial_error();
  return result;
}

}  // namespace vocs
