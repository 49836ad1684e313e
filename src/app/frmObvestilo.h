// The notice window: a white band across the work area with a title, a few
// lines and "Potrdi", shown modally over a darkened backdrop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Forms.h"

// Nearest whole number, a half going to the even neighbour.
int RoundHalfEven(double value);

class T_frmObvestilo : public TForm {
 public:
  T_frmObvestilo(TComponent* owner, IPlatform& platform);

  TPanel& Panel1;
  TLabel& _lblTitle;
  TGlowButton& _btnPotrdi;
  TMemo& _status;

  void ClearNotice(const std::string& title);
  void AddLine(const std::string& text);
  void ShowNotice();

  void PlaceNotice();
  void ShowBackdrop();
  int GetTaskbarHeight();

  void FormClose(TObject* Sender, TCloseAction& Action);
  void _btnPotrdiClick(TObject* Sender);
  void _btnPrekliciClick(TObject* Sender);

  // The backdrop of the latest showing while it exists.
  TForm* NoticeBackdrop() const { return FNoticeBackdrop.get(); }
  const std::string& Title() const { return FTitle; }

 private:
  std::string FTitle;
  std::unique_ptr<TForm> FNoticeBackdrop;
  // Backdrops whose notice ended without closing (the end of the program was
  // requested): they stay on the screen until the program exits.
  std::vector<std::unique_ptr<TForm>> FLeftBackdrops;
};
