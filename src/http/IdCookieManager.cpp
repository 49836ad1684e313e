// The cookie store; see IdCookieManager.h. Parsing and matching follow the
// rules browsers use (RFC 6265), in the small subset an installer meets.
#include "http/IdCookieManager.h"

#include <algorithm>
#include <mutex>

#include "http/IdHeaderValues.h"
#include "rtl/Text.h"

namespace {

// What a store keeps at most (RFC 6265 section 6.1): a server cannot fill memory
// with cookies, nor crowd out the cookies of other domains.
constexpr std::size_t kMaxCookieBytes = 4096;
constexpr std::size_t kMaxCookiesPerDomain = 50;
constexpr std::size_t kMaxCookies = 3000;

bool IsIPAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;
  return !host.empty() && std::all_of(host.begin(), host.end(),
                                      [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (SameText(host, domain)) return true;
  if (IsIPAddress(host) || host.size() <= domain.size()) return false;
  const std::string_view tail = host.substr(host.size() - domain.size());
  return host[host.size() - domain.size() - 1] == '.' && SameText(tail, domain);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath) return true;
  if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

// The directory of the request path, without its final "/".
std::string DefaultPath(const TIdURI& uri) {
  const std::string& path = uri.Path;
  if (path.empty() || path[0] != '/') return "/";
  const std::size_t last = path.rfind('/');
  return last == 0 ? "/" : path.substr(0, last);
}

std::string RequestPath(const TIdURI& uri) {
  const std::string path = uri.Path + uri.Resource;
  return path.empty() || path[0] != '/' ? "/" + path : path;
}

}  // namespace

TDateTime TIdCookieManager::DefaultNowGMT() { return LocalTimeToGMT(NowLocal()); }

void TIdCookieManager::AddServerCookies(const TStrings& setCookies, const TIdURI& uri) {
  for (int i = 0; i < setCookies.Count(); ++i) AddServerCookie(setCookies[i], uri);
}

void TIdCookieManager::AddServerCookie(std::string_view setCookie, const TIdURI& uri) {
  // Name, value and attributes together; a larger cookie is ignored, as browsers do.
  if (setCookie.size() > kMaxCookieBytes) return;
  const std::size_t firstSemi = setCookie.find(';');
  const std::string_view pair = setCookie.substr(0, firstSemi);
  const std::size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return;
  TIdCookie cookie;
  cookie.Name = Trim(pair.substr(0, eq));
  cookie.Value = Trim(pair.substr(eq + 1));
  if (cookie.Name.empty()) return;
  cookie.Domain = LowerCase(uri.Host);
  cookie.Path = DefaultPath(uri);
  const TDateTime now = NowGMT();
  bool haveMaxAge = false;

  std::string_view rest =
      firstSemi == std::string_view::npos ? std::string_view() : setCookie.substr(firstSemi + 1);
  while (!rest.empty()) {
    const std::size_t semi = rest.find(';');
    const std::string_view attr = rest.substr(0, semi);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    const std::size_t attrEq = attr.find('=');
    const std::string name = Trim(attr.substr(0, attrEq));
    const std::string value =
        attrEq == std::string_view::npos ? std::string() : Trim(attr.substr(attrEq + 1));
    if (SameText(name, "Max-Age")) {
      std::int64_t seconds = 0;
      if (!TryParseDecimal64(value, seconds)) continue;
      haveMaxAge = true;
      cookie.Persistent = true;
      // Zero or less expires at once; a huge count is capped at ten years.
      seconds = std::min<std::int64_t>(seconds, 10LL * 366 * 86400);
      cookie.ExpiresGMT = seconds <= 0 ? now - 1 : now + static_cast<double>(seconds) / 86400.0;
    } else if (SameText(name, "Expires") && !haveMaxAge) {
      TDateTime expires = 0;
      if (TryParseHttpDateGMT(value, expires)) {
        cookie.Persistent = true;
        cookie.ExpiresGMT = expires;
      }
    } else if (SameText(name, "Domain") && !value.empty()) {
      std::string domain = LowerCase(value);
      if (domain[0] == '.') domain.erase(0, 1);
      // A server may not set cookies for a domain it does not belong to.
      if (domain.empty() || !DomainMatches(uri.Host, domain)) return;
      cookie.Domain = domain;
      cookie.HostOnly = false;
    } else if (SameText(name, "Path")) {
      if (!value.empty() && value[0] == '/') cookie.Path = value;
    } else if (SameText(name, "Secure")) {
      cookie.Secure = true;
    } else if (SameText(name, "HttpOnly")) {
      cookie.HttpOnly = true;
    }
  }

  const std::unique_lock<std::shared_mutex> guard(FLock);
  DropExpired(now);
  const auto same = std::find_if(FCookies.begin(), FCookies.end(), [&cookie](const TIdCookie& c) {
    return c.Name == cookie.Name && c.Domain == cookie.Domain && c.Path == cookie.Path;
  });
  const bool expired = cookie.Persistent && cookie.ExpiresGMT <= now;
  if (same != FCookies.end()) {
    cookie.Order = same->Order;
    if (expired) {
      FCookies.erase(same);
    } else {
      *same = std::move(cookie);
    }
    return;
  }
  if (expired) return;
  cookie.Order = FNextOrder++;
  const std::string domain = cookie.Domain;
  FCookies.push_back(std::move(cookie));
  EvictOldest([&domain](const TIdCookie& c) { return c.Domain == domain; }, kMaxCookiesPerDomain);
  EvictOldest([](const TIdCookie&) { return true; }, kMaxCookies);
}

void TIdCookieManager::EvictOldest(const std::function<bool(const TIdCookie&)>& among,
                                   std::size_t limit) {
  std::size_t count =
      static_cast<std::size_t>(std::count_if(FCookies.begin(), FCookies.end(), among));
  for (; count > limit; --count) {
    auto oldest = FCookies.end();
    for (auto it = FCookies.begin(); it != FCookies.end(); ++it) {
      if (among(*it) && (oldest == FCookies.end() || it->Order < oldest->Order)) oldest = it;
    }
    FCookies.erase(oldest);
  }
}

void TIdCookieManager::DropExpired(TDateTime now) {
  std::erase_if(FCookies,
                [now](const TIdCookie& c) { return c.Persistent && c.ExpiresGMT <= now; });
}

std::string TIdCookieManager::CookieHeaderFor(const TIdURI& uri, bool secure) {
  const TDateTime now = NowGMT();
  {
    // Expired cookies are dropped under the writer's lock, then chosen under the reader's.
    const std::unique_lock<std::shared_mutex> guard(FLock);
    DropExpired(now);
  }
  const std::string path = RequestPath(uri);
  std::vector<const TIdCookie*> chosen;
  const std::shared_lock<std::shared_mutex> guard(FLock);
  for (const TIdCookie& c : FCookies) {
    const bool domainOk =
        c.HostOnly ? SameText(c.Domain, uri.Host) : DomainMatches(uri.Host, c.Domain);
    if (domainOk && PathMatches(path, c.Path) && (!c.Secure || secure)) chosen.push_back(&c);
  }
  // Longer paths first, then the older cookie, as browsers send them.
  std::stable_sort(chosen.begin(), chosen.end(), [](const TIdCookie* a, const TIdCookie* b) {
    if (a->Path.size() != b->Path.size()) return a->Path.size() > b->Path.size();
    return a->Order < b->Order;
  });
  std::string line;
  for (const TIdCookie* c : chosen) {
    if (!line.empty()) line += "; ";
    line += c->Name + "=" + c->Value;
  }
  return line;
}

void TIdCookieManager::GenerateClientCookies(const TIdURI& uri, bool secure,
                                             TIdHeaderList& headers) {
  headers.AppendValue("Cookie", CookieHeaderFor(uri, secure));
}

int TIdCookieManager::CookieCount() const {
  const std::shared_lock<std::shared_mutex> guard(FLock);
  return static_cast<int>(FCookies.size());
}

std::vector<TIdCookie> TIdCookieManager::Cookies() const {
  const std::shared_lock<std::shared_mutex> guard(FLock);
  return FCookies;
}
