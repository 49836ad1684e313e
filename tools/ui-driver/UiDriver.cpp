// Drives the installer's real windows from outside, as a user would: lists the
// visible forms and buttons with captions and enabled states, waits for a
// button, and clicks one. Output is UTF-8, one line per window.
//   ui_driver list
//   ui_driver wait <caption> <enabled 0|1|any> [timeout ms]
//   ui_driver click <caption> [notice ms]  with a time, then waits that long for a
//                       notice and prints how long it took from the click
//   ui_driver wait-notice [timeout ms]
//   ui_driver key space|return|tab|shift+tab
//   ui_driver focus    what has the keyboard focus: "button <caption>", "edit", "none"
//   ui_driver rows     the checklist: state index, step number and text per row
//   ui_driver log      the log's text
//   ui_driver ping [n]  asks the main window n times (default 1), 100 ms apart,
//                       whether it answers within 500 ms, as the system's hang check does
//   ui_driver progress [wait ms]  the progress bar: visible, marquee, position and
//                       range; with a wait, first waits until it shows
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rtl/Win32Text.h"

namespace {

struct TButton {
  HWND Hwnd;
  std::string Caption;
  bool Enabled;
  RECT Rect;
};

std::string TextOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  GetWindowTextW(hwnd, buffer, 512);
  return WideToUtf8(buffer);
}

std::string ClassOf(HWND hwnd) {
  wchar_t buffer[128] = {};
  GetClassNameW(hwnd, buffer, 128);
  return WideToUtf8(buffer);
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM target) {
  if (ClassOf(hwnd) == "TramelaGlowButton" && IsWindowVisible(hwnd)) {
    RECT r;
    GetWindowRect(hwnd, &r);
    reinterpret_cast<std::vector<TButton>*>(target)->push_back(
        {hwnd, TextOf(hwnd), IsWindowEnabled(hwnd) != 0, r});
  }
  return TRUE;
}

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM target) {
  if (ClassOf(hwnd) == "TramelaForm" && IsWindowVisible(hwnd))
    EnumChildWindows(hwnd, CollectChild, target);
  return TRUE;
}

std::vector<TButton> Buttons() {
  std::vector<TButton> buttons;
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&buttons));
  return buttons;
}

BOOL CALLBACK PrintForm(HWND hwnd, LPARAM) {
  if (ClassOf(hwnd) != "TramelaForm" || !IsWindowVisible(hwnd)) return TRUE;
  RECT r;
  GetWindowRect(hwnd, &r);
  const bool layered = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
  std::printf("form\t%s\t%ld,%ld,%ld,%ld\tlayered=%d\n", TextOf(hwnd).c_str(), r.left, r.top,
              r.right - r.left, r.bottom - r.top, layered ? 1 : 0);
  return TRUE;
}

// The window with the keyboard focus in the foreground window's thread.
HWND FocusWindow() {
  HWND foreground = GetForegroundWindow();
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (foreground == nullptr ||
      !GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info))
    return nullptr;
  return info.hwndFocus;
}

int List() {
  EnumWindows(PrintForm, 0);
  if (HWND focus = FocusWindow())
    std::printf("focus\t%s\t%s\n", ClassOf(focus).c_str(), TextOf(focus).c_str());
  for (const TButton& b : Buttons()) {
    std::printf("button\t%s\tenabled=%d\t%ld,%ld,%ld,%ld\n", b.Caption.c_str(), b.Enabled ? 1 : 0,
                b.Rect.left, b.Rect.top, b.Rect.right - b.Rect.left, b.Rect.bottom - b.Rect.top);
  }
  return 0;
}

int Wait(const std::string& caption, const std::string& enabled, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    for (const TButton& b : Buttons()) {
      if (b.Caption == caption && (enabled == "any" || (enabled == "1") == b.Enabled)) return 0;
    }
    Sleep(50);
  }
  std::fprintf(stderr, "no visible button \"%s\" (enabled %s) within %lu ms\n", caption.c_str(),
               enabled.c_str(), timeoutMs);
  return 1;
}

BOOL CALLBACK FindLayered(HWND hwnd, LPARAM found) {
  if (ClassOf(hwnd) == "TramelaForm" && IsWindowVisible(hwnd) &&
      (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)) {
    *reinterpret_cast<bool*>(found) = true;
  }
  return TRUE;
}

// A notice is up when its darkened backdrop (the one layered form) shows.
int WaitNotice(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    bool found = false;
    EnumWindows(FindLayered, reinterpret_cast<LPARAM>(&found));
    if (found) return 0;
    Sleep(50);
  }
  std::fprintf(stderr, "no notice within %lu ms\n", timeoutMs);
  return 1;
}

// A key press and release through the system's input queue, to the focused
// window; with Shift held around it for "shift+".
int Key(std::string name) {
  const bool shift = name.rfind("shift+", 0) == 0;
  if (shift) name.erase(0, 6);
  const WORD vk = name == "space"    ? VK_SPACE
                  : name == "return" ? VK_RETURN
                  : name == "tab"    ? VK_TAB
                                     : 0;
  if (vk == 0) {
    std::fprintf(stderr, "unknown key \"%s\"\n", name.c_str());
    return 2;
  }
  std::vector<INPUT> input;
  const auto add = [&input](WORD key, DWORD flags) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = key;
    i.ki.dwFlags = flags;
    input.push_back(i);
  };
  if (shift) add(VK_SHIFT, 0);
  add(vk, 0);
  add(vk, KEYEVENTF_KEYUP);
  if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
  const UINT n = static_cast<UINT>(input.size());
  return SendInput(n, input.data(), sizeof(INPUT)) == n ? 0 : 1;
}

// One line, whatever has the focus: the log's many lines are left out.
int Focus() {
  HWND focus = FocusWindow();
  const std::string cls = focus != nullptr ? ClassOf(focus) : "";
  if (focus == nullptr) {
    std::printf("none\n");
  } else if (cls == "TramelaGlowButton") {
    std::printf("button %s\n", TextOf(focus).c_str());
  } else if (lstrcmpiA(cls.c_str(), "Edit") == 0) {
    std::printf("edit\n");
  } else {
    std::printf("other %s\n", cls.c_str());
  }
  return 0;
}

// The first child of a visible form with this window class (the checklist, the log).
struct TChildSearch {
  const wchar_t* ClassName;
  HWND Found;
};

BOOL CALLBACK FindChildOfClass(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TChildSearch*>(param);
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  if (lstrcmpiW(name, search->ClassName) == 0) {
    search->Found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The main window is the visible form that holds the checklist; a notice has none.
BOOL CALLBACK FindInMainForm(HWND hwnd, LPARAM param) {
  if (ClassOf(hwnd) != "TramelaForm" || !IsWindowVisible(hwnd)) return TRUE;
  TChildSearch list{L"SysListView32", nullptr};
  EnumChildWindows(hwnd, FindChildOfClass, reinterpret_cast<LPARAM>(&list));
  if (list.Found == nullptr) return TRUE;
  EnumChildWindows(hwnd, FindChildOfClass, param);
  return reinterpret_cast<TChildSearch*>(param)->Found == nullptr;
}

HWND FindControl(const wchar_t* className) {
  TChildSearch search{className, nullptr};
  EnumWindows(FindInMainForm, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Memory in the installer's process: list-view messages carry pointers, which
// must point into the process that owns the control.
class TRemoteBuffer {
 public:
  TRemoteBuffer(HWND owner, SIZE_T size) : FSize(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    FProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (FProcess != nullptr)
      FAddress = VirtualAllocEx(FProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  TRemoteBuffer(const TRemoteBuffer&) = delete;
  TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;
  ~TRemoteBuffer() {
    if (FAddress != nullptr) VirtualFreeEx(FProcess, FAddress, 0, MEM_RELEASE);
    if (FProcess != nullptr) CloseHandle(FProcess);
  }
  bool Valid() const { return FAddress != nullptr; }
  char* At(SIZE_T offset) const { return static_cast<char*>(FAddress) + offset; }
  bool Write(SIZE_T offset, const void* data, SIZE_T n) const {
    return offset + n <= FSize && WriteProcessMemory(FProcess, At(offset), data, n, nullptr);
  }
  bool Read(SIZE_T offset, void* data, SIZE_T n) const {
    return offset + n <= FSize && ReadProcessMemory(FProcess, At(offset), data, n, nullptr);
  }

 private:
  HANDLE FProcess = nullptr;
  void* FAddress = nullptr;
  SIZE_T FSize;
};

// One list-view item field through the remote buffer: the item record at 0,
// the text at 1024.
bool ReadItem(HWND list, const TRemoteBuffer& remote, int index, int subItem, UINT& state,
              std::string& text) {
  constexpr SIZE_T kTextAt = 1024;
  constexpr int kTextChars = 512;
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_STATE;
  item.iItem = index;
  item.iSubItem = subItem;
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.pszText = reinterpret_cast<LPWSTR>(remote.At(kTextAt));
  item.cchTextMax = kTextChars;
  if (!remote.Write(0, &item, sizeof item)) return false;
  if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.At(0)))) return false;
  wchar_t buffer[kTextChars + 1] = {};
  if (!remote.Read(0, &item, sizeof item) ||
      !remote.Read(kTextAt, buffer, kTextChars * sizeof(wchar_t)))
    return false;
  state = item.state;
  text = WideToUtf8(buffer);
  return true;
}

int Rows() {
  const HWND list = FindControl(L"SysListView32");
  if (list == nullptr) {
    std::fprintf(stderr, "no checklist\n");
    return 1;
  }
  const TRemoteBuffer remote(list, 4096);
  if (!remote.Valid()) {
    std::fprintf(stderr, "cannot reach the installer's memory\n");
    return 1;
  }
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    UINT state = 0;
    UINT ignored = 0;
    std::string caption;
    std::string text;
    std::string step;
    // The state image belongs to the item itself; the texts are its sub-items.
    if (!ReadItem(list, remote, i, 0, state, caption) ||
        !ReadItem(list, remote, i, 1, ignored, text) ||
        !ReadItem(list, remote, i, 2, ignored, step)) {
      std::fprintf(stderr, "row %d cannot be read\n", i);
      return 1;
    }
    // State images are numbered from 1; the step states from 0.
    std::printf("row\t%d\t%s\t%s\n", static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12) - 1,
                step.c_str(), text.c_str());
  }
  return 0;
}

int Log() {
  const HWND memo = FindControl(L"Edit");
  if (memo == nullptr) {
    std::fprintf(stderr, "no log\n");
    return 1;
  }
  const int length = static_cast<int>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(memo, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  std::printf("%s", WideToUtf8(text).c_str());
  return 0;
}

// The main window (the form with the checklist).
BOOL CALLBACK FindMainForm(HWND hwnd, LPARAM param) {
  if (ClassOf(hwnd) != "TramelaForm" || !IsWindowVisible(hwnd)) return TRUE;
  TChildSearch list{L"SysListView32", nullptr};
  EnumChildWindows(hwnd, FindChildOfClass, reinterpret_cast<LPARAM>(&list));
  if (list.Found == nullptr) return TRUE;
  *reinterpret_cast<HWND*>(param) = hwnd;
  return FALSE;
}

int Ping(int count) {
  HWND main = nullptr;
  EnumWindows(FindMainForm, reinterpret_cast<LPARAM>(&main));
  if (main == nullptr) {
    std::fprintf(stderr, "no main window\n");
    return 1;
  }
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    if (i > 0) Sleep(100);
    const DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    const LRESULT answered =
        SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result);
    const DWORD took = GetTickCount() - start;
    std::printf("ping\t%s\t%lu ms\n", answered != 0 ? "answered" : "no answer", took);
    if (answered == 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}

int Progress(DWORD waitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const HWND bar = FindControl(L"msctls_progress32");
    if (bar != nullptr && (IsWindowVisible(bar) || waitMs == 0)) {
      const bool marquee = (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
      std::printf("progress\tvisible=%d\tmarquee=%d\tposition=%d\trange=%d\n",
                  IsWindowVisible(bar) ? 1 : 0, marquee ? 1 : 0,
                  static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)),
                  static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)));
      return 0;
    }
    if (GetTickCount() - start >= waitMs) break;
    Sleep(50);
  }
  std::fprintf(stderr, "no progress bar shows within %lu ms\n", waitMs);
  return 1;
}

// Buttons come in z-order, so the topmost window's button is clicked first.
int Click(const std::string& caption) {
  for (const TButton& b : Buttons()) {
    if (b.Caption == caption) {
      // Posted, so that a handler that opens a modal window does not hold us.
      PostMessageW(b.Hwnd, BM_CLICK, 0, 0);
      return 0;
    }
  }
  std::fprintf(stderr, "no visible button \"%s\"\n", caption.c_str());
  return 1;
}

}  // namespace

int main() {
  // Captions such as "Prekliči" need the wide command line, whatever the code page.
  int argc = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "list") return List();
  if (command == "wait" && argc >= 4)
    return Wait(argv[2], argv[3], argc > 4 ? std::stoul(argv[4]) : 20000);
  if (command == "click" && argc >= 4) {
    const DWORD start = GetTickCount();
    if (Click(argv[2]) != 0 || WaitNotice(std::stoul(argv[3])) != 0) return 1;
    std::printf("notice\t%lu ms after the click\n", GetTickCount() - start);
    return 0;
  }
  if (command == "click" && argc >= 3) return Click(argv[2]);
  if (command == "key" && argc >= 3) return Key(argv[2]);
  if (command == "wait-notice") return WaitNotice(argc > 2 ? std::stoul(argv[2]) : 20000);
  if (command == "rows") return Rows();
  if (command == "log") return Log();
  if (command == "ping") return Ping(argc > 2 ? std::stoi(argv[2]) : 1);
  if (command == "progress") return Progress(argc > 2 ? std::stoul(argv[2]) : 0);
  if (command == "focus") return Focus();
  std::fprintf(stderr, "usage: ui_driver list | wait <caption> <0|1|any> [ms] | click <caption>\n");
  return 2;
}
