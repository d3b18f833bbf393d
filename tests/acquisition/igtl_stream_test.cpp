// Streaming to OpenIGTLink clients, end to end on localhost with a client
// built on the library itself: every frame and pose arrives in order, intact
// (CRC checked), placed where this program places it to float precision; a
// client that stops reading or goes away never holds up publishing.
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>
#include <igtlClientSocket.h>
#include <igtlImageMessage.h>
#include <igtlMessageHeader.h>
#include <igtlServerSocket.h>
#include <igtlTransformMessage.h>

#include "acquisition/igtl_live_stream.h"
#include "acquisition/igtl_decode.h"
#include "acquisition/igtl_wire.h"
#include "common/vertex_math.h"

namespace {

bool wait_for(const std::function<bool()>& done, int limit_ms = 5000)
{
    for (int waited = 0; waited < limit_ms; waited += 10) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

struct received_t {
    std::string type, device;
    unsigned seconds = 0, fraction = 0;
    igtl::ImageMessage::Pointer image;
    igtl::TransformMessage::Pointer transform;
};

// With a receive time-out the library reads what has come, not all that was asked for.
bool receive_all(igtl::ClientSocket* socket, void* data, int length)
{
    auto* p = static_cast<char*>(data);
    while (length > 0) {
        const int n = socket->Receive(p, length);
        if (n <= 0)
            return false;  // closed, or nothing within the time-out
        p += n;
        length -= n;
    }
    return true;
}

// Reads one message; false on a closed connection, a time-out or a failed CRC.
bool receive(igtl::ClientSocket* socket, received_t* out)
{
    igtl::MessageHeader::Pointer header = igtl::MessageHeader::New();
    header->InitPack();
    if (!receive_all(socket, header->GetPackPointer(), header->GetPackSize()))
        return false;
    header->Unpack();
    out->type = header->GetDeviceType();
    out->device = header->GetDeviceName();
    header->GetTimeStamp(&out->seconds, &out->fraction);
    igtl::MessageBase::Pointer body;
    if (out->type == "IMAGE") {
        out->image = igtl::ImageMessage::New();
        body = out->image;
    } else {
        out->transform = igtl::TransformMessage::New();
        body = out->transform;
    }
    body->SetMessageHeader(header);
    body->AllocatePack();
    if (!receive_all(socket, body->GetPackBodyPointer(), body->GetPackBodySize()))
        return false;
    return (body->Unpack(1) & igtl::MessageHeader::UNPACK_BODY) != 0;
}

igtl::ClientSocket::Pointer connect_to(const igtl_server_t& server)
{
    igtl::ClientSocket::Pointer socket = igtl::ClientSocket::New();
    EXPECT_EQ(socket->ConnectToServer("127.0.0.1", server.port()), 0);
    socket->SetReceiveTimeout(5000);  // a missing message fails the test instead of hanging it
    return socket;
}

cip_t ramp(long w, long h, int seed)
{
    cip_t frame = cip_t::make_8bit(w, h);
    for (long i = 0; i < w * h; ++i)
        frame.pixels()[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0xff);
    return frame;
}

counted_array_ptr<float> pose_of(float x, float y, float z, float az, float el, float roll)
{
    counted_array_ptr<float> p(6);
    const float v[6] = {x, y, z, az, el, roll};
    for (std::size_t i = 0; i < 6; ++i)
        p[i] = v[i];
    return p;
}

// Where the client would put pixel (i, j): the image's centre, directions and spacing, back in world cm.
vertex3d client_pixel(igtl::ImageMessage* image, double i, double j)
{
    int size[3];
    float spacing[3], origin[3], t[3], s[3], n[3];
    image->GetDimensions(size);
    image->GetSpacing(spacing);
    image->GetOrigin(origin);
    image->GetNormals(t, s, n);
    const double di = i - 0.5 * (size[0] - 1), dj = j - 0.5 * (size[1] - 1);
    const double ras[3] = {origin[0] + di * spacing[0] * t[0] + dj * spacing[1] * s[0],
                           origin[1] + di * spacing[0] * t[1] + dj * spacing[1] * s[1],
                           origin[2] + di * spacing[0] * t[2] + dj * spacing[1] * s[2]};
    return {-ras[0] / 10.0, -ras[1] / 10.0, ras[2] / 10.0};  // RAS mm to this program's LPS cm
}

TEST(IgtlStream, EveryFrameAndPoseArrivesInOrderWhereItLies)
{
    igtl_server_t server(32);  // room for the whole burst below: a replay's pace never fills it
    ASSERT_TRUE(server.start(0));
    igtl::ClientSocket::Pointer client = connect_to(server);
    ASSERT_TRUE(wait_for([&] { return server.stats().clients == 1; }));

    matrix16d calibration;
    calibration.forward(1.5, -2.0, 0.3, 10.0, -5.0, 90.0);
    const double sx = 0.012, sy = 0.015;
    const long w = 96, h = 64;
    const int frames = 6;
    for (int k = 0; k < frames; ++k) {
        const std::uint64_t ticks = 10000000ull * (100 + k) + 2500000ull;  // 100.25 s, 101.25 s, ...
        // The third frame has no pose: it is sent as an image alone, at the identity.
        const auto pose =
            k == 2 ? counted_array_ptr<float>{} : pose_of(10.0f + k, -3.0f, 25.0f, 30.0f * k, 12.0f, -40.0f);
        ASSERT_TRUE(stream_frame(server, ramp(w, h, k), pose, calibration, sx, sy, ticks));
    }
    for (int k = 0; k < frames; ++k) {
        received_t m;
        matrix16d probe;
        if (k != 2) {
            ASSERT_TRUE(receive(client, &m)) << k;
            ASSERT_EQ(m.type, "TRANSFORM");
            EXPECT_EQ(m.device, igtl_probe_device);
            igtl::Matrix4x4 got;
            m.transform->GetMatrix(got);
            const matrix16d world = igtl_matrix_to_world(got);
            probe.forward(10.0 + k, -3.0, 25.0, 30.0 * k, 12.0, -40.0);
            for (int e = 0; e < 16; ++e)
                EXPECT_NEAR(world[e], probe[e], 2e-6 * (1.0 + std::abs(probe[e]))) << k << " " << e;
        }
        ASSERT_TRUE(receive(client, &m)) << k;
        ASSERT_EQ(m.type, "IMAGE");
        EXPECT_EQ(m.device, igtl_image_device);
        // The header keeps the fraction of a second in 32-bit fixed point.
        EXPECT_EQ(m.seconds, 100u + k);
        EXPECT_NEAR(m.fraction / 4294967296.0, 0.25, 1e-9);
        int size[3];
        m.image->GetDimensions(size);
        ASSERT_EQ(size[0], w);
        ASSERT_EQ(size[1], h);
        EXPECT_EQ(m.image->GetCoordinateSystem(), igtl::ImageMessage::COORDINATE_RAS);
        const cip_t sent = ramp(w, h, k);
        EXPECT_EQ(std::memcmp(m.image->GetScalarPointer(), sent.pixels(), static_cast<std::size_t>(w * h)), 0);
        const matrix16d image_to_world = k == 2 ? matrix16d{} : probe * calibration;
        for (const auto& [i, j] : {std::pair{0.0, 0.0}, {w - 1.0, 0.0}, {0.0, h - 1.0}, {37.0, 21.0}}) {
            const vertex3d truth = image_to_world * vertex3d{i * sx, j * sy, 0.0};
            const vertex3d got = client_pixel(m.image, i, j);
            EXPECT_NEAR(got.x, truth.x, 2e-5) << k << " " << i << "," << j;
            EXPECT_NEAR(got.y, truth.y, 2e-5) << k << " " << i << "," << j;
            EXPECT_NEAR(got.z, truth.z, 2e-5) << k << " " << i << "," << j;
        }
    }
    EXPECT_EQ(server.stats().dropped, 0u);
    server.stop();
    EXPECT_FALSE(server.running());
}

// A client that never reads loses frames once its queue is full, and is let
// go when a send stalls past the time-out; publishing goes on meanwhile and a
// client that reads still gets everything from when it joined.
TEST(IgtlStream, StalledAndVanishedClientsNeverHoldUpPublishing)
{
    igtl_server_t server(4, 300);
    ASSERT_TRUE(server.start(0));
    igtl::ClientSocket::Pointer stalled = connect_to(server);
    ASSERT_TRUE(wait_for([&] { return server.stats().clients == 1; }));
    const cip_t big = ramp(1024, 768, 1);
    const igtl_bytes_t message = pack_igtl_image("Image", big, matrix16d{}, 0.01, 0.01, 0);
    ASSERT_TRUE(message);
    // Publishing on as a live source would (it would block here if a client could hold it up),
    // until the socket's buffers are full, a send stalls past the time-out and the client is let go.
    for (int k = 0; k < 1000 && server.stats().clients > 0; ++k) {
        server.publish(message);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(server.stats().dropped, 0u);
    ASSERT_EQ(server.stats().clients, 0) << "the stalled client is let go";

    igtl::ClientSocket::Pointer reader = connect_to(server);
    ASSERT_TRUE(wait_for([&] { return server.stats().clients == 1; }));
    const std::uint64_t dropped = server.stats().dropped;
    for (int k = 0; k < 3; ++k) {
        server.publish(pack_igtl_transform("ProbeToReference", matrix16d{}, 10000000ull * k));
        received_t m;
        ASSERT_TRUE(receive(reader, &m));
        EXPECT_EQ(m.seconds, unsigned(k));
    }
    EXPECT_EQ(server.stats().dropped, dropped);

    reader->CloseSocket();  // gone without a word: the next sends fail and it is forgotten
    for (int k = 0; k < 50 && server.stats().clients > 0; ++k) {
        server.publish(message);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(server.stats().clients, 0);
    server.stop();
}

TEST(IgtlStream, BadPortsAndFramesAreRefused)
{
    igtl_server_t first;
    ASSERT_TRUE(first.start(0));
    igtl_server_t second;
    EXPECT_FALSE(second.start(first.port()));  // in use
    EXPECT_FALSE(second.start(70000));
    EXPECT_FALSE(second.running());

    matrix16d nan_matrix;
    nan_matrix[12] = std::nan("");
    EXPECT_FALSE(pack_igtl_image("Image", ramp(4, 4, 0), nan_matrix, 0.01, 0.01, 0));
    EXPECT_FALSE(pack_igtl_image("Image", ramp(4, 4, 0), matrix16d{}, 0.0, 0.01, 0));
    EXPECT_FALSE(pack_igtl_image("Image", cip_t{}, matrix16d{}, 0.01, 0.01, 0));
    EXPECT_FALSE(pack_igtl_transform("Probe", nan_matrix, 0));
    EXPECT_FALSE(stream_frame(first, cip_t{}, pose_of(0, 0, 0, 0, 0, 0), matrix16d{}, 0.01, 0.01, 0));
}

}  // namespace

namespace {

// The CRC eight bytes at a time against the published check value of
// CRC-64/ECMA-182 and against itself a byte at a time, at every alignment.
TEST(IgtlWire, Crc64MatchesItsCheckValueAtAnyLength)
{
    const unsigned char check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(igtl_crc64(check, sizeof check), 0x6C40DF5F0B497347ull);
    std::vector<unsigned char> data(100);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 37 + 11);
    for (std::size_t n = 0; n <= data.size(); ++n) {
        std::uint64_t bytewise = 0;
        for (std::size_t i = 0; i < n; ++i)
            bytewise = igtl_crc64(&data[i], 1, bytewise);
        EXPECT_EQ(igtl_crc64(data.data(), n), bytewise) << n;
    }
}

}  // namespace

namespace {

igtl_body_t decode(const std::vector<unsigned char>& bytes, igtl_message_t* out, wxString* why)
{
    igtl_header_t header;
    if (bytes.size() < igtl_header_size || !decode_igtl_header(bytes.data(), &header, why))
        return igtl_body_t::bad;
    if (bytes.size() != igtl_header_size + header.body_size) {
        *why = "truncated";
        return igtl_body_t::bad;
    }
    return decode_igtl_body(header, bytes.data() + igtl_header_size, out, why);
}

// What another program sends (packed by the library) and what we send come
// back as the frame, pose and placement they hold.
TEST(IgtlDecode, MessagesFromTheLibraryAndOursReadBackInPlace)
{
    igtl::ImageMessage::Pointer theirs = igtl::ImageMessage::New();
    theirs->SetDeviceName("Image");
    theirs->SetDimensions(40, 30, 1);
    theirs->SetSpacing(0.2f, 0.3f, 1.0f);
    theirs->SetScalarTypeToUint8();
    igtl::Matrix4x4 m = {
        {0.0f, -1.0f, 0.0f, 12.5f}, {1.0f, 0.0f, 0.0f, -40.0f}, {0.0f, 0.0f, 1.0f, 7.0f}, {0.0f, 0.0f, 0.0f, 1.0f}};
    theirs->SetMatrix(m);
    theirs->AllocateScalars();
    for (int i = 0; i < 1200; ++i)
        static_cast<unsigned char*>(theirs->GetScalarPointer())[i] = static_cast<unsigned char>(i);
    theirs->Pack();
    const auto* p = static_cast<const unsigned char*>(theirs->GetPackPointer());
    igtl_message_t got;
    wxString why;
    ASSERT_EQ(decode({p, p + theirs->GetPackSize()}, &got, &why), igtl_body_t::image) << why;
    EXPECT_EQ(got.image.width, 40);
    EXPECT_EQ(got.image.pixels[1199], static_cast<std::uint8_t>(1199 & 0xff));
    for (const auto& [i, j] : {std::pair{0.0, 0.0}, {39.0, 0.0}, {0.0, 29.0}, {17.0, 11.0}}) {
        const vertex3d ours = got.image.image_to_world * vertex3d{i * got.image.sx, j * got.image.sy, 0.0};
        const vertex3d library = client_pixel(theirs, i, j);
        EXPECT_NEAR(ours.x, library.x, 1e-6);
        EXPECT_NEAR(ours.y, library.y, 1e-6);
        EXPECT_NEAR(ours.z, library.z, 1e-6);
    }

    matrix16d pose;
    pose.forward(3.0, -4.0, 20.0, 15.0, -25.0, 70.0);
    const igtl_bytes_t transform = pack_igtl_transform("ProbeToReference", pose, 123456789u);
    ASSERT_EQ(decode(*transform, &got, &why), igtl_body_t::transform) << why;
    EXPECT_EQ(got.header.device, "ProbeToReference");
    EXPECT_EQ(got.header.ticks, 123456789u);
    for (int e = 0; e < 16; ++e)
        EXPECT_NEAR(got.transform[e], pose[e], 1e-5 * (1.0 + std::abs(pose[e])));
}

// Whatever the network sends: a clear refusal, never a crash or a huge allocation.
TEST(IgtlDecode, MalformedMessagesAreRefused)
{
    const igtl_bytes_t good = pack_igtl_image("Image", ramp(8, 6, 3), matrix16d{}, 0.01, 0.01, 0);
    igtl_message_t got;
    wxString why;
    ASSERT_EQ(decode(*good, &got, &why), igtl_body_t::image) << why;

    auto changed = [&](std::size_t at, unsigned char v) {
        std::vector<unsigned char> b = *good;
        b[at] = v;
        return b;
    };
    std::vector<unsigned char> huge = *good;
    for (std::size_t k = 42; k < 50; ++k)
        huge.at(k) = 0x7f;  // a body size of exabytes
    EXPECT_EQ(decode(huge, &got, &why), igtl_body_t::bad);
    EXPECT_TRUE(why.Contains("beyond the limit")) << why;
    EXPECT_EQ(decode(changed(igtl_header_size + 80, good->at(igtl_header_size + 80) ^ 1), &got, &why),
              igtl_body_t::bad);
    EXPECT_TRUE(why.Contains("CRC")) << why;

    // Bodies that lie about themselves, each with a CRC that matches.
    auto resealed = [&](std::vector<unsigned char> b) {
        finish_igtl_message(b);
        return b;
    };
    EXPECT_EQ(decode(resealed(changed(igtl_header_size + 3, 4)), &got, &why), igtl_body_t::bad);  // 16-bit
    EXPECT_TRUE(why.Contains("only 8-bit")) << why;
    EXPECT_EQ(decode(resealed(changed(igtl_header_size + 7, 9)), &got, &why), igtl_body_t::bad);       // 9 wide
    EXPECT_EQ(decode(resealed(changed(igtl_header_size + 62 + 7, 3)), &got, &why), igtl_body_t::bad);  // a part
    std::vector<unsigned char> nan_axis = *good;
    for (std::size_t k = 0; k < 12; ++k)
        nan_axis.at(igtl_header_size + 12 + k) = 0xff;
    EXPECT_EQ(decode(resealed(nan_axis), &got, &why), igtl_body_t::bad);

    matrix16d finite_pose;
    std::vector<unsigned char> t = *pack_igtl_transform("P", finite_pose, 0);
    for (std::size_t k = 0; k < 4; ++k)
        t.at(igtl_header_size + 36 + k) = 0xff;  // TX not a number
    EXPECT_EQ(decode(resealed(t), &got, &why), igtl_body_t::bad);
    EXPECT_TRUE(why.Contains("not a number")) << why;

    std::vector<unsigned char> status = *pack_igtl_transform("P", finite_pose, 0);
    std::memcpy(status.data() + 2, "STATUS\0\0\0\0\0\0", 12);
    EXPECT_EQ(decode(resealed(status), &got, &why), igtl_body_t::other);  // read past, not an error
}

}  // namespace
