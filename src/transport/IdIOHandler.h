// The per-connection I/O handler: input buffering, line, counted, stream and
// skip reads, writes and write buffering. Subclasses supply the socket side.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "rtl/Streams.h"
#include "transport/IdBuffer.h"
#include "transport/IdComponent.h"
#include "transport/IdTransportDefs.h"

// Hooks on a connection's connect and disconnect; none is attached in this system.
class TIdConnectionIntercept : public TIdComponent {
 public:
  using TIdComponent::TIdComponent;
  virtual void Connect(TComponent* connection);
  virtual void Disconnect();
};

inline constexpr int kMaxLineLengthDefault = 16384;
inline constexpr int kRecvBufferSizeDefault = 32768;
inline constexpr int kSendBufferSizeDefault = 32768;
// Time-out arguments: -1 = the handler's ReadTimeout, -2 = no limit.
inline constexpr int kTimeoutDefault = -1;
inline constexpr int IdTimeoutInfinite = -2;
// With an abort flag, waits go in slices of this many ms, so that a stop asked
// for from another thread ends a wait within one slice.
inline constexpr int kAbortPollMs = 100;
// A name look-up that takes longer fails as a failed look-up does; without a
// limit a resolver that never answers would hold the connect for ever.
inline constexpr int kLookupTimeoutDefault = 30000;

class TIdIOHandler : public TIdComponent {
 public:
  explicit TIdIOHandler(TComponent* owner = nullptr);
  ~TIdIOHandler() override;

  // Opening, closing and the state of the connection.
  virtual void Open();
  virtual void Close();
  virtual bool Connected();
  // Notices a peer close; raises EIdConnClosedGracefully when closed, asked to
  // raise, and InBuffer is empty or ignored.
  virtual void CheckClosed(bool raiseWhenClosed = true, bool ignoreBuffer = false);
  virtual bool WaitReadable(int timeout) = 0;

  // Takes in one receive: the count appended, 0 (closed, not raising) or -1 (time-out, not
  // raising). The receive asks for RecvBufferSize bytes, or for as many as the caller
  // still waits for, up to kStreamPieceSize.
  int FillInput(bool raiseWhenClosed = true, int timeout = kTimeoutDefault,
                bool raiseOnTimeout = true, int awaited = 0);
  // Whether more input arrived within the time-out.
  bool PollInput(int timeout = 0);

  // Reading.
  std::string ReadLine(std::string_view terminator = "\n", int timeout = kTimeoutDefault,
                       int maxLength = -1, const TIdTextEncoding* encoding = nullptr);
  void ReadCount(TIdBytes& bytes, int count, bool append = true);
  void ReadToStream(TStream& stream, std::int64_t count = -1, bool untilClose = false);
  void SkipBytes(std::int64_t count);
  void SkipToEnd();

  // Writing.
  void Write(std::string_view text, const TIdTextEncoding* encoding = nullptr);
  void Write(const TIdBytes& bytes, int length = -1, int offset = 0);
  // count < 0: from the position to the end; 0: the whole stream from its start; > 0: count bytes.
  void Write(TStream& stream, std::int64_t count = 0, bool writeCount = false);
  void WriteLine(std::string_view text = "", const TIdTextEncoding* encoding = nullptr);
  void SendDirect(const TIdBytes& bytes, int length = -1, int offset = 0);

  // Write buffering: collects writes until EndBufferedWrite (or a threshold).
  bool IsWriteBuffering() const { return FOutBuffer != nullptr; }
  void BeginBufferedWrite(int threshold = -1);
  void EndBufferedWrite();
  void CancelBufferedWrite();
  void ClearWriteBuffer();
  void FlushWriteBuffer(int count = -1);

  // Settings and state.
  bool LargeStream() const { return FLargeStream; }
  void SetLargeStream(bool value) { FLargeStream = value; }
  bool PeerClosed() const { return FPeerClosed; }
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int value) { FConnectTimeout = value; }
  // ms; negative: no limit.
  int LookupTimeout() const { return FLookupTimeout; }
  void SetLookupTimeout(int value) { FLookupTimeout = value; }
  const std::string& Destination() const { return FDestination; }
  void SetDestination(std::string value) { FDestination = std::move(value); }
  const std::string& Host() const { return FHost; }
  void SetHost(std::string value) { FHost = std::move(value); }
  int Port() const { return FPort; }
  void SetPort(int value) { FPort = value; }
  TIdBuffer& InBuffer() { return *FInBuffer; }
  TIdConnectionIntercept* Intercept() const { return FIntercept; }
  void SetIntercept(TIdConnectionIntercept* value);  // not owned; forgotten when freed
  TIdMaxLineAction MaxLineAction() const { return FMaxLineAction; }
  void SetMaxLineAction(TIdMaxLineAction value) { FMaxLineAction = value; }
  int MaxLineLength() const { return FMaxLineLength; }
  void SetMaxLineLength(int value) { FMaxLineLength = value; }
  bool IsOpen() const { return FIsOpen; }
  bool LineSplit() const { return FLineSplit; }
  bool LineTimedOut() const { return FLineTimedOut; }
  int ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int value) { FReadTimeout = value; }
  int RecvBufferSize() const { return FRecvBufferSize; }
  void SetRecvBufferSize(int value) { FRecvBufferSize = value; }
  int SendBufferSize() const { return FSendBufferSize; }
  void SetSendBufferSize(int value) { FSendBufferSize = value; }
  TIdBuffer* OutBuffer() const { return FOutBuffer.get(); }
  int OutThreshold() const { return FOutThreshold; }
  // A flag that another thread may set to stop this handler's reads and waits
  // (they raise EAbort); none by default. Not owned: it must outlive the handler's use.
  const std::atomic<bool>* AbortFlag() const { return FAbortFlag; }
  void SetAbortFlag(const std::atomic<bool>* flag) { FAbortFlag = flag; }
  // Raises EAbort when the abort flag is set.
  void CheckAbort() const;
  const TIdTextEncoding& WireEncoding() const { return *FWireEncoding; }
  void SetWireEncoding(const TIdTextEncoding& value) { FWireEncoding = &value; }  // not owned

 protected:
  // The socket side, in slot order.
  // Receives up to length bytes into buffer.
  virtual int ReadDataFromSource(std::uint8_t* buffer, int length) = 0;
  virtual int WriteDataToTarget(const TIdBytes& buffer, int offset, int length) = 0;
  virtual bool SourceIsAvailable() const = 0;
  void SetPeerClosed(bool value) { FPeerClosed = value; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  int EffectiveTimeout(int timeout) const;
  bool WaitForInput(int timeout);

  bool FLargeStream = false;
  bool FPeerClosed = false;
  int FConnectTimeout = 0;
  int FLookupTimeout = kLookupTimeoutDefault;
  std::string FDestination;
  std::string FHost;
  std::unique_ptr<TIdBuffer> FInBuffer;
  TIdConnectionIntercept* FIntercept = nullptr;
  TIdMaxLineAction FMaxLineAction = maException;
  int FMaxLineLength = kMaxLineLengthDefault;
  bool FIsOpen = false;
  int FPort = 0;
  bool FLineSplit = false;
  bool FLineTimedOut = false;
  int FReadTimeout = kTimeoutDefault;
  int FRecvBufferSize = kRecvBufferSizeDefault;
  int FSendBufferSize = kSendBufferSizeDefault;
  std::unique_ptr<TIdBuffer> FOutBuffer;
  int FOutThreshold = 0;
  const TIdTextEncoding* FWireEncoding = &AsciiWireEncoding();
  const std::atomic<bool>* FAbortFlag = nullptr;
};
