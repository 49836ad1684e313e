// The application on the headless platform with substitute operations; the
// simulated user confirms every notice and the fixture records what it showed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "FakeOperations.h"
#include "app/Program.h"
#include "app/frmMain.h"
#include "app/frmObvestilo.h"
#include "ui/HeadlessPlatform.h"

// The signed packages and keys made for the tests (make-fixtures.sh).
inline std::string AppFixture(const std::string& name) {
  const char* dir = std::getenv("TRAMELA_APP_FIXTURES");
  if (dir == nullptr || *dir == 0)
    throw std::runtime_error("TRAMELA_APP_FIXTURES is not set; run through ctest");
  std::ifstream in(std::string(dir) + "/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("no fixture " + name);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A public key from its fixture line "KEY-ID-HEX POINT-HEX".
inline TPackagePublicKey FixtureKey(const std::string& name) {
  std::istringstream line(AppFixture(name));
  std::string id, point;
  line >> id >> point;
  TPackagePublicKey key{};
  const auto fill = [](const std::string& hex, std::uint8_t* out, std::size_t n) {
    if (hex.size() != 2 * n) throw std::runtime_error("bad key fixture");
    for (std::size_t i = 0; i < n; ++i)
      out[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  };
  fill(id, key.KeyId.data(), key.KeyId.size());
  fill(point, key.Point.data(), key.Point.size());
  return key;
}

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
    // A package signed by the one key the window trusts.
    Ops.Body = AppFixture("package.zip");
    Ops.Sig = AppFixture("package.zip.sig");
    Launch();
  }

  // A new start of the program on the same operations (the same drive C:).
  void Restart() {
    App.reset();
    Notices.clear();
    Launch();
  }

  void Launch() {
    App = std::make_unique<TApplication>(Platform);
    App->SetTitle(kApplicationTitle);
    Main = &App->CreateForm<T_frmMain>(Ops, std::span<const TPackagePublicKey>(Keys), MinVersion);
    Notice = &App->CreateForm<T_frmObvestilo>();
    Main->SetNoticeWindow(*Notice);
    Platform.ModalHandler = [this](TForm& form) {
      ASSERT_EQ(&form, Notice);
      Notices.push_back({Notice->_lblTitle.Caption(), Notice->_status.Lines().ToVector(),
                         Notice->BoundsRect(), Notice->Panel1.Left(), Main->FormVisible()});
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
  std::vector<TPackagePublicKey> Keys{FixtureKey("test-key.txt")};
  // The package fixtures are signed as version 7: exactly the floor.
  std::int32_t MinVersion = 7;
  std::unique_ptr<TApplication> App;
  T_frmMain* Main = nullptr;
  T_frmObvestilo* Notice = nullptr;
  std::vector<TNoticeRecord> Notices;
};
