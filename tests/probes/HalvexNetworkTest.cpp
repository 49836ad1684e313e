#include <gtest/gtest.h>

#include "probes/HalvexNetwork.h"

namespace {

struct TCallLog {
  int startups = 0;
  int cleanups = 0;
};

TLocalAddressCalls Substitute(TCallLog& log, std::optional<std::vector<std::string>> answer) {
  TLocalAddressCalls calls;
  calls.Startup = [&log] { ++log.startups; };
  calls.HostName = [] { return std::optional<std::string>("server1"); };
  calls.Resolve = [answer](const std::string& name) {
    EXPECT_EQ(name, "server1");
    return answer;
  };
  calls.Cleanup = [&log] { ++log.cleanups; };
  return calls;
}

TEST(LocalIPs, TwoAddressesInTheResolversOrder) {
  TCallLog log;
  const THalvexNetwork net(Substitute(log, std::vector<std::string>{"192.0.2.7", "10.1.2.3"}));
  const auto ips = net.GetLocalIPs();
  EXPECT_EQ(ips->ToVector(), (std::vector<std::string>{"192.0.2.7", "10.1.2.3"}));
  EXPECT_EQ(log.startups, 1);
  EXPECT_EQ(log.cleanups, 1);
}

TEST(LocalIPs, UnresolvableNameGivesEmptyListAndStillCleansUp) {
  TCallLog log;
  const THalvexNetwork net(Substitute(log, std::nullopt));
  EXPECT_TRUE(net.GetLocalIPs()->Empty());
  EXPECT_EQ(log.cleanups, 1);
}

TEST(LocalIPs, RealHostAnswersDottedAddressesWithoutRaising) {
  const auto ips = THalvexNetwork().GetLocalIPs();
  for (int i = 0; i < ips->Count(); ++i) {
    int parts = 0;
    for (const char c : (*ips)[i]) parts += c == '.';
    EXPECT_EQ(parts, 3) << (*ips)[i];
  }
}

}  // namespace
