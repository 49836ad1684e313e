// The application on the headless platform with substitute operations; the
// simulated user confirms every notice and the fixture records what it showed.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeOperations.h"
#include "app/Program.h"
#include "app/frmMain.h"
#include "app/frmObvestilo.h"
#include "ui/HeadlessPlatform.h"

struct TNoticeRecord {
  std::string Title;
  std::vector<std::string> Lines;
  TRect Bounds;
  int PanelLeft = 0;
  bool MainVisible = false;
};

class TAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App = std::make_unique<TApplication>(Platform);
    App->SetTitle(kApplicationTitle);
    Main = &App->CreateForm<T_frmMain>(Ops);
    Notice = &App->CreateForm<T_frmObvestilo>();
    Main->SetNoticeWindow(*Notice);
    Platform.ModalHandler = [this](TForm& form) {
      ASSERT_EQ(&form, Notice);
      Notices.push_back({Notice->_lblTitle.Caption(), Notice->_status.Lines().ToVector(), Notice->BoundsRect(),
                         Notice->Panel1.Left(), Main->FormVisible()});
      Platform.Press(Notice->_btnPotrdi);
    };
  }

  void Start() { Main->ShowForm(); }
  // Shows the main window and presses "Potrdi" as the user would.
  void RunInstall() {
    Start();
    Platform.Press(Main->_btnPotrdi);
  }

  std::vector<std::string> Log() const { return Main->_memoPotek.Lines().ToVector(); }
  std::vector<std::pair<std::string, int>> Rows() const {
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 0; i < Main->_lstPostavke.ItemCount(); ++i) {
      const TListItem& item = Main->_lstPostavke.Item(i);
      rows.emplace_back(item.SubItems().at(1), item.StateIndex());
    }
    return rows;
  }

  THeadlessPlatform Platform;
  TFakeOperations Ops;
  std::unique_ptr<TApplication> App;
  T_frmMain* Main = nullptr;
  T_frmObvestilo* Notice = nullptr;
  std::vector<TNoticeRecord> Notices;
};
