#pragma once
// What retention and erasure print: the calls listed (and, applied, what
// became of each), as text or JSON, and the exit code that goes with it.

#include "backup/StoreCleanup.h"

namespace lk::cli {

int ReportCleanup(const CleanupResult& result, bool applied, bool json);

}  // namespace lk::cli
