#include "ui/console/codec_report.h"

namespace vorpel {

void reportCodecWarnings(std::FILE* out, std::string_view program, const CodecWarnings& warnings) {
    if (warnings.lspLow == 0 && warnings.lspHigh == 0) return;
    std::fprintf(out,
                 "%.*s: the speech codec clamped unstable line spectral pairs %u times (low %u, high %u)\n",
                 static_cast<int>(program.size()), program.data(), warnings.lspLow + warnings.lspHigh,
                 warnings.lspLow, warnings.lspHigh);
}

}  // namespace vorpel
