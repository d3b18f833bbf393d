// Streaming cost: 60 frames a second of 1024 x 768 (each with its pose) sent
// over OpenIGTLink to one client on this machine, for three seconds, as the
// fraction of one core the sending side uses (packing, queueing and the
// writer thread; the client runs in a process of its own and is not
// counted). Target: under 10%. Also counts frames dropped for the client.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <igtlClientSocket.h>
#include <igtlMessageHeader.h>

#include "acquisition/igtl_live_stream.h"

namespace {

double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The client: reads whole messages until the server goes away.
[[noreturn]] void run_client(int port)
{
    igtl::ClientSocket::Pointer socket = igtl::ClientSocket::New();
    for (int i = 0; i < 100 && socket->ConnectToServer("127.0.0.1", port) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::vector<char> body;
    for (;;) {
        igtl::MessageHeader::Pointer header = igtl::MessageHeader::New();
        header->InitPack();
        if (socket->Receive(header->GetPackPointer(), header->GetPackSize()) != header->GetPackSize())
            _exit(0);
        header->Unpack();
        body.resize(static_cast<std::size_t>(header->GetBodySizeToRead()));
        if (!body.empty() && socket->Receive(body.data(), static_cast<int>(body.size())) != int(body.size()))
            _exit(0);
    }
}

void BM_Stream60HzToOneClient(benchmark::State& state)
{
    const cip_t frame = [] {
        cip_t f = cip_t::make_8bit(1024, 768);
        for (long i = 0; i < f.width() * f.height(); ++i)
            f.pixels()[i] = static_cast<std::uint8_t>(i * 31);
        return f;
    }();
    counted_array_ptr<float> pose(6);
    for (std::size_t i = 0; i < 6; ++i)
        pose[i] = 1.0f + float(i);
    matrix16d calibration;
    double fraction = 0.0, dropped = 0.0;
    for (auto _ : state) {
        igtl_server_t server(16);
        if (!server.start(0)) {
            state.SkipWithError("no port");
            break;
        }
        const pid_t child = fork();
        if (child == 0)
            run_client(server.port());
        while (server.stats().clients == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double cpu0 = cpu_seconds();
        const auto start = std::chrono::steady_clock::now();
        const int frames = 180;
        for (int k = 0; k < frames; ++k) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(16667 * k));
            stream_frame(server, frame, pose, calibration, 0.01, 0.01, std::uint64_t(k) * 166667u);
        }
        std::this_thread::sleep_until(start + std::chrono::microseconds(16667 * frames));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fraction = (cpu_seconds() - cpu0) / wall;
        dropped = double(server.stats().dropped);
        server.stop();
        int status = 0;
        waitpid(child, &status, 0);
    }
    state.counters["core_fraction"] = fraction;
    state.counters["dropped"] = dropped;
}
BENCHMARK(BM_Stream60HzToOneClient)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
