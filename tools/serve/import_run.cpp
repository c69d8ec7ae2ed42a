// `brindle import`: PDU lines from standard input into the database, one summary line on
// standard error.
#include <sys/types.h>

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "service/pdu_import.h"
#include "tools/exit_status.h"
#include "tools/serve/serve_run.h"

namespace brindle::tools {
namespace {

struct LineFree {
  void operator()(char* line) const { std::free(line); }
};

void Summary(const service::ImportCounts& counts, std::uint64_t elapsedMs) {
  static_cast<void>(std::fprintf(
      stderr,
      "brindle import: %" PRIu64 " lines: %" PRIu64 " stored (%" PRIu64
      " of them rejected), %" PRIu64 " already held, %" PRIu64 " blank; %" PRIu64 " ms\n",
      counts.lines, counts.stored, counts.rejected, counts.held, counts.blank, elapsedMs));
}

// A test hook, not an option: BRINDLE_IMPORT_BATCH makes transactions of a few lines, so that
// a test crosses from one to the next without an archive of tens of thousands.
std::size_t Batch() {
  const char* batch = std::getenv("BRINDLE_IMPORT_BATCH");
  std::size_t lines = 0;
  if (batch != nullptr &&
      std::from_chars(batch, batch + std::strlen(batch), lines).ec == std::errc() && lines > 0) {
    return lines;
  }
  return service::kImportBatch;
}

}  // namespace

int RunImport(const std::string& db, std::FILE* in) {
  service::StoreError error;
  auto store = service::OpenMessageStore(db, service::OpenMode::kCreateIfMissing, error);
  if (!store) {
    static_cast<void>(std::fprintf(stderr, "brindle import: cannot use the database %s: %s\n",
                                   db.c_str(), error.text.c_str()));
    return kExitBadInput;
  }
  SteadyClock clock;
  const std::uint64_t start = clock.NowMs();
  service::PduImport import(*store, Batch());
  char* raw = nullptr;
  std::size_t capacity = 0;
  ssize_t length = 0;
  bool kept = true;
  while (kept && (length = getline(&raw, &capacity, in)) >= 0) {
    std::string_view line(raw, static_cast<std::size_t>(length));
    if (line.ends_with('\n')) {
      line.remove_suffix(1);
    }
    kept = import.Add(line, error);
  }
  const std::unique_ptr<char, LineFree> owned(raw);
  kept = kept && import.Finish(error);
  Summary(import.counts(), clock.NowMs() - start);
  if (!kept) {
    static_cast<void>(std::fprintf(stderr,
                                   "brindle import: cannot store in %s: %s; what is counted "
                                   "stored is kept, and a second import skips it\n",
                                   db.c_str(), error.text.c_str()));
    return kExitBadInput;
  }
  if (std::ferror(in) != 0) {
    static_cast<void>(std::fputs("brindle import: reading standard input failed\n", stderr));
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace brindle::tools
