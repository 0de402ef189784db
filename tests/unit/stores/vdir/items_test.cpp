// Contacts, appointments and tasks over vCard and iCalendar files: what each
// property reads as, and how a write keeps the form of its line.
#include <array>
#include <regex>
#include <utility>

#include <gtest/gtest.h>

#include "text/rich_text.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

std::string Crlf(const std::string& text) {
  return std::regex_replace(text, std::regex("\n"), "\r\n");
}

// A vCard of `kind` "2.1", "3.0" or "4.0", or a calendar whose first component
// is `kind`, holding `lines` ("\n" for CRLF); an empty kind leaves `lines` as they are.
std::string Wrap(const std::string& kind, const std::string& lines) {
  if (kind.empty()) return lines;
  return Crlf(kind[0] != 'V' ? "BEGIN:VCARD\nVERSION:" + kind + "\n" + lines + "END:VCARD\n"
                             : "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:" + kind + "\nUID:u\n" + lines +
                                   "END:" + kind + "\nEND:VCALENDAR\n");
}

// One property of one file: what it reads as, a text written to it and saved,
// and the lines afterwards. "!" begins a failure's description, in which
// "<file>" stands for the file's path; a refused write leaves the file alone.
struct Edit {
  std::string kind, lines, property, shown, text;
  std::string after = "";   // nothing: the write fails as the read did
  std::string reread = "";  // what it reads as afterwards, when not `text`
};

const std::string kBom = "\xEF\xBB\xBF";
// `text` with each pair's first text, where it first stands, replaced by the second.
std::string Edited(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& edits) {
  for (const auto& [from, to] : edits) text.replace(text.find(from), from.size(), to);
  return text;
}

std::string Rtf(const std::string& body) {
  return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\uc1\\pard\\f0\\fs20 " +
         body + "}";
}

const std::string kEmails =
    "EMAIL;TYPE=home:a@x.org\nEMAIL;TYPE=work;X-DISPLAY-NAME=\"Bo, B\":b@x.org\n"
    "EMAIL;TYPE=INTERNET,pref:c@x.org\nEMAIL:d@x.org\n";
// "Springfield" stands twice in the home label: it is left alone.
const std::string kLabels =
    "ADR;WORK;PREF:;Suite 5;1 Main St;Springfield;IL;62701;USA\n"
    "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:1 Main St=0D=0A=\nSpringfield, IL 62701\n"
    "ADR;HOME:;;2 Elm St;Springfield;IL;62702;USA\n"
    "LABEL;HOME:2 Elm St, Springfield (Springfield county)\n";

std::string CardList(const std::string& first) {
  return Crlf("BEGIN:VCARD\nVERSION:3.0\nFN:" + first +
              "\nEND:VCARD\nBEGIN:VCARD\nVERSION:3.0\nFN:Two\nEND:VCARD");
}

const std::vector<Edit> kEdits = {
    // Dates in their text form, written back in their own form; UTC shows in New York time.
    {"VEVENT", "DTSTART;VALUE=DATE:20240301\n", "Start", "2024-03-01", "2024-03-05",
     "DTSTART;VALUE=DATE:20240305\n"},
    {"VEVENT", "DTSTART;TZID=Europe/Berlin:20240301T093000\n", "Start", "2024-03-01 09:30:00",
     "2024-03-01 10:00:00", "DTSTART;TZID=Europe/Berlin:20240301T100000\n"},
    {"VEVENT", "DTSTART:20240301T150000Z\n", "Start", "2024-03-01 10:00:00", "2024-07-01 11:00:00",
     "DTSTART:20240701T150000Z\n"},
    {"VEVENT", "DTEND:20240301T000000\n", "End", "2024-03-01", "2024-03-02",
     "DTEND:20240302T000000\n"},
    {"VEVENT", "DTSTART;VALUE=DATE:20240301\nDURATION:P1D\n", "End", "2024-03-02", "2024-03-04",
     "DTSTART;VALUE=DATE:20240301\nDURATION:P3D\n"},
    {"VTODO", "COMPLETED:20240301T120000Z\n", "DateCompleted", "2024-03-01 07:00:00",
     "2024-03-01 08:00:00", "COMPLETED:20240301T130000Z\n"},
    {"VTODO", "X-TOTAL-WORK:+0120\n", "TotalWork", "120", "-5", "X-TOTAL-WORK:-5\n"},
    {"VTODO", "X-MILEAGE:12 km\\, city\n", "Mileage", "12 km, city", "13 km; town",
     "X-MILEAGE:13 km\\; town\n"},
    // Texts a date or a number cannot take.
    {"VEVENT", "DTSTART;VALUE=DATE:20240301\n", "Start", "2024-03-01", "2024-03-05 10:00:00",
     "!Type mismatch: '2024-03-05 10:00:00' is not a date."},
    {"VTODO", "DUE:20240301T150000\n", "DueDate", "2024-03-01 15:00:00", "2024-02-30",
     "!Type mismatch: '2024-02-30' is not a date."},
    {"VTODO", "X-ACTUAL-WORK:30\n", "ActualWork", "30", "4x",
     "!Type mismatch: '4x' is not a whole number."},
    // A value that is no date fails its own read only.
    {"VEVENT", "DTSTART:soon\nSUMMARY:s\n", "Start", "!DTSTART on line 5 holds no date: 'soon'.",
     "2024-03-05"},
    {"VEVENT", "DTSTART:soon\nSUMMARY:s\n", "Subject", "s", "t", "DTSTART:soon\nSUMMARY:t\n"},
    // A name the master repeats is read and written on its first line.
    {"VEVENT", "SUMMARY:first\nSUMMARY:second\n", "Subject", "first", "one",
     "SUMMARY:one\nSUMMARY:second\n"},
    // Without a master component, the first one is the item.
    {"VEVENT",
     "RECURRENCE-ID:20170329T160000\nSUMMARY:First\nEND:VEVENT\nBEGIN:VEVENT\n"
     "RECURRENCE-ID:20170330T160000\nSUMMARY:Second\n",
     "Subject", "First", "Premier",
     "RECURRENCE-ID:20170329T160000\nSUMMARY:Premier\nEND:VEVENT\nBEGIN:VEVENT\n"
     "RECURRENCE-ID:20170330T160000\nSUMMARY:Second\n"},
    // vCard 2.1 character sets and quoted-printable, kept on write.
    {"2.1", "FN;CHARSET=ISO-8859-1:M\xFCller\n", "Subject", "M\xC3\xBCller", "M\xC3\xBChle",
     "FN;CHARSET=ISO-8859-1:M\xFChle\n"},
    {"2.1", "FN;CHARSET=ISO-8859-1:M\xFCller\n", "Subject", "M\xC3\xBCller", "\xE2\x82\xAC",
     "FN;CHARSET=UTF-8:\xE2\x82\xAC\n"},
    // One character set a file: without CHARSET, the file's (Windows-1252 where its bytes are
    // not UTF-8); a text it cannot hold is written as UTF-8 and says so.
    {"2.1", "N:M\xFCller;Hans\nORG:Acme\n", "CompanyName", "Acme", "M\xC3\xBCller GmbH",
     "N:M\xFCller;Hans\nORG:M\xFCller GmbH\n"},
    {"2.1", "N:M\xFCller;Hans\nTEL;WORK:555\n", "BusinessTelephoneNumber", "555",
     "\xE2\x82\xAC 777", "N:M\xFCller;Hans\nTEL;WORK:\x80 777\n"},
    {"2.1", "N:M\xFCller;Hans\nORG:Acme\n", "CompanyName", "Acme", "\xE6\x9D\xB1\xE4\xBA\xAC",
     "N:M\xFCller;Hans\nORG;CHARSET=UTF-8:\xE6\x9D\xB1\xE4\xBA\xAC\n"},
    {"2.1", "N:M\xC3\xBCller;Hans\nORG:Acme\n", "CompanyName", "Acme", "M\xC3\xBCller",
     "N:M\xC3\xBCller;Hans\nORG:M\xC3\xBCller\n"},
    {"2.1", "N:M\xFCller;Hans\nNOTE:a\n", "Body", "a", "\xC3\xBC\nb",
     "N:M\xFCller;Hans\nNOTE;ENCODING=QUOTED-PRINTABLE:=FC=0Ab\n"},
    // vCard 2.1 readers keep the blank a fold starts with: a 2.1 line is never folded anew.
    {"2.1", "ADR;WORK:;;1 Main St;Springfield;IL;62701;USA\n", "BusinessAddressStreet", "1 Main St",
     "1 Main Street, Building of the United States of America",
     "ADR;WORK:;;1 Main Street, Building of the United States of America;Springfield;IL;62701;"
     "USA\n"},
    {"2.1", "NOTE:" + std::string(70, 'a') + "\n bb\n", "Body", std::string(70, 'a') + "bb",
     std::string(70, 'a') + "cc", "NOTE:" + std::string(70, 'a') + "cc\n"},
    // Shift_JIS reads the byte of "\\" as a yen sign: an escape makes the line UTF-8.
    {"3.0", "NOTE;CHARSET=SHIFT_JIS:a\n", "Body", "a", "a\nb", "NOTE;CHARSET=UTF-8:a\\nb\n"},
    {"3.0", "ORG;CHARSET=UTF-7:M+APw-ller\n", "CompanyName", "M\xC3\xBCller",
     "M\xC3\xBCller \xF0\x9F\x8E\x89", "ORG;CHARSET=UTF-7:M+APw-ller +2DzfiQ-\n"},
    {"2.1", "NOTE;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=80 5=0D=0A=\nnext\n", "Body",
     "\xE2\x82\xAC 5\r\nnext", "\xE2\x82\xAC 6\nnext",
     "NOTE;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=80 6=0D=0A=\nnext\n",
     "\xE2\x82\xAC 6\r\nnext"},
    {"2.1", "NOTE;ENCODING=QUOTED-PRINTABLE:a=0Ab\n", "Body", "a\nb",
     std::string(80, 'x') + "\n" + std::string(20, 'y'),
     "NOTE;ENCODING=QUOTED-PRINTABLE:" + std::string(80, 'x') + "=0A" + std::string(20, 'y') +
         "\n"},
    {"2.1", "ORG:Company, The;Dept\n", "CompanyName", "Company, The", "A;B, C",
     "ORG:A\\;B, C;Dept\n"},
    // Escapes, read and written.
    {"3.0", "FN:Doe\\, Jane\n", "Subject", "Doe, Jane", "Roe; Jo, Jr\\",
     "FN:Roe\\; Jo\\, Jr\\\\\n"},
    {"3.0", "X-ACCOUNT:acct\n", "Account", "acct", "bank", "X-ACCOUNT:bank\n"},
    {"3.0", "URL;TYPE=home:http://home\nURL:http\\://work\n", "BusinessHomePage", "http://work",
     "http://new", "URL;TYPE=home:http://home\nURL:http\\://new\n"},
    // Failing a work URL, the first whose types all say nothing of its kind is the home page.
    {"3.0", "URL;TYPE=x-blog:http://blog\nURL;TYPE=INTERNET, Voice;PREF=1:http://site\n",
     "BusinessHomePage", "http://site", "http://new",
     "URL;TYPE=x-blog:http://blog\nURL;TYPE=INTERNET, Voice;PREF=1:http://new\n"},
    // A group's X-ABLabel gives its lines their kind whatever the case of the group.
    {"3.0", "ITEM1.ADR:;;1 Quay;Port;;;\nitem1.X-ABLabel:_$!<Work>!$_\n", "BusinessAddressCity",
     "Port", "Cove", "ITEM1.ADR:;;1 Quay;Cove;;;\nitem1.X-ABLabel:_$!<Work>!$_\n"},
    {"3.0", "NOTE:a\\nb\n", "Body", "a\nb", "one\r\ntwo", "NOTE:one\\ntwo\n", "one\ntwo"},
    {"3.0", "FN:Jo\n", "FullNameAndCompany", "Jo", "X",
     "!FullNameAndCompany cannot be changed; it is made of Subject and CompanyName."},
    {"3.0", "FN:Doe\\, Jane\nORG:Acme\\; Sons;Sales\n", "FullNameAndCompany",
     "Doe, Jane, Acme; Sons", "X",
     "!FullNameAndCompany cannot be changed; it is made of Subject and CompanyName."},
    {"3.0", "NOTE:first\\nsecond\n", "RTFBody", Rtf("first\\par second"),
     "{\\rtf1\\ansi first\\par changed}", "NOTE:first\\nchanged\n", Rtf("first\\par changed")},
    // E-mails: the preferred one first, the rest in file order.
    {"3.0", kEmails, "Email1Address", "c@x.org", "c@y.org", Edited(kEmails, {{"c@x", "c@y"}})},
    {"3.0", kEmails, "Email2Address", "a@x.org", "a@y.org", Edited(kEmails, {{"a@x", "a@y"}})},
    {"3.0", kEmails, "Email3DisplayName", "Bo, B", "Bo \"Q\"",
     Edited(kEmails, {{"Bo, B", "Bo 'Q'"}}), "Bo 'Q'"},
    // A label follows a changed address part only where the old text stands once, as whole words.
    {"2.1", kLabels, "BusinessAddressCity", "Springfield", "Shelbyville Heights",
     Edited(kLabels, {{"Springfield;IL;62701", "Shelbyville Heights;IL;62701"},
                      {"Springfield, IL", "Shelbyville Heights, IL"}})},
    {"2.1", kLabels, "OfficeLocation", "Suite 5", "Suite 6",
     Edited(kLabels, {{"Suite 5", "Suite 6"}})},
    {"2.1", kLabels, "HomeAddressCity", "Springfield", "Ogden",
     Edited(kLabels, {{"Springfield;IL;62702", "Ogden;IL;62702"}})},
    // Addresses: one of neither kind is the other address; a LABEL parameter follows its ADR.
    {"4.0", "ADR;TYPE=home:;;9 Pier;Bay;;;\nADR;TYPE=postal:;;7 Dock;Port;NS;B0;CA\n",
     "OtherAddressPostalCode", "B0", "B1",
     "ADR;TYPE=home:;;9 Pier;Bay;;;\nADR;TYPE=postal:;;7 Dock;Port;NS;B1;CA\n"},
    {"4.0", "ADR;TYPE=home;LABEL=\"9 Pier, Bay\":;;9 Pier;Bay;;;\n", "HomeAddressCity", "Bay",
     "Cove", "ADR;TYPE=home;LABEL=\"9 Pier, Cove\":;;9 Pier;Cove;;;\n"},
    // Components added after one ending in a lone backslash leave it a backslash.
    {"3.0", "ADR;TYPE=work:Box 7\\\n", "BusinessAddressCity", "", "Bay",
     "ADR;TYPE=work:Box 7\\\\;;;Bay\n"},
    // vCard 2.1 has no escaped backslash: an empty write adds no component after one, and
    // a text is refused rather than let the backslash take the ";" after it.
    {"2.1", "ADR;WORK:Box 7\\\n", "BusinessAddressState", "", "", "ADR;WORK:Box 7\\\n"},
    {"2.1", "ADR;WORK:Box 7\\\n", "BusinessAddressCity", "", "Bay",
     "!BusinessAddressCity cannot take 'Bay': in a vCard 2.1 file a backslash before a ';' "
     "between the parts of ADR cannot be written."},
    // A line that grows past 75 octets never folds after a CR (read as part of the line end),
    // nor after "=" when its head names QUOTED-PRINTABLE (read as a soft break).
    {"3.0", "ADR;TYPE=work:;;1 Main St;Town;IL;" + std::string(10, '\r') + "62701;USA\n",
     "BusinessAddressState", "IL", std::string(38, 'S'),
     "ADR;TYPE=work:;;1 Main St;Town;" + std::string(38, 'S') + ";\n " + std::string(10, '\r') +
         "62701;USA\n"},
    {"3.0", "NOTE;X-TAG=QUOTED-PRINTABLE:short\n", "Body", "short",
     std::string(46, 'a') + "=" + std::string(30, 'b'),
     "NOTE;X-TAG=QUOTED-PRINTABLE:" + std::string(46, 'a') + "\n =" + std::string(30, 'b') + "\n"},
    // "==" ending a line before blank lines reads as two soft breaks, and is written anew.
    {"3.0", "NOTE;ENCODING=QUOTED-PRINTABLE:ab==\n\n\n", "Body", "ab", "cd",
     "NOTE;ENCODING=QUOTED-PRINTABLE:cd\n"},
    // What the file lacks reads as nothing and is never added; unknown names fail.
    {"4.0", "ADR;TYPE=postal:;;7 Dock;Port;NS;B0;CA\n", "BusinessAddressCity", "", "X",
     "!<file> has no BusinessAddressCity to change, and fields are never added."},
    {"3.0", "FN:Jo\n", "RTFBody", "", "X",
     "!<file> has no RTFBody to change, and fields are never added."},
    {"3.0", "FN:Jo\n", "Nickname", "!ContactItem has no property named 'Nickname'.", "X"},
    {"3.0", "FN:Jo\n", "EntryID", "f/x.vcf", "X", "!EntryID cannot be changed."},
    // A byte-order mark and line feeds stay; a long line folds in the file's style.
    {"", kBom + "BEGIN:VCARD\nVERSION:4.0\nFN:Ann\nNOTE:short\nEND:VCARD\n", "Body", "short",
     std::string(100, 'n'),
     kBom + "BEGIN:VCARD\nVERSION:4.0\nFN:Ann\nNOTE:" + std::string(70, 'n') + "\n " +
         std::string(30, 'n') + "\nEND:VCARD\n"},
    {"", CardList("One"), "Subject", "One", "Uno", CardList("Uno")},
    // Files the store cannot read fail at every read and are never written.
    {"", "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:x\r\n", "Subject",
     "!Cannot read <file>: BEGIN:VCARD on line 1 is never closed.", "x"},
    // Lone CR line ends make the file one line: its failure quotes 80 characters of it.
    {"", "BEGIN:VCARD\rVERSION:3.0\rFN:x\rNOTE:" + std::string(5000, 'n') + "\rEND:VCARD\r",
     "Subject",
     "!Cannot read <file>: BEGIN:VCARD\\rVERSION:3.0\\rFN:X\\rNOTE:" + std::string(52, 'N') +
         "… on line 1 is never closed.",
     "x"},
    {"", "BEGIN:VCARD\nFN:x\nEND:VEVENT\n", "Subject",
     "!Cannot read <file>: END:VEVENT on line 3 closes no BEGIN:VEVENT.", "x"},
    {"", "BEGIN:VCARD\nFN:\x01x\nEND:VCARD\n", "Subject",
     "!Cannot read <file>: it holds binary data (byte 0x01 at offset 15).", "x"},
    {"", std::string("BEGIN:VCARD\nFN:x\0\nEND:VCARD\n", 28), "Subject",
     "!Cannot read <file>: it holds binary data (byte 0x00 at offset 16).", "x"},
    // Tab, escape and form feed are text; DEL is not, wherever it stands.
    {"", "BEGIN:VCARD\nFN:a\tb\x1B$B\f\nNOTE:" + std::string(40, 'n') + "\x7F\nEND:VCARD\n",
     "Subject", "!Cannot read <file>: it holds binary data (byte 0x7F at offset 68).", "x"},
    {"", "BEGIN:VCARD\nFN:x\nthis is no content line\nEND:VCARD\n", "Subject",
     "!Cannot read <file>: line 3 is not a content line.", "x"},
    {"", "", "Subject", "!Cannot read <file>: it holds no vCard.", "x"},
};

TEST(Items, EachPropertyReadsInItsTextFormAndIsWrittenInTheFormOfItsLine) {
  ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
  for (const Edit& e : kEdits) {
    SCOPED_TRACE(e.property + " of " + Wrap(e.kind, e.lines));
    const std::string name = e.kind.starts_with("V") ? "x.ics" : "x.vcf";
    const std::string file = Wrap(e.kind, e.lines);
    OneFolderStore s({{name, file}});
    auto item = s.Item(name);
    const auto outcome = [&](const std::function<std::string()>& action) {
      const std::string text = FailureOf(action), path = s.File(name).string();
      return text.find(path) == std::string::npos ? text : Edited(text, {{path, "<file>"}});
    };
    const std::string after = e.after.empty() ? e.shown : e.after;
    const bool refused = after.starts_with("!");
    const std::string reread = refused ? after : e.reread.empty() ? e.text : e.reread;
    for (int attempt = 0; attempt < 2; ++attempt) {
      EXPECT_EQ(outcome([&] { return item->GetProperty(e.property); }), e.shown);
    }
    EXPECT_EQ(outcome([&] {
                item->SetProperty(e.property, e.text);
                return item->GetProperty(e.property);
              }),
              reread);
    item->Save();
    EXPECT_EQ(ReadFile(s.File(name)), refused ? file : Wrap(e.kind, after));
    if (!refused) {
      EXPECT_EQ(s.Item(name)->GetProperty(e.property), reread);
    }
  }
}

// Each VEVENT, VTODO and VJOURNAL of a file, and each VCARD, is an item of
// its own, in file order, a series' override included: each reads and writes
// its own lines only, and one saved after a sibling builds on that save.
TEST(Items, EveryComponentOfAFileIsAnItemOfItsOwn) {
  ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
  const auto file = [](const std::string& override, const std::string& master,
                       const std::string& duration, const std::string& task) {
    return Crlf(
        "BEGIN:VCALENDAR\nVERSION:2.0\n"
        "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\nBEGIN:STANDARD\nDTSTART:19701025T030000\n"
        "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\nEND:VTIMEZONE\n"
        "BEGIN:VTODO\nUID:t\nSUMMARY:" +
        task +
        "\nDTSTAMP:20240101T000000Z\nEND:VTODO\n"
        "BEGIN:VEVENT\nUID:x\nRECURRENCE-ID:20240308T083000Z\nSUMMARY:" +
        override +
        "\nLOCATION:Room (555)\nDTSTART:20240308T100000Z\nDTSTAMP:20240101T000000Z\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:x\nDTSTAMP:20240101T000000Z\nSUMMARY:" +
        master +
        "\nBEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:Alarm text\nTRIGGER:-PT15M\nEND:VALARM\n"
        "DESCRIPTION:Master text\nLOCATION:Room 1\n"
        "DTSTART;TZID=Europe/Berlin:20240301T093000\nDURATION:" +
        duration +
        "\nLAST-MODIFIED:20240101T000000Z\nRRULE:FREQ=WEEKLY\nEND:VEVENT\nEND:VCALENDAR\n");
  };
  const std::string two_cards = Crlf(
      "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nTEL:555\nREV:20240101T000000Z\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN:Bo\nTEL:555\nREV:20240101T000000Z\nEND:VCARD\n");
  OneFolderStore s({{"r.ics", file("Moved", "Master", "PT1H30M", "Task")}, {"two.vcf", two_cards}});
  auto items = s.store->YSGetFolder("f", "")->GetItems();
  std::vector<std::shared_ptr<OutlookItem>> listed;
  std::vector<std::string> seen;
  for (int32_t i = 1; i <= items->Count(); ++i) {
    listed.push_back(items->Item(i));
    seen.push_back(listed.back()->TypeName() + " " + listed.back()->GetProperty("Subject"));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"TaskItem Task", "AppointmentItem Moved",
                                            "AppointmentItem Master", "ContactItem Ann",
                                            "ContactItem Bo"}));
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_EQ(listed[1]->GetProperty("Start"), "2024-03-08 05:00:00");
  EXPECT_EQ(listed[2]->GetProperty("Location"), "Room 1");
  // Every component was read before any is saved: the later ones rebase.
  listed[2]->SetProperty("Subject", "Main");
  listed[2]->SetProperty("End", "2024-03-01 11:30:00");
  listed[1]->SetProperty("Location", "Room (777)");
  listed[0]->SetProperty("Subject", "Job");
  for (size_t i : {2, 1, 0}) listed[i]->Save();
  const std::regex stamp("(DTSTAMP|LAST-MODIFIED|REV):\\d{8}T\\d{6}Z");
  const std::string after = ReadFile(s.File("r.ics"));
  std::string expected = std::regex_replace(file("Moved", "Main", "PT2H", "Job"), stamp, "$1:S");
  expected.replace(expected.find("Room (555)"), 10, "Room (777)");
  EXPECT_EQ(std::regex_replace(after, stamp, "$1:S"), expected);
  EXPECT_EQ(after.find("20240101T000000Z"), std::string::npos);  // each saved took its stamp
  EXPECT_EQ(s.Item("r.ics#3")->GetProperty("End"), "2024-03-01 11:30:00");

  listed[4]->SetProperty("OtherTelephoneNumber", "777");
  listed[4]->Save();
  listed[3]->Save();  // nothing changed: nothing written
  const std::string cards = ReadFile(s.File("two.vcf"));
  EXPECT_EQ(cards.substr(0, cards.find("FN:Bo")), two_cards.substr(0, two_cards.find("FN:Bo")));
  EXPECT_NE(cards.find("FN:Bo\r\nTEL:777\r\nREV:"), std::string::npos);
  EXPECT_EQ(cards.find("20240101T000000Z", two_cards.find("FN:Bo")), std::string::npos);

  // A sibling's save made by another listing is another program's change.
  auto stale = s.Item("two.vcf");
  stale->SetProperty("Subject", "Anne");
  auto other = s.Item("two.vcf#2");
  other->SetProperty("Subject", "Bob");
  other->Save();
  EXPECT_EQ(FailureOf([&] { stale->Save(); }),
            "!The item was changed by another program since it was read.");
}

// A new start moves the series with it, in the same save: the master's RRULE UNTIL, EXDATE
// and RDATE, and the RECURRENCE-ID of its overrides. SEQUENCE counts each new time.
TEST(Items, ANewStartMovesItsSeriesWholeOrNotAtAll) {
  ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
  const std::string zones =
      "BEGIN:VTIMEZONE\nTZID:America/New_York\nBEGIN:STANDARD\nDTSTART:19701101T020000\n"
      "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\nTZOFFSETFROM:-0400\nTZOFFSETTO:-0500\n"
      "END:STANDARD\nEND:VTIMEZONE\n";
  const auto calendar = [&](const std::string& components) {
    return Crlf("BEGIN:VCALENDAR\nVERSION:2.0\n" + zones + components + "END:VCALENDAR\n");
  };
  const auto weekly = [](const std::string& start, const std::string& until,
                         const std::string& exdate, const std::string& rdate,
                         const std::string& recurrence, const std::string& end,
                         const std::string& sequence) {
    return "BEGIN:VEVENT\nUID:w\nRRULE:FREQ=WEEKLY;UNTIL=" + until +
           ";BYDAY=MO\nEXDATE;TZID=America/New_York:" + exdate + "\nRDATE;VALUE=PERIOD:" + rdate +
           "\nDTSTART;TZID=America/New_York:" + start + "\nDTEND;TZID=America/New_York:" + end +
           "\nSEQUENCE:" + sequence +
           "\nEND:VEVENT\nBEGIN:VEVENT\nUID:w\nRECURRENCE-ID;TZID=America/New_York:" + recurrence +
           "\nDTSTART;TZID=America/New_York:20260217T093000\nSEQUENCE:3\nEND:VEVENT\n"
           "BEGIN:VEVENT\nUID:other\nRECURRENCE-ID:20260216T093000\nDTSTART:20260216T093000\n"
           "END:VEVENT\n";
  };
  const std::string series =
      weekly("20260105T093000", "20260629T133000Z", "20260525T093000,20260601T093000",
             "20260311T090000Z/20260311T100000Z,20260312T090000Z/PT1H", "20260216T093000",
             "20260105T100000", "3");
  const std::string allDay =
      "BEGIN:VTODO\nUID:d\nDTSTART;VALUE=DATE:20260105\nDUE;VALUE=DATE:20260106\n"
      "RRULE:FREQ=DAILY;UNTIL=20260110\nEXDATE;VALUE=DATE:20260107\nEND:VTODO\n"
      "BEGIN:VTODO\nUID:d\nRECURRENCE-ID;VALUE=DATE:20260108\nDTSTART;VALUE=DATE:20260109\n"
      "END:VTODO\n";
  const struct {
    const char* situation;
    std::string file, property, text, after;  // "!" and the failure: the file stays
  } rows[] = {
      {"a year later, on a Monday again, an hour earlier", series, "Start", "2027-01-04 08:30:00",
       weekly("20270104T083000", "20270628T123000Z", "20270524T083000,20270531T083000",
              "20270310T080000Z/20270310T090000Z,20270311T080000Z/PT1H", "20270215T083000",
              "20260105T100000", "4")},
      {"a new end moves nothing else", series, "End", "2026-01-05 11:00:00",
       Edited(series, {{"DTEND;TZID=America/New_York:20260105T100000",
                        "DTEND;TZID=America/New_York:20260105T110000"},
                       {"SEQUENCE:3", "SEQUENCE:4"}})},
      {"dates move by whole days, a task's due date moves nothing", allDay, "StartDate",
       "2026-01-07",
       Edited(allDay, {{"20260107", "20260109"},
                       {"20260108", "20260110"},
                       {"20260110", "20260112"},
                       {"20260105", "20260107"}})},
      {"", allDay, "DueDate", "2026-01-08", Edited(allDay, {{"20260106", "20260108"}})},
      {"an override's own start keeps the occurrence it stands for",
       "BEGIN:VEVENT\nUID:o\nRECURRENCE-ID:20260216T093000\nDTSTART:20260217T093000\n"
       "SEQUENCE:3\nEND:VEVENT\n",
       "Start", "2026-02-18 09:30:00",
       "BEGIN:VEVENT\nUID:o\nRECURRENCE-ID:20260216T093000\nDTSTART:20260218T093000\n"
       "SEQUENCE:4\nEND:VEVENT\n"},
      {"an end beyond the calendar",
       "BEGIN:VEVENT\nUID:y\nDTSTART:99991230T000000\nRRULE:FREQ=DAILY;UNTIL=99991231T000000\n"
       "END:VEVENT\n",
       "Start", "9999-12-31",
       "!The series cannot be moved: 99991231T000000 would leave the years 1 to 9999."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.situation + (": " + row.text));
    OneFolderStore s({{"s.ics", calendar(row.file)}});
    auto item = s.Item("s.ics");
    const std::string before = item->GetProperty(row.property);
    EXPECT_EQ(FailureOf([&] {
                item->SetProperty(row.property, row.text);
                return item->GetProperty(row.property);
              }),
              row.after.starts_with("!") ? row.after : row.text);
    item->Save();
    EXPECT_EQ(ReadFile(s.File("s.ics")),
              calendar(row.after.starts_with("!") ? row.file : row.after));
    if (row.after.starts_with("!")) continue;
    // The old time brings the series back; SEQUENCE counts on.
    item->SetProperty(row.property, before);
    item->Save();
    const bool counted = row.file.find("SEQUENCE:3") != std::string::npos;
    EXPECT_EQ(
        ReadFile(s.File("s.ics")),
        counted ? Edited(calendar(row.file), {{"SEQUENCE:3", "SEQUENCE:5"}}) : calendar(row.file));
  }
}

// Each number names the slot it must land in; every other slot stays empty.
// A number beyond the slots of its kind stays of its kind ("Business#3"), and
// the kind's first slot and "#" count its numbers.
TEST(Items, EachPhoneLineTakesTheFirstFreeSlotItsTypesFit) {
  for (const auto& [version, lines] : std::vector<std::pair<std::string, std::string>>{
           {"3.0",
            "TEL;TYPE=work:Business\nTEL;TYPE=WORK,VOICE:Business2\nTEL;TYPE=work:Business#3\n"
            "TEL;TYPE=home:Home\nTEL;TYPE=cell:Mobile\nTEL;TYPE=fax,work:BusinessFax\n"
            "TEL;type=HOME;type=FAX:HomeFax\nTEL;TYPE=fax:OtherFax\nTEL;TYPE=pager:Pager\n"
            "TEL;TYPE=car:Car\nTEL;TYPE=pref:Primary\nTEL;TYPE=textphone:TTYTDD\n"
            "TEL;TYPE=x-assistant:Assistant\nTEL;TYPE=x-callback:Callback\n"
            "TEL;TYPE=main-number:CompanyMain\nTEL;TYPE=x-radio:Radio\n"},
           {"2.1",
            "TEL;CELL;PREF:Mobile\nTEL;PREF:Primary\nTEL;HOME;VOICE:Home\nTEL;HOME:Home2\n"
            "X-MS-TEL;VOICE;CALLBACK:Callback\nX-MS-TEL;ASSISTANT:Assistant\n"
            "X-MS-TEL;TTYTDD:TTYTDD\nX-MS-TEL;COMPANY:CompanyMain\nX-MS-TEL;RADIO:Radio\n"
            "TEL:Other\n"},
           {"4.0",
            "TEL;VALUE=uri;PREF=1;TYPE=\"voice,home\":Home\n"
            "item1.TEL:Assistant\nitem1.X-ABLabel:_$!<AssistantPhone>!$_\n"
            "item2.TEL:BusinessFax\nitem2.X-ABLabel:_$!<WorkFAX>!$_\n"
            "item3.TEL:Car\nitem3.X-ABLabel:CarPhone\nTEL;TYPE=cell:Mobile\n"
            "TEL;TYPE=cell:Mobile#2\nTEL:Other\nTEL;TYPE=work:Business\n"}}) {
    OneFolderStore s({{"p.vcf", Wrap(version, lines)}});
    auto item = s.Item("p.vcf");
    for (std::string slot : {"Assistant", "Business", "Business2", "BusinessFax", "Callback", "Car",
                             "CompanyMain", "Home", "Home2", "HomeFax", "Mobile", "Other",
                             "OtherFax", "Pager", "Primary", "Radio", "TTYTDD"}) {
      const bool number = slot.ends_with("Fax") || slot == "Pager";
      const std::string name = slot + (number ? "Number" : "TelephoneNumber");
      EXPECT_EQ(item->GetProperty(name),
                lines.find(":" + slot + "\n") != std::string::npos ? slot : "")
          << "vCard " << version;
      const size_t slots = slot == "Business" || slot == "Home" ? 2 : 1;
      size_t count = lines.find(":" + slot + "\n") != std::string::npos;
      if (slot == "Business" || slot == "Home") {
        count += lines.find(":" + slot + "2\n") != std::string::npos;
      }
      for (size_t place = slots + 1;
           lines.find(":" + slot + "#" + std::to_string(place)) != std::string::npos; ++place) {
        EXPECT_EQ(item->GetProperty(name + "#" + std::to_string(place)),
                  slot + "#" + std::to_string(place));
        ++count;
      }
      if (!slot.ends_with("2")) {
        EXPECT_EQ(item->GetProperty(name + "#"), std::to_string(count)) << name;
      }
    }
    EXPECT_EQ(FailureOf([&] { return item->GetProperty("BusinessTelephoneNumber#9"); }), "");
    EXPECT_EQ(FailureOf([&] { return item->GetProperty("Business2TelephoneNumber#"); }),
              "!ContactItem has no property named 'Business2TelephoneNumber#'.");
    EXPECT_EQ(FailureOf([&] { item->SetProperty("MobileTelephoneNumber#", "1"); }),
              "!MobileTelephoneNumber# cannot be changed; it counts values.");
  }
}

TEST(Items, RevisionIsSetOnSaveInItsOwnShape) {
  for (const auto& [version, line, head, shape] : std::vector<std::array<std::string, 4>>{
           {"4.0", "REV:20200411T072429Z", "REV:", "\\d{8}T\\d{6}Z"},
           {"3.0", "REV:2012-03-05T13:32:54Z",
            "REV:", "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ"},
           // A character set that is not known gives way to UTF-8 rather than fail the save.
           {"4.0", "REV;CHARSET=X-NONE:20200411T072429Z",
            "REV;CHARSET=UTF-8:", "\\d{8}T\\d{6}Z"}}) {
    OneFolderStore s({{"a.vcf", Wrap(version, "FN:Jo\n" + line + "\n")}});
    auto item = s.Item("a.vcf");
    item->SetProperty("Subject", "Al");
    item->Save();
    const std::string text = ReadFile(s.File("a.vcf"));
    std::smatch now;
    ASSERT_TRUE(std::regex_search(text, now, std::regex("\r\n" + head + "(" + shape + ")\r\n")))
        << text;
    EXPECT_NE(head + now[1].str(), line);
    EXPECT_EQ(text, Wrap(version, "FN:Al\n" + head + now[1].str() + "\n"));
  }
}

// A long note's RTF is made piece by piece: no piece may cut an escape, a
// UTF-8 character or a run of backslashes, wherever the cuts fall.
TEST(Items, ALongNoteReadsAsTheSameRtfAsItsText) {
  for (const auto& [version, sentence] :
       std::vector<std::array<std::string, 2>>{{"3.0",
                                                "Plan\\nfor the w\xc3\xa9"
                                                "ek\\; {a}\\\\\\,\\q\xe2\x82\xac\\N."},
                                               {"4.0", "\\\\\\\\\\n\xf0\x9f\x98\x80x\\,"}}) {
    std::string note;
    while (note.size() < (size_t{5} << 19)) note += sentence;
    OneFolderStore s({{"a.vcf", Wrap(version, "FN:Jo\nNOTE:" + note + "\n")}});
    auto item = s.Item("a.vcf");
    EXPECT_TRUE(item->GetProperty("RTFBody") == RtfFromPlainText(item->GetProperty("Body")))
        << version << " " << sentence;
  }
}

}  // namespace
}  // namespace tidewell::testing
