// URL splitting and merging; see IdURI.h.
#include "http/IdURI.h"

#include "rtl/Text.h"

namespace {

bool IsSlash(char c) { return c == '/' || c == '\\'; }

// The scheme's usual port, compared as text; empty for schemes without one.
std::string_view DefaultPortOf(std::string_view scheme) {
  if (SameText(scheme, "HTTP")) return "80";
  if (SameText(scheme, "HTTPS")) return "443";
  if (SameText(scheme, "FTP")) return "21";
  return {};
}

}  // namespace

std::string NormalizeSlashes(std::string_view url) {
  std::string result(url);
  std::size_t i = 0;
  const std::size_t colon = result.find(':');
  if (colon != std::string::npos) {
    i = colon + 1;
    if (i + 1 < result.size() && IsSlash(result[i]) && IsSlash(result[i + 1])) i += 2;
  }
  // The program's code page (Windows-1250) has no double-byte lead bytes, so
  // every byte stands for itself here.
  for (; i < result.size(); ++i) {
    const char c = result[i];
    if (c == '#' || c == '?') break;
    if (c == '\\') result[i] = '/';
  }
  return result;
}

TIdURI::TIdURI(std::string_view url) {
  if (!url.empty()) Parse(url);
}

void TIdURI::Clear() {
  URLText.clear();
  Scheme.clear();
  Host.clear();
  Port.clear();
  Path.clear();
  Resource.clear();
  Query.clear();
  Fragment.clear();
  Username.clear();
  Password.clear();
  IPVersion = TIdIPVersion::Id_IPv4;
}

void TIdURI::Parse(std::string_view url) {
  Clear();
  URLText = NormalizeSlashes(url);
  std::string w = URLText;

  const std::size_t schemeEnd = w.find("://");
  const bool absolute = schemeEnd != std::string::npos;
  if (absolute) {
    Scheme = w.substr(0, schemeEnd);
    w.erase(0, schemeEnd + 3);
  }

  // "?" is looked for first, so a "#" before a "?" stays in the path.
  if (const std::size_t q = w.find('?'); q != std::string::npos) {
    Query = w.substr(q + 1);
    w.resize(q);
    if (const std::size_t f = Query.find('#'); f != std::string::npos) {
      Fragment = Query.substr(f + 1);
      Query.resize(f);
    }
  } else if (const std::size_t f = w.find('#'); f != std::string::npos) {
    Fragment = w.substr(f + 1);
    w.resize(f);
  }

  if (absolute) {
    std::string authority;
    if (const std::size_t slash = w.find('/'); slash != std::string::npos) {
      authority = w.substr(0, slash);
      w.erase(0, slash + 1);
    } else {
      authority = w;
      w.clear();
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
      const std::string userInfo = authority.substr(0, at);
      authority.erase(0, at + 1);
      const std::size_t colon = userInfo.find(':');
      Username = userInfo.substr(0, colon);
      if (colon != std::string::npos) Password = userInfo.substr(colon + 1);
      if (Username.empty()) Password.clear();
    }
    const std::size_t open = authority.find('[');
    const std::size_t close = authority.find(']');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      Host = authority.substr(open + 1, close - open - 1);
      IPVersion = TIdIPVersion::Id_IPv6;
      if (const std::size_t colon = authority.find(':', close); colon != std::string::npos) {
        Port = authority.substr(colon + 1);
      }
    } else {
      const std::size_t colon = authority.find(':');
      Host = authority.substr(0, colon);
      if (colon != std::string::npos) Port = authority.substr(colon + 1);
    }
    if (const std::size_t last = w.rfind('/'); last != std::string::npos) {
      Path = "/" + w.substr(0, last + 1);
      w.erase(0, last + 1);
    } else {
      Path = "/";
    }
  } else if (const std::size_t last = w.rfind('/'); last != std::string::npos) {
    Path = w.substr(0, last + 1);
    w.erase(0, last + 1);
  }
  Resource = w;
}

std::string TIdURI::PathAndQuery() const {
  std::string result = Path + Resource;
  if (!Query.empty()) result += "?" + Query;
  return result;
}

std::string TIdURI::Compose(bool withUserInfo, bool withFragment) const {
  if (Scheme.empty()) throw EIdURIException("Protocol field is empty");
  if (Host.empty()) throw EIdURIException("Host field is empty");
  std::string result = Scheme + "://";
  if (withUserInfo && !Username.empty()) {
    result += Username;
    if (!Password.empty()) result += ":" + Password;
    result += "@";
  }
  result += IPVersion == TIdIPVersion::Id_IPv6 ? "[" + Host + "]" : Host;
  if (!Port.empty() && Port != DefaultPortOf(Scheme)) result += ":" + Port;
  result += PathAndQuery();
  if (withFragment && !Fragment.empty()) result += "#" + Fragment;
  return result;
}

std::string TIdURI::URI() {
  URLText = Compose(true, true);
  return Compose(false, false);
}

std::string MergePath(std::string_view basePath, std::string_view newPath) {
  if (!newPath.empty() && newPath.front() == '/') return std::string(newPath);
  const bool keepTrailing = newPath.empty() || newPath.back() == '/';
  std::string work(basePath);
  if (!work.empty() && work.back() != '/') work += '/';
  work += newPath;

  std::string result;
  const auto endsWithSlash = [&result] { return !result.empty() && result.back() == '/'; };
  for (std::size_t i = 0; i < work.size(); ++i) {
    const char c = work[i];
    if (c == '/') {
      if (i == 0) {
        result = "/";
      } else if (!endsWithSlash()) {
        result += '/';
      }
    } else if (c == '.' && endsWithSlash() && i + 1 < work.size() && work[i + 1] == '.') {
      // ".." drops the last segment of what was built so far.
      result.pop_back();
      while (!result.empty() && result.back() != '/') result.pop_back();
      ++i;
    } else {
      result += c;
    }
  }
  if (result != "/" && endsWithSlash() && !keepTrailing) result.pop_back();
  return result;
}
