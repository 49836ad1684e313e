// The client's cookie store: takes Set-Cookie values with the URL they came
// from, and chooses the cookies for a later request by domain, path, secure and
// expiry. One store may serve several clients, so its list is guarded.
#pragma once

#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/IdHeaderList.h"
#include "http/IdURI.h"
#include "rtl/Component.h"
#include "rtl/DateTime.h"

struct TIdCookie {
  std::string Name;
  std::string Value;
  std::string Domain;  // lower case, without a leading dot
  std::string Path;
  bool HostOnly = true;
  bool Secure = false;
  bool HttpOnly = false;
  bool Persistent = false;
  TDateTime ExpiresGMT = 0;  // only for persistent cookies
  std::uint64_t Order = 0;   // creation order, for a stable Cookie line
};

class TIdCookieManager : public TComponent {
 public:
  explicit TIdCookieManager(TComponent* owner = nullptr) : TComponent(owner) {}

  // Stores the cookies of these Set-Cookie values, received from uri.
  void AddServerCookies(const TStrings& setCookies, const TIdURI& uri);
  void AddServerCookie(std::string_view setCookie, const TIdURI& uri);
  // Appends one "Cookie" line for uri; secure cookies only over a secure scheme.
  void GenerateClientCookies(const TIdURI& uri, bool secure, TIdHeaderList& headers);
  // The Cookie line's value for uri (empty when nothing matches).
  std::string CookieHeaderFor(const TIdURI& uri, bool secure);

  int CookieCount() const;
  std::vector<TIdCookie> Cookies() const;
  // The clock, in GMT; replaceable so tests can move time.
  TDateTime (*NowGMT)() = DefaultNowGMT;
  static TDateTime DefaultNowGMT();

 private:
  void DropExpired(TDateTime now);
  // Drops the oldest of the cookies that among selects until at most limit of them remain.
  void EvictOldest(const std::function<bool(const TIdCookie&)>& among, std::size_t limit);
  mutable std::shared_mutex FLock;
  std::vector<TIdCookie> FCookies;
  std::uint64_t FNextOrder = 0;
};
