// The client against real servers on 127.0.0.1, started by
// scripts/test.d/http-peers.sh, which passes their addresses in the
// environment; without them these tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "HttpTestClient.h"
#include "TestSupport.h"
#include "http/IdHTTP.h"

namespace {

using httptest::ExpectProtocolError;
using httptest::Text;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Md5Of(const TMemoryStream& s) {
  return MD5Hex(
      std::string_view(reinterpret_cast<const char*>(s.Bytes().data()), s.Bytes().size()));
}

class HttpPeers : public testing::Test {
 protected:
  void SetUp() override {
    Nginx = Env("TRAMELA_HTTP_NGINX");
    Python = Env("TRAMELA_HTTP_PYTHON");
    RandomMd5 = Env("TRAMELA_HTTP_RANDOM_MD5");
    if (Nginx.empty() || Python.empty() || RandomMd5.empty())
      GTEST_SKIP() << "no peers (run by http-peers.sh)";
    Client = std::make_unique<TIdHTTP>();
    Client->SetReadTimeout(20000);
  }
  // The body of url, asked for as the peers' user with password, which is
  // sent again in the same call after a challenge.
  std::string GetWithPassword(const std::string& url, const std::string& password) {
    Client->HTTPOptions.Include(hoInProcessAuth);
    Client->Request().Username = "user";
    Client->Request().Password = password;
    TMemoryStream stream;
    Client->Get(url, &stream);
    return Text(stream);
  }
  std::string Nginx, Python, RandomMd5;
  std::unique_ptr<TIdHTTP> Client;
};

TEST_F(HttpPeers, NginxKeepAliveServesTwoDownloadsOnOneConnection) {
  TMemoryStream first;
  TMemoryStream second;
  Client->Get(Nginx + "/random.bin", &first);
  EXPECT_TRUE(Client->Connected());
  Client->Get(Nginx + "/random.bin", &second);
  EXPECT_EQ(Md5Of(first), RandomMd5);
  EXPECT_EQ(Md5Of(second), RandomMd5);
  EXPECT_EQ(Client->Response().ContentLength, first.Size());
}

TEST_F(HttpPeers, NginxNotFoundPage) {
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { Client->Get(Nginx + "/missing.zip", &stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(e.ReplyCode(), 404);
  EXPECT_NE(e.ErrorBody().find("404 Not Found"), std::string::npos) << e.ErrorBody();
  EXPECT_EQ(stream.Size(), 0);
}

TEST_F(HttpPeers, NginxBasicRetryWithCredentials) {
  EXPECT_EQ(GetWithPassword(Nginx + "/private/secret.txt", "pw"), "secret\n");
}

TEST_F(HttpPeers, NginxBasicWithoutCredentialsIsRefused) {
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { Client->Get(Nginx + "/private/secret.txt", &stream); });
  EXPECT_EQ(e.ReplyCode(), 401);
  EXPECT_EQ(e.Message(), "HTTP/1.1 401 Unauthorized");
}

TEST_F(HttpPeers, PythonCloseDelimitedBody) {
  TMemoryStream stream;
  Client->Get(Python + "/close/random.bin", &stream);
  EXPECT_EQ(Md5Of(stream), RandomMd5);
  EXPECT_FALSE(Client->Response().LengthKnown());
  EXPECT_FALSE(Client->Connected());
}

TEST_F(HttpPeers, PythonDigestRetry) {
  EXPECT_EQ(GetWithPassword(Python + "/digest/secret.txt", "pw"), "secret\n");
}

TEST_F(HttpPeers, PythonDigestWrongPasswordIsRefused) {
  const auto e =
      ExpectProtocolError([&] { GetWithPassword(Python + "/digest/secret.txt", "wrong"); });
  EXPECT_EQ(e.ReplyCode(), 401);
}

}  // namespace
