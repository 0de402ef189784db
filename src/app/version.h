// The version both programs print for --version.
#pragma once

namespace tidewell {

// "0.1 (git commit 1a2b3c4d5e6f)", "0.1 (git commit 1a2b3c4d5e6f, with
// uncommitted changes)", or "0.1 (not built from a git checkout)": the
// project version and the commit, as they were when the program was built.
// Defined in a source the build writes (cmake/WriteVersion.cmake).
const char* VersionLine();

}  // namespace tidewell
