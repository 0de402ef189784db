#include "stores/dav/login.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/failure.h"
#include "stores/dav/dav_url.h"
#include "text/shell_words.h"

extern char** environ;

namespace tidewell::dav {

namespace {

// Enough for any password; the rest of a long output is read and dropped so
// that the command is never stopped by a full pipe.
constexpr size_t kMostKept = size_t{64} << 10;

// "The password command failed (exit status 1): pass show dav".
Failure Failed(const std::string& what, const std::string& why,
               const std::vector<std::string>& command) {
  return Failure("The " + what + " " + why + ": " + JoinShellWords(command));
}

struct Pipe {
  int fds[2] = {-1, -1};
  ~Pipe() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
};

}  // namespace

std::string RunForFirstLine(const std::vector<std::string>& command, const std::string& what) {
  if (command.empty()) throw Failure("The " + what + " is empty.");
  std::vector<std::string> words = command;
  if (const char* home = std::getenv("HOME"); home != nullptr && words[0].starts_with("~/")) {
    words[0] = home + words[0].substr(1);
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  Pipe out;
  if (pipe2(out.fds, O_CLOEXEC) != 0) {
    throw Failed(what, std::string("could not be run (") + std::strerror(errno) + ")", command);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out.fds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw Failed(what, std::string("could not be run (") + std::strerror(spawned) + ")", command);
  }
  close(out.fds[1]);
  out.fds[1] = -1;

  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out.fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const size_t room = kMostKept - std::min(kMostKept, output.size());
    output.append(buffer, std::min(room, static_cast<size_t>(n)));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    throw Failed(what, "was ended by signal " + std::to_string(WTERMSIG(status)), command);
  }
  if (WEXITSTATUS(status) != 0) {
    throw Failed(what, "failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")", command);
  }
  std::string line = output.substr(0, output.find('\n'));
  if (line.ends_with('\r')) line.pop_back();
  if (line.empty()) throw Failed(what, "printed nothing", command);
  return line;
}

const KeptLogin* KeptLoginFor(const std::vector<KeptLogin>& kept, const std::string& storeUrl) {
  const std::optional<std::string> store = DavRoot(storeUrl);
  if (!store) return nullptr;
  const KeptLogin* best = nullptr;
  size_t bestLength = 0;
  for (const KeptLogin& login : kept) {
    const std::optional<std::string> root = DavRoot(login.url);
    if (root && store->starts_with(*root) && root->size() > bestLength) {
      best = &login;
      bestLength = root->size();
    }
  }
  return best;
}

LoginSources RealLoginSources() { return {RunForFirstLine, ReadNetrcLogin}; }

PlannedLogin PlanLogin(const StoreOptions& options, const std::string& storeUrl,
                       const std::string& origin, const std::string& host,
                       const LoginSources& sources) {
  PlannedLogin login;
  login.user = options.user;
  if (!options.password_command.empty()) {
    login.password = sources.run(options.password_command, "password command");
    login.known = true;
  }
  const KeptLogin* kept = KeptLoginFor(options.kept_logins, storeUrl);
  if (kept != nullptr && Origin(storeUrl) != origin) kept = nullptr;
  if (kept != nullptr && !(login.known && !login.user.empty())) {
    std::string user = kept->user;
    if (user.empty() && !kept->user_command.empty()) {
      user = sources.run(kept->user_command, "user command");
    }
    // Its password is that user's: with another user given, it does not answer.
    if (options.user.empty() || user.empty() || user == options.user) {
      if (login.user.empty()) login.user = user;
      if (!login.known && !kept->password_command.empty()) {
        login.password = sources.run(kept->password_command, "password command");
        login.known = true;
      } else if (!login.known && kept->password) {
        login.password = *kept->password;
        login.known = true;
      } else if (!login.known && kept->password_prompt) {
        login.prompt = kept->password_prompt;
      }
    }
  }
  if (login.known && !login.user.empty()) return login;
  if (std::optional<NetrcLogin> netrc = sources.netrc(host, login.user)) {
    if (login.user.empty()) login.user = netrc->login;
    if (!login.known && !login.prompt && !netrc->password.empty()) {
      login.password = netrc->password;
      login.known = true;
    }
  }
  return login;
}

}  // namespace tidewell::dav
