// A download's body that is hashed as it arrives, so that its SHA-256 is ready
// with the last byte instead of after another pass over the whole body.
#pragma once

#include <cstdint>
#include <optional>

#include "http/IdHTTPBodyLimit.h"
#include "trust/Sha256.h"

// A capped memory stream that feeds what is written to it into SHA-256. An
// append is hashed once, as it comes; a write below the bytes hashed, or a size
// cut below them (a download that starts again), restarts the hash over the
// prefix that is kept, so the digest is always that of the content. Only Write
// and SetSize are watched: Clear, LoadFromStream and writes through Memory()
// pass the hash by and are not for this stream.
class THashingMemoryStream : public TIdLimitedMemoryStream {
 public:
  using TIdLimitedMemoryStream::TIdLimitedMemoryStream;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  void SetSize(std::int64_t size) override;
  // SHA-256 of the whole content as it stands now.
  TSha256Digest Digest();

 private:
  // The content changed from byte from on.
  void Changed(std::int64_t from);
  void HashUpTo(std::int64_t end);

  TSha256 FHash;
  std::int64_t FHashed = 0;              // the first FHashed bytes are in FHash, unchanged since
  std::optional<TSha256Digest> FDigest;  // FHash has ended on the content as it stands
};
