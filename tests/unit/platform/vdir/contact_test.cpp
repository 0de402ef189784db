// Contacts over vCard files: the property map, writes that keep each file's
// own encoding, and files the store refuses.
#include <regex>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "vdir_fixture.h"

namespace tidewell::testing {
namespace {

std::string Card(const std::string& version, const std::string& body) {
  return Lines("BEGIN:VCARD\nVERSION:" + version + "\nFN:Jo\n" + body + "END:VCARD\n");
}

// Each number names the slot it must land in, "Other" included.
struct PhoneCase {
  std::string name;
  std::string version;
  std::string lines;
};

class PhoneSlots : public ::testing::TestWithParam<PhoneCase> {};

TEST_P(PhoneSlots, EachLineTakesTheFirstFreeSlotItsTypesFit) {
  const PhoneCase& c = GetParam();
  OneFolderStore s({{"p.vcf", Card(c.version, c.lines)}});
  auto item = s.Item("p.vcf");
  for (std::string slot : {"Assistant", "Business", "Business2", "BusinessFax", "Callback", "Car",
                           "CompanyMain", "Home", "Home2", "HomeFax", "Mobile", "Other", "OtherFax",
                           "Pager", "Primary", "Radio", "TTYTDD"}) {
    bool number = slot.ends_with("Fax") || slot == "Pager";
    std::string expected = c.lines.find(":" + slot + "\n") != std::string::npos ? slot : "";
    EXPECT_EQ(item->GetProperty(slot + (number ? "Number" : "TelephoneNumber")), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, PhoneSlots,
    ::testing::Values(
        PhoneCase{"vcard3_types", "3.0",
                  "TEL;TYPE=work:Business\nTEL;TYPE=WORK,VOICE:Business2\nTEL;TYPE=work:Other\n"
                  "TEL;TYPE=home:Home\nTEL;TYPE=cell:Mobile\nTEL;TYPE=fax,work:BusinessFax\n"
                  "TEL;type=HOME;type=FAX:HomeFax\nTEL;TYPE=fax:OtherFax\nTEL;TYPE=pager:Pager\n"
                  "TEL;TYPE=car:Car\nTEL;TYPE=pref:Primary\nTEL;TYPE=textphone:TTYTDD\n"
                  "TEL;TYPE=x-assistant:Assistant\nTEL;TYPE=x-callback:Callback\n"
                  "TEL;TYPE=main-number:CompanyMain\nTEL;TYPE=x-radio:Radio\n"},
        PhoneCase{"vcard21_bare_types_and_outlook_lines", "2.1",
                  "TEL;CELL;PREF:Mobile\nTEL;PREF:Primary\nTEL;HOME;VOICE:Home\nTEL;HOME:Home2\n"
                  "X-MS-TEL;VOICE;CALLBACK:Callback\nX-MS-TEL;ASSISTANT:Assistant\n"
                  "X-MS-TEL;TTYTDD:TTYTDD\nX-MS-TEL;COMPANY:CompanyMain\nX-MS-TEL;RADIO:Radio\n"
                  "TEL:Other\n"},
        PhoneCase{"group_labels_and_vcard4", "4.0",
                  "TEL;VALUE=uri;PREF=1;TYPE=\"voice,home\":Home\n"
                  "item1.TEL:Assistant\nitem1.X-ABLabel:_$!<AssistantPhone>!$_\n"
                  "item2.TEL:BusinessFax\nitem2.X-ABLabel:_$!<WorkFAX>!$_\n"
                  "item3.TEL:Car\nitem3.X-ABLabel:CarPhone\nTEL;TYPE=cell:Mobile\n"
                  "TEL;TYPE=cell:Other\n"}),
    [](const auto& row) { return row.param.name; });

TEST(ContactProperties, EmailsPutThePreferredOneFirstAndKeepFileOrderForTheRest) {
  OneFolderStore s({{"e.vcf", Card("3.0",
                                   "EMAIL;TYPE=home:a@x.org\n"
                                   "EMAIL;TYPE=work;X-DISPLAY-NAME=\"Bo, B\":b@x.org\n"
                                   "EMAIL;TYPE=INTERNET,pref:c@x.org\nEMAIL:d@x.org\n")}});
  auto item = s.Item("e.vcf");
  EXPECT_EQ(item->GetProperty("Email1Address"), "c@x.org");
  EXPECT_EQ(item->GetProperty("Email2Address"), "a@x.org");
  EXPECT_EQ(item->GetProperty("Email3Address"), "b@x.org");
  EXPECT_EQ(item->GetProperty("Email3DisplayName"), "Bo, B");
  EXPECT_EQ(item->GetProperty("Email1DisplayName"), "");
  EXPECT_THROW(item->SetProperty("Email1DisplayName", "C"), Failure);

  item->SetProperty("Email3DisplayName", "Bo \"Q\"");
  item->SetProperty("Email1Address", "c@y.org");
  item->Save();
  std::string file = ReadFile(s.File("e.vcf"));
  EXPECT_TRUE(Contains(file, "\r\nEMAIL;TYPE=work;X-DISPLAY-NAME=\"Bo 'Q'\":b@x.org\r\n"));
  EXPECT_TRUE(Contains(file, "\r\nEMAIL;TYPE=INTERNET,pref:c@y.org\r\n"));
}

TEST(ContactProperties, NamesCompanyAndTextFieldsUnescapeOnReadAndEscapeOnWrite) {
  OneFolderStore s({{"t.vcf", Lines("BEGIN:VCARD\nVERSION:3.0\nFN:Doe\\, Jane\n"
                                    "ORG:Acme\\; Sons;Sales\nX-EVOLUTION-FILE-AS:Doe\\, Jane\n"
                                    "X-ACCOUNT:acct\nURL;TYPE=home:http://home\n"
                                    "URL:http\\://work\nNOTE:a\\nb\nEND:VCARD\n")}});
  auto item = s.Item("t.vcf");
  EXPECT_EQ(item->GetProperty("Subject"), "Doe, Jane");
  EXPECT_EQ(item->GetProperty("CompanyName"), "Acme; Sons");
  EXPECT_EQ(item->GetProperty("FullNameAndCompany"), "Doe, Jane, Acme; Sons");
  EXPECT_EQ(item->GetProperty("FileAs"), "Doe, Jane");
  EXPECT_EQ(item->GetProperty("Account"), "acct");
  EXPECT_EQ(item->GetProperty("BusinessHomePage"), "http://work");
  EXPECT_EQ(item->GetProperty("Body"), "a\nb");

  item->SetProperty("Subject", "Roe; Jo, Jr\\");
  item->SetProperty("CompanyName", "Apex, Inc");
  item->SetProperty("Body", "one\r\ntwo");
  item->Save();
  EXPECT_EQ(ReadFile(s.File("t.vcf")),
            Lines("BEGIN:VCARD\nVERSION:3.0\nFN:Roe\\; Jo\\, Jr\\\\\n"
                  "ORG:Apex\\, Inc;Sales\nX-EVOLUTION-FILE-AS:Doe\\, Jane\n"
                  "X-ACCOUNT:acct\nURL;TYPE=home:http://home\n"
                  "URL:http\\://work\nNOTE:one\\ntwo\nEND:VCARD\n"));
  EXPECT_EQ(s.Item("t.vcf")->GetProperty("Subject"), "Roe; Jo, Jr\\");
}

struct EncodingCase {
  std::string name;
  std::string line;      // as in the file
  std::string property;  // read and written
  std::string read;      // what it reads as
  std::string write;     // the new text
  std::string written;   // the line in the file afterwards
  std::string reread;    // what it reads as afterwards, when not `write`
};

class Vcard21Encodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Vcard21Encodings, ValuesDecodeOnReadAndKeepTheirEncodingOnWrite) {
  const EncodingCase& c = GetParam();
  std::string file = "BEGIN:VCARD\r\nVERSION:2.1\r\n" + c.line + "\r\nEND:VCARD\r\n";
  OneFolderStore s({{"x.vcf", file}});
  auto item = s.Item("x.vcf");
  EXPECT_EQ(item->GetProperty(c.property), c.read);
  item->SetProperty(c.property, c.write);
  item->Save();
  EXPECT_EQ(ReadFile(s.File("x.vcf")),
            "BEGIN:VCARD\r\nVERSION:2.1\r\n" + c.written + "\r\nEND:VCARD\r\n");
  EXPECT_EQ(s.Item("x.vcf")->GetProperty(c.property), c.reread.empty() ? c.write : c.reread);
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, Vcard21Encodings,
    ::testing::Values(
        EncodingCase{"latin1", "FN;CHARSET=ISO-8859-1:M\xFCller", "Subject", "M\xC3\xBCller",
                     "M\xC3\xBChle", "FN;CHARSET=ISO-8859-1:M\xFChle", ""},
        EncodingCase{"windows1252_without_charset", "FN:Caf\xE9 \x80", "Subject",
                     "Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9s", "FN:Caf\xE9s", ""},
        EncodingCase{"text_the_charset_cannot_hold_switches_to_utf8",
                     "FN;CHARSET=ISO-8859-1:M\xFCller", "Subject", "M\xC3\xBCller", "\xE2\x82\xAC",
                     "FN;CHARSET=UTF-8:\xE2\x82\xAC", ""},
        EncodingCase{"quoted_printable_with_soft_breaks_and_crlf",
                     "NOTE;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=80 5=0D=0A=\r\nnext",
                     "Body", "\xE2\x82\xAC 5\r\nnext", "\xE2\x82\xAC 6\nnext",
                     "NOTE;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=80 6=0D=0A=\r\nnext",
                     "\xE2\x82\xAC 6\r\nnext"},
        EncodingCase{
            "quoted_printable_on_one_line_stays_on_one_line_however_long",
            "NOTE;ENCODING=QUOTED-PRINTABLE:a=0Ab", "Body", "a\nb",
            std::string(80, 'x') + "\n" + std::string(20, 'y'),
            "NOTE;ENCODING=QUOTED-PRINTABLE:" + std::string(80, 'x') + "=0A" + std::string(20, 'y'),
            ""},
        EncodingCase{"line_break_makes_a_plain_value_quoted_printable", "NOTE:a", "Body", "a",
                     "a\nb", "NOTE;ENCODING=QUOTED-PRINTABLE:a=0Ab", ""},
        EncodingCase{"structured_value_escapes_only_semicolons", "ORG:Company, The;Dept",
                     "CompanyName", "Company, The", "A;B, C", "ORG:A\\;B, C;Dept", ""}),
    [](const auto& row) { return row.param.name; });

struct LabelCase {
  std::string property;
  std::string text;
  std::string adr;    // the ADR line afterwards
  std::string label;  // its LABEL line afterwards
};

class AddressLabels : public ::testing::TestWithParam<LabelCase> {};

// The label follows a changed component only where the old text stands once,
// as whole words: "Springfield" twice in the home label is left alone.
TEST_P(AddressLabels, FollowTheAddressWhereThatIsUnambiguous) {
  const LabelCase& c = GetParam();
  const std::string head = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Jo\r\n";
  OneFolderStore s({{"a.vcf", head + "ADR;WORK;PREF:;Suite 5;1 Main St;Springfield;IL;62701;USA\r\n"
                                     "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:1 Main St=0D=0A=\r\n"
                                     "Springfield, IL 62701\r\n"
                                     "ADR;HOME:;;2 Elm St;Springfield;IL;62702;USA\r\n"
                                     "LABEL;HOME:2 Elm St, Springfield (Springfield county)\r\n"
                                     "END:VCARD\r\n"}});
  auto item = s.Item("a.vcf");
  item->SetProperty(c.property, c.text);
  item->Save();
  std::string file = ReadFile(s.File("a.vcf"));
  EXPECT_TRUE(Contains(file, "\r\n" + c.adr + "\r\n"));
  EXPECT_TRUE(Contains(file, "\r\n" + c.label + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, AddressLabels,
    ::testing::Values(LabelCase{"BusinessAddressCity", "Shelbyville Heights",
                                "ADR;WORK;PREF:;Suite 5;1 Main St;Shelbyville Heights;IL;62701;USA",
                                "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:1 Main St=0D=0A=\r\n"
                                "Shelbyville Heights, IL 62701"},
                      LabelCase{"BusinessAddressState", "WI",
                                "ADR;WORK;PREF:;Suite 5;1 Main St;Springfield;WI;62701;USA",
                                "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:1 Main St=0D=0A=\r\n"
                                "Springfield, WI 62701"},
                      LabelCase{"OfficeLocation", "Suite 6",
                                "ADR;WORK;PREF:;Suite 6;1 Main St;Springfield;IL;62701;USA",
                                "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:1 Main St=0D=0A=\r\n"
                                "Springfield, IL 62701"},
                      LabelCase{"HomeAddressCity", "Ogden",
                                "ADR;HOME:;;2 Elm St;Ogden;IL;62702;USA",
                                "LABEL;HOME:2 Elm St, Springfield (Springfield county)"},
                      LabelCase{"HomeAddressStreet", "3 Oak Rd",
                                "ADR;HOME:;;3 Oak Rd;Springfield;IL;62702;USA",
                                "LABEL;HOME:3 Oak Rd, Springfield (Springfield county)"}));

TEST(ContactProperties, AnAddressOfNeitherKindIsTheOtherAddress) {
  OneFolderStore s({{"o.vcf", Card("4.0",
                                   "ADR;TYPE=home;LABEL=\"9 Pier, Bay\":;;9 Pier;Bay;;;\n"
                                   "ADR;TYPE=postal:;;7 Dock;Port;NS;B0;CA\n")}});
  auto item = s.Item("o.vcf");
  EXPECT_EQ(item->GetProperty("OtherAddressCity"), "Port");
  EXPECT_EQ(item->GetProperty("OtherAddressPostalCode"), "B0");
  EXPECT_EQ(item->GetProperty("BusinessAddressCity"), "");
  item->SetProperty("HomeAddressCity", "Cove");
  item->Save();
  EXPECT_TRUE(Contains(ReadFile(s.File("o.vcf")),
                       "\r\nADR;TYPE=home;LABEL=\"9 Pier, Cove\":;;9 Pier;Cove;;;\r\n"));
}

TEST(ContactProperties, MissingAndUnknownProperties) {
  OneFolderStore s({{"m.vcf", Card("3.0", "")}});
  auto item = s.Item("m.vcf");
  EXPECT_EQ(item->GetProperty("HomeAddressCity"), "");
  EXPECT_EQ(item->GetProperty("Body"), "");
  EXPECT_EQ(item->GetProperty("RTFBody"), "");
  EXPECT_EQ(item->GetProperty("FullNameAndCompany"), "Jo");
  EXPECT_EQ(item->GetProperty("EntryID"), "f/m.vcf");
  try {
    item->SetProperty("HomeAddressCity", "X");
    FAIL() << "a missing property was written";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Description(),
              s.File("m.vcf").string() +
                  " has no HomeAddressCity to change, and fields are never added.");
  }
  try {
    item->GetProperty("Nickname");
    FAIL() << "an unknown property was read";
  } catch (const Failure& f) {
    EXPECT_EQ(f.Description(), "ContactItem has no property named 'Nickname'.");
  }
  EXPECT_THROW(item->SetProperty("FullNameAndCompany", "X"), Failure);
  EXPECT_THROW(item->SetProperty("EntryID", "X"), Failure);
}

TEST(ContactProperties, RichTextBodyIsTheNoteAsRtfAndWritesItsShownText) {
  OneFolderStore s({{"r.vcf", Card("3.0", "NOTE:first\\nsecond\n")}});
  auto item = s.Item("r.vcf");
  std::string rtf = item->GetProperty("RTFBody");
  EXPECT_EQ(rtf.rfind("{\\rtf", 0), 0u) << rtf;
  item->SetProperty("RTFBody", "{\\rtf1\\ansi first\\par changed}");
  EXPECT_EQ(item->GetProperty("Body"), "first\nchanged");
}

TEST(ContactProperties, RevisionIsSetOnSaveInItsOwnShape) {
  OneFolderStore s({{"a.vcf", Card("4.0", "REV:20200411T072429Z\n")},
                    {"b.vcf", Card("3.0", "REV:2012-03-05T13:32:54Z\n")}});
  for (const auto& [file, shape] :
       {std::pair<std::string, std::string>{"a.vcf", "REV:\\d{8}T\\d{6}Z"},
        {"b.vcf", "REV:\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ"}}) {
    auto item = s.Item(file);
    item->SetProperty("Subject", "Al");
    item->Save();
    std::string text = ReadFile(s.File(file));
    EXPECT_TRUE(std::regex_search(text, std::regex("\r\n" + shape + "\r\n"))) << text;
    EXPECT_FALSE(Contains(text, "REV:2012-03-05T13:32:54Z"));
    EXPECT_FALSE(Contains(text, "REV:20200411T072429Z"));
  }
}

struct BrokenCase {
  std::string name;
  std::string bytes;
  std::string reason;
};

class BrokenFiles : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFiles, FailAtTheFirstReadNamingTheFileAndAreNeverWritten) {
  const BrokenCase& c = GetParam();
  OneFolderStore s({{"b.vcf", c.bytes}});
  auto item = s.Item("b.vcf");
  EXPECT_EQ(item->TypeName(), "ContactItem");
  EXPECT_EQ(item->GetProperty("EntryID"), "f/b.vcf");
  std::string expected = "Cannot read " + s.File("b.vcf").string() + ": " + c.reason;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      item->GetProperty("Subject");
      FAIL() << "read a broken file";
    } catch (const Failure& f) {
      EXPECT_EQ(f.Description(), expected);
    }
  }
  EXPECT_THROW(item->SetProperty("Subject", "x"), Failure);
  item->Save();
  EXPECT_EQ(ReadFile(s.File("b.vcf")), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, BrokenFiles,
    ::testing::Values(
        BrokenCase{"never_closed", "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:x\r\n",
                   "BEGIN:VCARD on line 1 is never closed."},
        BrokenCase{"end_closes_nothing", "BEGIN:VCARD\nFN:x\nEND:VEVENT\n",
                   "END:VEVENT on line 3 closes no BEGIN:VEVENT."},
        BrokenCase{"binary", std::string("BEGIN:VCARD\nFN:\x01x\nEND:VCARD\n"),
                   "it holds binary data (byte 0x01 at offset 15)."},
        BrokenCase{"nul_byte", std::string("BEGIN:VCARD\nFN:x\0\nEND:VCARD\n", 28),
                   "it holds binary data (byte 0x00 at offset 16)."},
        BrokenCase{"stray_text", "BEGIN:VCARD\nFN:x\nthis is no content line\nEND:VCARD\n",
                   "line 3 is not a content line."},
        BrokenCase{"no_card", "BEGIN:VCALENDAR\nEND:VCALENDAR\n", "it holds no vCard."},
        BrokenCase{"empty", "", "it holds no vCard."}),
    [](const auto& row) { return row.param.name; });

TEST(ContactProperties, AByteOrderMarkAndLineFeedsStayAndLongLinesFoldInTheFilesStyle) {
  const std::string bom = "\xEF\xBB\xBF";
  OneFolderStore s({{"b.vcf", bom + "BEGIN:VCARD\nVERSION:4.0\nFN:Ann\nNOTE:short\nEND:VCARD\n"}});
  auto item = s.Item("b.vcf");
  EXPECT_EQ(item->GetProperty("Subject"), "Ann");
  item->SetProperty("Body", std::string(100, 'n'));
  item->Save();
  EXPECT_EQ(ReadFile(s.File("b.vcf")),
            bom + "BEGIN:VCARD\nVERSION:4.0\nFN:Ann\nNOTE:" + std::string(70, 'n') + "\n " +
                std::string(30, 'n') + "\nEND:VCARD\n");
}

TEST(ContactProperties, OnlyTheFirstCardOfAListIsTheItem) {
  std::string list = Lines(
      "BEGIN:VCARD\nVERSION:3.0\nFN:One\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN:Two\nEND:VCARD");
  OneFolderStore s({{"l.vcf", list}});
  auto item = s.Item("l.vcf");
  EXPECT_EQ(item->GetProperty("Subject"), "One");
  item->SetProperty("Subject", "Uno");
  item->Save();
  EXPECT_EQ(ReadFile(s.File("l.vcf")), Lines("BEGIN:VCARD\nVERSION:3.0\nFN:Uno\nEND:VCARD\n"
                                             "BEGIN:VCARD\nVERSION:3.0\nFN:Two\nEND:VCARD"));
}

}  // namespace
}  // namespace tidewell::testing
