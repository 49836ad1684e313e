// URL splitting and merging for the HTTP client. No percent-encoding or decoding
// is done: a target is sent exactly as the URL spells it.
#pragma once

#include <string>
#include <string_view>

#include "rtl/Component.h"
#include "transport/IdException.h"
#include "transport/IdTransportDefs.h"

class EIdURIException : public EIdException {
  using EIdException::EIdException;
};

// The parts of one URL; every field is 8-bit text and empty means absent.
class TIdURI : public TObject {
 public:
  explicit TIdURI(std::string_view url = {});

  void Parse(std::string_view url);
  // Path + Resource, and "?" + Query when there is one; never the fragment.
  std::string PathAndQuery() const;
  // The whole URL; raises EIdURIException without scheme or host.
  std::string Compose(bool withUserInfo, bool withFragment) const;
  // Reading the URL as a whole: stores the full form as URLText and answers
  // the form without user information and fragment.
  std::string URI();

  std::string URLText;
  std::string Scheme;
  std::string Host;
  std::string Port;
  std::string Path;
  std::string Resource;
  std::string Query;
  std::string Fragment;
  std::string Username;
  std::string Password;
  TIdIPVersion IPVersion = TIdIPVersion::Id_IPv4;

 private:
  void Clear();
};

// Backslashes typed as separators before the query become slashes.
std::string NormalizeSlashes(std::string_view url);
// Combines a base path with a new (possibly relative) one, resolving "..".
std::string MergePath(std::string_view basePath, std::string_view newPath);
