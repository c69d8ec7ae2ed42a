// One viewer of a board's events. It holds no copy of the board: an event is the board
// version's own text, shared by every viewer, and at most one waits while another is written
// (a newer version replaces it). A viewer that closes, or stops reading for two keep-alive
// periods, is dropped.
#include <array>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "service/web/server_context.h"

namespace brindle::service::web {
namespace {

namespace net = boost::asio;

constexpr std::string_view kHeader =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Accept-Ranges: none\r\n"
    "Connection: close\r\n"
    "\r\n";
constexpr std::string_view kKeepAlive = ": keep-alive\n";
// What the viewer sends after its request is read and dropped, this much at a time.
constexpr std::size_t kScratch = 64;

class EventStream final : public BoardViewer, public std::enable_shared_from_this<EventStream> {
 public:
  EventStream(net::ip::tcp::socket socket, ServerContext& context)
      : socket_(std::move(socket)), timer_(socket_.get_executor()), context_(context) {
    context_.metrics.ViewerCame();
  }
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;
  EventStream(EventStream&&) = delete;
  EventStream& operator=(EventStream&&) = delete;
  ~EventStream() { context_.metrics.ViewerLeft(); }

  void Start(const LeaderboardQuery& query) {
    std::shared_ptr<const std::string> current;
    subscription_ = context_.boards.Watch(query, weak_from_this(), current);
    if (current) {
      next_ = std::move(current);
    } else {
      // Read (once for every viewer asking now); the board's first version is then shown.
      net::post(context_.reads, [self = shared_from_this(), query] {
        static_cast<void>(self->context_.boards.Read(query));
      });
    }
    WriteNext();
    Listen();
    Tick();
  }

  void Show(std::shared_ptr<const std::string> event) override {
    net::post(socket_.get_executor(), [self = shared_from_this(), event = std::move(event)] {
      self->next_ = event;
      self->WriteNext();
    });
  }

 private:
  void WriteNext() {
    if (busy_ || !socket_.is_open()) {
      return;
    }
    std::string_view text;
    if (!headerSent_) {
      text = kHeader;
      headerSent_ = true;
    } else if (next_) {
      writing_ = std::move(next_);
      text = *writing_;
    } else if (keepAliveDue_) {
      text = kKeepAlive;
      keepAliveDue_ = false;
    } else {
      return;
    }
    busy_ = true;
    stalledTicks_ = 0;
    net::async_write(socket_, net::buffer(text.data(), text.size()),
                     [self = shared_from_this()](boost::system::error_code failure, std::size_t) {
                       self->busy_ = false;
                       self->writing_.reset();
                       if (failure) {
                         self->Close();
                       } else {
                         self->WriteNext();
                       }
                     });
  }

  // Only an end or an error is of interest here.
  void Listen() {
    socket_.async_read_some(
        net::buffer(scratch_),
        [self = shared_from_this()](boost::system::error_code failure, std::size_t) {
          if (failure) {
            self->Close();
          } else {
            self->Listen();
          }
        });
  }

  void Tick() {
    timer_.expires_after(context_.times.keepAlive);
    timer_.async_wait([self = shared_from_this()](boost::system::error_code failure) {
      if (failure || !self->socket_.is_open()) {
        return;
      }
      if (self->busy_ && ++self->stalledTicks_ >= 2) {
        self->Close();
        return;
      }
      self->keepAliveDue_ = true;
      self->WriteNext();
      self->Tick();
    });
  }

  void Close() {
    boost::system::error_code ignored;
    static_cast<void>(socket_.close(ignored));
    timer_.cancel();
  }

  net::ip::tcp::socket socket_;
  net::steady_timer timer_;
  ServerContext& context_;
  BoardCache::Subscription subscription_;
  std::shared_ptr<const std::string> next_;     // the newest event not yet written
  std::shared_ptr<const std::string> writing_;  // the event being written, if one is
  std::array<char, kScratch> scratch_{};
  int stalledTicks_ = 0;
  bool busy_ = false;  // a write is under way
  bool headerSent_ = false;
  bool keepAliveDue_ = false;
};

}  // namespace

void StartEventStream(net::ip::tcp::socket socket, ServerContext& context,
                      const LeaderboardQuery& query) {
  const auto strand = socket.get_executor();
  auto stream = std::make_shared<EventStream>(std::move(socket), context);
  net::dispatch(strand, [stream, query] { stream->Start(query); });
}

}  // namespace brindle::service::web
