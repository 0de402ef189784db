// The host add-in that shows the page, as the page sees it.
#pragma once

#include <memory>
#include <string>

#include "platform/outlook.h"

namespace tidewell {

// The host's folder lookup (the host object's `engine`).
class FolderLookup {
 public:
  virtual ~FolderLookup() = default;
  // The folder named by stored identifiers, or nullptr when there is none.
  // A store id that names no store is not a failure: the lookup may search
  // every store for the entry id.
  virtual std::unique_ptr<MAPIFolder> YSGetFolder(const std::string& entryId,
                                                  const std::string& storeId) = 0;
};

class Host {
 public:
  virtual ~Host() = default;
  // The client's application object. Throws Failure when there is none.
  virtual std::shared_ptr<Application> OutlookApplication() = 0;
  // The page became dirty: the host re-reads `Dirty` (enables its Apply).
  virtual void OnStatusChange() = 0;
  virtual FolderLookup& engine() = 0;
  // Shows `helpText` in the host's help area. `secondText` is always "".
  virtual void SetHotHelp(const std::string& helpText, const std::string& secondText) = 0;
  // A run passes over a stored folder that no longer resolves. The page says
  // nothing of it; a host may tell its user.
  virtual void OnFolderNotFound(const std::string& /*folderName*/) {}
};

}  // namespace tidewell
