// PlugModule: the module object a database server creates through
// PlugModule_CreateInstance, and its command dispatch.
//
// The server hands it its callback interface and sends commands through
// Execute: "sql!" statements of the statistics language and "r!" packed
// requests. Each command builds a task, a writer and a job, runs the job on
// the calling thread and destroys them; nothing is kept between commands.
//
// The nine operations keep their fixed positions (PlugModuleInterface); they
// are thin trampolines that catch anything escaping the C++ code. The lock is
// held only while a statement is parsed, so several commands can run on one
// module at once. The host pointer is not owned; a command uses the host that
// is set when it starts.
#ifndef VOCS_API_PLUG_MODULE_H_
#define VOCS_API_PLUG_MODULE_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "api/packed_request.h"
#include "api/statistics_runs.h"
#include "platform/mutex.h"
#include "vocs/module.h"

namespace vocs {

struct StatCommand;

// The run a parsed statement (of kind WORDFREQ or ASSOCIATEDFREQ) asks
// for: its engine, output, work directory, minimum frequency, query and
// sources; a frequency run over files writes the term and its frequency only.
StatisticsRun RunOfStatement(const StatCommand& command, HostInterface* host);

class PlugModule final : public PlugModuleInterface {
 public:
  explicit PlugModule(const char* name);

  void VOCS_MODCALL Release() override;
  void VOCS_MODCALL Reserved1() override {}
  int32_t VOCS_MODCALL Execute(const char* request, int32_t value1, int32_t value2,
                               int32_t value3) override;
  bool VOCS_MODCALL Reserved3() override { return true; }
  void VOCS_MODCALL Reserved4(int32_t) override {}
  bool VOCS_MODCALL Reserved5(int32_t) override { return true; }
  void VOCS_MODCALL SetHostInterface(HostInterface* host) override { host_.store(host); }
  void VOCS_MODCALL SetHostValue(int32_t value) override { host_value_ = value; }
  PlugModuleInterface* VOCS_MODCALL Destroy(int32_t flags) override;

  // The C++ side of Execute: runs one framed command.
  int32_t RunCommand(const char* request);
  // A packed request whose body is [body, end): the command-line program and
  // the fuzz targets know the length.
  int32_t RunPackedRequest(const char* name, const char* body, const char* end);
  // A statement of the statistics language.
  int32_t RunStatement(const char* statement);

  HostInterface* host() const { return host_.load(); }
  int32_t hostValue() const { return host_value_; }
  const std::string& name() const { return name_; }

 private:
  ~PlugModule() = default;  // only Destroy deletes

  int32_t RunFrequencyRequest(const PackedRequest& request, HostInterface* host);
  int32_t RunCooccurrenceRequest(const PackedRequest& request, HostInterface* host);
  int32_t RunFrequencyStatement(const StatCommand& command, HostInterface* host);
  int32_t RunCooccurrenceStatement(const StatCommand& command, HostInterface* host);

  Mutex lock_;  // a critical section on Windows
  std::string name_;
  std::atomic<HostInterface*> host_{nullptr};
  int32_t host_value_ = 0;
};

}  // namespace vocs

#endif  // VOCS_API_PLUG_MODULE_H_
