// The client against hostile framings on 127.0.0.1: where a body ends must
// never be guessed, and no line or header block may grow without bound.
#include <gtest/gtest.h>

#include "HttpTestClient.h"

namespace {

using namespace httptest;

struct TBadFraming {
  const char* Lines;
  const char* Message;
};

class HttpBadFraming : public ::testing::TestWithParam<TBadFraming> {};

// Read as "no length" (or as a number) these would end the body somewhere else
// than the server meant: the rest of the answer would be taken for the next one.
TEST_P(HttpBadFraming, IsAnErrorNotAGuess) {
  TScriptedServer server(
      {Reply(std::string("HTTP/1.1 200 OK\r\n") + GetParam().Lines + "\r\n\r\nhello", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdHTTPBadResponse>(
      [&] { client->Get(server.Url("/"), &stream); }, GetParam().Message);
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_FALSE(client->IOHandler()->IsOpen());  // never reused
}

INSTANTIATE_TEST_SUITE_P(
    Values, HttpBadFraming,
    ::testing::Values(TBadFraming{"Content-Length: +5", "Invalid Content-Length \"+5\"."},
                      TBadFraming{"Content-Length: -5", "Invalid Content-Length \"-5\"."},
                      TBadFraming{"Content-Length: 5 0", "Invalid Content-Length \"5 0\"."},
                      TBadFraming{"Content-Length: 5, 5", "Invalid Content-Length \"5, 5\"."},
                      TBadFraming{"Content-Length: 0x5", "Invalid Content-Length \"0x5\"."},
                      TBadFraming{"Content-Length:", "Invalid Content-Length \"\"."},
                      TBadFraming{"Content-Length: 18446744073709551621",
                                  "Invalid Content-Length \"18446744073709551621\"."},
                      TBadFraming{"Content-Length: 5\r\nContent-Length: 6",
                                  "Conflicting Content-Length values \"5\" and \"6\"."},
                      TBadFraming{"Transfer-Encoding: chunked\r\nTransfer-Encoding: Chunked",
                                  "Invalid Transfer-Encoding \"chunked, chunked\"."}));

TEST(HttpFraming, TransferCodingOverridesLengthAndTheConnectionIsNotReused) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
             "5\r\nhello\r\n0\r\n\r\n"),
       Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n!")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "hello");
  EXPECT_EQ(client->Response().ContentLength, -1);  // not the installer's announced length
  EXPECT_FALSE(client->Connected());
  TMemoryStream next;
  client->Get(server.Url("/"), &next);
  EXPECT_EQ(Text(next), "!");
  EXPECT_EQ(server.Accepted(), 2);
}

struct TCoding {
  const char* Lines;
  const char* Body;
};

class HttpBodyEnd : public ::testing::TestWithParam<TCoding> {};

// Only a final "chunked" is chunked; any other coding ends the body at the close.
// Repeated Content-Length lines that agree are one length.
TEST_P(HttpBodyEnd, BodyEndsWhereTheHeadersSay) {
  const std::string raw = "5\r\nhello\r\n0\r\n\r\n";
  TScriptedServer server(
      {Reply(std::string("HTTP/1.1 200 OK\r\n") + GetParam().Lines + "\r\n\r\n" + raw, true)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  const bool untilClose = GetParam().Body == nullptr;
  EXPECT_EQ(Text(stream), untilClose ? raw : GetParam().Body);
  if (untilClose) {
    EXPECT_FALSE(client->Connected());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codings, HttpBodyEnd,
    ::testing::Values(TCoding{"Transfer-Encoding: chunked, gzip", nullptr},
                      TCoding{"Transfer-Encoding: xchunked", nullptr},
                      TCoding{"Transfer-Encoding: chunked-not\r\nContent-Length: 5", nullptr},
                      TCoding{"Transfer-Encoding: gzip\r\nTransfer-Encoding: CHUNKED", "hello"},
                      TCoding{"Content-Length: 5\r\ncontent-length: 005", "5\r\nhe"}));

TEST(HttpFraming, ChunkDataMustEndWithCRLF) {
  // The size says 3 but 5 bytes follow: read on, "lo" would be dropped as the line end.
  TExchange x("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhello\r\n0\r\n\r\n");
  testsupport::ExpectThrowMessage<EIdHTTPBadResponse>(
      [&] { x.Client->Get(x.Server.Url("/"), &x.Stream); },
      "Chunk data of 3 bytes is not followed by CRLF.");
  EXPECT_FALSE(x.Client->IOHandler()->IsOpen());
}

std::string Interim(int count, const std::string& line) {
  std::string answers;
  for (int i = 0; i < count; ++i) answers += line + "\r\nLink: </a.css>; rel=preload\r\n\r\n";
  return answers + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
}

TEST(HttpFraming, SixteenInterimAnswersAreSkippedNotMore) {
  TScriptedServer server({Reply(Interim(16, "HTTP/1.1 103 Early Hints")),
                          Reply(Interim(17, "HTTP/1.1 100 Continue"), true)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "ok");
  client->Disconnect();
  testsupport::ExpectThrowMessage<EIdHTTPBadResponse>(
      [&] { client->Get(server.Url("/"), &stream); },
      "More than 16 interim (1xx) responses to one request.");
}

TEST(HttpFraming, SwitchingProtocolsIsRefused) {
  TScriptedServer server({Reply(
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  EXPECT_EQ(ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); }).ReplyCode(), 101);
}

TEST(HttpFraming, MetaTagsNeverChangeTheFraming) {
  const std::string page =
      "<html><head><meta http-equiv=\"Content-Length\" content=\"1\">"
      "<meta http-equiv=\"Transfer-Encoding\" content=\"chunked\">"
      "<meta http-equiv=\"Content-Encoding\" content=\"gzip\">"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>";
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(page.size()) + "\r\n\r\n" + page;
  TScriptedServer server({ReplyAll({answer, "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n!"})});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  const TIdHTTPResponse& r = client->Response();
  EXPECT_EQ(r.ContentLength, static_cast<std::int64_t>(page.size()));
  EXPECT_EQ(r.TransferEncoding, "");
  EXPECT_EQ(r.ContentEncoding, "");
  EXPECT_EQ(r.CharSet, "utf-8");  // what a page may say about itself still counts
  TMemoryStream next;
  client->Get(server.Url("/"), &next);  // the kept connection is still in step
  client->Disconnect();
  EXPECT_EQ(Text(next), "!");
}

TEST(HttpFraming, AtMostAHundredMetaTagsAreRead) {
  std::string page = "<html><head>";
  for (int i = 0; i < 150; ++i)
    page += "<meta http-equiv=\"X-" + std::to_string(i) + "\" content=\"v\">";
  page += "</head>";
  TScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                std::to_string(page.size()) + "\r\n\r\n" + page)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(client->Response().MetaEquiv.HeaderLines.Count(), 100);
  EXPECT_EQ(client->Response().HeaderLines.ValueOf("X-99"), "v");
  EXPECT_EQ(client->Response().HeaderLines.ValueOf("X-100"), "");
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(page.size()));
}

class HttpEndlessLine : public ::testing::TestWithParam<const char*> {};

// A line that never reaches its LF fails at the line limit instead of growing the
// input buffer towards 2 GiB.
TEST_P(HttpEndlessLine, FailsAtTheLineLimit) {
  TScriptedServer server({Reply(GetParam() + std::string(100000, 'a'))});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdReadLnMaxLineLengthExceeded>(
      [&] { client->Get(server.Url("/"), &stream); }, "Max line length exceeded.");
  EXPECT_FALSE(client->IOHandler()->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HttpEndlessLine,
    ::testing::Values("", "HTTP/1.1 200 OK\r\nX-Long: ",
                      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX-Trailer: "));

}  // namespace
