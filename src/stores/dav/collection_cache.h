// A copy of each server collection on disk, so that a second run reads only
// what changed on the server since the first (RFC 6578's sync-collection, or
// the ETags). It is a way to read faster and nothing more: every save still
// sends If-Match with the ETag the server gave for the bytes, so a stale
// copy makes a save fail as a conflict, never overwrite.
//
//   CollectionCopy copy;
//   const std::string file = CacheFile(CacheHome(), storeId, collectionUrl);
//   if (ReadCopy(file, collectionUrl, copy) == CopyRead::kUnreadable) ...  // rebuild it
//   WriteCopy(file, collectionUrl, copy);
//
// Layout: CacheHome()/dav/<store>/<collection>, where <store> and <collection>
// are hashes of the store id and of the collection's URL (neither ever holds
// a user name or password; nor does a file). The folders are 0700, the files
// 0600, and a file is replaced whole (written aside, then renamed), so a run
// that dies while writing leaves the old copy or none.
#pragma once

#include <string>
#include <vector>

namespace tidewell::dav {

// One resource as the server last gave it.
struct CachedResource {
  std::string href;  // as the server wrote it
  std::string etag;  // quotes kept
  std::string last_modified;
  std::string bytes;
};

// A collection's resources, in listing order, and the sync token they are
// current with ("" when the server offers none).
struct CollectionCopy {
  std::string sync_token;
  std::vector<CachedResource> resources;
};

// $XDG_CACHE_HOME/tidewell, else $HOME/.cache/tidewell; "" when neither is
// set (nothing is then cached).
std::string CacheHome();

// The file that holds the copy of `collectionUrl` of the store `storeId`
// under `home`.
std::string CacheFile(const std::string& home, const std::string& storeId,
                      const std::string& collectionUrl);

enum class CopyRead { kNone, kRead, kUnreadable };

// Reads the copy `file` holds into `copy`. kNone when there is no file;
// kUnreadable when it cannot be read, is not a whole copy, or is the copy of
// another collection (`copy` is then empty).
CopyRead ReadCopy(const std::string& file, const std::string& collectionUrl, CollectionCopy& copy);

// Replaces `file` with `copy`, making its folders as needed. False when it
// could not be written (the cache is then simply not kept).
bool WriteCopy(const std::string& file, const std::string& collectionUrl,
               const CollectionCopy& copy);

// Removes `file`, if there is one.
void DropCopy(const std::string& file);

// For `tidewell stores --forget`: removes every copy kept for the store a
// server URL names (any URL DavRoot accepts: "https://dav.example.org/dav/"
// and "https://DAV.example.org:443/dav" name the same), under `home`
// (CacheHome() when empty). Returns false when the URL is no server URL;
// true otherwise, also when nothing was kept for it.
bool ForgetStoreCache(const std::string& storeUrl, const std::string& home = "");

// Removes the copies of every server store under `home` (CacheHome() when
// empty); what else lies in the folder is left alone.
void ForgetAllStoreCaches(const std::string& home = "");

}  // namespace tidewell::dav
