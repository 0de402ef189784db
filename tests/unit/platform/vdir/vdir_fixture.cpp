#include "vdir_fixture.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace tidewell::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tidewell-vdir-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Lines(const std::string& text, const std::string& newline) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += newline;
    } else {
      out += c;
    }
  }
  return out;
}

OneFolderStore::OneFolderStore(const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, bytes] : files) WriteFile(dir.path() / "f" / name, bytes);
  store = std::make_unique<VdirStore>(std::vector<std::string>{dir.path().string()}, ui, nullptr);
}

std::shared_ptr<OutlookItem> OneFolderStore::Item(const std::string& fileName) {
  return store->GetItemFromID("f/" + fileName, store->StoreIDs()[0]);
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
  if (const char* old = std::getenv("TZ")) saved_ = old;
  setenv("TZ", tz, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (saved_) {
    setenv("TZ", saved_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

CommandResult RunShell(const std::string& command) {
  CommandResult result{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
  result.status = pclose(pipe);
  return result;
}

std::vector<RawLogicalLine> RawLogicalLines(const std::string& bytes) {
  std::vector<std::string> physical;
  for (size_t pos = 0; pos < bytes.size();) {
    size_t nl = bytes.find('\n', pos);
    size_t end = nl == std::string::npos ? bytes.size() : nl + 1;
    physical.push_back(bytes.substr(pos, end - pos));
    pos = end;
  }
  auto content = [](const std::string& line) {
    size_t end = line.find_first_of("\r\n");
    return end == std::string::npos ? line : line.substr(0, end);
  };
  std::vector<RawLogicalLine> out;
  std::string text;
  for (size_t i = 0; i < physical.size(); ++i) {
    std::string c = content(physical[i]);
    bool continues = !out.empty() && !c.empty() && (c[0] == ' ' || c[0] == '\t');
    bool softBreak = !out.empty() && !text.empty() && text.back() == '=' &&
                     text.find("QUOTED-PRINTABLE") != std::string::npos;
    if (continues || softBreak) {
      out.back().raw += physical[i];
      text += c;
      continue;
    }
    text = c;
    std::string head = c.substr(0, c.find_first_of(";:"));
    if (head.find('.') != std::string::npos) head = head.substr(head.rfind('.') + 1);
    for (char& ch : head) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    out.push_back({head, physical[i]});
  }
  return out;
}

}  // namespace tidewell::testing
