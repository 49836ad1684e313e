// Authentication schemes and their registry; see IdAuthentication.h.
#include "http/IdAuthentication.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "http/IdHeaderValues.h"
#include "rtl/Text.h"

// ---- coders ---------------------------------------------------------------

std::string EncodeBase64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16 |
                            static_cast<std::uint8_t>(bytes[i + 1]) << 8 |
                            static_cast<std::uint8_t>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

namespace {

// MD5 of RFC 1321, over whole messages only (Digest hashes short texts).
class TMD5 {
 public:
  std::array<std::uint8_t, 16> Hash(std::string_view message) {
    std::vector<std::uint8_t> data(message.begin(), message.end());
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    data.push_back(0x80);
    while (data.size() % 64 != 56) data.push_back(0);
    for (int b = 0; b < 8; ++b) data.push_back(static_cast<std::uint8_t>(bits >> (8 * b)));
    std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (std::size_t block = 0; block < data.size(); block += 64) Transform(h, &data[block]);
    std::array<std::uint8_t, 16> digest{};
    for (int w = 0; w < 4; ++w) {
      for (int b = 0; b < 4; ++b)
        digest[static_cast<std::size_t>(w * 4 + b)] = static_cast<std::uint8_t>(h[w] >> (8 * b));
    }
    return digest;
  }

 private:
  static std::uint32_t Rotl(std::uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

  static void Transform(std::uint32_t h[4], const std::uint8_t* block) {
    static constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    static const std::array<std::uint32_t, 64> kTable = [] {
      std::array<std::uint32_t, 64> t{};
      // K[i] = floor(2^32 * |sin(i + 1)|)
      for (int i = 0; i < 64; ++i)
        t[static_cast<std::size_t>(i)] =
            static_cast<std::uint32_t>(std::fabs(std::sin(i + 1.0)) * 4294967296.0);
      return t;
    }();
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
      m[i] = static_cast<std::uint32_t>(block[i * 4]) |
             static_cast<std::uint32_t>(block[i * 4 + 1]) << 8 |
             static_cast<std::uint32_t>(block[i * 4 + 2]) << 16 |
             static_cast<std::uint32_t>(block[i * 4 + 3]) << 24;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t f = 0;
      int g = 0;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
      }
      const std::uint32_t next = d;
      d = c;
      c = b;
      b = b + Rotl(a + f + kTable[static_cast<std::size_t>(i)] + m[g], kShift[i]);
      a = next;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
  }
};

}  // namespace

std::string MD5Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : TMD5().Hash(bytes)) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

// ---- base -----------------------------------------------------------------

namespace {

// Asking for credentials that never come is given up after this many steps.
constexpr int kMaxAskSteps = 3;

std::string SchemeOf(std::string_view challenge) {
  return std::string(challenge.substr(0, challenge.find(' ')));
}

// The challenge of the given scheme among the response's challenges.
std::string ChallengeFor(const TIdHeaderList& params, std::string_view scheme) {
  for (int i = 0; i < params.Count(); ++i) {
    if (SameText(SchemeOf(params[i]), scheme)) return params[i];
  }
  return {};
}

// Digest parameters are comma-separated name=value pairs, values possibly quoted.
std::string AuthParam(std::string_view challenge, std::string_view name) {
  std::size_t i = challenge.find(' ');
  if (i == std::string_view::npos) return {};
  const std::size_t n = challenge.size();
  while (i < n) {
    while (i < n && (challenge[i] == ' ' || challenge[i] == ',' || challenge[i] == '\t')) ++i;
    const std::size_t eq = challenge.find('=', i);
    if (eq == std::string_view::npos) break;
    const std::string paramName = Trim(challenge.substr(i, eq - i));
    i = eq + 1;
    while (i < n && challenge[i] == ' ') ++i;
    std::string value;
    if (i < n && challenge[i] == '"') {
      for (++i; i < n && challenge[i] != '"'; ++i) {
        if (challenge[i] == '\\' && i + 1 < n) ++i;
        value += challenge[i];
      }
      ++i;
    } else {
      while (i < n && challenge[i] != ',') value += challenge[i++];
      value = Trim(value);
    }
    if (SameText(paramName, name)) return value;
  }
  return {};
}

}  // namespace

TIdAuthentication::TIdAuthentication() : Params(TIdHeaderQuotingType::QuoteHTTP) {}

void TIdAuthentication::SetRequest(std::string_view method, std::string_view uri) {
  FMethod = std::string(method);
  FUri = std::string(uri);
}

// ---- user name and password ----------------------------------------------

void TIdPasswordAuthentication::Reset() {
  TIdAuthentication::Reset();
  FAsked = false;
  FAskCount = 0;
}

TIdAuthWhatsNext TIdPasswordAuthentication::SendOrAsk(bool send) {
  if (send) {
    FAsked = false;
    FCurrentStep = 1;
    return TIdAuthWhatsNext::wnDoRequest;
  }
  if (FAskCount >= kMaxAskSteps) return TIdAuthWhatsNext::wnFail;
  ++FAskCount;
  FAsked = true;
  return TIdAuthWhatsNext::wnAskTheProgram;
}

// ---- Basic ----------------------------------------------------------------

TIdAuthWhatsNext TIdBasicAuthentication::Next() {
  // Credentials sent once and refused are not sent again until new ones are given.
  return SendOrAsk(!Username.empty() && (FCurrentStep == 0 || Asked()));
}

std::string TIdBasicAuthentication::Authentication() {
  return Username.empty() ? std::string() : "Basic " + EncodeBase64(Username + ":" + Password);
}

std::string TIdBasicAuthentication::Realm() const {
  return AuthParam(ChallengeFor(Params, "Basic"), "realm");
}

// ---- Digest ---------------------------------------------------------------

std::string TIdDigestAuthentication::Challenge() const { return ChallengeFor(Params, "Digest"); }

void TIdDigestAuthentication::Reset() {
  TIdPasswordAuthentication::Reset();
  FNonceCount = 0;
  FLastNonce.clear();
}

TIdAuthWhatsNext TIdDigestAuthentication::Next() {
  const std::string challenge = Challenge();
  if (AuthParam(challenge, "nonce").empty()) return TIdAuthWhatsNext::wnFail;
  // A stale nonce means the credentials were right: answer the new nonce.
  const bool stale = SameText(AuthParam(challenge, "stale"), "true");
  return SendOrAsk(!Username.empty() && (FCurrentStep == 0 || stale || Asked()));
}

std::string TIdDigestAuthentication::Authentication() {
  if (Username.empty()) return {};
  const std::string challenge = Challenge();
  const std::string realm = AuthParam(challenge, "realm");
  const std::string nonce = AuthParam(challenge, "nonce");
  const std::string opaque = AuthParam(challenge, "opaque");
  const std::string algorithm = AuthParam(challenge, "algorithm");
  const std::string qopOffered = AuthParam(challenge, "qop");
  // Only "auth" is offered back; "auth-int" would need the body.
  bool qopAuth = false;
  for (std::size_t start = 0; start <= qopOffered.size();) {
    const std::size_t comma = std::min(qopOffered.find(',', start), qopOffered.size());
    qopAuth = qopAuth || SameText(Trim(qopOffered.substr(start, comma - start)), "auth");
    start = comma + 1;
  }
  if (nonce != FLastNonce) {
    FLastNonce = nonce;
    FNonceCount = 0;
  }
  ++FNonceCount;
  std::string cnonce = ClientNonce;
  if (cnonce.empty()) {
    std::random_device random;
    cnonce = IntToHex(random(), 8) + IntToHex(random(), 8);
  }
  const std::string nc = IntToHex(FNonceCount, 8);
  std::string ha1 = MD5Hex(Username + ":" + realm + ":" + Password);
  if (SameText(algorithm, "MD5-sess")) ha1 = MD5Hex(ha1 + ":" + nonce + ":" + cnonce);
  const std::string ha2 = MD5Hex(Method() + ":" + Uri());
  const std::string response =
      qopAuth ? MD5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2)
              : MD5Hex(ha1 + ":" + nonce + ":" + ha2);
  std::string result = "Digest username=\"" + Username + "\", realm=\"" + realm + "\", nonce=\"" +
                       nonce + "\", uri=\"" + Uri() + "\", response=\"" + response + "\"";
  if (!algorithm.empty()) result += ", algorithm=" + algorithm;
  if (!opaque.empty()) result += ", opaque=\"" + opaque + "\"";
  if (qopAuth) result += ", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + "\"";
  return result;
}

// ---- registry -------------------------------------------------------------

TIdAuthenticationFactory FindAuthClass(std::string_view scheme) {
  struct Entry {
    std::string_view Name;
    TIdAuthenticationFactory Make;
  };
  // Filled once, read only afterwards.
  static const Entry kRegistry[] = {
      {"Basic", [] { return std::make_unique<TIdBasicAuthentication>(); }},
      {"Digest", [] { return std::make_unique<TIdDigestAuthentication>(); }},
      {"NTLM", [] { return std::make_unique<TIdNTLMAuthentication>(); }},
      {"Negotiate", [] { return std::make_unique<TIdSSPINTLMAuthentication>(); }},
  };
  for (const Entry& e : kRegistry) {
    if (SameText(e.Name, scheme)) return e.Make;
  }
  return {};
}
