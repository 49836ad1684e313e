// Drives the installer's real windows from outside, as a user would: lists the
// visible forms and buttons with captions and enabled states, waits for a
// button, and clicks one. Output is UTF-8, one line per window.
//   ui_driver list
//   ui_driver wait <caption> <enabled 0|1|any> [timeout ms]
//   ui_driver click <caption>
//   ui_driver wait-notice [timeout ms]
//   ui_driver key space|return|tab
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/Win32Text.h"

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
    reinterpret_cast<std::vector<TButton>*>(target)->push_back({hwnd, TextOf(hwnd), IsWindowEnabled(hwnd) != 0, r});
  }
  return TRUE;
}

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM target) {
  if (ClassOf(hwnd) == "TramelaForm" && IsWindowVisible(hwnd)) EnumChildWindows(hwnd, CollectChild, target);
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
  std::printf("form\t%s\t%ld,%ld,%ld,%ld\tlayered=%d\n", TextOf(hwnd).c_str(), r.left, r.top, r.right - r.left,
              r.bottom - r.top, layered ? 1 : 0);
  return TRUE;
}

int List() {
  EnumWindows(PrintForm, 0);
  HWND foreground = GetForegroundWindow();
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (foreground != nullptr && GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) &&
      info.hwndFocus != nullptr) {
    std::printf("focus\t%s\t%s\n", ClassOf(info.hwndFocus).c_str(), TextOf(info.hwndFocus).c_str());
  }
  for (const TButton& b : Buttons()) {
    std::printf("button\t%s\tenabled=%d\t%ld,%ld,%ld,%ld\n", b.Caption.c_str(), b.Enabled ? 1 : 0, b.Rect.left,
                b.Rect.top, b.Rect.right - b.Rect.left, b.Rect.bottom - b.Rect.top);
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
  std::fprintf(stderr, "no visible button \"%s\" (enabled %s) within %lu ms\n", caption.c_str(), enabled.c_str(),
               timeoutMs);
  return 1;
}

BOOL CALLBACK FindLayered(HWND hwnd, LPARAM found) {
  if (ClassOf(hwnd) == "TramelaForm" && IsWindowVisible(hwnd) && (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)) {
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

// A key press and release through the system's input queue, to the focused window.
int Key(const std::string& name) {
  const WORD vk = name == "space" ? VK_SPACE : name == "return" ? VK_RETURN : name == "tab" ? VK_TAB : 0;
  if (vk == 0) {
    std::fprintf(stderr, "unknown key \"%s\"\n", name.c_str());
    return 2;
  }
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = vk;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, input, sizeof(INPUT)) == 2 ? 0 : 1;
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
  if (command == "wait" && argc >= 4) return Wait(argv[2], argv[3], argc > 4 ? std::stoul(argv[4]) : 20000);
  if (command == "click" && argc >= 3) return Click(argv[2]);
  if (command == "key" && argc >= 3) return Key(argv[2]);
  if (command == "wait-notice") return WaitNotice(argc > 2 ? std::stoul(argv[2]) : 20000);
  std::fprintf(stderr, "usage: ui_driver list | wait <caption> <0|1|any> [ms] | click <caption>\n");
  return 2;
}
