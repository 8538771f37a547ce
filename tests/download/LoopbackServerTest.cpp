// The scripted server's own promises that the downloader tests rely on: a held request is
// recorded, and stopping the server ends a held connection at once.
#include <gtest/gtest.h>
#include <winsock2.h>

#include "support/httpserver/CLoopbackHttpServer.h"

namespace {

using httptest::CLoopbackHttpServer;
using httptest::ScriptedResponse;

class WinsockClient {
public:
    explicit WinsockClient(uint16_t port) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        DWORD timeoutMs = 5000;  // bounds every read below
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof(timeoutMs));
    }
    ~WinsockClient() {
        closesocket(s);
        WSACleanup();
    }
    void Send(const std::string& text) { send(s, text.data(), static_cast<int>(text.size()), 0); }
    // Everything until the server closes (or the read timeout passes).
    std::string ReadToClose() {
        std::string all;
        char buffer[4096];
        int n;
        while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0) all.append(buffer, n);
        return all;
    }

    SOCKET s;
    bool connected = false;
};

TEST(LoopbackServer, HeldRequestIsRecordedAndStopEndsTheConnection) {
    CLoopbackHttpServer server;
    ScriptedResponse held;
    held.holdWithoutAnswer = true;
    server.Enqueue(held);
    WinsockClient client(server.Port());
    ASSERT_TRUE(client.connected);
    client.Send("GET /held HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: bytes=7-\r\n\r\n");
    for (int i = 0; i < 250 && server.Requests().empty(); ++i) Sleep(20);

    server.Stop();

    EXPECT_EQ(client.ReadToClose(), "");  // closed without a byte of answer
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/held");
    EXPECT_EQ(requests[0].Header("range").value_or(""), "bytes=7-");
}

TEST(LoopbackServer, RangeIsHonouredAndShortBodiesClose) {
    CLoopbackHttpServer server;
    ScriptedResponse ranged = ScriptedResponse::Ok("0123456789");
    ranged.honourRange = true;
    server.Enqueue(ranged);
    server.Enqueue(ScriptedResponse::Ok("abc").AnnounceLength(10));
    WinsockClient client(server.Port());
    ASSERT_TRUE(client.connected);
    client.Send("GET /a HTTP/1.1\r\nRange: bytes=6-\r\n\r\nGET /b HTTP/1.1\r\n\r\n");

    const std::string answers = client.ReadToClose();

    EXPECT_NE(answers.find("HTTP/1.1 206 Partial Content\r\n"), std::string::npos);
    EXPECT_NE(answers.find("Content-Range: bytes 6-9/10\r\n"), std::string::npos);
    EXPECT_NE(answers.find("\r\n\r\n6789HTTP/1.1 200 OK\r\n"), std::string::npos);
    EXPECT_NE(answers.find("Content-Length: 10\r\nConnection: close\r\n\r\nabc"),
              std::string::npos);
}

}  // namespace
