// One connection's requests: read with a deadline and limits, routed, answered from memory
// (or, on a board's first request after a change, once the reading threads have read it).
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/http/span_body.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "service/web/html_page.h"
#include "service/web/request_parameters.h"
#include "service/web/server_context.h"

namespace brindle::service::web {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;

constexpr std::string_view kGamePrefix = "/games/";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kJson = "application/json";
constexpr const char* kMetrics = "text/plain; version=0.0.4; charset=utf-8";
// No script or style from anywhere else, no frames: a handle that slipped through as markup
// still could not run.
constexpr const char* kPolicy =
    "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
// Boards may be kept by the client but are asked for again each time: their tag makes that a
// 304 when nothing changed. Everything else is not kept.
constexpr const char* kRevalidate = "no-cache";
constexpr const char* kNotKept = "no-store";
constexpr std::uint32_t kMaxHeader = 8192;
// Nothing here reads a body; a small one is read and answered, a larger one refused.
constexpr std::uint64_t kMaxBody = 4096;
constexpr std::size_t kMaxBuffered = kMaxHeader + kMaxBody;
constexpr int kKeepAliveRequests = 1000;

// A request's route as the metrics name it: a few fixed names, whatever was asked for.
std::string_view RouteOf(std::string_view path) {
  for (const std::string_view route :
       {"/", "/api/scores", "/api/events", "/live.js", "/healthz", "/metrics"}) {
    if (path == route) {
      return route;
    }
  }
  return path.starts_with(kGamePrefix) ? "/games/ID" : "other";
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(net::ip::tcp::socket socket, ServerContext& context)
      : stream_(std::move(socket)), context_(context) {}

  void ReadNext() {
    route_ = "other";
    parser_.emplace();
    parser_->header_limit(kMaxHeader);
    parser_->body_limit(kMaxBody);
    stream_.expires_after(context_.times.request);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code failure, std::size_t) {
                       self->OnRead(failure);
                     });
  }

 private:
  void OnRead(beast::error_code failure) {
    if (failure == http::error::body_limit) {
      Refuse(http::status::payload_too_large, "a request here has no body", false);
    } else if (failure == http::error::header_limit || failure == http::error::buffer_overflow) {
      Refuse(http::status::request_header_fields_too_large, "headers too large", false);
    } else if (failure &&
               failure.category() == http::make_error_code(http::error::bad_method).category()) {
      Refuse(http::status::bad_request, "bad request", false);
    } else if (failure) {
      Close();  // closed, reset or too slow: nothing to say
    } else {
      Route();
    }
  }

  void Route() {
    const auto& request = parser_->get();
    head_ = request.method() == http::verb::head;
    version_ = request.version();
    ifNoneMatch_ = std::string(request[http::field::if_none_match]);
    const bool keepAlive = request.keep_alive() && ++served_ < kKeepAliveRequests;
    if (request.method() != http::verb::get && !head_) {
      Refuse(http::status::method_not_allowed, "only GET and HEAD", keepAlive);
      response_.set(http::field::allow, "GET, HEAD");
      return;
    }
    const std::string_view target(request.target().data(), request.target().size());
    const std::string_view path = target.substr(0, target.find('?'));
    const std::string_view query =
        path.size() < target.size() ? target.substr(path.size() + 1) : std::string_view();
    const bool api = path == "/api/scores" || path == "/api/events";
    route_ = RouteOf(path);
    if (!api && !query.empty()) {
      return Refuse(http::status::bad_request, "this page takes no parameters", keepAlive);
    }
    if (path == "/") {
      return AnswerBoard({std::nullopt, kFrontPageTop}, true, keepAlive);
    }
    if (path.starts_with(kGamePrefix)) {
      const auto game = ParseGameId(path.substr(kGamePrefix.size()));
      if (!game) {
        return Refuse(http::status::not_found, "no such page: a game id is a 32-bit whole number",
                      keepAlive);
      }
      return AnswerBoard({game, kMaxTop}, true, keepAlive);
    }
    if (api) {
      LeaderboardQuery board;
      std::string why;
      if (!ReadLeaderboardQuery(query, board, why)) {
        return Refuse(http::status::bad_request, why, keepAlive);
      }
      if (path == "/api/scores") {
        return AnswerBoard(board, false, keepAlive);
      }
      if (!head_) {
        context_.metrics.CountRequest(route_, static_cast<unsigned>(http::status::ok));
        return StartEventStream(stream_.release_socket(), context_, board);
      }
      Answer(http::status::ok, "text/event-stream", {}, kNotKept, keepAlive);
      return Write();
    }
    if (path == "/healthz" || path == "/metrics") {
      return AnswerOperator(path == "/metrics", keepAlive);
    }
    if (path == "/live.js") {
      Answer(http::status::ok, "text/javascript; charset=utf-8", LiveScript(), kNotKept, keepAlive);
      return Write();
    }
    Refuse(http::status::not_found, "no such page", keepAlive);
  }

  // From memory when held; else read on a reading thread, and answered back on this
  // connection's strand.
  void AnswerBoard(const LeaderboardQuery& query, bool page, bool keepAlive) {
    if (auto board = context_.boards.Held(query)) {
      return Show(std::move(board), page, keepAlive);
    }
    net::post(context_.reads, [self = shared_from_this(), query, page, keepAlive] {
      auto board = self->context_.boards.Read(query);
      net::post(self->stream_.get_executor(), [self, board = std::move(board), page, keepAlive] {
        self->Show(board, page, keepAlive);
      });
    });
  }

  // /healthz: 200 when the store answers a read now, 503 when not; /metrics: the counts.
  void AnswerOperator(bool metrics, bool keepAlive) {
    net::post(context_.reads, [self = shared_from_this(), metrics, keepAlive] {
      auto ports = self->context_.boards.ReadPorts(!metrics);
      net::post(self->stream_.get_executor(), [self, ports = std::move(ports), metrics, keepAlive] {
        if (!metrics) {
          return ports ? self->Say(http::status::ok, "ok", keepAlive)
                       : self->Refuse(http::status::service_unavailable,
                                      "the database cannot be read now", keepAlive);
        }
        self->text_ = self->context_.metrics.Render(ports);
        self->Answer(http::status::ok, kMetrics, self->text_, kNotKept, keepAlive);
        self->Write();
      });
    });
  }

  void Show(std::shared_ptr<const Board> board, bool page, bool keepAlive) {
    if (!board) {
      return Refuse(http::status::service_unavailable, "the database cannot be read now",
                    keepAlive);
    }
    board_ = std::move(board);
    const std::string& tag = page ? board_->pageTag : board_->jsonTag;
    if (NamesTag(ifNoneMatch_, tag)) {
      Answer(http::status::not_modified, page ? kHtml : kJson, {}, kRevalidate, keepAlive);
      response_.erase(http::field::content_length);
    } else {
      Answer(http::status::ok, page ? kHtml : kJson, page ? board_->page : board_->json,
             kRevalidate, keepAlive);
    }
    response_.set(http::field::etag, tag);
    if (page) {
      response_.set("Content-Security-Policy", kPolicy);
    }
    Write();
  }

  void Refuse(http::status status, const std::string& why, bool keepAlive) {
    Say(status, why, keepAlive);
  }

  // A line of text as the answer.
  void Say(http::status status, const std::string& line, bool keepAlive) {
    text_ = line + "\n";
    Answer(status, kText, text_, kNotKept, keepAlive);
    Write();
  }

  // A HEAD answer has the GET's headers, its length too, and no body.
  void Answer(http::status status, const char* type, std::string_view body,
              const char* cacheControl, bool keepAlive) {
    context_.metrics.CountRequest(route_, static_cast<unsigned>(status));
    response_ = {};
    response_.version(version_);
    response_.result(status);
    response_.set(http::field::content_type, type);
    response_.set("X-Content-Type-Options", "nosniff");
    response_.set(http::field::cache_control, cacheControl);
    response_.set(http::field::accept_ranges, "none");
    response_.keep_alive(keepAlive);
    response_.content_length(body.size());
    if (!head_) {
      response_.body() = {body.data(), body.size()};
    }
  }

  // Posted after the answer is set up, so Refuse's callers may add headers first.
  void Write() {
    net::post(stream_.get_executor(), [self = shared_from_this()] {
      self->stream_.expires_after(self->context_.times.request);
      http::async_write(self->stream_, self->response_,
                        [self](beast::error_code failure, std::size_t) {
                          self->board_.reset();
                          if (failure || !self->response_.keep_alive()) {
                            self->Close();
                          } else {
                            self->ReadNext();
                          }
                        });
    });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
  }

  beast::tcp_stream stream_;
  ServerContext& context_;
  beast::flat_buffer buffer_{kMaxBuffered};
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::span_body<const char>> response_;
  std::shared_ptr<const Board> board_;  // what response_'s body points into
  std::string text_;                    // the same, for a refusal
  std::string ifNoneMatch_;
  unsigned version_ = 11;
  bool head_ = false;
  int served_ = 0;
  std::string_view route_;  // the request's route for the metrics
};

}  // namespace

void StartHttpSession(net::ip::tcp::socket socket, ServerContext& context) {
  const auto strand = socket.get_executor();
  auto session = std::make_shared<HttpSession>(std::move(socket), context);
  net::dispatch(strand, [session] { session->ReadNext(); });
}

}  // namespace brindle::service::web
