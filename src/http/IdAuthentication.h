// HTTP authentication schemes behind a process-wide registry: Basic and Digest
// compute real credentials; NTLM and Negotiate decline at their first step.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "http/IdHeaderList.h"
#include "rtl/Component.h"

enum class TIdAuthWhatsNext { wnAskTheProgram, wnDoRequest, wnFail };

class TIdAuthentication : public TObject {
 public:
  TIdAuthentication();

  // The next step: ask the program for credentials, send a request, or give up.
  virtual TIdAuthWhatsNext Next() = 0;
  // The value of the Authorization line for the current step.
  virtual std::string Authentication() = 0;
  // Back to the first step.
  virtual void Reset() { FCurrentStep = 0; }
  // Told before each request, so that a scheme can sign method and target.
  virtual void SetRequest(std::string_view method, std::string_view uri);
  // Number of steps the scheme needs; a scheme is done after its last one.
  virtual int Steps() const { return 1; }
  int CurrentStep() const { return FCurrentStep; }

  std::string Username;
  std::string Password;
  // The challenges of the response, one per line ("Basic realm=...").
  TIdHeaderList Params;

 protected:
  std::string Method() const { return FMethod; }
  std::string Uri() const { return FUri; }
  int FCurrentStep = 0;

 private:
  std::string FMethod;
  std::string FUri;
};

// The schemes that send a user name and password: credentials that are new
// (or were just asked for) are sent; otherwise the program is asked again, a
// bounded number of times.
class TIdPasswordAuthentication : public TIdAuthentication {
 public:
  void Reset() override;

 protected:
  // send: whether the credentials held now are to go out with the next request.
  TIdAuthWhatsNext SendOrAsk(bool send);
  bool Asked() const { return FAsked; }

 private:
  bool FAsked = false;
  int FAskCount = 0;
};

class TIdBasicAuthentication : public TIdPasswordAuthentication {
 public:
  TIdAuthWhatsNext Next() override;
  std::string Authentication() override;
  std::string Realm() const;
};

class TIdDigestAuthentication : public TIdPasswordAuthentication {
 public:
  TIdAuthWhatsNext Next() override;
  std::string Authentication() override;
  void Reset() override;

  // The client nonce; a fixed one lets tests check the computed response.
  std::string ClientNonce;

 private:
  std::string Challenge() const;
  std::uint32_t FNonceCount = 0;
  std::string FLastNonce;
};

// Windows integrated schemes: not offered by this client, so they decline.
class TIdNTLMAuthentication : public TIdAuthentication {
 public:
  TIdAuthWhatsNext Next() override { return TIdAuthWhatsNext::wnFail; }
  std::string Authentication() override { return {}; }
};
class TIdSSPINTLMAuthentication : public TIdAuthentication {
 public:
  TIdAuthWhatsNext Next() override { return TIdAuthWhatsNext::wnFail; }
  std::string Authentication() override { return {}; }
};

using TIdAuthenticationFactory = std::function<std::unique_ptr<TIdAuthentication>()>;
// The class for a scheme name (any case), or an empty factory.
TIdAuthenticationFactory FindAuthClass(std::string_view scheme);

// Coders the schemes need.
std::string EncodeBase64(std::string_view bytes);
std::string MD5Hex(std::string_view bytes);
