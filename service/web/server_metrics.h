// What `brindle web` counts of itself (requests by route and status, live viewers) and the
// page of metrics it serves at /metrics: those counts and what each service last reported of
// its port, in the Prometheus text format.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/message_store.h"

namespace brindle::service::web {

class ServerMetrics {
 public:
  // `route` is one of a few fixed names (never the address asked for, which a client chooses).
  void CountRequest(std::string_view route, unsigned status);
  void ViewerCame() { ++viewers_; }
  void ViewerLeft() { --viewers_; }

  // The page; `ports` nullopt when the store could not be read.
  std::string Render(const std::optional<std::vector<PortStatus>>& ports);

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, unsigned>, std::uint64_t> requests_;  // guarded by mutex_
  std::atomic<std::int64_t> viewers_{0};
};

}  // namespace brindle::service::web
