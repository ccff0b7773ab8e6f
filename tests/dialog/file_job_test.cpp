// FileJob driven by an owner of the test's own, as another window would run
// jobs: the end on the owner's thread with its notice first, the stop
// request reaching a run however early it came, a run's own flag set and
// let go, thread creation failing, the Start click after the notice's OK,
// and closing while workers run and send.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "engine/Hasher.h"
#include "tests/common/GuiTestSupport.h"
#include "tests/common/TempFile.h"
#include "ui/FileJob.h"

namespace {

using guitest::PumpUntil;

// The test thread is the owner's user-interface thread: its window gives
// every message to the job first, as a dialog's OnWndMsg does.
class TestOwner : public FileJobOwner {
 public:
  TestOwner() {
    m_hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
    ::SetWindowSubclass(m_hWnd, &TestOwner::Proc, 0, reinterpret_cast<DWORD_PTR>(this));
  }
  ~TestOwner() {
    m_job.Close();
    ::DestroyWindow(m_hWnd);
    for (HANDLE h : m_workers) ::CloseHandle(h);
  }

  void RunJob(FileJob& job) override {
    if (m_work) m_work(job);
  }
  void OnWaitingStart() override { ++m_nWaitingStarts; }
  void* BindWorker(FileJob& job) override {
    return m_bFailBind ? nullptr : FileJobOwner::BindWorker(job);
  }
  HANDLE CreateWorker(void* pfnStart, DWORD* pdwThreadId) override {
    if (m_bFailCreate) return nullptr;
    HANDLE hThread = FileJobOwner::CreateWorker(pfnStart, pdwThreadId);
    HANDLE hCopy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), hThread, ::GetCurrentProcess(), &hCopy, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    m_workers.push_back(hCopy);
    return hThread;
  }

  bool WaitEnded() {
    return PumpUntil([&] { return !m_job.IsRunning(); }, 6000);
  }

  HWND m_hWnd = nullptr;
  FileJob m_job{*this};
  std::function<void(FileJob&)> m_work;
  int m_nWaitingStarts = 0;
  bool m_bFailBind = false;
  bool m_bFailCreate = false;
  std::vector<HANDLE> m_workers;

 private:
  static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR dwRefData) {
    LRESULT lResult = 0;
    if (reinterpret_cast<TestOwner*>(dwRefData)->m_job.OnMessage(message, wParam, lParam, &lResult))
      return lResult;
    return ::DefSubclassProc(hWnd, message, wParam, lParam);
  }
};

// An end that records, on the thread it runs on, what the job did with it.
class RecordedEnd : public FileJobEnd {
 public:
  RecordedEnd(FileJob& job, bool bNotice) : m_job(job), m_bNotice(bNotice) {}
  bool HasNotice() const override { return m_bNotice; }
  void ShowNotice() override { Record("notice"); }
  void Apply() override { Record("apply"); }

  std::function<void()> m_onNotice;
  std::vector<std::string> m_steps;  // each with "running" when the job still ran
  DWORD m_dwThread = 0;

 private:
  void Record(const char* pszStep) {
    m_dwThread = ::GetCurrentThreadId();
    m_steps.push_back(std::string(pszStep) + (m_job.IsRunning() ? " running" : ""));
    if (std::string(pszStep) == "notice" && m_onNotice) m_onNotice();
  }
  FileJob& m_job;
  bool m_bNotice;
};

struct Reports {
  std::vector<int> seen;
  std::function<void()> onFirst;
  void OnProgress(int nPercent) {
    seen.push_back(nPercent);
    if (seen.size() == 1 && onFirst) onFirst();
  }
};

TEST(FileJob, EndsOnTheOwnersThreadWithItsNoticeFirst) {
  for (bool bNotice : {true, false}) {
    TestOwner owner;
    bool bStartRefused = false;
    std::vector<std::string> steps;
    DWORD dwThread = 0;
    owner.m_work = [&](FileJob& job) {
      RecordedEnd end(job, bNotice);
      end.m_onNotice = [&] { bStartRefused = !job.Start(owner.m_hWnd); };
      job.HandBack(end);
      steps = end.m_steps;
      dwThread = end.m_dwThread;
    };
    ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd));
    EXPECT_TRUE(owner.m_job.IsRunning());
    EXPECT_FALSE(owner.m_job.Start(owner.m_hWnd)) << "one job at a time";
    ASSERT_TRUE(owner.WaitEnded());
    ASSERT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(owner.m_workers[0], 0) == 0; }));
    EXPECT_EQ(dwThread, ::GetCurrentThreadId());
    const std::vector<std::string> expected =
        bNotice ? std::vector<std::string>{"notice running", "apply running"}
                : std::vector<std::string>{"apply running"};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(bStartRefused, bNotice) << "a job whose notice is up still runs";
    EXPECT_TRUE(owner.m_job.HasWorker());
    EXPECT_EQ(owner.m_workers.size(), 1u);
  }
}

// A stop confirmed before the run begins, or during it, ends the read:
// the pass reads the job's request, which no run clears.
TEST(FileJob, AStopReachesTheRunHoweverEarlyItCame) {
  const TempFile file("job-stop.bin", std::string(3000000, 'x'));
  for (bool bBeforeTheRun : {true, false}) {
    SCOPED_TRACE(bBeforeTheRun ? "before the run" : "from the first report");
    TestOwner owner;
    HANDLE hReady = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hGo = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Reports reports;
    std::string strResult = "<not run>";
    int nFlagAtStart = -1;
    std::atomic<int> bNotNull{0};
    std::atomic<int>* pRunStopAfter = &bNotNull;
    DWORD dwError = 1;
    owner.m_work = [&](FileJob& job) {
      Hasher hasher(kAlgorithmSHA256);
      hasher.m_pOuterStop = &job.StopFlag();
      if (bBeforeTheRun) {
        ::SetEvent(hReady);
        ::WaitForSingleObject(hGo, INFINITE);
      }
      {
        FileJob::Run run(job, &hasher.m_bStop);
        nFlagAtStart = hasher.m_bStop.load();
        strResult = hasher.HashFile(file.Path(), "", 0, 0,
                                    ProgressCallback(&reports, &Reports::OnProgress));
      }
      pRunStopAfter = job.RunStop();
      dwError = hasher.ErrorCode();
      RecordedEnd end(job, false);
      job.HandBack(end);
    };
    if (!bBeforeTheRun) {
      reports.onFirst = [&] {
        ::SetEvent(hReady);
        ::WaitForSingleObject(hGo, INFINITE);
      };
    }
    ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd));
    ASSERT_EQ(::WaitForSingleObject(hReady, 60000), WAIT_OBJECT_0);
    if (!bBeforeTheRun) {
      // Wait for the first report itself, the run held inside it.
      ASSERT_TRUE(PumpUntil([&] { return owner.m_job.RunStop() != nullptr; }));
    }
    owner.m_job.RequestStop();
    if (!bBeforeTheRun) {
      EXPECT_EQ(owner.m_job.RunStop()->load(), 1) << "the run's own flag";
    }
    ::SetEvent(hGo);
    ASSERT_TRUE(owner.WaitEnded());
    EXPECT_EQ(strResult, "");
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(pRunStopAfter, nullptr) << "the run's flag is let go with the run";
    EXPECT_EQ(reports.seen.size(), bBeforeTheRun ? 0u : 1u);
    if (bBeforeTheRun) {
      EXPECT_EQ(nFlagAtStart, 1) << "a held run gets an earlier stop at once";
    }
    EXPECT_TRUE(owner.m_job.StopRequested());
    ::CloseHandle(hReady);
    ::CloseHandle(hGo);

    // The next job starts with no stop request.
    bool bStopSeen = true;
    owner.m_work = [&](FileJob& job) {
      bStopSeen = job.StopRequested();
      RecordedEnd end(job, false);
      job.HandBack(end);
    };
    ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd));
    ASSERT_TRUE(owner.WaitEnded());
    EXPECT_FALSE(bStopSeen);
  }
}

TEST(FileJob, WithoutAThreadThereIsNoJobAndAWorkWithoutAnEndStillEnds) {
  TestOwner owner;
  int nRuns = 0;
  owner.m_work = [&](FileJob&) { ++nRuns; };  // hands nothing back
  for (int nFailing : {0, 1}) {
    owner.m_bFailBind = nFailing == 0;
    owner.m_bFailCreate = nFailing == 1;
    EXPECT_FALSE(owner.m_job.Start(owner.m_hWnd)) << nFailing;
    EXPECT_FALSE(owner.m_job.IsRunning()) << nFailing;
    EXPECT_FALSE(owner.m_job.HasWorker()) << nFailing;
  }
  owner.m_bFailBind = owner.m_bFailCreate = false;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd)) << i;
    ASSERT_TRUE(owner.WaitEnded()) << i;
  }
  EXPECT_EQ(nRuns, 2);
}

// While the last notice is up a Start click is the job's: kept for after
// the end when it came after the notice's OK (the window enabled again),
// dropped while the notice still holds the window.
TEST(FileJob, AStartClickAfterTheNoticesOkWaitsForTheEnd) {
  for (bool bOkGiven : {true, false}) {
    TestOwner owner;
    bool bHeld = false;
    int nWaitingDuringNotice = -1;
    owner.m_work = [&](FileJob& job) {
      RecordedEnd end(job, true);
      end.m_onNotice = [&] {
        ::EnableWindow(owner.m_hWnd, bOkGiven ? TRUE : FALSE);
        bHeld = job.HoldsStartClick();
        ::EnableWindow(owner.m_hWnd, TRUE);
        nWaitingDuringNotice = owner.m_nWaitingStarts;
      };
      job.HandBack(end);
    };
    EXPECT_FALSE(owner.m_job.HoldsStartClick()) << "no notice, no hold";
    ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd));
    ASSERT_TRUE(owner.WaitEnded());
    EXPECT_TRUE(bHeld);
    EXPECT_EQ(nWaitingDuringNotice, 0);
    EXPECT_EQ(owner.m_nWaitingStarts, bOkGiven ? 1 : 0);
    EXPECT_FALSE(owner.m_job.HoldsStartClick());
  }
}

// Closing stops a run that has only its own flag, serves what the worker
// sends meanwhile, skips the notice, and waits for an earlier job's worker
// that is still returning.
TEST(FileJob, ClosingStopsTheRunAndWaitsForEveryWorker) {
  TestOwner owner;
  owner.m_work = [&](FileJob& job) {
    RecordedEnd end(job, false);
    job.HandBack(end);
    ::Sleep(300);  // returns well after its end
  };
  ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd));
  ASSERT_TRUE(owner.WaitEnded());
  std::vector<std::string> steps;
  std::atomic<int> nSends{0};
  owner.m_work = [&](FileJob& job) {
    std::atomic<int> bStop{0};  // a run over many files, say
    {
      FileJob::Run run(job, &bStop);
      while (bStop.load() == 0) {
        ::SendMessageA(owner.m_hWnd, WM_NULL, 0, 0);
        ++nSends;
        ::Sleep(1);
      }
    }
    RecordedEnd end(job, true);
    job.HandBack(end);
    steps = end.m_steps;
  };
  ASSERT_TRUE(owner.m_job.Start(owner.m_hWnd));
  ASSERT_TRUE(PumpUntil([&] { return nSends > 3; }));
  owner.m_job.Close();
  ASSERT_EQ(owner.m_workers.size(), 2u);
  for (HANDLE h : owner.m_workers) EXPECT_EQ(::WaitForSingleObject(h, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(owner.m_job.HasWorker());
  EXPECT_FALSE(owner.m_job.IsRunning());
  EXPECT_TRUE(owner.m_job.IsClosing());
  EXPECT_TRUE(owner.m_job.StopRequested());
  EXPECT_EQ(steps, std::vector<std::string>{"apply running"}) << "no notice while closing";
}

}  // namespace
