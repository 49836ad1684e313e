// The installation while its long steps run off the user-interface thread: the
// progress line, "Prekliči" and the other ways out during a run, and a server
// that stalls. Downloads go through the real HTTP client to a scripted server.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "../http/HttpTestClient.h"
#include "../http/ScriptedServer.h"
#include "AppFixture.h"
#include "app/HalvexConst.h"
#include "app/InstallRollback.h"
#include "app/ProgressText.h"
#include "app/SystemOperations.h"
#include "rtl/Threads.h"

namespace {

using TRows = std::vector<std::pair<std::string, int>>;
const std::string kPackage = "C:\\Tramela\\TramelaCoreServer.zip";
const std::string kFailed = "Pri namestitvi je prišlo do napak.";
const std::vector<std::string> kStep1{"Pogon C:             120 GB",
                                      "Kreiranje delovnega imenika... : C:\\Tramela",
                                      "Delovni imenik kreiran..."};
const TRows kDownloadFailed{{"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepFailed}};

TEST(ProgressText, BytesFilesAndTheUsersSeparators) {
  const TFormatSettings slovene{".", ","};
  const TFormatSettings english{",", "."};
  constexpr std::int64_t MB = 1 << 20;
  const struct {
    TProgressSnapshot Progress;
    double Rate;
    TFormatSettings Settings;
    std::string Text;
  } cases[] = {
      {{TProgressUnit::Bytes, 12 * MB + 3 * MB / 10, 187 * MB},
       8.4 * MB,
       slovene,
       "12,3 MB od 187,0 MB (8,4 MB/s)"},
      {{TProgressUnit::Bytes, 1234 * MB + MB / 2, 2000 * MB},
       0,
       slovene,
       "1.234,5 MB od 2.000,0 MB (0,0 MB/s)"},
      {{TProgressUnit::Bytes, 12 * MB + 3 * MB / 10, -1}, 8.4 * MB, slovene, "12,3 MB (8,4 MB/s)"},
      {{TProgressUnit::Bytes, 1234 * MB + MB / 2, -1}, 0.25 * MB, english, "1,234.5 MB (0.3 MB/s)"},
      {{TProgressUnit::Files, 123, 2954}, 0, slovene, "Datoteka 123 od 2.954"},
      {{TProgressUnit::Files, 1, 1}, 0, english, "Datoteka 1 od 1"},
      {{TProgressUnit::None, 5, 10}, 0, slovene, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatProgressText(c.Progress, c.Rate, c.Settings), c.Text);
}

TEST(ProgressText, RateFollowsTheLastSecondsSoAStallShows) {
  TTransferRate rate;
  EXPECT_EQ(rate.BytesPerSecond(), 0);
  rate.Sample(1000, 0);
  EXPECT_EQ(rate.BytesPerSecond(), 0);  // one sample has no rate
  for (std::uint32_t t = 1100; t <= 6000; t += 100)
    rate.Sample(t, (t - 1000) * 1000);  // 1 MB/s of ms
  EXPECT_NEAR(rate.BytesPerSecond(), 1e6, 1e3);
  for (std::uint32_t t = 6100; t <= 9500; t += 100)
    rate.Sample(t, 5000000);  // nothing comes any more
  EXPECT_EQ(rate.BytesPerSecond(), 0);
  rate.Reset();
  rate.Sample(0xFFFFFF9Cu, 0);
  rate.Sample(0x00000064u, 200000);  // 200 ms later, across the tick counter's wrap
  EXPECT_NEAR(rate.BytesPerSecond(), 1e6, 1e3);
}

// What the progress line showed, each change once.
struct TShown {
  std::string Text;
  bool Marquee = false;
  int Position = 0;
};

class LiveRun : public TAppTest {
 protected:
  void SetUp() override {
    TAppTest::SetUp();
    Ops.Settings = {".", ","};
    // 3 MB, signed by the key the window trusts.
    Ops.Body = AppFixture("big-package.zip");
    Ops.Sig = AppFixture("big-package.zip.sig");
    Real.AttachMonitor(Ops.Monitor);
    TIdRetryOptions quick;
    quick.WaitsMs = {10};
    Real.SetRetryOptions(quick);
  }
  void TearDown() override { Real.AttachMonitor(nullptr); }
  // The package's download goes to the server; every other operation (its
  // signature file among them) stays substituted.
  void Serve(TScriptedServer& server) {
    Ops.HttpHandler = [this, &server](const std::string&, TMemoryStream& body,
                                      std::int64_t maxBody) {
      TSha256Digest digest{};
      const std::int64_t announced =
          Real.HttpGetSized(server.Url("/Download/TramelaCoreServer.zip"), body, maxBody, digest);
      // Hashed as it came, resumed or not: the digest is that of the body answered.
      EXPECT_EQ(digest, Sha256Of(body.Bytes()));
      return announced;
    };
  }
  std::string Head() const {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Ops.Body.size()) + "\r\n\r\n";
  }
  // Records the download's progress line on every pass of the waiting loop.
  void RecordProgress() {
    Platform.BusyHandler = [this] {
      if (!Main->_lblNapredek.Visible()) return;
      // The setup's wait shows its own line.
      if (Main->_lblNapredek.Caption() == "Nameščanje Firebird SQL strežnika...") return;
      const TShown now{Main->_lblNapredek.Caption(), Main->_barNapredek.Marquee(),
                       Main->_barNapredek.Position()};
      if (Shown.empty() || Shown.back().Text != now.Text) Shown.push_back(now);
    };
  }
  // Presses "Prekliči" once the progress line shows, and notes when.
  void CancelWhenProgressShows() {
    Platform.BusyHandler = [this] {
      if (PressedAt == 0 && Main->_lblNapredek.Visible()) {
        PressedAt = GetTickCount32();
        Platform.Press(Main->_btnPreklici);
      }
    };
  }
  void ExpectProgressHidden() {
    EXPECT_FALSE(Main->_lblNapredek.Visible());
    EXPECT_FALSE(Main->_barNapredek.Visible());
  }
  void ExpectCancelledDownload() {
    EXPECT_EQ(Rows(), kDownloadFailed);
    std::vector<std::string> log = kStep1;
    log.insert(log.end(), {"Prenos namestitvenega paketa...", kCancelledLine, kFailed});
    EXPECT_EQ(Log(), log);
    ExpectFailureEnd();
  }
  void ExpectFailureEnd() {
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{kFailed});
    EXPECT_FALSE(Main->InstallOk);
    EXPECT_TRUE(Ops.RunCommands.empty());  // the setup never started
    EXPECT_EQ(Ops.Files.count(kPackage), 0u);
    ExpectProgressHidden();
  }

  TSystemOperations Real;
  std::vector<TShown> Shown;
  std::uint32_t PressedAt = 0;
};

// A body in pieces with pauses, so that the line changes several times.
TScriptedServer::TScript SlowBody(const std::string& head, const std::string& body, int pieces,
                                  bool close) {
  return [=](TPeerConnection& c) {
    c.ReadHead();
    c.Send(head);
    const std::size_t piece = body.size() / static_cast<std::size_t>(pieces) + 1;
    for (std::size_t at = 0; at < body.size(); at += piece) {
      c.Send(body.substr(at, piece));
      SleepMs(150);
    }
    if (close) c.CloseSend();
    c.WaitForClientClose();
  };
}

TEST_F(LiveRun, KnownLengthShowsMegabytesOfTheTotalAndTheRate) {
  TScriptedServer server({SlowBody(Head(), Ops.Body, 6, false)});
  Serve(server);
  RecordProgress();
  RunInstall();
  ASSERT_GE(Shown.size(), 2u);
  const std::regex line(R"((\d+,\d) MB od 3,0 MB \(\d+,\d MB/s\))");
  double last = 0;
  int lastPosition = 0;
  for (const TShown& s : Shown) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(s.Text, m, line)) << s.Text;
    const double done = std::stod(std::regex_replace(m[1].str(), std::regex(","), "."));
    EXPECT_GE(done, last);
    EXPECT_FALSE(s.Marquee);
    EXPECT_GE(s.Position, lastPosition);
    last = done;
    lastPosition = s.Position;
  }
  EXPECT_GT(lastPosition, 0);
  EXPECT_TRUE(Main->InstallOk);  // the whole path is that of a success
  ExpectProgressHidden();
  EXPECT_GT(Platform.BusyPumps, 5);
}

TEST_F(LiveRun, UnknownLengthShowsBytesAndRateWithAnActivityBar) {
  TScriptedServer server({SlowBody("HTTP/1.0 200 OK\r\n\r\n", Ops.Body, 5, true)});
  Serve(server);
  RecordProgress();
  RunInstall();
  ASSERT_GE(Shown.size(), 2u);
  const std::regex line(R"(\d+,\d MB \(\d+,\d MB/s\))");
  for (const TShown& s : Shown) {
    EXPECT_TRUE(std::regex_match(s.Text, line)) << s.Text;
    EXPECT_TRUE(s.Marquee);
  }
  EXPECT_TRUE(Main->InstallOk);
  ExpectProgressHidden();
}

TEST_F(LiveRun, SilentServerFailsTheDownloadWithTheReadTimeOutAfterFourFurtherTries) {
  const TScriptedServer::TScript stall = [this](TPeerConnection& c) {
    c.ReadHead();
    c.Send(Head() + Ops.Body.substr(0, 2));
    c.WaitForClientClose();
  };
  TScriptedServer server({stall, stall, stall, stall, stall});
  Serve(server);
  Real.SetReadTimeout(300);
  RunInstall();
  EXPECT_EQ(Rows(), kDownloadFailed);
  std::vector<std::string> log = kStep1;
  log.push_back("Prenos namestitvenega paketa...");
  for (int k = 1; k <= 4; ++k) {
    log.push_back("Prenos prekinjen pri 2 od " + std::to_string(Ops.Body.size()) +
                  " bajtov, ponovni poskus " + std::to_string(k) + " od 4... ");
  }
  log.insert(log.end(), {"Read timed out.", kFailed});
  EXPECT_EQ(Log(), log);
  ExpectFailureEnd();
}

TEST_F(LiveRun, BodyCutAt40PercentGoesOnByRangeAndTheRunCompletes) {
  const std::size_t cut = Ops.Body.size() * 4 / 10;
  std::string range;
  TScriptedServer server(
      {[this, cut](TPeerConnection& c) {
         c.ReadHead();
         c.Send(Head() + Ops.Body.substr(0, cut));
         c.CloseSend();
         c.WaitForClientClose();
       },
       [this, cut, &range](TPeerConnection& c) {
         const std::string head = c.ReadHead();
         const std::size_t at = head.find("\r\nRange: ");
         if (at != std::string::npos)
           range = head.substr(at + 9, head.find("\r\n", at + 2) - at - 9);
         const std::size_t size = Ops.Body.size();
         c.Send("HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(size - cut) +
                "\r\nContent-Range: bytes " + std::to_string(cut) + "-" + std::to_string(size - 1) +
                "/" + std::to_string(size) + "\r\n\r\n" + Ops.Body.substr(cut));
         c.CloseSend();
         c.WaitForClientClose();
       }});
  Serve(server);
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(range, "bytes=" + std::to_string(cut) + "-");
  const auto log = Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[4], "Prenos prekinjen pri " + std::to_string(cut) + " od " +
                        std::to_string(Ops.Body.size()) + " bajtov, ponovni poskus 1 od 4... ");
}

// The settings' proxy carries the downloads: the absolute target goes to it,
// and its 407 fails the step with the status line.
TEST_F(LiveRun, DownloadGoesThroughTheProxyOfTheSettings) {
  TScriptedServer proxy({[this](TPeerConnection& c) {
                           c.ReadHead();
                           c.Send(Head() + Ops.Body);
                           c.CloseSend();
                           c.WaitForClientClose();
                         },
                         httptest::Reply("HTTP/1.1 407 Proxy Authentication Required\r\n"
                                         "Proxy-Authenticate: Basic realm=\"corp\"\r\n"
                                         "Content-Length: 0\r\n\r\n",
                                         true)});
  TSystemProxySettings settings;
  settings.Enabled = true;
  settings.Server = "127.0.0.1:" + std::to_string(proxy.Port());
  settings.Override = "<-loopback>";
  Real.SetProxySettings(settings);
  const std::string url =
      std::string("http://") + DistributionHost + "/Download/TramelaCoreServer.zip";
  EXPECT_EQ(Real.ProxyFor(DistributionHost).Port, proxy.Port());
  TMemoryStream body;
  TSha256Digest digest{};
  Real.HttpGetSized(url, body, static_cast<std::int64_t>(Ops.Body.size()), digest);
  EXPECT_EQ(body.Size(), static_cast<std::int64_t>(Ops.Body.size()));
  try {
    Real.HttpGet(url, body, 1000);
    ADD_FAILURE() << "a 407 passed";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "HTTP/1.1 407 Proxy Authentication Required");
  }
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "GET " + url + " HTTP/1.1");
}

TEST_F(LiveRun, CancelStopsADownloadThatIsWaitingForData) {
  TScriptedServer server({[this](TPeerConnection& c) {
    c.ReadHead();
    c.Send(Head() + Ops.Body.substr(0, 1000));
    c.WaitForClientClose();  // then nothing for 10 s
  }});
  Serve(server);
  CancelWhenProgressShows();
  RunInstall();
  ASSERT_NE(PressedAt, 0u);
  // Stopped by the click, not by the server's 10 s (the bound is loose for loaded machines).
  EXPECT_LT(GetTickCount32() - PressedAt, 3000u);
  ExpectCancelledDownload();
  EXPECT_EQ(Platform.QuitPosts, 0);
  Platform.Press(Main->_btnPreklici);  // afterwards the button ends the program
  EXPECT_EQ(Platform.QuitPosts, 1);
}

TEST_F(LiveRun, CancelDuringExtractionFailsStepFiveAndRemovesWhatWasWritten) {
  Ops.ExtractStallsUntilCancel = true;
  Platform.BusyHandler = [this] {
    if (Main->_lblNapredek.Caption() == "Datoteka 3 od 10") Platform.Press(Main->_btnPreklici);
  };
  RunInstall();
  const TRows rows{
      {"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepDone}, {"5", StepFailed}};
  EXPECT_EQ(Rows(), rows);
  std::vector<std::string> log = kStep1;
  log.insert(log.end(),
             {"Prenos namestitvenega paketa...", kCancelledLine, kRollbackLine, kFailed});
  EXPECT_EQ(Log(), log);
  ExpectFailureEnd();
  // The archive was let go, and the entry already out went with the folder.
  EXPECT_FALSE(Ops.ZipOpen);
  EXPECT_TRUE(Ops.Everything().empty());
  EXPECT_TRUE(Ops.RunCommands.empty());
}

TEST_F(LiveRun, CancelDuringTheProbeFailsStepThreeWhenItsConnectEnds) {
  Ops.TcpStallsUntilCancel = true;
  Platform.BusyHandler = [this] { Platform.Press(Main->_btnPreklici); };
  RunInstall();
  const TRows rows{{"1", StepDone}, {"2", StepDone}, {"3", StepFailed}};
  EXPECT_EQ(Rows(), rows);
  std::vector<std::string> log = kStep1;
  log.insert(log.end(), {kCancelledLine, kFailed});
  EXPECT_EQ(Log(), log);
  ExpectFailureEnd();
  EXPECT_TRUE(Ops.Urls.empty());
}

TEST_F(LiveRun, EscapeCancelsLikeTheButton) {
  Ops.HttpStallsUntilCancel = true;
  Platform.BusyHandler = [this] {
    if (Main->_lblNapredek.Visible()) Platform.PressEscape();
  };
  RunInstall();
  ExpectCancelledDownload();
  EXPECT_EQ(Platform.QuitPosts, 0);
}

TEST_F(LiveRun, ClosingTheWindowCancelsShowsTheNoticeThenEndsTheProgram) {
  Ops.HttpStallsUntilCancel = true;
  Platform.BusyHandler = [this] {
    if (Main->_lblNapredek.Visible()) Platform.SystemClose(*Main);
  };
  RunInstall();
  ExpectCancelledDownload();
  EXPECT_EQ(Platform.QuitPosts, 1);
  EXPECT_TRUE(Platform.QuitPending());
}

TEST_F(LiveRun, OtherInputDuringARunIsNotActedOn) {
  Ops.HttpStallsUntilCancel = true;
  int passes = 0;
  Platform.BusyHandler = [&] {
    if (!Main->_lblNapredek.Visible()) return;
    if (++passes == 1) {
      Platform.Press(Main->_btnPotrdi);
      // A click that reaches the handler anyway (sent from outside) starts no second run.
      Main->_btnPotrdiClick(Main);
    } else {
      Platform.Press(Main->_btnPreklici);
    }
  };
  RunInstall();
  EXPECT_EQ(Platform.IgnoredInput, 1);
  EXPECT_EQ(Ops.Urls.size(), 2u);  // the signature file and the package, once
  ExpectCancelledDownload();
}

}  // namespace
