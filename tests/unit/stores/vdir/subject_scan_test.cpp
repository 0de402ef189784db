// The subject read off a contact's bytes against the full parse's: over every
// vCard and iCalendar file of the tests' data and the samples, each also with
// every line left out in turn, and over cases made to sit on either side of
// what the scan takes.
#include "formats/subject_scan.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "formats/contact_view.h"
#include "formats/searchable_text.h"
#include "platform/failure.h"
#include "support/temp_files.h"

namespace tidewell::formats {
namespace {

namespace fs = std::filesystem;

// Whether the scan took `bytes`; fails the test where it gives another
// subject than a parse or takes what a parse refuses or notes as unsearched.
bool ScanAgreesWithParse(const std::string& bytes) {
  const std::optional<std::string> unfolded = SearchableContactText(bytes);
  const std::optional<std::string> scanned =
      unfolded ? ScanContactSubject(bytes, *unfolded) : std::nullopt;
  if (!scanned) return false;
  try {
    Document document(bytes);
    const ContactView view(document, 1);
    EXPECT_EQ(*scanned, view.Get("Subject"));
    EXPECT_TRUE(view.Unsearched().empty());
  } catch (const Failure& f) {
    ADD_FAILURE() << "the scan took what a parse refuses: " << f.Description();
  }
  return true;
}

TEST(SubjectScan, AgreesWithTheParseOnEveryFileAndEveryLineLeftOut) {
  size_t files = 0, taken = 0;
  for (const fs::path& root : {fs::path(TIDEWELL_SOURCE_DIR) / "tests" / "data",
                               fs::path(TIDEWELL_SOURCE_DIR) / "samples"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".vcf" && ext != ".ics") continue;
      const std::string bytes = testing::ReadFile(entry.path());
      SCOPED_TRACE(entry.path().string());
      ++files;
      if (ScanAgreesWithParse(bytes)) ++taken;
      for (size_t at = 0, nl; (nl = bytes.find('\n', at)) != std::string::npos; at = nl + 1) {
        ScanAgreesWithParse(bytes.substr(0, at) + bytes.substr(nl + 1));
      }
    }
  }
  EXPECT_GT(files, 100u);
  EXPECT_GT(taken, 10u);  // the scan is no refusal of everything
}

TEST(SubjectScan, TakesOnlyWhatItCanVouchFor) {
  const std::string v3 = "BEGIN:VCARD\r\nVERSION:3.0\r\n", end = "END:VCARD\r\n";
  const struct {
    std::string bytes;
    bool taken;
  } rows[] = {
      {v3 + "FN:Ann\\, B\\nC\r\n" + end, true},
      {"BEGIN:VCARD\nVERSION:2.1\nFN:Ann\\, B\n" + end, true},  // no escapes in 2.1
      {v3 + "FN:Ma\r\n rie\r\n\r\n  Curie\r\n" + end, true},    // folded across a blank line
      {v3 + "item1.FN:Ann\r\nfn:Bob\r\n" + end, false},         // a second FN
      {v3 + "X-A:1\r\n" + end + "\r\n", true},                  // no FN: ""
      {"BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:M=FC=\n ller\n" + end,
       true},
      {"BEGIN:VCARD\nVERSION:2.1\nFN;QUOTED-PRINTABLE:A=0D=0AB\n" + end, false},
      {"BEGIN:VCARD\nVERSION;CHARSET=UTF-8:2.1\nFN:A\\,B\n" + end, false},
      {v3 + "FN:Ann\r\nURL;TYPE=WORK:a\r\nADR;TYPE=HOME:;;s\r\nADR:;;t\r\n" + end, true},
      {v3 + "FN:Ann\r\nURL;TYPE=HOME:a\r\n" + end, false},  // no field's URL
      {v3 + "FN:Ann\r\nURL:a\r\nURL;TYPE=WORK:b\r\n" + end, false},
      {v3 + "FN:Ann\r\nADR;WORK:;;s\r\nADR;TYPE=\"work\":;;t\r\n" + end, false},
      {v3 + "FN:Ann\r\nitem1.ADR:;;s\r\nitem1.X-ABLabel:work\r\n" + end, false},
      {v3 + "FN:Ann\r\nNOTE:a\r\nNOTE:b\r\n" + end, false},
      {v3 + "FN:Ann\r\nBEGIN:X\r\nEND:X\r\n" + end, false},
      {v3 + "FN:Ann\r\n" + end + v3 + end, false},
      {v3 + "FN:Ann\x01\r\n" + end, false},
      {"\xEF\xBB\xBF" + v3 + "FN:Ann\r\n" + end, false},
      {v3 + "FN:Ann\r\nnot a line\r\n" + end, false},
      {v3 + "FN:Ann\r\nEND:VCALENDAR\r\n" + end, false},
      {v3 + "FN:Ann\r\n", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes);
    EXPECT_EQ(ScanAgreesWithParse(row.bytes), row.taken);
  }
}

}  // namespace
}  // namespace tidewell::formats
