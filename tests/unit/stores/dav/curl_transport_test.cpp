#include "stores/dav/curl_transport.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/failure.h"
#include "support/failure_of.h"
#include "support/fake_components.h"
#include "support/temp_files.h"

namespace tidewell::dav {
namespace {

using testing::FailureOf;
using testing::TempDir;

// tests/support/fake_dav_server.py on a free port, playing `scenario`.
class FakeServer {
 public:
  // `tls`: the certificate and key files to serve https with.
  explicit FakeServer(const std::string& scenario,
                      std::optional<std::pair<std::string, std::string>> tls = {})
      : scheme_(tls ? "https" : "http") {
    testing::WriteFile(dir_.path() / "scenario.json", scenario);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    const std::string script =
        std::string(TIDEWELL_SOURCE_DIR) + "/tests/support/fake_dav_server.py";
    const std::string scenarioPath = dir_.path() / "scenario.json";
    const std::string log = LogPath();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      std::vector<const char*> argv = {"python3", script.c_str(), scenarioPath.c_str(), "--log",
                                       log.c_str()};
      if (tls) argv.insert(argv.end(), {"--tls", tls->first.c_str(), tls->second.c_str()});
      argv.push_back(nullptr);
      execv("/usr/bin/python3", const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    close(out[1]);
    FILE* stream = fdopen(out[0], "r");
    char line[32] = "";
    if (fgets(line, sizeof line, stream) == nullptr) throw std::runtime_error("no port printed");
    fclose(stream);
    port_ = std::stoi(line);
  }
  ~FakeServer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const {
    return scheme_ + "://" + host + ":" + std::to_string(port_) + path;
  }
  // One JSON line per request the server read.
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::istringstream log(testing::ReadFile(LogPath()));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string LogPath() const { return dir_.path() / "requests.jsonl"; }

  std::string scheme_;
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

class LoginUi : public testing::ScriptedUi {
 public:
  std::optional<Credentials> AskCredentials(const std::string& where,
                                            const std::string& user) override {
    asked.push_back(where + " " + user);
    return answer;
  }
  std::optional<Credentials> answer;
  std::vector<std::string> asked;
};

// The user of every transport that has no login to ask for.
LoginUi nobody;

// A netrc file of the user running the tests must not log them in.
const int kNoNetrc = ::setenv("NETRC", "/nonexistent/netrc", 1);

const std::string kBasicAnn = R"("auth": {"user": "ann", "password": "pw"})";

std::vector<std::chrono::seconds> slept;
void RecordSleep(std::chrono::seconds wait) { slept.push_back(wait); }

Response Get(CurlTransport& transport, const std::string& url) {
  return transport.Send({"GET", url, {}, ""});
}

TEST(CurlTransport, FillsTheAnswerOverOneConnection) {
  FakeServer server(R"([
    {"method": "PUT", "path": "/a.vcf", "status": 412, "body": "changed"},
    {"method": "PUT", "path": "/b.vcf", "status": 201, "headers": {"ETag": "\"7\""}},
    {"method": "OPTIONS", "path": "/", "headers": {"DAV": "1, 3, addressbook"}},
    {"method": "GET", "path": "/old", "status": 301, "headers": {"Location": "/new"}},
    {"method": "GET", "path": "/new", "body": "moved here"}])");
  CurlTransport transport(server.Url("/"), {}, nobody);
  Response conflict =
      transport.Send({"PUT", server.Url("/a.vcf"), {{"If-Match", "\"1\""}}, "BEGIN:VCARD"});
  EXPECT_EQ(conflict.status, 412);
  EXPECT_EQ(conflict.status_line, "HTTP/1.1 412 Precondition Failed");
  EXPECT_EQ(conflict.body, "changed");
  EXPECT_EQ(transport.Send({"PUT", server.Url("/b.vcf"), {}, "v"}).etag, "\"7\"");
  EXPECT_EQ(transport.Send({"OPTIONS", server.Url("/"), {}, ""}).dav, "1, 3, addressbook");
  Response moved = Get(transport, server.Url("/old"));
  EXPECT_EQ(moved.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(moved.location, server.Url("/new"));
  EXPECT_EQ(moved.body, "moved here");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  for (const std::string& r : requests) EXPECT_NE(r.find(R"("connection": 1,)"), r.npos) << r;
  EXPECT_NE(requests[0].find(R"("body": "BEGIN:VCARD")"), std::string::npos);
  EXPECT_EQ(requests[0].find("Content-Type"), std::string::npos) << "no form label on a body";
}

TEST(CurlTransport, StreamsToTheSinkAndStopsAtTheCap) {
  FakeServer server(R"([
    {"path": "/list", "body_repeat": {"text": "0123456789abcdef", "count": 65537}}])");
  CurlTransport transport(server.Url("/"), {}, nobody);
  std::string got;
  int pieces = 0;
  Response r = transport.Send({"REPORT", server.Url("/list"), {}, "<q/>"}, [&](std::string_view p) {
    got += p;
    ++pieces;
  });
  EXPECT_EQ(got.size(), (size_t{1} << 20) + 16);
  EXPECT_GT(pieces, 1);
  EXPECT_TRUE(r.body.empty());
  EXPECT_EQ(FailureOf([&] {
              transport.Send({"GET", server.Url("/list"), {}, ""}, {}, size_t{1} << 20);
            }),
            "!The server's answer is larger than 1 MiB.");
}

TEST(CurlTransport, WaitsOutRetryAfterOnce) {
  using namespace std::chrono_literals;
  struct Row {
    std::string first;  // the rule answering the first request
    long status;
    std::vector<std::chrono::seconds> waits;
    size_t requests;
    std::string then = R"("body": "ok")";  // the rule answering the later ones
  };
  const std::string busy = R"("status": 429, "headers": {"Retry-After": "1"})";
  const std::vector<Row> rows = {
      {R"("status": 429, "headers": {"Retry-After": "3"})", 200, {3s}, 2},
      {R"("status": 503, "headers": {"Retry-After": "Wed, 21 Oct 2015 07:28:00 GMT"})",
       200,
       {0s},
       2},
      {R"("status": 503, "headers": {"Retry-After": "61"})", 503, {}, 1},
      {R"("status": 429)", 429, {}, 1},
      {R"("status": 500, "headers": {"Retry-After": "1"})", 500, {}, 1},
      {busy, 429, {1s}, 2, busy},  // a second 429 after the wait is the answer
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.first);
    FakeServer server(R"([{"path": "/a", "times": 1, )" + row.first + R"(},
                          {"path": "/a", )" +
                      row.then + "}]");
    slept.clear();
    CurlTransport transport(server.Url("/"), {}, nobody, RecordSleep);
    EXPECT_EQ(Get(transport, server.Url("/a")).status, row.status);
    EXPECT_EQ(slept, row.waits);
    EXPECT_EQ(server.Requests().size(), row.requests);
  }
}

// The user's netrc first; failing it, the login is asked for once.
TEST(CurlTransport, TakesTheLoginFromNetrcOrAsksOnce) {
  struct Row {
    std::string scheme;
    std::optional<Credentials> answer;
    long status;
    std::string netrc = "";
  };
  const std::vector<Row> rows = {
      {"basic", Credentials{"ann", "pw"}, 200},
      {"digest", Credentials{"ann", "pw"}, 200},
      {"basic", Credentials{"ann", "wrong"}, 401},
      {"basic", std::nullopt, 401},
      {"basic", std::nullopt, 200,
       "machine elsewhere login bob password no\nmachine 127.0.0.1 login ann password pw\n"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    testing::WriteFile(dir.path() / "netrc", row.netrc);
    ::setenv("NETRC", (dir.path() / "netrc").c_str(), 1);
    FakeServer server(R"({"auth": {"user": "ann", "password": "pw", "scheme": ")" + row.scheme +
                      R"("}, "rules": [{"path": "*", "body": "ok"}]})");
    LoginUi ui;
    ui.answer = row.answer;
    CurlTransport transport(server.Url("/"),
                            {.user = row.netrc.empty() ? "ann" : "", .ca_file = ""}, ui);
    EXPECT_EQ(Get(transport, server.Url("/a")).status, row.status);
    EXPECT_EQ(Get(transport, server.Url("/b")).status, row.status);
    ::setenv("NETRC", "/nonexistent/netrc", 1);
    EXPECT_EQ(ui.asked, row.netrc.empty() ? std::vector<std::string>{server.Url("") + " ann"}
                                          : std::vector<std::string>{});
  }
}

// Opening connects nowhere: the refusal comes before any request.
TEST(CurlTransport, RefusesPlainHttpBeyondLoopback) {
  EXPECT_EQ(FailureOf([&] { CurlTransport("http://dav.example.invalid/", {}, nobody); }),
            "!Refusing to send a password over plain HTTP to dav.example.invalid; use https.");
  for (const std::string host : {"127.0.0.1", "localhost", "[::1]", "127.8.9.10"}) {
    EXPECT_EQ(FailureOf([&] { CurlTransport("http://" + host + ":5232/", {}, nobody); }), "")
        << host;
  }
  for (const std::string host : {"128.0.0.1", "localhost.example", "[::2]", "10.0.0.1"}) {
    EXPECT_FALSE(IsLoopbackHost(host)) << host;
  }
}

TEST(CurlTransport, NeverCarriesTheLoginToAnotherHost) {
  FakeServer other(R"([{"path": "*", "body": "there"}])");
  FakeServer same("{" + kBasicAnn + R"(, "rules": [{"path": "/a", "status": 301,
                  "headers": {"Location": "/b"}}, {"path": "/b", "body": "here"}]})");
  FakeServer home("{" + kBasicAnn + R"(, "rules": [{"path": "/a", "status": 302,
                  "headers": {"Location": ")" +
                  other.Url("/b", "localhost") + R"("}}]})");
  LoginUi ui;
  ui.answer = Credentials{"ann", "pw"};
  CurlTransport transport(home.Url("/"), {}, ui);
  Response r = Get(transport, home.Url("/a"));
  EXPECT_EQ(r.body, "there");
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].find("Authorization"), std::string::npos);
  EXPECT_NE(home.Requests().back().find("Authorization"), std::string::npos);
  // Its own redirects keep it, and the URL answered does not show it.
  CurlTransport own(same.Url("/"), {}, ui);
  r = Get(own, same.Url("/a"));
  EXPECT_EQ(r.body, "here");
  EXPECT_EQ(r.location, same.Url("/b"));
}

TEST(CurlTransport, TrustsTheGivenAuthorityAndNeverGoesDownToHttp) {
  TempDir dir;
  const std::string cert = dir.path() / "cert.pem", key = dir.path() / "key.pem";
  const std::string makeCert =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
      "subjectAltName=IP:127.0.0.1 -keyout " +
      key + " -out " + cert + " 2>/dev/null";
  ASSERT_EQ(std::system(makeCert.c_str()), 0);
  FakeServer plain(R"([{"path": "*", "body": "plain"}])");
  FakeServer tls(R"([{"path": "/a", "body": "secure"},
                     {"path": "/down", "status": 302, "headers": {"Location": ")" +
                     plain.Url("/x") + R"("}}])",
                 std::pair{cert, key});
  CurlTransport trusting(tls.Url("/"), {.user = "", .ca_file = cert}, nobody);
  EXPECT_EQ(Get(trusting, tls.Url("/a")).body, "secure");
  EXPECT_THROW(Get(trusting, tls.Url("/down")), Failure);
  EXPECT_TRUE(plain.Requests().empty());
  CurlTransport untrusting(tls.Url("/"), {}, nobody);
  const std::string error = FailureOf([&] { Get(untrusting, tls.Url("/a")); });
  EXPECT_TRUE(error.starts_with("!No answer from " + tls.Url("") + ": SSL")) << error;
}

TEST(CurlTransport, NoAnswerNamesTheServer) {
  std::string origin;
  {
    FakeServer gone(R"([])");
    origin = gone.Url("");
  }  // nobody listens there now
  CurlTransport transport(origin + "/", {}, nobody);
  const std::string error = FailureOf([&] { Get(transport, origin + "/a"); });
  EXPECT_TRUE(error.starts_with("!No answer from " + origin + ": ")) << error;
}

}  // namespace
}  // namespace tidewell::dav
