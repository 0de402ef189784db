#include "vdir_round_trip.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <optional>

#include "formats/calendar_view.h"
#include "formats/contact_view.h"
#include "formats/document.h"
#include "platform/failure.h"
#include "text/rich_text.h"
#include "text/utf8.h"

namespace tidewell::fuzz {
namespace {

using formats::Document;
using formats::ItemView;

// What every property reads: its text, or nothing when the read failed.
using Reading = std::map<std::string, std::optional<std::string>>;

// Texts a run or a user may write into any field: escapes of every dialect,
// line breaks, non-ASCII in 2, 3 and 4 bytes, quoted-printable look-alikes,
// trailing blanks, a text long enough to fold, dates and numbers.
const std::vector<std::string>& AwkwardTexts() {
  static const std::vector<std::string> texts = [] {
    std::string long_text;
    for (int i = 0; i < 3; ++i) {
      long_text += "A long text of many words that will need folding: äöü ÄÖÜ ß € 漢字 🎉 ";
    }
    return std::vector<std::string>{
        "Tidewell",
        "",
        "Ann; Bob, Carl\\Dee: Eve",
        "first line\nsecond line\n",
        "Müller – 東京 🎉",
        "=3D = tail  ",
        long_text,
        "\"quoted\" ^ caret ^n 'apostrophe'",
        "+1 (555) 123-4567",
        "\\n is not a line break, \\, is no comma",
        "2024-03-01 09:30:00",
        "2024-02-29",
        "42",
        "-2147483648",
        " \t ",
        "END:VCARD\r\nBEGIN:VEVENT",
    };
  }();
  return texts;
}

std::string Shown(const std::optional<std::string>& value) {
  if (!value) return "(read failed)";
  std::string out = "\"";
  for (unsigned char c : *value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

[[noreturn]] void Broken(const std::string& what, const std::string& detail = "") {
  std::fprintf(stderr, "\n*** %s\n%s\n", what.c_str(), detail.c_str());
  std::fflush(stderr);
  std::abort();
}

uint64_t Hash(const uint8_t* data, size_t size) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

std::string LineBreaksAsLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// As RTF gives a plain text back: CR LF as LF, a lone CR kept.
std::string CrLfAsLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') out += text[i];
  }
  return out;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool Linked(const ItemProperties& p, const std::string& a, const std::string& b) {
  if (a == b) return true;
  return std::any_of(p.linked.begin(), p.linked.end(),
                     [&](const auto& group) { return Contains(group, a) && Contains(group, b); });
}

std::unique_ptr<ItemView> ViewOf(Document& document, ItemKind kind) {
  if (kind == ItemKind::kContact) return std::make_unique<formats::ContactView>(document, 1);
  return std::make_unique<formats::CalendarView>(document, 1);
}

Reading ReadAll(const ItemView& view, const ItemProperties& p) {
  Reading reading;
  for (const std::string& name : p.names) {
    if (!view.Knows(name)) Broken("the view does not know its own property " + name);
    try {
      reading[name] = view.Get(name);
    } catch (const Failure&) {
      reading[name] = std::nullopt;
    }
  }
  // RTFBody as VdirItem reads it; writing it back gives Body its text again,
  // every CR LF as LF. (A CR before a CR LF comes back as a CR, and the two
  // with the LF read as that CR and a line break, as in the body.)
  if (const std::optional<std::string>& body = reading["Body"]; body && IsValidUtf8(*body)) {
    const std::string rtf = RtfFromPlainText(*body);
    if (CrLfAsLf(PlainTextFromRtf(rtf)) != CrLfAsLf(*body)) {
      Broken("RTFBody does not give Body back", "Body " + Shown(body) + "\nRTF " + Shown(rtf));
    }
  }
  return reading;
}

void ExpectSame(const Reading& want, const Reading& got, const std::string& when,
                const std::string& except, const ItemProperties& p) {
  for (const auto& [name, value] : want) {
    if (!except.empty() && Linked(p, except, name)) continue;
    const std::optional<std::string>& now = got.at(name);
    if (now.has_value() != value.has_value() ||
        (value && LineBreaksAsLf(*now) != LineBreaksAsLf(*value))) {
      Broken(name + " reads differently " + when,
             "before " + Shown(value) + "\nafter  " + Shown(now));
    }
  }
}

// Parses bytes this store wrote: they must be a readable file of the kind.
std::unique_ptr<Document> Reparse(const std::string& bytes, ItemKind kind, const std::string& when,
                                  std::unique_ptr<ItemView>& view) {
  try {
    auto document = std::make_unique<Document>(bytes);
    view = ViewOf(*document, kind);
    return document;
  } catch (const Failure& f) {
    Broken("the file written " + when + " cannot be read: " + f.Description(), Shown(bytes));
  }
}

}  // namespace

void InitProcess() {
  setenv("TZ", "UTC0", 1);
  tzset();
  std::setlocale(LC_ALL, "C");
}

void RoundTrip(const uint8_t* data, size_t size, const ItemProperties& p) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<Document> document;
  std::unique_ptr<ItemView> view;
  try {
    document = std::make_unique<Document>(input);
    view = ViewOf(*document, p.kind);
  } catch (const Failure&) {
    return;  // refused as a whole: the store reports it and never writes it
  }

  const Reading before = ReadAll(*view, p);

  if (document->Changed()) Broken("a file just read counts as changed");
  if (document->Render() != input) {
    Broken("rendering an unchanged file changed its bytes", Shown(document->Render()));
  }

  // Writing back what was read changes nothing that reads.
  for (const std::string& name : p.names) {
    const std::optional<std::string>& value = before.at(name);
    if (!value || !view->Has(name) || Contains(p.read_only, name)) continue;
    try {
      view->Set(name, *value);
    } catch (const Failure& f) {
      if (Contains(p.typed, name) && f.Description().starts_with("Type mismatch: ")) continue;
      Broken("writing back what " + name + " read failed: " + f.Description(), Shown(value));
    }
  }
  ExpectSame(before, ReadAll(*view, p), "after its own value was written back", "", p);
  {
    std::unique_ptr<ItemView> again;
    const std::string written = document->Render();
    std::unique_ptr<Document> reread = Reparse(written, p.kind, "after writing back", again);
    ExpectSame(before, ReadAll(*again, p), "in the file written back", "", p);
  }

  // One real change, as a run makes it and Save stores it.
  std::vector<std::string> writable;
  for (const std::string& name : p.names) {
    if (view->Has(name) && !Contains(p.read_only, name)) writable.push_back(name);
  }
  if (writable.empty()) return;
  const uint64_t h = Hash(data, size);
  const std::string& name = writable[h % writable.size()];
  const std::vector<std::string>& texts = AwkwardTexts();
  const std::string& text = texts[(h / writable.size()) % texts.size()];

  auto changed = std::make_unique<Document>(input);
  std::unique_ptr<ItemView> changed_view = ViewOf(*changed, p.kind);
  bool written = true;
  try {
    changed_view->Set(name, text);
  } catch (const Failure&) {
    written = false;  // a type that refuses the text: the item stays as it was
  }
  changed_view->Touch(std::time_t{1700000000});
  const std::string out = changed->Render();
  std::unique_ptr<ItemView> after_view;
  const std::string when = "after " + name + " became " + Shown(text);
  std::unique_ptr<Document> after = Reparse(out, p.kind, when, after_view);
  const Reading reading = ReadAll(*after_view, p);
  if (written && Contains(p.text, name)) {
    const std::optional<std::string>& got = reading.at(name);
    if (!got || LineBreaksAsLf(*got) != LineBreaksAsLf(text)) {
      Broken(name + " does not read back as written",
             "wrote " + Shown(text) + "\nread  " + Shown(got) + "\nfile  " + Shown(out));
    }
  }
  ExpectSame(before, reading, when, name, p);
}

}  // namespace tidewell::fuzz
