#include "adapters/logbook/journal_reader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/failure.h"

namespace tidewell {

namespace {

JournalLine::Kind ParseRecord(const std::string& line, JournalRecord& out) {
  const auto json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return JournalLine::Kind::kTorn;
  if (!json.is_object()) return JournalLine::Kind::kMalformed;
  auto text = [&](const char* key) -> const std::string* {
    auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                     : nullptr;
  };
  const std::string* time = text("time");
  const std::string* source = text("source");
  const std::string* procedure = text("procedure");
  const std::string* message = text("message");
  auto undo = json.find("undo");
  if (!time || !source || !procedure || !message || undo == json.end() || !undo->is_boolean()) {
    return JournalLine::Kind::kMalformed;
  }
  out =
      JournalRecord{*time, *source, *procedure, *message, undo->get<bool>(), "", std::nullopt, ""};
  if (const std::string* run = text("run")) out.run = *run;
  if (const std::string* written = text("new")) out.written = *written;
  if (const std::string* undoes = text("undoes")) out.undoes = *undoes;
  return JournalLine::Kind::kRecord;
}

}  // namespace

JournalContents ReadJournal(std::istream& in, uint64_t base, const std::string& only_run) {
  uint64_t at = base;
  std::string line;
  return GroupJournalLines([&](JournalLine& next) {
    while (std::getline(in, line)) {
      const bool ended = !in.eof();
      next.start = at;
      at += line.size() + (ended ? 1 : 0);
      next.end = at;
      // A cheap look before the parse: most lines of a history are other runs'.
      // Older lines name no run: they are kept and grouped by their neighbours.
      if (!only_run.empty() && line.find(only_run) == std::string::npos &&
          line.find("\"run\":") != std::string::npos) {
        continue;
      }
      next.kind = ParseRecord(line, next.record);
      switch (next.kind) {
        case JournalLine::Kind::kRecord:
          if (only_run.empty() || next.record.run.empty() || next.record.run == only_run) {
            return true;
          }
          break;
        case JournalLine::Kind::kTorn:
          if (!line.empty()) return true;
          break;
        case JournalLine::Kind::kMalformed:
          return true;
      }
    }
    return false;
  });
}

JournalContents ReadJournalFile(const std::filesystem::path& path, uint64_t start, uint64_t end,
                                const std::string& only_run) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    if (error == ENOENT) return {};
    throw Failure("Cannot read '" + path.string() + "': " + std::strerror(error));
  }
  if (start > 0) in.seekg(static_cast<std::streamoff>(start));
  if (end == 0) return ReadJournal(in, start, only_run);
  // Only the bytes asked for: the rest of the history is never read.
  std::string bytes(end - start, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  std::istringstream range(std::move(bytes));
  return ReadJournal(range, start, only_run);
}

}  // namespace tidewell
