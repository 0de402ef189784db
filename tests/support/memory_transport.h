// A server in memory for the server store's tests: scripted answers by
// method and URL (and, where one URL answers several requests, a text the
// request body holds), every request recorded. A 2xx body streams to the
// sink in small pieces, so readers meet answers split anywhere.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "stores/dav/transport.h"

namespace tidewell::testing {

class MemoryTransport : public dav::Transport {
 public:
  struct Answer {
    long status;
    std::string body = "", etag = "", dav = "";
  };

  // Answers requests of `method` to `url` whose body holds `bodyHolds`; a
  // later rule wins over an earlier one. Unscripted requests get 404.
  void On(const std::string& method, const std::string& url, Answer answer,
          const std::string& bodyHolds = "") {
    rules_.push_back({method, url, bodyHolds, std::move(answer)});
  }

  dav::Response Send(const dav::Request& request, const dav::BodySink& sink, size_t cap) override {
    requests.push_back(request);
    Answer answer{404};
    for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
      if (rule->method == request.method && rule->url == request.url &&
          request.body.find(rule->body_holds) != std::string::npos) {
        answer = rule->answer;
        break;
      }
    }
    if (answer.body.size() > cap) throw Failure("The server's answer is larger than the cap.");
    dav::Response r;
    r.status = answer.status;
    r.status_line = "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status);
    r.etag = answer.etag;
    r.dav = answer.dav;
    r.location = request.url;
    if (sink && answer.status >= 200 && answer.status < 300) {
      for (size_t at = 0; at < answer.body.size(); at += piece_size) {
        sink(std::string_view(answer.body).substr(at, piece_size));
      }
    } else {
      r.body = answer.body;
    }
    return r;
  }

  // The requests of one method, in order.
  std::vector<dav::Request> Sent(const std::string& method) const {
    std::vector<dav::Request> out;
    std::copy_if(requests.begin(), requests.end(), std::back_inserter(out),
                 [&](const dav::Request& r) { return r.method == method; });
    return out;
  }

  std::vector<dav::Request> requests;
  size_t piece_size = 7;

 private:
  // Only failed answers' status lines reach a message, and the tests quote these two.
  static std::string Reason(long status) {
    return status == 401 ? "Unauthorized" : status == 500 ? "Internal Server Error" : "Status";
  }

  struct Rule {
    std::string method, url, body_holds;
    Answer answer;
  };
  std::vector<Rule> rules_;
};

// Hands a store a transport that forwards to a MemoryTransport the test keeps.
class SharedTransport : public dav::Transport {
 public:
  explicit SharedTransport(std::shared_ptr<MemoryTransport> to) : to_(std::move(to)) {}
  dav::Response Send(const dav::Request& request, const dav::BodySink& sink, size_t cap) override {
    return to_->Send(request, sink, cap);
  }

 private:
  std::shared_ptr<MemoryTransport> to_;
};

}  // namespace tidewell::testing
