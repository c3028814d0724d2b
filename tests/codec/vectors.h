// Access to the ITU-T G.729 Annex A conformance files for the codec tests:
// *.IN (16-bit little-endian PCM), *.BIT (serial form: per frame a sync word
// 0x6B21, the size 80, then one word per bit, 0x007F for 0 and 0x0081 for 1,
// 0 for an erased frame) and *.PST (decoder output PCM).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorpel::testing {

using PackedFrame = std::array<uint8_t, 10>;

// Folder of the vectors: $VORPEL_G729A_VECTORS if set, else the build's setting.
std::string g729aVectorsFolder();
// Folder of the two loud cases (tone500, sweep1000: *.in PCM, *.g729 packed
// frames, *.pst decoder output): $VORPEL_G729A_EXTRA if set, else the build's.
std::string g729aExtraFolder();
// Whole file, or nothing when it cannot be read.
std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path);
// Little-endian 16-bit samples of a PCM file (a trailing odd byte is ignored).
std::vector<int16_t> samplesFromBytes(const std::vector<uint8_t>& bytes);
// Serial .BIT content -> packed frames. A frame with any zero bit word is
// erased and becomes ten zero bytes; otherwise bit i goes to bit 7 - i % 8 of
// byte i / 8. A trailing partial frame is ignored.
std::vector<PackedFrame> packedFromSerial(const std::vector<uint8_t>& bits);
// Consecutive 10-byte frames (a trailing partial frame is ignored).
std::vector<PackedFrame> packedFrames(const std::vector<uint8_t>& bytes);

// A reference case: an ITU vector (NAME.IN, serial NAME.BIT, NAME.PST in the
// vectors folder) or a loud case (name.in, packed name.g729, name.pst in the
// extra folder).
struct ReferenceCase {
    const char* name;
    bool loud;
};
// Path of the case's input ("in"), bit stream ("bits") or decoded output ("out").
std::string casePath(const ReferenceCase& c, const std::string& what);
// The frames of the case's bit-stream file.
std::vector<PackedFrame> caseFrames(const ReferenceCase& c, const std::vector<uint8_t>& bits);
// Test name of a case run with the vector or the portable kernels.
std::string caseTestName(const ReferenceCase& c, bool vectors);

}  // namespace vorpel::testing
