// The Win32 backend on a real (Wine) window system: controls become windows
// that carry their captions, states and items; the modal loop, the backdrop's
// layering and placement, the taskbar, and the animation's own drawing thread.
#include <windows.h>
#include <gtest/gtest.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ControlTree.h"
#include "TestSupport.h"
#include "rtl/ScopeExit.h"
#include "rtl/Win32Text.h"
#include "ui/Forms.h"
#include "ui/LongOperation.h"
#include "ui/Win32Platform.h"

namespace {

class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Platform = std::make_unique<TWin32Platform>(GetModuleHandleW(nullptr));
    Form = std::make_unique<TForm>(nullptr, *Platform);
    Form->SetBounds(10, 10, 400, 300);
  }
  void TearDown() override {
    Form.reset();
    Platform.reset();
  }
  // Without a display there are no windows to test.
  HWND Realize() {
    const TWindowHandle h = Form->Handle();
    if (h == 0) return nullptr;
    return reinterpret_cast<HWND>(h);
  }
  static std::string TextOf(HWND hwnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(hwnd, buffer, 256);
    return WideToUtf8(buffer);
  }

  static std::string ClassOfFocus(HWND hwnd) {
    wchar_t buffer[64] = {};
    GetClassNameW(hwnd, buffer, 64);
    return WideToUtf8(buffer);
  }

  std::unique_ptr<TWin32Platform> Platform;
  std::unique_ptr<TForm> Form;
};

TEST_F(Win32PlatformTest, ButtonIsAWindowWithCaptionAndEnabledState) {
  auto& button = AddControl<TGlowButton>(*Form, Bounds(20, 20, 80, 41));
  button.SetCaption("Prekliči");
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  HWND child = FindWindowExW(hwnd, nullptr, L"TramelaGlowButton", nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(TextOf(child), "Prekliči");  // UTF-8 in, wide text on the window
  EXPECT_TRUE(IsWindowEnabled(child));
  button.SetEnabled(false);
  button.SetCaption("Konec");
  EXPECT_FALSE(IsWindowEnabled(child));
  EXPECT_EQ(TextOf(child), "Konec");
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.right - r.left, 80);
  EXPECT_EQ(r.bottom - r.top, 41);
}

TEST_F(Win32PlatformTest, MemoAndListViewMirrorTheirItems) {
  auto& memo = AddControl<TMemo>(*Form, Bounds(0, 0, 200, 80));
  auto& images = Form->CreateOwned<TImageList>();
  images.Width = 16;
  images.Height = 20;
  TBitmap32 image;
  image.Width = 16;
  image.Height = 20;
  image.Rgba.assign(16 * 20 * 4, 255);
  images.Images = {image, image, image, image};
  auto& list = AddControl<TListView>(*Form, Bounds(0, 100, 300, 150));
  list.ReportStyle = true;
  list.ColumnWidths = {30, 200};
  list.StateImages = &images;
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";

  memo.Lines().Add("Pogon C:");
  memo.Lines().Add("Nameščanje");
  HWND edit = FindWindowExW(hwnd, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(TextOf(edit), "Pogon C:\r\nNameščanje");

  TListItem& item = list.AddItem();
  item.AddSubItem("Prenos namestitvenega paketa...");
  item.AddSubItem("4");
  item.SetStateIndex(2);
  list.AddItem().SetStateIndex(0);
  HWND view = FindWindowExW(hwnd, nullptr, WC_LISTVIEWW, nullptr);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(SendMessageW(view, LVM_GETITEMCOUNT, 0, 0), 2);
  const auto state = SendMessageW(view, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK);
  EXPECT_EQ(static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12), 3);  // image index 2
  wchar_t text[128] = {};
  LVITEMW sub{};
  sub.iSubItem = 1;
  sub.pszText = text;
  sub.cchTextMax = 128;
  SendMessageW(view, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&sub));
  EXPECT_EQ(WideToUtf8(text), "Prenos namestitvenega paketa...");
  list.SetHeight(150 - 80);
  RECT r;
  GetWindowRect(view, &r);
  EXPECT_EQ(r.bottom - r.top, 70);
}

TEST_F(Win32PlatformTest, ChildWindowsFollowTheirParentsVisibility) {
  auto& panel = AddControl<TPanel>(*Form, Bounds(0, 0, 300, 200));
  AddControl<TMemo>(panel, Bounds(10, 10, 100, 50));
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  Form->ShowForm();
  HWND edit = FindWindowExW(hwnd, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(IsWindowVisible(edit));
  panel.Hide();
  EXPECT_FALSE(IsWindowVisible(edit));
  panel.SetBounds(50, 40, 300, 200);
  panel.Show();
  RECT r;
  GetWindowRect(edit, &r);
  POINT origin{r.left, r.top};
  ScreenToClient(hwnd, &origin);
  EXPECT_EQ(origin.x, 60);
  EXPECT_EQ(origin.y, 50);
}

TEST_F(Win32PlatformTest, TabKeyFollowsTheStoredTabOrderNotTheCreationOrder) {
  auto button = [&](TControl& parent, const char* caption, int order, int left) -> TGlowButton& {
    auto& b = AddControl<TGlowButton>(parent, Bounds(left, 200, 60, 30));
    b.SetCaption(caption);
    b.TabOrder = order;
    return b;
  };
  button(*Form, "third", 2, 10);
  button(*Form, "first", 0, 80);
  auto& panel = AddControl<TPanel>(*Form, Bounds(0, 0, 300, 150));
  panel.TabOrder = 1;
  auto& memo = AddControl<TMemo>(panel, Bounds(10, 10, 100, 50));
  memo.TabStop = true;
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  Form->ShowForm();
  // What has the focus after each Tab key, handled by the backend's own loop.
  const auto focused = [&] {
    HWND focus = GetFocus();
    return focus == nullptr ? std::string("(none)") : ClassOfFocus(focus) + ":" + TextOf(focus);
  };
  std::vector<std::string> path{focused()};
  for (int i = 0; i < 3; ++i) {
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    MSG pending;
    for (int n = 0; n < 1000 && PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE); ++n)
      Platform->HandleMessage();
    path.push_back(focused());
  }
  EXPECT_EQ(path, (std::vector<std::string>{"TramelaGlowButton:first", "Edit:",
                                            "TramelaGlowButton:third", "TramelaGlowButton:first"}));
}

TEST_F(Win32PlatformTest, PendingQuitEndsTheModalLoopWithCancelAndNoClose) {
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  (void)hwnd;
  bool closed = false;
  Form->OnClose = [&](TObject*, TCloseAction&) { closed = true; };
  Platform->PostQuit();
  EXPECT_EQ(Form->ShowModal(), TModalResult::mrCancel);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(Platform->Terminated());
}

TEST_F(Win32PlatformTest, BackdropIsLayeredAndShownByItsPlacementAlone) {
  Form->AlphaBlend = true;
  Form->AlphaBlendValue = 128;
  Form->SetColor(clBlack);
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  EXPECT_NE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 128);
  EXPECT_NE(flags & LWA_ALPHA, 0u);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  Platform->PlaceBackdrop(Form->Handle(), Bounds(0, 0, 200, 100));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_FALSE(Form->FormVisible());
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);  // under the topmost ones
  RECT r;
  ASSERT_TRUE(GetWindowRect(hwnd, &r));
  EXPECT_EQ(Bounds(r.left, r.top, r.right - r.left, r.bottom - r.top), Bounds(0, 0, 200, 100));
}

// The taskbar that Wine keeps is hidden and of no size: stand-ins of the shell's
// class, made later and so found first, play it.
TEST_F(Win32PlatformTest, TaskbarIsTheShellsWindowWithAnEmptyTitle) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = L"Shell_TrayWnd";
  ASSERT_NE(RegisterClassW(&wc), 0);
  const auto unregister = ScopeExit([&] { UnregisterClassW(L"Shell_TrayWnd", instance); });
  const auto make = [&](const wchar_t* title, int top) {
    return CreateWindowExW(0, L"Shell_TrayWnd", title, WS_POPUP, 0, top, 1024, 40, nullptr, nullptr,
                           instance, nullptr);
  };
  const HWND titled = make(L"x", 700);
  if (titled == nullptr) GTEST_SKIP() << "no window system";
  const auto destroyTitled = ScopeExit([&] { DestroyWindow(titled); });
  // A title: some other window.
  EXPECT_NE(Platform->TaskbarRect(), std::optional<TRect>(Bounds(0, 700, 1024, 40)));
  const HWND tray = make(L"", 728);
  ASSERT_NE(tray, nullptr);
  const auto destroyTray = ScopeExit([&] { DestroyWindow(tray); });
  EXPECT_EQ(Platform->TaskbarRect(), std::optional<TRect>(Bounds(0, 728, 1024, 40)));
}

TEST_F(Win32PlatformTest, AnimationDrawsFromItsOwnThread) {
  auto& anim = AddControl<TGIFAnimator>(*Form, Bounds(5, 5, 8, 8));
  TPicture picture;
  for (int i = 0; i < 2; ++i) {
    TBitmap32 b;
    b.Width = b.Height = 8;
    b.Rgba.assign(8 * 8 * 4, static_cast<std::uint8_t>(255 * i));
    picture.Frames.push_back(b);
    picture.DelaysMs.push_back(20);
  }
  anim.SetPicture(picture);
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  (void)hwnd;
  Form->ShowForm();
  anim.SetAnimate(true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (anim.FramesDrawn() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  anim.Stop();
  EXPECT_GE(anim.FramesDrawn(), 3);
}

TEST_F(Win32PlatformTest, ProgressBarShowsItsShareOrAMarquee) {
  auto& bar = AddControl<TProgressBar>(*Form, Bounds(10, 10, 240, 17));
  bar.SetProgress(250, 1000);
  bar.BarColor = 0xFFD541;
  bar.ParentColor = true;
  Form->SetColor(clWhite);
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  HWND child = FindWindowExW(hwnd, nullptr, PROGRESS_CLASSW, nullptr);
  ASSERT_NE(child, nullptr);
  Form->ShowForm();
  UpdateWindow(child);
  HDC dc = GetDC(child);
  // The window's colours, not the theme's: the filled quarter and the empty rest.
  EXPECT_EQ(GetPixel(dc, 20, 8), RGB(0xFF, 0xD5, 0x41));
  EXPECT_EQ(GetPixel(dc, 200, 8), RGB(0xFF, 0xFF, 0xFF));
  ReleaseDC(child, dc);
  EXPECT_EQ(SendMessageW(child, PBM_GETPOS, 0, 0), 250);
  EXPECT_EQ(SendMessageW(child, PBM_GETRANGE, FALSE, 0), 1000);
  bar.SetMarquee(true);
  EXPECT_NE(GetWindowLongPtrW(child, GWL_STYLE) & PBS_MARQUEE, 0);
  bar.SetMarquee(false);
  bar.SetProgress(2000, 1000);  // kept within the range
  EXPECT_EQ(GetWindowLongPtrW(child, GWL_STYLE) & PBS_MARQUEE, 0);
  EXPECT_EQ(SendMessageW(child, PBM_GETPOS, 0, 0), 1000);
}

// The operation plays another program: it posts input to the form and asks
// whether the window answers, while this thread waits in the busy loop.
TEST_F(Win32PlatformTest, LongOperationKeepsTheWindowAnsweringAndTakesOnlyTheWayOut) {
  auto& cancel = AddControl<TGlowButton>(*Form, Bounds(20, 20, 80, 41));
  cancel.SetCaption("Prekliči");
  auto& other = AddControl<TGlowButton>(*Form, Bounds(120, 20, 80, 41));
  other.SetCaption("Potrdi");
  int cancelClicks = 0, otherClicks = 0, escapes = 0, closes = 0, ticks = 0;
  cancel.OnClick = [&](TObject*) { ++cancelClicks; };
  other.OnClick = [&](TObject*) { ++otherClicks; };
  HWND hwnd = Realize();
  if (hwnd == nullptr) GTEST_SKIP() << "no window system";
  Form->ShowForm();
  HWND cancelHwnd = FindWindowExW(hwnd, nullptr, L"TramelaGlowButton", L"Prekli\u010di");
  HWND otherHwnd = FindWindowExW(hwnd, nullptr, L"TramelaGlowButton", L"Potrdi");
  ASSERT_NE(cancelHwnd, nullptr);
  ASSERT_NE(otherHwnd, nullptr);
  std::atomic<bool> closed{false};
  TBusyHooks hooks;
  hooks.CancelControl = &cancel;
  hooks.OnCancel = [&] { ++escapes; };
  hooks.OnClose = [&] {
    ++closes;
    closed = true;
  };
  LRESULT answered = 0;
  const auto operation = [&] {
    PostMessageW(otherHwnd, BM_CLICK, 0, 0);
    PostMessageW(otherHwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(otherHwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageW(otherHwnd, WM_KEYUP, VK_SPACE, 0);
    PostMessageW(cancelHwnd, BM_CLICK, 0, 0);
    PostMessageW(cancelHwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    DWORD_PTR result = 0;
    answered = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!closed && std::chrono::steady_clock::now() < deadline) Sleep(10);
    throw Exception("raised on the worker");
  };
  testsupport::ExpectThrowMessage<Exception>(
      [&] { RunLongOperation(*Platform, hooks, operation, [&] { ++ticks; }); },
      "raised on the worker");
  EXPECT_NE(answered, 0);  // not hung
  EXPECT_EQ(otherClicks, 0);
  EXPECT_EQ(cancelClicks, 1);
  EXPECT_EQ(escapes, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(IsWindowVisible(hwnd));  // the close went to the hooks, not to the form
  EXPECT_GT(ticks, 0);
  EXPECT_FALSE(Platform->Busy());
}

TEST_F(Win32PlatformTest, ScreenMetricsAndFonts) {
  EXPECT_GT(Platform->ScreenWidth(), 0);
  const TRect work = Platform->WorkArea();
  EXPECT_LE(work.Width(), Platform->ScreenWidth());
  EXPECT_GT(work.Height(), 0);
  EXPECT_FALSE(Platform->ScreenFonts().empty());
}

}  // namespace
