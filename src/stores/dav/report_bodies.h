// The REPORT requests a collection is read with (RFC 6352 for contacts,
// RFC 4791 for calendars, RFC 6578 for changes).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "stores/dav/dav_state.h"
#include "stores/dav/transport.h"

namespace tidewell::dav {

// The most members one multiget asks for.
constexpr size_t kMultigetBatch = 500;

// The query that lists every member of `c` with its ETag and data.
std::string QueryBody(const Collection& c);

// The REPORT that fetches hrefs[first, first + kMultigetBatch) of `c`.
Request MultigetBatch(const Collection& c, const std::vector<std::string>& hrefs, size_t first);

// RFC 6578: the members changed or removed since `token`, with their ETags.
std::string SyncBody(const std::string& token);

}  // namespace tidewell::dav
