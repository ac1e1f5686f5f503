#include "FaultInjector.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

#include "ConnectionCloser.h"
#include "ErpService.h"

namespace erpsim {

namespace {

const std::size_t mebibyte = 1024 * 1024;

// How much more than the reply overlength announces.
const std::size_t overlengthBytes = 1024;

// How often a held connection checks that its client is still there, so that
// a client that gives up frees the worker soon after.
const int clientCheckMs = 20;

// reply padded to size bytes with an XML comment before its closing tag, so
// that the body stays the same reply to an XML reader. Produced piece by
// piece: a large body is never held in memory.
class PaddedReply {
 public:
  PaddedReply(const std::string& reply, std::size_t size) {
    const std::size_t close = reply.rfind("</");
    const std::size_t split = close == std::string::npos ? reply.size() : close;
    head_ = reply.substr(0, split) + "<!--";
    tail_ = "-->" + reply.substr(split);
    padding_ = size > head_.size() + tail_.size() ? size - head_.size() - tail_.size() : 0;
  }

  std::size_t size() const { return head_.size() + padding_ + tail_.size(); }

  // Writes the next piece from offset into sink.
  bool write(std::size_t offset, httplib::DataSink& sink) const {
    static const std::string filler(64 * 1024, 'x');
    if (offset < head_.size()) {
      return sink.write(head_.data() + offset, head_.size() - offset);
    }
    offset -= head_.size();
    if (offset < padding_) {
      return sink.write(filler.data(), std::min(filler.size(), padding_ - offset));
    }
    offset -= padding_;
    return sink.write(tail_.data() + offset, tail_.size() - offset);
  }

 private:
  std::string head_;
  std::size_t padding_ = 0;
  std::string tail_;
};

}  // namespace

FaultInjector::FaultInjector(std::function<bool(int)> sleep) : sleep_(std::move(sleep)) {}

bool FaultInjector::waitForClient(const RequestSocket& socket, int ms) const {
  while (ms > 0) {
    const int slice = std::min(ms, clientCheckMs);
    if (!socket.clientConnected() || !sleep_(slice)) return false;
    ms -= slice;
  }
  return socket.clientConnected();
}

void FaultInjector::holdUntilClosed(const RequestSocket& socket) const {
  while (waitForClient(socket, clientCheckMs)) {
  }
}

void FaultInjector::respond(const Fault& fault, const std::string& reply,
                            const httplib::Request& request, httplib::Response& response) const {
  if (fault.delayMs > 0) sleep_(fault.delayMs);
  response.status = fault.status;
  switch (fault.body) {
    case Fault::Body::Reply:
      response.set_content(reply, ErpService::contentType);
      break;
    case Fault::Body::Malformed:
      response.set_content(reply.substr(0, reply.size() / 2), ErpService::contentType);
      break;
    case Fault::Body::Empty:
      response.set_content("", ErpService::contentType);
      break;
    case Fault::Body::Close:
      // The server's attempt to send the reply then fails and it drops the
      // connection, as after any write error.
      ConnectionCloser::closeConnection(request.local_port, request.remote_port);
      response.set_content(reply, ErpService::contentType);
      break;
    case Fault::Body::Truncate: {
      // Announces the whole reply, sends half, and makes the server abort.
      auto body = std::make_shared<std::string>(reply);
      response.set_content_provider(
          body->size(), ErpService::contentType,
          [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            const std::size_t half = body->size() / 2;
            if (offset < half) sink.write(body->data() + offset, half - offset);
            return false;
          });
      break;
    }
    case Fault::Body::Large: {
      auto body = std::make_shared<PaddedReply>(reply, fault.sizeMiB * mebibyte);
      response.set_content_provider(
          body->size(), ErpService::contentType,
          [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            return body->write(offset, sink);
          });
      break;
    }
    case Fault::Body::Nul: {
      std::string body = reply;
      body.insert(std::min(fault.nulOffset.value_or(body.size()), body.size()), 1, '\0');
      response.set_content(body, ErpService::contentType);
      break;
    }
    case Fault::Body::Stall:
      // The request is read; the handler keeps the connection from being
      // answered until the client goes or the server stops, then shuts it
      // down so that the server's attempt to send the reply fails.
      holdUntilClosed(RequestSocket(request.local_port, request.remote_port));
      ConnectionCloser::closeConnection(request.local_port, request.remote_port);
      break;
    case Fault::Body::Trickle: {
      // The headers go out with the whole length; each call then sends one
      // byte after the wait, and a false return aborts the reply.
      auto body = std::make_shared<std::string>(reply);
      const RequestSocket socket(request.local_port, request.remote_port);
      response.set_content_provider(body->size(), ErpService::contentType,
                                    [this, body, socket, ms = fault.trickleMs](
                                        std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      return waitForClient(socket, ms) &&
                                             sink.write(body->data() + offset, 1);
                                    });
      break;
    }
    case Fault::Body::Endless: {
      // A padding too long to ever end, sent chunked: the comment is never
      // closed. It ends when a write fails because the client has gone, or
      // when the server stops.
      auto body = std::make_shared<PaddedReply>(reply, std::numeric_limits<std::size_t>::max());
      response.set_chunked_content_provider(ErpService::contentType,
                                            [body](std::size_t offset, httplib::DataSink& sink) {
                                              return body->write(offset, sink);
                                            });
      break;
    }
    case Fault::Body::Overlength: {
      // Announces more than the reply; once the reply is sent, waits silently
      // for the client to give up or the server to stop, then aborts.
      auto body = std::make_shared<std::string>(reply);
      const RequestSocket socket(request.local_port, request.remote_port);
      response.set_content_provider(
          body->size() + overlengthBytes, ErpService::contentType,
          [this, body, socket](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < body->size()) {
              return sink.write(body->data() + offset, body->size() - offset);
            }
            holdUntilClosed(socket);
            return false;
          });
      break;
    }
  }
}

}  // namespace erpsim
