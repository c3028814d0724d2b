#include "registration_frame.h"

#include <algorithm>

#include "common/byte_io.h"

namespace vorpel::callserver {
namespace {

constexpr size_t OFFSET_ACCOUNT_ID = 3;
constexpr size_t OFFSET_TERMINATOR = 26;
constexpr size_t OFFSET_COUNTER = 27;
constexpr size_t OFFSET_PROOF = 29;
constexpr size_t OFFSET_PUBLIC = 41;

}  // namespace

std::optional<RegistrationRequest> parseRegistrationRequest(std::span<const uint8_t> datagram) {
    if (datagram.size() != REGISTRATION_REQUEST_SHORT && datagram.size() != REGISTRATION_REQUEST_LONG) {
        return std::nullopt;
    }
    const ByteReader in(datagram);
    if (in.u8(0) != FRAME_REGISTRATION || in.u8(1) != 0x10 || in.u8(2) != 0x01 ||
        in.u8(OFFSET_TERMINATOR) != 0) {
        return std::nullopt;
    }
    RegistrationRequest request{
        .accountId = in.slice(OFFSET_ACCOUNT_ID, 23).first<23>(),
        .counter = in.u16le(OFFSET_COUNTER),
        .proof = in.slice(OFFSET_PROOF, CREDENTIAL_PROOF_SIZE).first<CREDENTIAL_PROOF_SIZE>(),
    };
    if (datagram.size() == REGISTRATION_REQUEST_LONG) {
        request.hasPublicValue = true;
        const auto value = in.slice(OFFSET_PUBLIC, DH_PUBLIC_SIZE);
        std::copy(value.begin(), value.end(), request.publicValue.begin());
    }
    return request;
}

size_t buildRegistrationReply(std::span<uint8_t> out, uint16_t terminalId, const DhPublic* serverPublic) {
    ByteWriter w(out);
    w.u8(FRAME_REGISTRATION).u16le(terminalId).zeros(4 + 2 + 8);
    if (serverPublic) w.bytes(*serverPublic);
    return w.size();
}

size_t buildRefusal(std::span<uint8_t> out, std::string_view text) {
    ByteWriter w(out);
    w.u8(FRAME_REFUSAL);
    const size_t length = text.size() < REFUSAL_TEXT_MAX ? text.size() : REFUSAL_TEXT_MAX;
    for (size_t i = 0; i < length; ++i) w.u8(static_cast<uint8_t>(text[i]));
    if (length < REFUSAL_TEXT_MAX) w.u8(0);
    return w.size();
}

}  // namespace vorpel::callserver
