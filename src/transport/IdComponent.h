// The base of every transport component: it holds a count on the socket
// stack, reports status texts and counts the bytes of read and write phases.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "rtl/Component.h"
#include "rtl/Text.h"

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};

enum TWorkMode { wmRead, wmWrite };

using TIdStatusEvent =
    std::function<void(TObject* Sender, TIdStatus status, const std::string& text)>;
using TWorkEvent = std::function<void(TObject* Sender, TWorkMode mode, std::int64_t count)>;
using TWorkBeginEvent = std::function<void(TObject* Sender, TWorkMode mode, std::int64_t countMax)>;
using TWorkEndEvent = std::function<void(TObject* Sender, TWorkMode mode)>;

// The text format of each status.
const char* StatusFormat(TIdStatus status);

class TIdBaseComponent : public TComponent {
 public:
  explicit TIdBaseComponent(TComponent* owner = nullptr) : TComponent(owner) {}
};

class TIdComponent : public TIdBaseComponent {
 public:
  // Acquires the socket stack; raises what its creation raises.
  explicit TIdComponent(TComponent* owner = nullptr);
  ~TIdComponent() override;

  TIdStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

  // Formats and reports only when OnStatus is assigned.
  void ReportStatus(TIdStatus status, std::initializer_list<TFormatArg> args = {});
  void WorkStart(TWorkMode mode, std::int64_t countMax);
  void WorkProgress(TWorkMode mode, std::int64_t count);
  void WorkEnd(TWorkMode mode);

  TIdComponent* WorkForward() const { return FWorkForward; }
  void SetWorkForward(TIdComponent* target) { FWorkForward = target; }  // we don't own it

 private:
  struct TWorkInfo {
    std::int64_t Count = 0;
    std::int64_t CountMax = 0;
    int Level = 0;
  };
  TWorkInfo FWorkInfos[2];
  TIdComponent* FWorkForward = nullptr;
};

// One work phase held open for a scope: WorkStart now, WorkEnd on every way
// out, an exception included.
class TIdWorkScope {
 public:
  TIdWorkScope(TIdComponent& component, TWorkMode mode, std::int64_t countMax = 0)
      : FComponent(component), FMode(mode) {
    FComponent.WorkStart(FMode, countMax);
  }
  TIdWorkScope(const TIdWorkScope&) = delete;
  TIdWorkScope& operator=(const TIdWorkScope&) = delete;
  ~TIdWorkScope() { FComponent.WorkEnd(FMode); }

 private:
  TIdComponent& FComponent;
  TWorkMode FMode;
};
