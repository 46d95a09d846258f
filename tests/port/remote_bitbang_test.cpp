// The remote_bitbang client against a small server on 127.0.0.1 that records what it receives.
#include "port/remote_bitbang_backend.h"

#ifdef TAPSTER_HAVE_REMOTE_BACKEND

#include "port_test_env.h"

#include "port/lpt.h"
#include "port/lpt_registers.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tapster::test {
namespace {

// Serves one connection. Answers each 'R' with the next character of `answers` ('1' when they
// run out), or not at all when silent; closes on 'Q', on request, or after 10 s at most.
class BitbangServer {
  public:
    enum class Mode { Answer, Silent, CloseAtOnce, CloseAtFirstRead, Busy };

    explicit BitbangServer(std::string answers = "", Mode mode = Mode::Answer)
        : answers(std::move(answers)), mode(mode) {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener, 1);
        socklen_t len = sizeof addr;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        thread = std::thread([this] { Serve(); });
    }

    ~BitbangServer() {
        stop = true;
        thread.join();
        ::close(listener);
    }

    uint16_t Port() const { return port; }

    // Waits (bounded) until the client has closed the connection, then gives all it sent.
    std::string Finish() {
        for (int i = 0; i < 500 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

  private:
    void Serve() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int conn = -1;
        while (conn < 0 && !stop && std::chrono::steady_clock::now() < deadline) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) conn = ::accept(listener, nullptr, nullptr);
        }
        if (conn >= 0 && mode == Mode::Busy)
            ::send(conn, kRemoteBusyNotice, std::strlen(kRemoteBusyNotice), MSG_NOSIGNAL);
        if (conn >= 0 && mode != Mode::CloseAtOnce && mode != Mode::Busy) {
            size_t next = 0;
            bool open = true;
            while (open && !stop && std::chrono::steady_clock::now() < deadline) {
                pollfd p{conn, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                char buf[256];
                ssize_t n = ::recv(conn, buf, sizeof buf, 0);
                if (n <= 0) break;
                for (ssize_t i = 0; i < n; ++i) {
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        received.push_back(buf[i]);
                    }
                    if (buf[i] == 'Q' || (buf[i] == 'R' && mode == Mode::CloseAtFirstRead))
                        open = false;
                    if (buf[i] == 'R' && mode == Mode::Answer) {
                        char a = next < answers.size() ? answers[next++] : '1';
                        ::send(conn, &a, 1, MSG_NOSIGNAL);
                    }
                }
            }
        }
        if (conn >= 0) ::close(conn);
        done = true;
    }

    std::string answers;
    Mode mode;
    int listener = -1;
    uint16_t port = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::mutex mutex;
    std::string received;
};

// D0 TMS, D1 TCK, D2 TDI, D3 the control line.
constexpr uint8_t kTms = 0x01, kTck = 0x02, kTdi = 0x04, kControl = 0x08;

TEST(RemoteBitbang, WritesBecomePinCharactersAndReadsAskForTdo) {
    BitbangServer server("01");
    RemoteBitbangBackend port("127.0.0.1", server.Port());
    EXPECT_EQ(port.Name(), "remote:127.0.0.1:" + std::to_string(server.Port()));
    std::string error;
    ASSERT_TRUE(port.Acquire(error)) << error;
    port.WriteRegister(0x378, kControl | kTck | kTdi);             // 'r', TCK|TDI = '5'
    port.WriteRegister(0x378, kControl | kTms | kTdi);             // TMS|TDI = '3'
    port.WriteRegister(0x378, kTck | kTms);                        // control low: 's', '6'
    EXPECT_EQ(port.ReadRegister(0x379), kLptStatusIdle);           // '0': bit 0x10 clear
    port.WriteRegister(0x378, kControl);                           // 'r', '0'
    EXPECT_EQ(port.ReadRegister(0x379), kLptStatusIdle | kPinTdo); // '1'
    port.WriteRegister(0x378, kControl | kTck | kTms | kTdi);      // '7'
    port.Relinquish();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(server.Finish(), "r53s6Rr0R7Q");
}

TEST(RemoteBitbang, OtherRegistersSendNothing) {
    BitbangServer server;
    RemoteBitbangBackend port("127.0.0.1", server.Port());
    std::string error;
    ASSERT_TRUE(port.Acquire(error)) << error;
    port.WriteRegister(0x37A, 0xFF);
    port.WriteRegister(0x778, 0xFF);
    EXPECT_EQ(port.ReadRegister(0x378), kLptStatusIdle | kPinTdo);
    port.Relinquish();
    EXPECT_EQ(server.Finish(), "Q");
}

TEST(RemoteBitbang, LongRunsOfWritesAreAllDelivered) {
    BitbangServer server;
    RemoteBitbangBackend port("127.0.0.1", server.Port());
    std::string error;
    ASSERT_TRUE(port.Acquire(error)) << error;
    const int clocks = 10000; // more than one flush's worth
    for (int i = 0; i < clocks; ++i) {
        port.WriteRegister(0x378, kControl);
        port.WriteRegister(0x378, kControl | kTck);
    }
    port.Relinquish();
    std::string got = server.Finish();
    ASSERT_EQ(got.size(), 1u + 2u * clocks + 1u);
    EXPECT_EQ(got.substr(0, 5), "r0404");
    EXPECT_EQ(got.back(), 'Q');
}

TEST(RemoteBitbang, UnreachableServerFailsAcquireWithItsAddress) {
    // A port that was free a moment ago: nothing listens there.
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    uint16_t freePort = ntohs(addr.sin_port);
    ::close(s);

    RemoteBitbangBackend port("127.0.0.1", freePort, 500);
    std::string error;
    EXPECT_FALSE(port.Acquire(error));
    EXPECT_FALSE(port.Connected());
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(freePort)), std::string::npos) << error;
    // Nothing connected: reads see no target and writes go nowhere.
    port.WriteRegister(0x378, 0);
    EXPECT_EQ(port.ReadRegister(0x379), kLptStatusIdle | kPinTdo);
}

// Queued samples: the requests go out in the order of the accesses, the answers come back in
// the order of the samples, and a plain read behind queued samples waits its turn.
TEST(RemoteBitbang, QueuedSamplesKeepTheWireOrderAndTheirAnswers) {
    std::string answers;
    for (int i = 0; i < 1500; ++i)
        answers += (i * 7 % 3) == 0 ? '1' : '0';
    BitbangServer server(answers);
    RemoteBitbangBackend port("127.0.0.1", server.Port());
    std::string error;
    ASSERT_TRUE(port.Acquire(error)) << error;
    EXPECT_EQ(port.SampleBufferSize(), RemoteBitbangBackend::kOutstanding);
    port.WriteRegister(0x378, kControl);
    std::string expectedWire = "r0";
    const size_t queued = RemoteBitbangBackend::kOutstanding;
    for (size_t i = 0; i < queued; ++i) {
        port.QueueSample(0x379);
        port.WriteRegister(0x378, kControl | kTck);
        port.WriteRegister(0x378, kControl);
        expectedWire += "R40";
    }
    const uint8_t plain = port.ReadRegister(0x379); // answered after all the queued ones
    expectedWire += "R";
    for (size_t i = 0; i < queued; ++i) {
        const uint8_t want = answers[i] == '1' ? (kLptStatusIdle | kPinTdo) : kLptStatusIdle;
        ASSERT_EQ(port.ReadSample(), want) << "sample " << i;
    }
    EXPECT_EQ(plain, answers[queued] == '1' ? (kLptStatusIdle | kPinTdo) : kLptStatusIdle);
    EXPECT_FALSE(port.Lost());
    port.Relinquish();
    const std::string wire = server.Finish();
    EXPECT_TRUE(wire == expectedWire + "Q")
        << "got " << wire.size() << " requests, " << wire.substr(0, 16) << "...";
}

// Every way a server can fail the client, at the claim or later: the claim says why, or the
// reads see TDO high at once and the backend knows its cable is lost; nothing waits longer than
// the timeout.
TEST(RemoteBitbang, ServerFailuresEndInTheClaimOrALostCable) {
    struct Case {
        const char* name;
        BitbangServer::Mode mode;
        const char* claimError; // null: the claim succeeds
        bool busy;
    };
    const Case cases[] = {
        {"closes at once", BitbangServer::Mode::CloseAtOnce, "closed the connection at once",
         false},
        {"serves another client", BitbangServer::Mode::Busy, "is serving another client", true},
        {"closes at the first read", BitbangServer::Mode::CloseAtFirstRead, nullptr, false},
        {"stays silent", BitbangServer::Mode::Silent, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitbangServer server("", c.mode);
        RemoteBitbangBackend port("127.0.0.1", server.Port(), 200);
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        const bool claimed = port.Acquire(error);
        EXPECT_EQ(claimed, c.claimError == nullptr) << error;
        if (c.claimError != nullptr) {
            EXPECT_NE(error.find("the board server at 127.0.0.1:" + std::to_string(server.Port()) +
                                 " " + c.claimError),
                      std::string::npos)
                << error;
            EXPECT_EQ(port.Busy(), c.busy);
            EXPECT_FALSE(port.Lost()); // a refused claim is not a lost cable
            continue;
        }
        port.WriteRegister(0x378, kControl);
        port.QueueSample(0x379);
        port.QueueSample(0x379);
        EXPECT_EQ(port.ReadSample(), kLptStatusIdle | kPinTdo);
        EXPECT_TRUE(port.Lost());
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.ReadSample(), kLptStatusIdle | kPinTdo);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(port.ReadRegister(0x379), kLptStatusIdle | kPinTdo);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_LT(waited, std::chrono::seconds(2)); // one timeout at most, not one per read
    }
}

TEST(RemoteBitbang, ParsesHostAndPort) {
    std::string host, error;
    uint16_t port = 0;
    ASSERT_TRUE(ParseRemoteAddress("localhost:3335", host, port, error));
    EXPECT_EQ(host, "localhost");
    EXPECT_EQ(port, 3335);
    ASSERT_TRUE(ParseRemoteAddress("[::1]:9", host, port, error));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 9);
    for (const char* bad : {"localhost", "localhost:", ":3335", "host:0", "host:65536", "host:12a",
                            "host:99999999999999999999"})
        EXPECT_FALSE(ParseRemoteAddress(bad, host, port, error)) << bad;
}

class RemoteClaimTest : public PortLayerTest {};

TEST_F(RemoteClaimTest, TheClaimConnectsAndARefusedServerBecomesTheHint) {
    {
        BitbangServer server("0");
        RemoteBitbangBackend port("127.0.0.1", server.Port());
        SetPortBackend(&port);
        ASSERT_TRUE(ClaimPort(888, 1912));
        EXPECT_TRUE(port.Connected());
        WritePortByte(0x378, kControl | kTck);
        EXPECT_EQ(ReadPortByte(0x379), kLptStatusIdle);
        EXPECT_TRUE(ReleasePort(888, 1912));
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(server.Finish(), "r4RQ");
        SetPortBackend(nullptr);
    }
    // A port that is bound but not listening refuses connections, whatever else runs here.
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const uint16_t refusing = ntohs(address.sin_port);
    RemoteBitbangBackend nowhere("127.0.0.1", refusing, 200);
    SetPortBackend(&nowhere);
    EXPECT_FALSE(ClaimPort(888, 1912));
    EXPECT_NE(
        LastPortClaimHint().find("remote_bitbang server 127.0.0.1:" + std::to_string(refusing)),
        std::string::npos)
        << LastPortClaimHint();
    SetPortBackend(nullptr);
    close(holder);
}

} // namespace
} // namespace tapster::test

#endif
