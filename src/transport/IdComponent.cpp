#include "transport/IdComponent.h"

#include "transport/IdStack.h"

const char* StatusFormat(TIdStatus status) {
  switch (status) {
    case hsResolving:
      return "Resolving hostname %s.";
    case hsConnecting:
      return "Connecting to %s.";
    case hsConnected:
      return "Connected.";
    case hsDisconnecting:
      return "Disconnecting.";
    case hsDisconnected:
      return "Disconnected.";
    case hsStatusText:
    case ftpTransfer:
    case ftpReady:
    case ftpAborted:
      return "%s";
  }
  return "%s";
}

TIdComponent::TIdComponent(TComponent* owner) : TIdBaseComponent(owner) { AcquireStack(); }

TIdComponent::~TIdComponent() { ReleaseStack(); }

void TIdComponent::ReportStatus(TIdStatus status, std::initializer_list<TFormatArg> args) {
  if (!OnStatus) return;
  static const TFormatSettings english;  // fixed English number settings
  const std::string text = args.size() == 0 ? Format(StatusFormat(status), {""}, english)
                                            : Format(StatusFormat(status), args, english);
  OnStatus(this, status, text);
}

void TIdComponent::WorkStart(TWorkMode mode, std::int64_t countMax) {
  if (FWorkForward != nullptr) {
    FWorkForward->WorkStart(mode, countMax);
    return;
  }
  TWorkInfo& info = FWorkInfos[mode];
  ++info.Level;
  if (info.Level == 1) {
    info.CountMax = countMax;
    info.Count = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, countMax);
  }
}

void TIdComponent::WorkProgress(TWorkMode mode, std::int64_t count) {
  if (FWorkForward != nullptr) {
    FWorkForward->WorkProgress(mode, count);
    return;
  }
  TWorkInfo& info = FWorkInfos[mode];
  if (info.Level < 1) return;
  info.Count += count;
  if (OnWork) OnWork(this, mode, info.Count);
}

void TIdComponent::WorkEnd(TWorkMode mode) {
  if (FWorkForward != nullptr) {
    FWorkForward->WorkEnd(mode);
    return;
  }
  TWorkInfo& info = FWorkInfos[mode];
  if (info.Level == 1 && OnWorkEnd) OnWorkEnd(this, mode);
  // An unmatched end must not leave the level below 0, or the next phase would never begin.
  if (info.Level > 0) --info.Level;
}
