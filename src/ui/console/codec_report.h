// The codec's warnings as both front ends report them when the terminal has
// ended: one line on the given stream, and nothing when there were none.
#pragma once

#include <cstdio>
#include <string_view>

#include "codec/g729a.h"

namespace vorpel {

void reportCodecWarnings(std::FILE* out, std::string_view program, const CodecWarnings& warnings);

}  // namespace vorpel
