#include <gtest/gtest.h>

#include <cstdio>

#include "probes/HalvexNetwork.h"

namespace {

struct TCallLog {
  int startups = 0;
  int cleanups = 0;
};

// A resolver that knows one host, "server1", with the given answer.
class TSubstituteCalls final : public TLocalAddressCalls {
 public:
  TSubstituteCalls(TCallLog& log, std::optional<std::vector<TIPv4Bytes>> answer)
      : FLog(log), FAnswer(std::move(answer)) {}
  void Startup() override { ++FLog.startups; }
  void Cleanup() override { ++FLog.cleanups; }
  int GetHostName(char* buffer, int size) override {
    EXPECT_GE(size, 8);
    std::snprintf(buffer, static_cast<std::size_t>(size), "server1");
    return 0;
  }
  std::optional<std::vector<TIPv4Bytes>> HostAddresses(const std::string& name) override {
    EXPECT_EQ(name, "server1");
    return FAnswer;
  }

 private:
  TCallLog& FLog;
  std::optional<std::vector<TIPv4Bytes>> FAnswer;
};

THalvexNetwork Substitute(TCallLog& log, std::optional<std::vector<TIPv4Bytes>> answer) {
  return THalvexNetwork(std::make_unique<TSubstituteCalls>(log, std::move(answer)));
}

TEST(LocalIPs, TwoAddressesInTheResolversOrder) {
  TCallLog log;
  const auto net = Substitute(log, std::vector<TIPv4Bytes>{{192, 0, 2, 7}, {10, 1, 2, 3}});
  const auto ips = net.GetLocalIPs();
  EXPECT_EQ(ips->ToVector(), (std::vector<std::string>{"192.0.2.7", "10.1.2.3"}));
  EXPECT_EQ(log.startups, 1);
  EXPECT_EQ(log.cleanups, 1);
}

TEST(LocalIPs, UnresolvableNameGivesEmptyListAndStillCleansUp) {
  TCallLog log;
  const auto net = Substitute(log, std::nullopt);
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
