// The header sets of request and response: typed fields derived from the raw
// header lines (DeriveFields) and written back to them (BuildHeaderLines).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/IdAuthentication.h"
#include "http/IdHeaderList.h"
#include "rtl/DateTime.h"
#include "rtl/Streams.h"

// How a message's body is delimited, read from its header lines (RFC 9112
// section 6.3). A transfer coding overrides any Content-Length.
struct TIdBodyFraming {
  bool TransferCoded = false;         // a Transfer-Encoding names a coding
  bool Chunked = false;               // ... and chunked is its final one
  bool ContentLengthPresent = false;  // a Content-Length line is there, valid or not
  std::int64_t ContentLength = -1;    // -1: none that counts
  std::string Problem;                // why the framing cannot be trusted; empty when it can
};
TIdBodyFraming FramingOf(const TIdHeaderList& lines);

class TIdEntityHeaderInfo : public TObject {
 public:
  TIdEntityHeaderInfo();

  virtual void DeriveFields();
  virtual void BuildHeaderLines();
  virtual void ResetFields();

  bool LengthKnown() const { return ContentLength >= 0; }

  std::string CacheControl;
  std::string CharSet;
  std::string Connection;
  std::string ContentDisposition;
  std::string ContentEncoding;
  std::string ContentLanguage;
  std::int64_t ContentLength = -1;
  std::int64_t ContentRangeEnd = -1;
  std::int64_t ContentRangeStart = -1;
  std::int64_t ContentRangeInstanceLength = -1;
  std::string ContentRangeUnits;
  std::string ContentType;  // without its charset parameter
  std::string ContentVersion;
  TIdHeaderList CustomHeaders;
  TDateTime Date = 0;
  std::string ETag;
  TDateTime Expires = 0;
  TDateTime LastModified = 0;
  std::string Pragma;
  std::string TransferEncoding;
  TIdHeaderList HeaderLines;

 protected:
  void ResetEntityFields();
  void DeriveEntityFields();
  void BuildEntityLines();
};

// One byte range: start and end, or a suffix length; -1 where not given.
struct TIdEntityRange {
  std::int64_t StartPos = -1;
  std::int64_t EndPos = -1;
  std::int64_t SuffixLength = -1;
};

class TIdEntityRanges {
 public:
  std::vector<TIdEntityRange> Items;
  std::string Units = "bytes";
  // "bytes=0-99,200-,-50"; empty without ranges.
  std::string Text() const;
  void Clear() { Items.clear(); }
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdRequestHeaderInfo();

  void BuildHeaderLines() override;
  void ResetFields() override;

  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  bool BasicAuthentication = false;
  std::string Host;
  std::string From;
  std::string Password;
  std::string Referer;
  std::string UserAgent;
  std::string Username;
  std::string ProxyConnection;
  TIdEntityRanges Ranges;
  std::string Range() const { return Ranges.Text(); }
  std::string MethodOverride;
  std::unique_ptr<TIdAuthentication> Authenticator;

 protected:
  void ResetRequestFields();
};

// The header set an HTML body announces with meta http-equiv tags.
class TIdMetaHTTPEquiv : public TIdEntityHeaderInfo {
 public:
  // Scans the whole stream from its start; leaves its position at the end.
  void ProcessMetaHTTPEquiv(TStream& stream);
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
 public:
  TIdResponseHeaderInfo();

  void DeriveFields() override;
  void ResetFields() override;

  std::string AcceptPatch;
  std::string AcceptRanges;
  std::string Location;
  std::string ProxyConnection;
  std::string Server;
  TIdHeaderList ProxyAuthenticate;
  TIdHeaderList WWWAuthenticate;
  TIdMetaHTTPEquiv MetaEquiv;
  TIdBodyFraming Framing;

  // Writes the tags found in an HTML body into the response's headers.
  void ApplyMetaEquiv();

 protected:
  void ResetResponseFields();
};
