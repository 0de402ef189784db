// The round trip that vcard_fuzz and icalendar_fuzz run over one file's
// bytes, in memory, through the store's own Document and item views (what
// VdirItem does after reading the file):
//
// 1. Parse; a file the store refuses (Failure) ends the input there.
// 2. Read every property the view maps, and RTFBody the way VdirItem reads
//    it. A read may fail with Failure (an unknown character set, a date that
//    is none), never otherwise.
// 3. Render without a change: the input must come back byte for byte.
// 4. Write every value read back to its own property (only a whole number
//    that read as the text it is may refuse it): every property must then
//    read as before, in memory and after rendering and parsing again.
// 5. Change one property (chosen from the input's hash) to one of a set of
//    awkward texts, stamp the item as Save does, render, parse the result
//    again: it must be a readable file of the same kind whose changed
//    property reads as written and whose other properties read as before.
//
// Values are compared with every line break as LF: the store reads and
// writes CR, CRLF and LF alike as one line break ("\n" in the file).
//
// Every broken expectation aborts with a message on stderr, which libFuzzer
// reports as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tidewell::fuzz {

enum class ItemKind { kContact, kCalendar };

struct ItemProperties {
  ItemKind kind;
  std::vector<std::string> names;      // every property name the view knows
  std::vector<std::string> read_only;  // names whose write fails by design
  // Names that read a value not of their type as it stands but refuse it as
  // a write (a whole number that is none): writing it back may fail.
  std::vector<std::string> typed;
  // Properties whose value is free text: a write reads back as written.
  std::vector<std::string> text;
  // Groups of properties that read the same value, or one of which is made
  // of another, so that changing one may change the others.
  std::vector<std::vector<std::string>> linked;
};

// Once per process: a fixed time zone (UTC) and the C locale, so that a
// date reads and writes the same way on every machine.
void InitProcess();

void RoundTrip(const uint8_t* data, size_t size, const ItemProperties& properties);

}  // namespace tidewell::fuzz
