// Ordered text lists and ordered collections of owned items.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Component.h"

// An ordered list of 8-bit lines; subclasses may watch changes through Changed().
class TStrings : public TObject {
 public:
  virtual int Count() const = 0;
  virtual const std::string& Get(int index) const = 0;
  virtual void Put(int index, std::string value) = 0;
  virtual void Insert(int index, std::string value) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  const std::string& operator[](int index) const { return Get(index); }
  int Add(std::string value);
  void AddStrings(const TStrings& other);
  void Assign(const TStrings& other);
  virtual int IndexOf(std::string_view value) const;  // case-insensitive, as names are
  bool Empty() const { return Count() == 0; }

  // Name=Value pairs.
  char NameValueSeparator = '=';
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(std::string_view name) const;
  void SetValue(std::string_view name, std::string_view value);
  int IndexOfName(std::string_view name) const;

  // The lines joined with CR LF after each; SetText splits on CR LF, LF or CR.
  std::string Text() const;
  void SetText(std::string_view text);
  std::vector<std::string> ToVector() const;

  // Brackets a batch of changes so watchers hear of them once.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

 protected:
  virtual void Changed() {}
  int UpdateCount() const { return FUpdateCount; }

 private:
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(std::vector<std::string> lines) : FLines(std::move(lines)) {}

  int Count() const override { return static_cast<int>(FLines.size()); }
  const std::string& Get(int index) const override;
  void Put(int index, std::string value) override;
  void Insert(int index, std::string value) override;
  void Delete(int index) override;
  void Clear() override;

  TNotifyEvent OnChange;

 protected:
  void Changed() override;

 private:
  void CheckIndex(int index, bool allowEnd) const;
  std::vector<std::string> FLines;
};

class TCollection;

// An item of a collection knows its collection; the collection owns it.
class TCollectionItem : public TObject {
 public:
  explicit TCollectionItem(TCollection& collection) : FCollection(&collection) {}
  TCollection& Collection() const { return *FCollection; }
  int Index() const;

 private:
  TCollection* FCollection;  // we don't own it: it owns us
};

class TCollection : public TObject {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TCollectionItem& Items(int index) const;
  void Clear() { FItems.clear(); }
  void Delete(int index);

  // Creates an item of type T (constructed with this collection) and appends it.
  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto item = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *item;
    FItems.push_back(std::move(item));
    return ref;
  }

 private:
  friend class TCollectionItem;
  std::vector<std::unique_ptr<TCollectionItem>> FItems;
};
