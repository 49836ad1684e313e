#include "rtl/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : FOwner(owner) {}

TComponent::~TComponent() {
  FDestroying = true;
  NotifyWatchers();
  // Owned components go last-created first, as each may refer to earlier ones.
  while (!FComponents.empty()) {
    std::unique_ptr<TComponent> last = std::move(FComponents.back());
    FComponents.pop_back();
    last.reset();
  }
}

void TComponent::NotifyWatchers() {
  // A watcher may unsubscribe others while being told; work on a copy.
  const std::vector<TComponent*> watchers = std::move(FFreeNotifies);
  FFreeNotifies.clear();
  for (TComponent* watcher : watchers) {
    auto& theirs = watcher->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    watcher->Notification(this, TOperation::opRemove);
  }
  if (FOwner != nullptr && !FOwner->FDestroying) FOwner->Notification(this, TOperation::opRemove);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (const auto& c : FComponents) {
    if (!name.empty() && c->FName == name) return c.get();
  }
  return nullptr;
}

void TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  if (!component) return;
  if (component->FOwner != nullptr && component->FOwner != this) {
    // Take it away from its former owner without freeing it.
    component->FOwner->RemoveComponent(component.get()).release();
  }
  component->FOwner = this;
  TComponent* raw = component.get();
  FComponents.push_back(std::move(component));
  Notification(raw, TOperation::opInsert);
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find_if(FComponents.begin(), FComponents.end(),
                         [component](const auto& c) { return c.get() == component; });
  if (it == FComponents.end()) return nullptr;
  std::unique_ptr<TComponent> out = std::move(*it);
  FComponents.erase(it);
  out->FOwner = nullptr;
  Notification(out.get(), TOperation::opRemove);
  return out;
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(component);
  }
  auto& theirs = component->FFreeNotifies;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component),
                      FFreeNotifies.end());
  auto& theirs = component->FFreeNotifies;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* /*component*/, TOperation /*operation*/) {}
