// One vCard or iCalendar file: its bytes, its content lines and the tree of
// BEGIN/END components. Internal to the vdir store.
//
// Edits change ContentLine values in place; Render() then gives the file with
// only the changed lines rewritten, each in the form it was read in (see
// Refold; a vCard 2.1 line gets no new fold), and every other byte as it was
// read.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "formats/content_line.h"

namespace tidewell::formats {

struct Component {
  std::string name;                // upper case: VCARD, VCALENDAR, VEVENT, VALARM...
  size_t begin_line = 0;           // index of its BEGIN line
  std::vector<size_t> properties;  // its own property lines (not its children's), in file order
  std::vector<size_t> children;    // component indexes
};

class Document {
 public:
  // Throws Failure with the reason when the bytes are not a readable file:
  // binary bytes, a BEGIN never closed, an END closing nothing, a line inside
  // a component that is not a content line.
  explicit Document(std::string bytes);

  const std::string& bytes() const { return bytes_; }
  std::vector<ContentLine>& lines() { return lines_; }
  const std::vector<ContentLine>& lines() const { return lines_; }
  // In the order of their BEGIN lines, so a parent comes before its children.
  const std::vector<Component>& components() const { return components_; }
  // The components that are not inside another one.
  const std::vector<size_t>& top_level() const { return top_level_; }

  // The file's own line ending (its first one), used to fold a line that
  // was read unfolded.
  const std::string& newline() const { return newline_; }

  // `physical`, the physical lines (without the last terminator) that line
  // `index` was once read from, before a run rewrote it, are what Render
  // writes for it when it then reads as they do (see ReadsAlike): so an undo
  // gives back folds, character set and encoding as they were.
  void RestoreAs(size_t index, std::string physical) { restores_[index] = std::move(physical); }
  // Room for the rest of the file around line `index`: what a restore of it
  // should reserve past its own size so that TakeRendered need not copy it.
  size_t RoomAround(size_t index) const;
  const std::map<size_t, std::string>& restores() const { return restores_; }

  // True when some line now serializes differently from how it was read.
  bool Changed() const;
  // The file with every changed line rewritten and all else byte for byte.
  std::string Render() const;
  // Render(), for a document about to be let go of: the largest restore it
  // writes becomes the file, in place, and is gone from restores() after.
  // Made with room for the rest of the file (see RestoreAs), it is not
  // copied.
  std::string TakeRendered();

 private:
  std::string bytes_;
  std::vector<ContentLine> lines_;
  std::vector<Component> components_;
  std::vector<size_t> top_level_;
  std::string newline_;
  // Lines of vCard 2.1 cards, written without folds (see Refold); empty
  // when the file has none.
  std::vector<bool> unfolded_;
  std::map<size_t, std::string> restores_;  // by line index; an undo's only

  // Appends the file from byte `pos` through lines [first, last), changed
  // ones rewritten; `pos` ends past the last line written.
  void RenderLines(std::string& out, size_t first, size_t last, size_t& pos) const;
};

}  // namespace tidewell::formats
