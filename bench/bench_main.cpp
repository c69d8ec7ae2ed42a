// brindle-bench's own main: the time zone is fixed before anything runs, because libgammu reads
// the local time on every message and, with TZ unset, the C library looks the zone up anew each
// time; that lookup would be measured as gammu's work.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "codec/score_reader.h"

namespace {

// The console report, and whether any benchmark failed its goal, for the exit status.
class FailureNotingReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      failed = failed || run.error_occurred;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("TZ", "UTC", 1);  // NOLINT(concurrency-mt-unsafe): before any thread starts
  tzset();
  benchmark::AddCustomContext("TZ", "UTC (set by brindle-bench before it runs)");
  // Which reader the decoding benchmarks ran: BRINDLE_CODEC_PATH=portable picks the portable one.
  benchmark::AddCustomContext("codec_path", brindle::CodecPathName(brindle::ActiveCodecPath()));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  FailureNotingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.failed ? 1 : 0;
}
