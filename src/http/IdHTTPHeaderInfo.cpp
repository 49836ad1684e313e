// Header sets of request and response; see IdHTTPHeaderInfo.h.
#include "http/IdHTTPHeaderInfo.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "http/IdHeaderValues.h"
#include "rtl/Text.h"

namespace {

constexpr double kOneSecond = 1.0 / 86400.0;

// A date header as local time; 0 when it does not parse (never an error).
TDateTime LocalDateOf(const std::string& value) {
  TDateTime gmt = 0;
  if (value.empty() || !TryParseHttpDateGMT(value, gmt)) return 0;
  return GMTToLocalTime(gmt);
}

TDateTime ExpiresOf(const std::string& value) {
  if (value.empty()) return 0;
  std::int64_t seconds = 0;
  const bool numeric = TryParseDecimal64(value, seconds) && value.find('+') == std::string::npos;
  if (numeric) {
    // A count of seconds from now; a negative one means no date.
    return seconds < 0 ? 0 : NowLocal() + static_cast<double>(seconds) * kOneSecond;
  }
  TDateTime gmt = 0;
  // Not a date: already expired.
  return TryParseHttpDateGMT(value, gmt) ? GMTToLocalTime(gmt) : NowLocal() - kOneSecond;
}

std::int64_t NumberOrAbsent(std::string_view text) {
  std::int64_t v = -1;
  return TryParseDecimal64(text, v) && v >= 0 ? v : -1;
}

// Only plain decimal digits: no sign, no blank inside, no list, nothing past 63 bits.
bool TryParseLength(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return TryParseDecimal64(text, value);
}

// The header names that decide where a body ends; nothing but the header block sets them.
bool IsFramingHeader(std::string_view name) {
  return SameText(name, "Content-Length") || SameText(name, "Transfer-Encoding") ||
         SameText(name, "Content-Encoding");
}

constexpr int kMaxMetaTags = 100;

}  // namespace

namespace {

// The codings of every Transfer-Encoding line, in order, lower case.
std::vector<std::string> TransferCodingsOf(const TIdHeaderList& lines) {
  TStringList values;
  lines.Collect("Transfer-Encoding", values);
  std::vector<std::string> codings;
  for (int i = 0; i < values.Count(); ++i) {
    std::string_view rest = values[i];
    for (;;) {
      const std::size_t comma = rest.find(',');
      const std::string coding = Trim(rest.substr(0, comma));
      if (!coding.empty()) codings.push_back(LowerCase(coding));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return codings;
}

bool IsChunkedCoding(const std::string& coding) {
  return Trim(coding.substr(0, coding.find(';'))) == "chunked";
}

// Every Content-Length line must be plain digits, and repeated lines must agree
// (RFC 9110 section 8.6): otherwise there is no length to trust.
void ReadContentLength(const TStringList& lengths, TIdBodyFraming& f) {
  for (int i = 0; i < lengths.Count(); ++i) {
    std::int64_t value = -1;
    if (!TryParseLength(lengths[i], value)) {
      f.Problem = Format("Invalid Content-Length \"%s\".", {Excerpt(lengths[i])});
    } else if (i > 0 && value != f.ContentLength) {
      f.Problem = Format("Conflicting Content-Length values \"%s\" and \"%s\".",
                         {Excerpt(lengths[0]), Excerpt(lengths[i])});
    }
    if (!f.Problem.empty()) {
      f.ContentLength = -1;
      return;
    }
    f.ContentLength = value;
  }
}

}  // namespace

TIdBodyFraming FramingOf(const TIdHeaderList& lines) {
  TIdBodyFraming f;
  const std::vector<std::string> codings = TransferCodingsOf(lines);
  f.TransferCoded = !codings.empty();
  if (f.TransferCoded) {
    f.Chunked = IsChunkedCoding(codings.back());
    // Chunked twice would leave a chunked body after the one decoding.
    if (std::count_if(codings.begin(), codings.end(), IsChunkedCoding) > 1) {
      std::string all;
      for (const std::string& c : codings) all += (all.empty() ? "" : ", ") + c;
      f.Problem = Format("Invalid Transfer-Encoding \"%s\".", {Excerpt(all)});
    }
  }
  TStringList lengths;
  lines.Collect("Content-Length", lengths);
  f.ContentLengthPresent = !lengths.Empty();
  // With a transfer coding the length is not used, so it cannot mislead.
  if (!f.TransferCoded) ReadContentLength(lengths, f);
  return f;
}

// ---- entity ---------------------------------------------------------------

TIdEntityHeaderInfo::TIdEntityHeaderInfo() { ResetEntityFields(); }

void TIdEntityHeaderInfo::ResetEntityFields() {
  CacheControl.clear();
  CharSet.clear();
  Connection.clear();
  ContentVersion.clear();
  ContentDisposition.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType.clear();
  ContentRangeUnits.clear();
  ETag.clear();
  ContentLength = -1;
  ContentRangeStart = -1;
  ContentRangeEnd = -1;
  ContentRangeInstanceLength = -1;
  Date = 0;
  Expires = 0;
  LastModified = 0;
  HeaderLines.Clear();
}

void TIdEntityHeaderInfo::ResetFields() { ResetEntityFields(); }

void TIdEntityHeaderInfo::DeriveFields() { DeriveEntityFields(); }

void TIdEntityHeaderInfo::DeriveEntityFields() {
  const TIdHeaderList& h = HeaderLines;
  CacheControl = h.ValueOf("Cache-control");
  Connection = h.ValueOf("Connection");
  ContentVersion = h.ValueOf("Content-Version");
  ContentDisposition = h.ValueOf("Content-Disposition");
  ContentEncoding = h.ValueOf("Content-Encoding");
  ContentLanguage = h.ValueOf("Content-Language");

  const std::string type = h.ValueOf("Content-Type");
  if (type.empty()) {
    ContentType.clear();
    CharSet.clear();
  } else {
    ContentType = HeaderMainItem(type);
    bool haveCharset = false;
    for (const THeaderParam& p : HeaderParams(type)) {
      if (SameText(p.first, "charset")) {
        if (!haveCharset) CharSet = p.second;
        haveCharset = true;
      } else {
        ContentType += FormatHeaderParam(p);
      }
    }
    if (!haveCharset && IsMediaType(type, "text")) {
      const std::string sub = LowerCase(MediaSubtype(type));
      const bool xml = sub == "xml" || sub == "xml-external-parsed-entity" ||
                       (sub.size() >= 4 && sub.compare(sub.size() - 4, 4, "+xml") == 0);
      CharSet = xml ? "us-ascii" : "ISO-8859-1";
    }
  }

  ContentLength = FramingOf(h).ContentLength;

  ContentRangeUnits.clear();
  ContentRangeStart = ContentRangeEnd = ContentRangeInstanceLength = -1;
  if (const std::string range = h.ValueOf("Content-Range"); !range.empty()) {
    const std::size_t space = range.find(' ');
    ContentRangeUnits = range.substr(0, space);
    const std::string rest =
        space == std::string::npos ? std::string() : Trim(range.substr(space + 1));
    const std::size_t slash = rest.find('/');
    const std::string span = rest.substr(0, slash);
    const std::size_t dash = span.find('-');
    ContentRangeStart = NumberOrAbsent(span.substr(0, dash));
    if (dash != std::string::npos) ContentRangeEnd = NumberOrAbsent(span.substr(dash + 1));
    if (slash != std::string::npos) {
      const std::string total = rest.substr(slash + 1);
      ContentRangeInstanceLength = NumberOrAbsent(total.substr(0, total.find(' ')));
    }
  }

  const std::string date = h.ValueOf("Date");
  Date = date.empty() ? NowLocal() : LocalDateOf(date);
  LastModified = LocalDateOf(h.ValueOf("Last-Modified"));
  Expires = ExpiresOf(h.ValueOf("Expires"));

  ETag = h.ValueOf("ETag");
  Pragma = h.ValueOf("Pragma");
  TransferEncoding = h.ValueOf("Transfer-Encoding");
}

void TIdEntityHeaderInfo::BuildHeaderLines() {
  HeaderLines.Clear();
  BuildEntityLines();
  if (!CustomHeaders.Empty()) HeaderLines.AddStrings(CustomHeaders);
}

void TIdEntityHeaderInfo::BuildEntityLines() {
  TIdHeaderList& h = HeaderLines;
  h.PutValue("Connection", Connection);
  h.PutValue("Content-Version", ContentVersion);
  h.PutValue("Content-Disposition", ContentDisposition);
  h.PutValue("Content-Encoding", ContentEncoding);
  h.PutValue("Content-Language", ContentLanguage);
  if (!ContentType.empty()) {
    h.PutValue("Content-Type",
               CharSet.empty() ? ContentType : ContentType + "; charset=" + CharSet);
  }
  if (ContentLength >= 0) h.PutValue("Content-Length", IntToStr(ContentLength));
  h.PutValue("Cache-control", CacheControl);
  if (Date != 0) h.PutValue("Date", LocalDateTimeToHttpStr(Date));
  h.PutValue("ETag", ETag);
  if (Expires != 0) h.PutValue("Expires", LocalDateTimeToHttpStr(Expires));
  h.PutValue("Pragma", Pragma);
  h.PutValue("Transfer-Encoding", TransferEncoding);
}

// ---- request --------------------------------------------------------------

std::string TIdEntityRanges::Text() const {
  std::string text;
  for (const TIdEntityRange& r : Items) {
    std::string one;
    if (r.StartPos >= 0) {
      one = IntToStr(r.StartPos) + "-" + (r.EndPos >= 0 ? IntToStr(r.EndPos) : std::string());
    } else if (r.SuffixLength >= 0) {
      one = "-" + IntToStr(r.SuffixLength);
    } else {
      continue;
    }
    text += (text.empty() ? Units + "=" : ",") + one;
  }
  return text;
}

TIdRequestHeaderInfo::TIdRequestHeaderInfo() { ResetRequestFields(); }

void TIdRequestHeaderInfo::ResetFields() {
  ResetEntityFields();
  ResetRequestFields();
}

void TIdRequestHeaderInfo::ResetRequestFields() {
  Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  UserAgent = "Mozilla/3.0 (compatible; Tramela Setup)";
  AcceptCharSet.clear();
  MethodOverride.clear();
  Ranges.Clear();
  BasicAuthentication = false;
}

void TIdRequestHeaderInfo::BuildHeaderLines() {
  TIdEntityHeaderInfo::BuildHeaderLines();
  TIdHeaderList& h = HeaderLines;
  h.PutValue("Proxy-Connection", ProxyConnection);
  h.PutValue("Host", Host);
  h.PutValue("Accept", Accept);
  h.PutValue("Accept-Charset", AcceptCharSet);
  h.PutValue("Accept-Encoding", AcceptEncoding);
  h.PutValue("Accept-Language", AcceptLanguage);
  h.PutValue("From", From);
  h.PutValue("Referer", Referer);
  h.PutValue("User-Agent", UserAgent);
  h.PutValue("Range", Range());
  if (LastModified != 0) h.PutValue("If-Modified-Since", LocalDateTimeToHttpStr(LastModified));
  if (!Authenticator && BasicAuthentication) {
    Authenticator = std::make_unique<TIdBasicAuthentication>();
    Authenticator->Username = Username;
    Authenticator->Password = Password;
  }
  if (Authenticator) h.PutValue("Authorization", Authenticator->Authentication());
  h.PutValue("X-HTTP-Method-Override", MethodOverride);
}

// ---- response -------------------------------------------------------------

TIdResponseHeaderInfo::TIdResponseHeaderInfo() { ResetResponseFields(); }

void TIdResponseHeaderInfo::ResetFields() {
  ResetEntityFields();
  ResetResponseFields();
}

void TIdResponseHeaderInfo::ResetResponseFields() {
  ContentType.clear();
  CharSet.clear();
  Location.clear();
  Server.clear();
  AcceptPatch.clear();
  AcceptRanges.clear();
  ProxyAuthenticate.Clear();
  WWWAuthenticate.Clear();
  MetaEquiv.ResetFields();
  Framing = {};
}

void TIdResponseHeaderInfo::DeriveFields() {
  DeriveEntityFields();
  const TIdHeaderList& h = HeaderLines;
  Framing = FramingOf(h);
  Location = h.ValueOf("Location");
  Server = h.ValueOf("Server");
  ProxyConnection = h.ValueOf("Proxy-Connection");
  WWWAuthenticate.Clear();
  h.Collect("WWW-Authenticate", WWWAuthenticate);
  ProxyAuthenticate.Clear();
  h.Collect("Proxy-Authenticate", ProxyAuthenticate);
  AcceptPatch = h.ValueOf("Accept-Patch");
  AcceptRanges = h.ValueOf("Accept-Ranges");
}

void TIdResponseHeaderInfo::ApplyMetaEquiv() {
  const TIdHeaderList& meta = MetaEquiv.HeaderLines;
  if (!meta.Empty()) {
    for (int i = 0; i < meta.Count(); ++i) {
      const std::string name = TIdHeaderList::LineName(meta[i]);
      // A page may describe itself, but never where the answer that carries it ends.
      if (!Trim(name).empty() && !IsFramingHeader(Trim(name)))
        HeaderLines.PutValue(name, TrimLeft(meta[i].substr(name.size() + 1)));
    }
    DeriveFields();
  }
  if (!MetaEquiv.CharSet.empty()) CharSet = MetaEquiv.CharSet;
}

// ---- meta http-equiv scan -------------------------------------------------

namespace {

// Reads the tags of an HTML head; one character per byte.
class TMetaScanner {
 public:
  explicit TMetaScanner(std::string_view text) : FText(text) {}

  void Run(TIdHeaderList& lines, std::string& charset) {
    enum class State { BeforeHtml, InHtml, InHead };
    State state = State::BeforeHtml;
    int metaTags = 0;
    while (NextTag()) {
      const std::string word = UpperCase(Word());
      switch (state) {
        case State::BeforeHtml:
          if (word == "HTML") state = State::InHtml;
          SkipToTagEnd();
          break;
        case State::InHtml:
          // A title before any head ends the recognition: nothing more counts.
          if (word == "BODY" || word == "TITLE") return;
          if (word == "HEAD") state = State::InHead;
          SkipToTagEnd();
          break;
        case State::InHead:
          if (word == "BODY") return;
          if (word == "TITLE" || word == "SCRIPT") {
            SkipToClosingTag(word);
          } else if (word == "META") {
            // A page of endless tags would otherwise grow the header set without bound.
            if (++metaTags > kMaxMetaTags) return;
            Meta(lines, charset);
          } else {
            SkipToTagEnd();
          }
          break;
      }
    }
  }

 private:
  static bool IsSpace(char c) {
    return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
  }
  static bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':' ||
           c == '.';
  }
  char Peek() const { return FPos < FText.size() ? FText[FPos] : '\0'; }
  bool AtEnd() const { return FPos >= FText.size(); }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(FText[FPos])) ++FPos;
  }

  // Moves past the next "<" (and a "?", and whole comments); false at the end.
  bool NextTag() {
    for (;;) {
      const std::size_t lt = FText.find('<', FPos);
      if (lt == std::string_view::npos) {
        FPos = FText.size();
        return false;
      }
      FPos = lt + 1;
      if (Peek() == '?') ++FPos;
      if (FText.compare(FPos, 3, "!--") == 0) {
        const std::size_t end = FText.find("-->", FPos + 3);
        FPos = end == std::string::npos ? FText.size() : end + 3;
        continue;
      }
      SkipSpace();
      return true;
    }
  }

  std::string Word() {
    const std::size_t start = FPos;
    while (!AtEnd() && IsWordChar(FText[FPos])) ++FPos;
    return std::string(FText.substr(start, FPos - start));
  }

  void SkipToTagEnd() {
    const std::size_t gt = FText.find('>', FPos);
    FPos = gt == std::string::npos ? FText.size() : gt + 1;
  }

  void SkipToClosingTag(const std::string& word) {
    SkipToTagEnd();
    while (NextTag()) {
      if (Peek() == '/') {
        ++FPos;
        SkipSpace();
        if (SameText(Word(), word)) {
          SkipToTagEnd();
          return;
        }
      }
    }
  }

  // A quoted value, or a word up to a blank or ">".
  std::string Value() {
    SkipSpace();
    const char quote = Peek();
    if (quote == '"' || quote == '\'') {
      const std::size_t close = FText.find(quote, FPos + 1);
      const std::size_t end = close == std::string::npos ? FText.size() : close;
      std::string value(FText.substr(FPos + 1, end - FPos - 1));
      FPos = close == std::string::npos ? end : end + 1;
      return value;
    }
    const std::size_t start = FPos;
    while (!AtEnd() && !IsSpace(FText[FPos]) && FText[FPos] != '>') ++FPos;
    return std::string(FText.substr(start, FPos - start));
  }

  // Name, blanks and "="; false when there is no "=".
  bool Attribute(std::string& name) {
    SkipSpace();
    name = Word();
    SkipSpace();
    if (Peek() != '=') return false;
    ++FPos;
    return true;
  }

  void Meta(TIdHeaderList& lines, std::string& charset) {
    std::string name;
    if (!Attribute(name)) {
      SkipToTagEnd();
      return;
    }
    if (SameText(name, "charset")) {
      charset = Value();
      SkipToTagEnd();
      return;
    }
    if (!SameText(name, "HTTP-EQUIV")) {
      SkipToTagEnd();
      return;
    }
    const std::string header = Value();
    std::string content;
    for (;;) {
      SkipSpace();
      if (Peek() == '/') ++FPos;
      SkipSpace();
      if (AtEnd() || Peek() == '>') break;
      std::string attr;
      const bool hasValue = Attribute(attr);
      if (attr.empty() && !hasValue) {
        ++FPos;  // a stray character: never loop on it
        continue;
      }
      const std::string value = hasValue ? Value() : std::string();
      if (SameText(attr, "CONTENT")) content += (content.empty() ? "" : " ") + value;
    }
    if (Peek() == '>') ++FPos;
    lines.Add(header + ": " + content);
  }

  std::string_view FText;
  std::size_t FPos = 0;
};

}  // namespace

void TIdMetaHTTPEquiv::ProcessMetaHTTPEquiv(TStream& stream) {
  std::string charset;
  TIdHeaderList found;
  // A memory stream is scanned in place: the body is not copied.
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    const auto bytes = memory->Bytes();
    TMetaScanner(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
        .Run(found, charset);
    memory->Seek(0, TSeekOrigin::soEnd);
  } else {
    stream.SetPosition(0);
    std::string text(static_cast<std::size_t>(stream.Size()), '\0');
    text.resize(
        static_cast<std::size_t>(stream.Read(text.data(), static_cast<std::int64_t>(text.size()))));
    TMetaScanner(text).Run(found, charset);
  }
  if (!found.Empty()) {
    HeaderLines.Assign(found);
    DeriveFields();
  }
  if (!charset.empty()) CharSet = charset;
}
