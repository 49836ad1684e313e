// Objects, events and components: an owner frees what it owns, and a component
// tells those who asked for it when it goes away.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// An event is a bound handler, empty until assigned; raise it only when assigned.
using TNotifyEvent = std::function<void(TObject* Sender)>;

enum class TOperation { opInsert, opRemove };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const {
    return FComponents.at(static_cast<std::size_t>(index)).get();
  }
  TComponent* FindComponent(const std::string& name) const;

  // Creates a component owned by this one: it is freed with its owner.
  template <class T, class... Args>
  T& CreateOwned(Args&&... args) {
    auto component = std::make_unique<T>(this, std::forward<Args>(args)...);
    T& ref = *component;
    InsertComponent(std::move(component));
    return ref;
  }
  // Takes ownership of a component made elsewhere.
  void InsertComponent(std::unique_ptr<TComponent> component);
  // Gives up ownership: the caller now holds the component (null when not owned here).
  std::unique_ptr<TComponent> RemoveComponent(TComponent* component);
  // Frees an owned component now.
  void FreeComponent(TComponent* component) { RemoveComponent(component).reset(); }

  // Asks component to call Notification(this, opRemove) on us when it is freed,
  // and the other way round.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  bool Destroying() const { return FDestroying; }

 protected:
  // Told when an owned component is inserted or removed, and when a component
  // we asked to watch is freed.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void NotifyWatchers();

  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<std::unique_ptr<TComponent>> FComponents;
  std::vector<TComponent*> FFreeNotifies;  // we don't own these
  bool FDestroying = false;
};
