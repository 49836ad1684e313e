// Program start, shared by the exe and the tests.
#include "app/Program.h"

#include "app/frmMain.h"
#include "app/frmObvestilo.h"

int TramelaMain(IPlatform& platform, IInstallOperations& operations) {
  TApplication application(platform);
  application.SetTitle(kApplicationTitle);
  T_frmMain& main = application.CreateForm<T_frmMain>(operations);
  T_frmObvestilo& notice = application.CreateForm<T_frmObvestilo>();
  main.SetNoticeWindow(notice);
  application.Run();
  return 0;
}
