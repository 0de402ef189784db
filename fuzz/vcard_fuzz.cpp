// Bytes as the .vcf file of a contact: parse, read every property, render
// unchanged, write every value back, change one field and read the result
// again (see vdir_round_trip.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "vdir_round_trip.h"

namespace {

tidewell::fuzz::ItemProperties ContactProperties() {
  tidewell::fuzz::ItemProperties p{tidewell::fuzz::ItemKind::kContact, {}, {}, {}, {}, {}};
  p.text = {"Subject",          "Account", "CompanyName",   "Body",
            "BusinessHomePage", "FileAs",  "OfficeLocation"};
  for (int k = 1; k <= 3; ++k) p.text.push_back("Email" + std::to_string(k) + "Address");
  for (const char* kind : {"Business", "Home", "Other"}) {
    for (const char* part : {"Street", "City", "State", "PostalCode"}) {
      p.text.push_back(std::string(kind) + "Address" + part);
    }
  }
  for (const char* phone :
       {"AssistantTelephoneNumber", "BusinessTelephoneNumber", "Business2TelephoneNumber",
        "BusinessFaxNumber", "CallbackTelephoneNumber", "CarTelephoneNumber",
        "CompanyMainTelephoneNumber", "HomeTelephoneNumber", "Home2TelephoneNumber",
        "HomeFaxNumber", "MobileTelephoneNumber", "OtherTelephoneNumber", "OtherFaxNumber",
        "PagerNumber", "PrimaryTelephoneNumber", "RadioTelephoneNumber", "TTYTDDTelephoneNumber"}) {
    p.text.push_back(phone);
  }
  p.names = p.text;
  // A parameter's value: quotes and line breaks have no place in it.
  for (int k = 1; k <= 3; ++k) p.names.push_back("Email" + std::to_string(k) + "DisplayName");
  p.names.push_back("FullNameAndCompany");
  p.read_only = {"FullNameAndCompany"};
  p.linked = {{"FullNameAndCompany", "Subject"}, {"FullNameAndCompany", "CompanyName"}};
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tidewell::fuzz::InitProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const tidewell::fuzz::ItemProperties properties = ContactProperties();
  tidewell::fuzz::RoundTrip(data, size, properties);
  return 0;
}
