// What one item costs in memory, without the disk: parsing a vCard or an
// event and reading every field a run looks in; changing one field and
// rendering the file again; and shown-text replacement in a 1 MB RTF body.
// The disk's share of a save (fsync, rename) is bench/durable-floor's.
//
//   store_bench --benchmark_filter=Rtf
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "adapters/pattern/classic_pattern_matcher.h"
#include "formats/calendar_view.h"
#include "formats/contact_view.h"
#include "formats/document.h"
#include "text/rich_text.h"

namespace tidewell {
namespace {

// A contact as a CardDAV server hands it out: folded lines, escaped commas,
// a grouped label and a note of about 1 KB.
std::string Contact() {
  std::string note;
  while (note.size() < 1000) note += "Prefers e-mail\\, calls after 5 on Mondays. ";
  return "BEGIN:VCARD\r\n"
         "VERSION:3.0\r\n"
         "UID:7f3e2a10-5c1d-4e8b-9a47-2b1c0d9e8f01\r\n"
         "FN:Inès Müller-Østergaard\r\n"
         "N:Müller-Østergaard;Inès;;;\r\n"
         "ORG:Kestrel Engineering GmbH;Purchasing\r\n"
         "TITLE:Director of Purchasing\r\n"
         "EMAIL;TYPE=INTERNET,WORK,PREF:ines.mueller@kestrel-engineering.example\r\n"
         "EMAIL;TYPE=INTERNET,HOME:ines@mailbox.example\r\n"
         "TEL;TYPE=WORK,VOICE:(555) 201-7733\r\n"
         "TEL;TYPE=CELL:+49 171 5550199\r\n"
         "TEL;TYPE=HOME,FAX:040 3378 1200\r\n"
         "ADR;TYPE=WORK:;Building 4;Am Borsigturm 100;Berlin;;13507;Germany\r\n"
         "item1.ADR;TYPE=HOME:;;Große Elbstraße 145;Hamburg;;22767;Deutschland\r\n"
         "item1.X-ABLabel:Summer house\r\n"
         "URL;TYPE=WORK:https://kestrel-engineering.example/team/ines-mueller\r\n"
         "NOTE:" +
         note +
         "\r\n"
         "REV:2024-03-01T10:00:00Z\r\n"
         "END:VCARD\r\n";
}

std::string Event() {
  return "BEGIN:VCALENDAR\r\n"
         "VERSION:2.0\r\n"
         "PRODID:-//Example Corp//Calendar 1.0//EN\r\n"
         "BEGIN:VTIMEZONE\r\n"
         "TZID:Europe/Berlin\r\n"
         "BEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nTZOFFSETFROM:+0200\r\n"
         "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
         "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nTZOFFSETFROM:+0100\r\n"
         "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
         "END:VTIMEZONE\r\n"
         "BEGIN:VEVENT\r\n"
         "UID:20240311T090000-4471@example.com\r\n"
         "DTSTAMP:20240301T100000Z\r\n"
         "DTSTART;TZID=Europe/Berlin:20240311T090000\r\n"
         "DTEND;TZID=Europe/Berlin:20240311T103000\r\n"
         "SUMMARY:Budget review with Kestrel Engineering\r\n"
         "LOCATION:Room 4.12\\, Am Borsigturm 100\\, Berlin\r\n"
         "DESCRIPTION:Agenda:\\n1. Figures for Q1\\n2. Delivery schedule\\n3. Call Inès on\r\n"
         "  (555) 201-7733 about the draft contract.\r\n"
         "RRULE:FREQ=WEEKLY;COUNT=10\r\n"
         "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\n"
         "END:VALARM\r\n"
         "END:VEVENT\r\n"
         "END:VCALENDAR\r\n";
}

const std::vector<std::string> kContactFields = {"Subject",
                                                 "FullNameAndCompany",
                                                 "Account",
                                                 "CompanyName",
                                                 "Body",
                                                 "BusinessHomePage",
                                                 "FileAs",
                                                 "OfficeLocation",
                                                 "Email1Address",
                                                 "Email1DisplayName",
                                                 "Email2Address",
                                                 "BusinessTelephoneNumber",
                                                 "MobileTelephoneNumber",
                                                 "HomeFaxNumber",
                                                 "BusinessAddressStreet",
                                                 "BusinessAddressCity",
                                                 "BusinessAddressPostalCode",
                                                 "HomeAddressStreet",
                                                 "HomeAddressCity",
                                                 "HomeAddressState"};

const std::vector<std::string> kEventFields = {"Subject", "Location", "Body", "Start", "End"};

template <typename View>
void ReadEveryField(benchmark::State& state, const std::string& file,
                    const std::vector<std::string>& fields) {
  for (auto _ : state) {
    formats::Document document(file);
    View view(document, 1);
    for (const std::string& field : fields) {
      if (view.Has(field)) benchmark::DoNotOptimize(view.Get(field));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}

template <typename View>
void ChangeOneFieldAndRender(benchmark::State& state, const std::string& file,
                             const std::string& field, const std::string& text) {
  for (auto _ : state) {
    formats::Document document(file);
    View view(document, 1);
    view.Set(field, text);
    view.Touch(1'700'000'000);
    benchmark::DoNotOptimize(document.Render());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}

void BM_ContactRead(benchmark::State& state) {
  ReadEveryField<formats::ContactView>(state, Contact(), kContactFields);
}
BENCHMARK(BM_ContactRead);

void BM_ContactChangeAndRender(benchmark::State& state) {
  ChangeOneFieldAndRender<formats::ContactView>(state, Contact(), "BusinessTelephoneNumber",
                                                "(777) 201-7733");
}
BENCHMARK(BM_ContactChangeAndRender);

void BM_EventRead(benchmark::State& state) {
  ReadEveryField<formats::CalendarView>(state, Event(), kEventFields);
}
BENCHMARK(BM_EventRead);

void BM_EventChangeAndRender(benchmark::State& state) {
  ChangeOneFieldAndRender<formats::CalendarView>(state, Event(), "Location",
                                                 "Room 4.14, Am Borsigturm 100, Berlin");
}
BENCHMARK(BM_EventChangeAndRender);

// About 1 MB of RTF as a word processor writes it: a font and a colour
// table, paragraphs with bold and coloured runs, accented letters as \'hh
// and \uN escapes. One paragraph in 50 names "Kestrel".
const std::string& RtfBody() {
  static const std::string rtf = [] {
    std::mt19937 random(7);
    const std::vector<std::string> words = {
        "the",    "meeting", "will",     "be",         "moved",    "to",       "next",
        "week",   "please",  "call",     "about",      "invoice",  "and",      "delivery",
        "of",     "our",     "order",    "budget",     "review",   "Monday",   "office",
        "client", "draft",   "caf\\'e9", "M\\'fcller", "\\u8364?", "schedule", "project"};
    std::string out =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New "
        "Roman;}}{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;}\\viewkind4\\uc1\\pard"
        "\\f0\\fs20 ";
    for (int paragraph = 0; out.size() < (1u << 20); ++paragraph) {
      for (int w = 0; w < 60; ++w) {
        const std::string& word = words[random() % words.size()];
        switch (random() % 12) {
          case 0:
            out += "{\\b " + word + "}";
            break;
          case 1:
            out += "\\cf2 " + word + "\\cf0";
            break;
          default:
            out += word;
        }
        out += ' ';
      }
      if (paragraph % 50 == 0) out += "Kestrel ";
      out += "\\par\r\n";
    }
    return out + "}";
  }();
  return rtf;
}

void RtfReplace(benchmark::State& state, const char* pattern) {
  ClassicPatternMatcher matcher;
  matcher.SetPattern(pattern);
  matcher.SetCaseSensitive(false);
  const std::string& rtf = RtfBody();
  for (auto _ : state) {
    if (CountShownMatches(matcher, rtf) > 0) {
      benchmark::DoNotOptimize(ReplaceShownText(matcher, rtf, "Harborlight"));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rtf.size()));
}

void BM_RtfNoMatch(benchmark::State& state) { RtfReplace(state, "Northwind"); }
BENCHMARK(BM_RtfNoMatch)->Unit(benchmark::kMillisecond);

void BM_RtfReplaceEveryFiftiethParagraph(benchmark::State& state) { RtfReplace(state, "kestrel"); }
BENCHMARK(BM_RtfReplaceEveryFiftiethParagraph)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tidewell

BENCHMARK_MAIN();
