#include <gtest/gtest.h>

#include <vector>

#include "rtl/Component.h"

namespace {

// Records what it is told and when it dies.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::vector<std::string>* log, std::string name)
      : TComponent(owner), FLog(log) {
    SetName(std::move(name));
  }
  ~TProbe() override { FLog->push_back("free " + Name()); }
  TComponent* watched = nullptr;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == TOperation::opRemove && c == watched) {
      FLog->push_back(Name() + " heard of " + c->Name());
      watched = nullptr;
    }
  }

 private:
  std::vector<std::string>* FLog;
};

TEST(ComponentOwnership, OwnerFreesOwnedInReverseOrder) {
  std::vector<std::string> log;
  {
    TComponent owner;
    owner.CreateOwned<TProbe>(&log, "a");
    owner.CreateOwned<TProbe>(&log, "b");
    EXPECT_EQ(owner.ComponentCount(), 2);
    EXPECT_NE(owner.FindComponent("b"), nullptr);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"free b", "free a"}));
}

TEST(ComponentOwnership, FreeNotificationReachesWatcherAndIsUndoneByWatcherDeath) {
  std::vector<std::string> log;
  TComponent owner;
  auto& watcher = owner.CreateOwned<TProbe>(&log, "w");
  auto& target = owner.CreateOwned<TProbe>(&log, "t");
  watcher.watched = &target;
  watcher.FreeNotification(&target);
  owner.FreeComponent(&target);
  EXPECT_EQ(log, (std::vector<std::string>{"free t", "w heard of t"}));
  EXPECT_EQ(watcher.watched, nullptr);

  // A watcher that dies first must not be told anything later.
  auto second = std::make_unique<TProbe>(nullptr, &log, "t2");
  {
    TProbe shortLived(nullptr, &log, "s");
    shortLived.watched = second.get();
    shortLived.FreeNotification(second.get());
  }
  log.clear();
  second.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"free t2"}));
}

TEST(ComponentOwnership, RemoveComponentHandsOwnershipBack) {
  std::vector<std::string> log;
  TComponent owner;
  auto& a = owner.CreateOwned<TProbe>(&log, "a");
  std::unique_ptr<TComponent> held = owner.RemoveComponent(&a);
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(held->Owner(), nullptr);
  held.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"free a"}));
}

}  // namespace
