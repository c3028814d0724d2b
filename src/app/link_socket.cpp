#include "app/link_socket.h"

namespace vorpel {

LinkSocket::~LinkSocket() {
    peerAddress_ = 0;
    if (socket_) socket_->close();
}

void LinkSocket::recordPeerAddress() {
    if (peerAddress_ == 0) peerAddress_ = socket_->peerAddress();
}

}  // namespace vorpel
