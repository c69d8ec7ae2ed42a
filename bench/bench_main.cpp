// brindle-bench's own main: the time zone is fixed before anything runs, because libgammu reads
// the local time on every message and, with TZ unset, the C library looks the zone up anew each
// time; that lookup would be measured as gammu's work.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
  setenv("TZ", "UTC", 1);  // NOLINT(concurrency-mt-unsafe): before any thread starts
  tzset();
  benchmark::AddCustomContext("TZ", "UTC (set by brindle-bench before it runs)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
