// A minimal OpenIGTLink client for the streaming tests: connects to PORT on
// this machine (retrying while the server starts), reads messages until it
// has IMAGES images, checking each one's CRC, and prints what it got.
//   igtl_count_client PORT IMAGES [SECONDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <igtlClientSocket.h>
#include <igtlImageMessage.h>
#include <igtlMessageHeader.h>

namespace {

bool receive_all(igtl::ClientSocket* socket, void* data, int length)
{
    auto* p = static_cast<char*>(data);
    while (length > 0) {
        const int n = socket->Receive(p, length);
        if (n <= 0)
            return false;
        p += n;
        length -= n;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int port = std::atoi(argv[1]), wanted = std::atoi(argv[2]);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
    igtl::ClientSocket::Pointer socket = igtl::ClientSocket::New();
    bool connected = false;
    for (int i = 0; i < seconds * 10 && !connected; ++i) {
        connected = socket->ConnectToServer("127.0.0.1", port) == 0;
        if (!connected)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!connected) {
        std::fprintf(stderr, "no server on port %d\n", port);
        return 1;
    }
    socket->SetReceiveTimeout(seconds * 1000);
    int images = 0, transforms = 0, bad = 0;
    while (images < wanted) {
        igtl::MessageHeader::Pointer header = igtl::MessageHeader::New();
        header->InitPack();
        if (!receive_all(socket, header->GetPackPointer(), header->GetPackSize()))
            break;
        header->Unpack();
        igtl::MessageBase::Pointer body = igtl::MessageBase::New();
        if (std::string(header->GetDeviceType()) == "IMAGE")
            body = igtl::ImageMessage::New();
        body->SetMessageHeader(header);
        body->AllocatePack();
        if (!receive_all(socket, body->GetPackBodyPointer(), body->GetPackBodySize()))
            break;
        if (std::string(header->GetDeviceType()) == "IMAGE") {
            ++images;
            bad += (body->Unpack(1) & igtl::MessageHeader::UNPACK_BODY) ? 0 : 1;
        } else if (std::string(header->GetDeviceType()) == "TRANSFORM") {
            ++transforms;
        }
    }
    std::printf("images %d transforms %d bad %d\n", images, transforms, bad);
    return images == wanted && bad == 0 ? 0 : 1;
}
