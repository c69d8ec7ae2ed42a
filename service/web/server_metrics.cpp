#include "service/web/server_metrics.h"

#include "base/utf8.h"

namespace brindle::service::web {
namespace {

// A label's value: UTF-8, with \ " and the line end escaped.
std::string Label(std::string_view bytes) {
  std::string out;
  for (const char c : Latin1ToUtf8(bytes)) {
    if (c == '\\' || c == '"') {
      out += '\\';
    }
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void Sample(std::string& out, const char* name, const std::string& labels, std::int64_t value) {
  out += name;
  out += labels.empty() ? std::string() : "{" + labels + "}";
  out += ' ' + std::to_string(value) + '\n';
}

}  // namespace

void ServerMetrics::CountRequest(std::string_view route, unsigned status) {
  const std::lock_guard lock(mutex_);
  ++requests_[{std::string(route), status}];
}

std::string ServerMetrics::Render(const std::optional<std::vector<PortStatus>>& ports) {
  std::string out;
  Family(out, "brindle_store_up", "gauge", "1 when the database answered this scrape.");
  Sample(out, "brindle_store_up", "", ports ? 1 : 0);
  Family(out, "brindle_live_viewers", "gauge", "Event streams open now.");
  Sample(out, "brindle_live_viewers", "", viewers_.load());
  Family(out, "brindle_http_requests_total", "counter", "Requests answered, by route and status.");
  {
    const std::lock_guard lock(mutex_);
    for (const auto& [key, count] : requests_) {
      Sample(out, "brindle_http_requests_total",
             "route=\"" + Label(key.first) + "\",status=\"" + std::to_string(key.second) + "\"",
             static_cast<std::int64_t>(count));
    }
  }
  if (!ports) {
    return out;
  }
  struct Counter {
    const char* name;
    const char* help;
    std::uint64_t PortReport::*field;
  };
  for (const Counter& counter :
       {Counter{"brindle_messages_stored_total",
                "Messages stored by the service on the port since it started, rejected ones too.",
                &PortReport::storedCount},
        Counter{"brindle_messages_rejected_total", "Of those, messages kept as rejected.",
                &PortReport::rejectedCount},
        Counter{"brindle_messages_deleted_total",
                "Messages deleted from the phone since the service started.",
                &PortReport::deletedCount}}) {
    Family(out, counter.name, "counter", counter.help);
    for (const PortStatus& port : *ports) {
      Sample(out, counter.name, "port=\"" + Label(port.report.port) + "\"",
             static_cast<std::int64_t>(port.report.*counter.field));
    }
  }
  Family(out, "brindle_last_message_age_seconds", "gauge",
         "Seconds since the service on the port last stored a message.");
  for (const PortStatus& port : *ports) {
    if (port.messageAgo) {
      Sample(out, "brindle_last_message_age_seconds", "port=\"" + Label(port.report.port) + "\"",
             *port.messageAgo);
    }
  }
  Family(out, "brindle_last_heard_age_seconds", "gauge",
         "Seconds since the service on the port last reported.");
  for (const PortStatus& port : *ports) {
    Sample(out, "brindle_last_heard_age_seconds", "port=\"" + Label(port.report.port) + "\"",
           port.heardAgo);
  }
  Family(out, "brindle_phone_state", "gauge",
         "1 for the state the service on the port last reported, 0 for the others.");
  for (const PortStatus& port : *ports) {
    for (const PortState state : {PortState::kInitialising, PortState::kReady,
                                  PortState::kReconnecting, PortState::kStopped}) {
      Sample(out, "brindle_phone_state",
             "port=\"" + Label(port.report.port) + "\",state=\"" +
                 std::string(PortStateName(state)) + "\"",
             port.report.state == state ? 1 : 0);
    }
  }
  return out;
}

}  // namespace brindle::service::web
