// Forms: show order, modal showing and its end, closing, the framework's
// guard around handlers, and the application's run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "ControlTree.h"
#include "rtl/Exceptions.h"
#include "ui/Forms.h"
#include "ui/HeadlessPlatform.h"
#include "ui/LongOperation.h"

namespace {

TEST(FormsTest, OnShowRunsBeforeTheWindowIsVisibleAndItsErrorIsBoxed) {
  THeadlessPlatform platform;
  TForm form(nullptr, platform);
  bool visibleInShow = true;
  form.OnShow = [&](TObject*) {
    visibleInShow = form.FormVisible();
    throw Exception("show failed");
  };
  form.ShowForm();
  EXPECT_FALSE(visibleInShow);
  EXPECT_TRUE(form.FormVisible());  // still shown
  EXPECT_EQ(platform.ErrorBoxes, std::vector<std::string>{"show failed"});
}

TEST(FormsTest, ModalShowingEndsWithCloseAndRunsOnClose) {
  THeadlessPlatform platform;
  TForm form(nullptr, platform);
  int closes = 0;
  form.OnClose = [&](TObject*, TCloseAction&) { ++closes; };
  platform.ModalHandler = [&](TForm& f) { f.Close(); };
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(form.FormVisible());
  EXPECT_FALSE(form.Modal());
}

TEST(FormsTest, CloseActionNoneKeepsTheModalShowing) {
  THeadlessPlatform platform;
  TForm form(nullptr, platform);
  int attempts = 0;
  form.OnClose = [&](TObject*, TCloseAction& action) {
    if (++attempts == 1) action = TCloseAction::caNone;
  };
  platform.ModalHandler = [&](TForm& f) { f.SetModalResult(TModalResult::mrOk); };
  EXPECT_EQ(form.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(attempts, 2);
}

TEST(FormsTest, QuitTakenDuringModalShowingEndsItWithoutOnClose) {
  THeadlessPlatform platform;
  TForm form(nullptr, platform);
  bool closed = false;
  form.OnClose = [&](TObject*, TCloseAction&) { closed = true; };
  platform.ModalHandler = [&](TForm&) { platform.PostQuit(); };
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(platform.Terminated());
}

TEST(FormsTest, ClosingTheMainFormEndsTheApplication) {
  THeadlessPlatform platform;
  TApplication app(platform);
  TForm& main = app.CreateForm<TForm>();
  TForm& other = app.CreateForm<TForm>();
  EXPECT_EQ(app.MainForm(), &main);
  other.ShowForm();
  other.Close();
  EXPECT_FALSE(platform.QuitPending());
  app.Run();  // the default user closes the main form
  EXPECT_TRUE(app.Terminated());
}

TEST(FormsTest, GuardedDispatchBoxesOnlyExceptions) {
  THeadlessPlatform platform;
  DispatchGuarded(platform, [] {});
  DispatchGuarded(platform, [] { throw std::runtime_error("plain"); });
  DispatchGuarded(platform, [] { throw EConvertError("'x' is not a valid integer value"); });
  EXPECT_EQ(platform.ErrorBoxes,
            (std::vector<std::string>{"plain", "'x' is not a valid integer value"}));
}

TEST(FormsTest, PressIgnoresDisabledOrHiddenButtons) {
  THeadlessPlatform platform;
  TForm form(nullptr, platform);
  auto& button = AddControl<TGlowButton>(form);
  int clicks = 0;
  button.OnClick = [&](TObject* sender) {
    EXPECT_EQ(sender, &button);
    ++clicks;
  };
  platform.Press(button);  // form not shown
  form.ShowForm();
  button.SetEnabled(false);
  platform.Press(button);
  button.SetEnabled(true);
  platform.Press(button);
  EXPECT_EQ(clicks, 1);
}

TEST(FormsTest, TabOrderDecidesTheFocusPathThroughContainers) {
  THeadlessPlatform platform;
  TForm form(nullptr, platform);
  auto& panel = AddControl<TPanel>(form);
  auto add = [&](TControl& parent, const char* name, int order) -> TGlowButton& {
    auto& button = AddControl<TGlowButton>(parent);
    button.SetName(name);
    button.TabOrder = order;
    return button;
  };
  // Made in an order unlike the tab order; the panel's controls take its place.
  TGlowButton& last = add(form, "last", 3);
  add(form, "first", 0);
  panel.TabOrder = 1;
  add(panel, "inner2", 1);
  TGlowButton& inner1 = add(panel, "inner1", 0);
  TGlowButton& skipped = add(form, "skipped", 2);
  std::vector<std::string> names;
  for (const TControl* c : form.TabSequence()) names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"first", "inner1", "inner2", "skipped", "last"}));

  form.ShowForm();
  EXPECT_EQ(platform.Focused()->Name(), "first");
  skipped.SetEnabled(false);
  inner1.TabStop = false;
  EXPECT_EQ(form.FindNextControl(platform.Focused(), true)->Name(), "inner2");
  EXPECT_EQ(form.FindNextControl(&last, true)->Name(), "first");  // wraps around
  EXPECT_EQ(form.FindNextControl(&last, false)->Name(), "inner2");
  panel.SetEnabled(false);  // a disabled container passes its controls over
  EXPECT_EQ(form.FindNextControl(platform.Focused(), true)->Name(), "last");
  panel.SetVisible(false);
  last.SetVisible(false);
  EXPECT_EQ(form.FindNextControl(platform.Focused(), true)->Name(), "first");  // the only one left
}

// A failure on the window's thread stops the operation, and the queue is
// still serviced while the worker takes its time to end: the window does not
// hang on the join.
TEST(LongOperationTest, FailureOnTheWindowsThreadKeepsTheWindowServicedUntilTheWorkerEnds) {
  THeadlessPlatform platform;
  std::atomic<bool> stopAsked{false};
  std::atomic<bool> workerEnded{false};
  int pumpsAfterFailure = 0;
  bool failed = false;
  platform.BusyHandler = [&] {
    if (failed) {
      ++pumpsAfterFailure;
      return;
    }
    failed = true;
    throw std::runtime_error("painting failed");
  };
  TBusyHooks hooks;
  hooks.OnCancel = [&] { stopAsked = true; };
  const auto operation = [&] {
    while (!stopAsked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // ending takes a while
    workerEnded = true;
  };
  EXPECT_THROW(RunLongOperation(platform, hooks, operation, nullptr), std::runtime_error);
  EXPECT_TRUE(workerEnded);
  EXPECT_GE(pumpsAfterFailure, 3);
  EXPECT_FALSE(platform.Busy());
}

}  // namespace
