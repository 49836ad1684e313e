// The proxy for plain HTTP as the administrator's settings name it: the
// server value's forms and the bypass list under Windows' rules.
#include <gtest/gtest.h>

#include "probes/SystemProxy.h"

namespace {

TEST(SystemProxy, ServerValueNamesTheHttpProxyOrNone) {
  const struct {
    const char* Value;
    bool Named;
    const char* Host;
    int Port;
  } cases[] = {
      {"proxy.corp:3128", true, "proxy.corp", 3128},
      {"proxy.corp", true, "proxy.corp", 80},
      {"http://10.0.0.5:8080/", true, "10.0.0.5", 8080},
      {"https=s.corp:443;http=h.corp:8080;ftp=f.corp:21", true, "h.corp", 8080},
      {"HTTP=h.corp:1", true, "h.corp", 1},
      {"[fd00::1]:3128", true, "fd00::1", 3128},
      {"https=s.corp:443;socks=k.corp:1080", false, "", 0},  // nothing for plain HTTP
      {"", false, "", 0},
      // Hostile or broken: no port number, or one out of range, or more than a server.
      {"proxy.corp:0", false, "", 0},
      {"proxy.corp:65536", false, "", 0},
      {"proxy.corp:+80", false, "", 0},
      {"proxy.corp:", false, "", 0},
      {"user@proxy.corp:80", false, "", 0},
      {"a:1 b:2", false, "", 0},
      {"http=", false, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    std::string host;
    std::uint16_t port = 0;
    EXPECT_EQ(ParseProxyServer(c.Value, host, port), c.Named);
    EXPECT_EQ(host, c.Host);
    EXPECT_EQ(port, c.Port);
  }
}

TEST(SystemProxy, BypassListFollowsWindowsRules) {
  const struct {
    const char* List;
    const char* Host;
    bool Bypassed;
  } cases[] = {
      {"", "downloads.example.net", false},
      {"*.example.net", "downloads.example.net", true},
      {"*.example.net", "example.net", false},  // a wildcard, not a domain rule
      {"DOWNLOADS.example.*", "downloads.Example.com", true},
      {"10.*;192.168.*", "10.1.2.3", true},
      {"10.*;192.168.*", "110.1.2.3", false},
      {" other.corp ; *.example.net ", "a.example.net", true},
      {"http://*.example.net", "a.example.net", true},
      {"<local>", "fileserver", true},
      {"<local>", "fileserver.corp", false},
      {"*", "anything.at.all", true},
      // Loopback goes direct unless the list says otherwise.
      {"", "localhost", true},
      {"", "127.0.0.1", true},
      {"", "127.1.2.3", true},
      {"", "::1", true},
      {"", "127.example.net", false},
      {"", "127.0.0.256", false},
      {"<-loopback>", "localhost", false},
      {"<-loopback>", "127.0.0.1", false},
      {"<-loopback>;localhost", "localhost", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.List) + " / " + c.Host);
    EXPECT_EQ(BypassesProxy(c.List, c.Host), c.Bypassed);
  }
}

TEST(SystemProxy, ChoiceForTheDistributionHost) {
  TSystemProxySettings s;
  s.Server = "proxy.corp:3128";
  EXPECT_FALSE(ChooseProxy(s, "downloads.example.net").UsesProxy());  // not enabled
  s.Enabled = true;
  const TProxyChoice through = ChooseProxy(s, "downloads.example.net");
  EXPECT_EQ(through.Host, "proxy.corp");
  EXPECT_EQ(through.Port, 3128);
  EXPECT_FALSE(through.ScriptIgnored);
  EXPECT_FALSE(ChooseProxy(s, "localhost").UsesProxy());

  s.AutoConfig = true;
  EXPECT_FALSE(ChooseProxy(s, "downloads.example.net").ScriptIgnored);  // a server applies
  s.Override = "*.example.net";
  const TProxyChoice direct = ChooseProxy(s, "downloads.example.net");
  EXPECT_FALSE(direct.UsesProxy());
  EXPECT_TRUE(direct.ScriptIgnored);

  s.Override.clear();
  s.Server = "proxy.corp:http";
  const TProxyChoice broken = ChooseProxy(s, "downloads.example.net");
  EXPECT_FALSE(broken.UsesProxy());
  EXPECT_EQ(broken.Invalid, "proxy.corp:http");
}

}  // namespace
