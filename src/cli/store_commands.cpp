#include <algorithm>

#include "app/discovery/server_configs.h"
#include "cli/command_context.h"
#include "cli/json_lines.h"

namespace tidewell::cli {

int Folders(Context& c) {
  auto ns = c.env.store->OutlookApplication()->GetNamespace("MAPI");
  for (const auto& folder : ns->AllFolders()) {
    if (c.Given("--json")) {
      c.out << FolderJson(folder->Name(), folder->EntryID(), folder->StoreID()) << '\n';
    } else {
      c.out << folder->Name() << '\t' << folder->EntryID() << '\t' << folder->StoreID() << '\n';
    }
  }
  return kDone;
}

void ListServers(std::ostream& out, bool json) {
  for (const FoundServer& server : FindServers(ProcessEnvironment())) {
    const std::string user = DescribeUser(server.login);
    if (json) {
      out << ServerJson(server.login.url, server.config, user, DescribePassword(server.login))
          << '\n';
      continue;
    }
    out << server.login.url << '\t' << server.config
        << "\tuser: " << (user.empty() ? "the netrc file's, else asked" : user)
        << "\tpassword: " << DescribePassword(server.login) << '\n';
  }
}

int Stores(Context& c) {
  for (const StoreSource& source : c.env.sources) {
    if (c.Given("--json")) {
      c.out << StoreJson(source.root, source.named_by) << '\n';
    } else {
      c.out << source.root << '\t' << source.named_by << '\n';
    }
  }
  ListServers(c.out, c.Given("--json"));
  return kDone;
}

bool Forgets(const Invocation& invocation) {
  return std::any_of(invocation.options.begin(), invocation.options.end(), [](const Option& o) {
    return o.name == "--forget" || o.name == "--forget-all";
  });
}

int ForgetStores(const Invocation& invocation, std::ostream& out) {
  std::vector<std::string> given;
  bool all = false;
  for (const Option& o : invocation.options) {
    if (o.name == "--forget") given.push_back(o.value);
    if (o.name == "--forget-all") all = true;
  }
  std::vector<std::string> forgotten;
  try {
    forgotten = ForgetRememberedStores(given, all);
  } catch (const Failure& e) {
    throw UsageError(e.what());
  }
  for (const std::string& root : forgotten) out << "Forgot " << root << '\n';
  if (forgotten.empty()) out << "No store is remembered.\n";
  return kDone;
}

}  // namespace tidewell::cli
