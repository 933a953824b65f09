#pragma once
// The remark column of a family-1 record: the card's remark, else the
// recording's own annotation, in the card's code page (CP936 where the
// annotation looks Chinese), at most 64 units.

#include <string>

#include "card/CallRecord.h"

namespace lk {

std::u16string RecordRemark(const CallRecord& r, const std::string& codePage);

}  // namespace lk
