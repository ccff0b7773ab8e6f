// File jobs through the real dialog and worker: every entry, a file cut
// short while it is read, Start clicks as soon as a job has ended, closing
// at every step of a job's start-up, and long pasted texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "engine/Catalogue.h"
#include "engine/ChunkPipeline.h"
#include "engine/Hasher.h"
#include "tests/dialog/DialogDriver.h"

namespace {

CWinApp g_app("Vexorin");

const UINT kMd5 = kAlgorithmMD5;
const char kQuitQuestion[] = "There are a file is calculating, are you sure you want to quit?";

std::string Expected(UINT nAlgorithm, const std::string& data, const std::string& key = "",
                     int hmac = 0) {
  Hasher hasher(nAlgorithm);
  return hasher.HashString(data, key, hmac, 0);
}

std::string SystemText(DWORD dwError) {
  char sz[1024] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                   sz, sizeof(sz), nullptr);
  return sz;
}

void SetHmac(DialogDriver& d, const std::string& key) {
  if (d.Checked(IDC_HMAC) != !key.empty()) d.Click(IDC_HMAC);
  d.SetText(IDC_KEY, key);
}

// The state every ended job leaves: no job, Start, inputs back.
void ExpectIdle(DialogDriver& d) {
  EXPECT_FALSE(d.m_dialog.m_bRunning);
  EXPECT_EQ(d.Text(IDC_START), "Start");
  for (int nID : {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA, IDC_BROWSE, IDC_KEY})
    EXPECT_TRUE(d.Enabled(nID)) << nID;
}

void PressCtrlV() {
  guitest::KeyEvent(VK_LCONTROL, false);
  guitest::KeyEvent('V', false);
  guitest::KeyEvent('V', true);
  guitest::KeyEvent(VK_LCONTROL, true);
}

// Printable text of the given length with no line break.
std::string LongText(size_t nLength, char chFirst) {
  std::string text(nLength, ' ');
  for (size_t i = 0; i < nLength; ++i) text[i] = (char)(chFirst + (i * 7 + i / 997) % 26);
  return text;
}

}  // namespace

TEST(MainDialogEveryEntry, FileJobsEqualStringDigests) {
  // Empty, one chunk and a byte, and a few chunks with a short last one.
  const std::string sizes[] = {"", Pattern(Hasher::kChunkSize + 1),
                               Pattern(2 * Hasher::kChunkSize + 4099)};
  std::vector<std::unique_ptr<TempFile>> files;
  for (const std::string& bytes : sizes)
    files.emplace_back(new TempFile("entry-" + std::to_string(bytes.size()), bytes));
  DialogDriver d;
  d.Click(IDC_FILE);
  for (UINT nIndex = 0; nIndex < kAlgorithmCount; ++nIndex) {
    d.SelectAlgorithm(nIndex);
    for (const std::string& key : {std::string(), std::string("Jefe")}) {
      if (!key.empty() && !OffersHmac(nIndex)) continue;
      SetHmac(d, key);
      for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(d.RunFileJob(files[i]->Path()), Expected(nIndex, sizes[i], key, !key.empty()))
            << "entry " << nIndex << " key '" << key << "' size " << sizes[i].size();
        // An empty file has no chunk to report.
        EXPECT_EQ(d.ProgressPos(), sizes[i].empty() ? 0 : 100);
      }
    }
  }
  ExpectIdle(d);
}

// A file cut short by the host while the worker reads it: the job ends like
// a failed open, with the system's text, and no digest of part of the file.
TEST(MainDialogJobs, AFileCutShortWhileReadEndsLikeAFailedOpen) {
  // Three reads' worth: the third is still to come when the file is cut.
  const TempFile file("cut-short.bin",
                      Pattern(3 * ChunkPipeline::kChunksPerRead * Hasher::kChunkSize + 17));
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  d.SetText(IDC_DATA, file.Path());
  d.m_dialog.HoldAt(MainDialog::kReported);  // after the first chunk
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  const bool bCut = ResizeFromHost(file.Path(), 65536);
  d.m_dialog.Release();
  if (!bCut) {
    d.WaitJobGone();
    GTEST_SKIP() << "no host to cut the file from";
  }
  HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
  ASSERT_NE(hBox, nullptr);
  const std::string text = BoxText(hBox);
  std::printf("[ cut    ] the notice: %s\n", text.c_str());
  EXPECT_TRUE(text == SystemText(ERROR_READ_FAULT) || text == SystemText(ERROR_NOACCESS)) << text;
  EXPECT_EQ(d.Text(IDC_START), "Stop");
  AnswerBox(hBox, IDOK);
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), "");
  EXPECT_EQ(d.ProgressPos(), 0);
  ExpectIdle(d);
}

// Once a job has put its result in, a Start click starts the next job, even
// while the worker of the last one has not yet returned.
TEST(MainDialogJobs, StartRightAfterAJobEndedStartsTheNext) {
  const TempFile abc("abc.txt", "abc");
  const std::string missing = TempPath("missing.bin");
  struct Case {
    const char* pszName;
    bool bNotice;  // the first job ends with a notice rather than a result
  };
  const Case cases[] = {{"after the no-file notice", true}, {"after a finished job", false}};
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    const int nBefore = d.m_dialog.m_nThreadsStarted;
    d.m_dialog.HoldAt(MainDialog::kResultPut);
    d.SetText(IDC_DATA, c.bNotice ? "" : abc.Path());
    d.PostClick(IDC_START);
    if (c.bNotice) {
      HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
      ASSERT_NE(hBox, nullptr);
      EXPECT_EQ(BoxText(hBox), "Please specify the file name!");
      AnswerBox(hBox, IDOK);
    }
    // The first worker is held between its result and its return.
    ASSERT_TRUE(d.m_dialog.WaitHeld());
    EXPECT_EQ(d.Text(IDC_RESULT), c.bNotice ? "" : Expected(kMd5, "abc"));
    ExpectIdle(d);
    d.SetText(IDC_DATA, missing);
    d.PostClick(IDC_START);
    HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(BoxText(hBox), SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nBefore + 2);
    AnswerBox(hBox, IDOK);
    d.m_dialog.Release();
    ASSERT_TRUE(d.WaitJobGone());
    ExpectIdle(d);
  }
  // A job that is still running keeps its one-job rule.
  d.SetText(IDC_DATA, abc.Path());
  d.m_dialog.HoldAt(MainDialog::kPathRead);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  const int nRunning = d.m_dialog.m_nThreadsStarted;
  d.Click(IDC_START);
  EXPECT_EQ(d.m_dialog.m_nThreadsStarted, nRunning);
  d.m_dialog.Release();
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, "abc"));
}

// From the Start click until the result is in, the close box and Exit ask
// first, at every step the worker passes on its way in.
TEST(MainDialogClose, AsksAtEveryStepOfAJobsStartUp) {
  const TempFile abc("abc.txt", "abc");
  const MainDialog::WorkerStep steps[] = {MainDialog::kPathRead, MainDialog::kStopShown,
                                          MainDialog::kHasherMade, MainDialog::kControlsDisabled,
                                          MainDialog::kReported};
  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  d.SetText(IDC_DATA, abc.Path());
  for (MainDialog::WorkerStep step : steps) {
    for (bool bCloseBox : {true, false}) {
      SCOPED_TRACE(std::to_string(step) + (bCloseBox ? " close box" : " Exit"));
      d.m_dialog.HoldAt(step);
      d.PostClick(IDC_START);
      ASSERT_TRUE(d.m_dialog.WaitHeld());
      if (bCloseBox)
        ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      else
        ::PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, (LPARAM)d.Item(IDOK));
      HWND hBox = WaitForBox(d.m_hWnd, "Warning");
      ASSERT_NE(hBox, nullptr);
      EXPECT_EQ(BoxText(hBox), kQuitQuestion);
      AnswerBox(hBox, IDNO);
      ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hBox); }));
      EXPECT_FALSE(d.Ended());
      d.m_dialog.Release();
      ASSERT_TRUE(d.WaitJobGone());
      EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, "abc"));
      ExpectIdle(d);
    }
  }
  // Yes at the first step ends the dialog and the job with it.
  d.m_dialog.HoldAt(MainDialog::kPathRead);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  HWND hBox = WaitForBox(d.m_hWnd, "Warning");
  ASSERT_NE(hBox, nullptr);
  AnswerBox(hBox, IDYES);
  d.m_dialog.Release();
  EXPECT_TRUE(d.WaitEnded());
  EXPECT_FALSE(d.m_dialog.m_thread);
}

// A real Ctrl+V of a text far beyond the edit control's default limit, into
// each field: all of it arrives and the digest covers all of it.
TEST(MainDialogKeyboard, LongPastesAreTakenWhole) {
  const std::string data = LongText(100000, 'a');
  const std::string key = LongText(100000, 'A');
  DialogDriver d;
  ::SetForegroundWindow(d.m_hWnd);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == d.m_hWnd; }));
  d.SelectAlgorithm(kMd5);
  struct Case {
    int nField;
    const std::string& text;
  };
  const Case cases[] = {{IDC_DATA, data}, {IDC_KEY, key}};
  for (const Case& c : cases) {
    if (c.nField == IDC_KEY) d.Click(IDC_HMAC);
    ::SendMessageA(d.m_hWnd, WM_NEXTDLGCTL, (WPARAM)d.Item(c.nField), TRUE);
    ASSERT_TRUE(PutOnClipboard(c.text));
    PressCtrlV();
    EXPECT_TRUE(WaitUntil([&] { return d.Text(c.nField).size() == c.text.size(); }))
        << c.nField << ": " << d.Text(c.nField).size();
    EXPECT_EQ(d.Text(c.nField), c.text);
  }
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, data, key, 1));
}

// The taskbar button through a recorder in place of the shell's interface:
// what a job shows on it at each of its steps, always from the dialog's own
// thread.
namespace {

class RecordingTaskbar : public ITaskbarList3 {
 public:
  RecordingTaskbar() { ::InitializeCriticalSection(&m_cs); }
  virtual ~RecordingTaskbar() { ::DeleteCriticalSection(&m_cs); }

  // "init", "normal", "none" or the percentage set, in the order called.
  std::vector<std::string> Calls() {
    ::EnterCriticalSection(&m_cs);
    std::vector<std::string> calls = m_calls;
    ::LeaveCriticalSection(&m_cs);
    return calls;
  }
  void Forget() {
    ::EnterCriticalSection(&m_cs);
    m_calls.clear();
    ::LeaveCriticalSection(&m_cs);
  }

  std::atomic<long> m_nRefs{0};
  std::atomic<bool> m_bOtherThread{false};  // a call came from elsewhere
  std::atomic<bool> m_bOtherWindow{false};  // a call named another window
  DWORD m_dwThread = 0;
  HWND m_hWnd = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRefs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_nRefs; }
  HRESULT STDMETHODCALLTYPE HrInit() override { return Record(m_hWnd, "init"); }
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND hWnd, ULONGLONG ullDone,
                                             ULONGLONG ullTotal) override {
    return Record(hWnd, std::to_string(ullDone) + (ullTotal == 100 ? "" : " of ?"));
  }
  HRESULT STDMETHODCALLTYPE SetProgressState(HWND hWnd, TBPFLAG flags) override {
    return Record(hWnd, flags == TBPF_NORMAL ? "normal" : flags == TBPF_NOPROGRESS ? "none" : "?");
  }
  HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return E_NOTIMPL; }

 private:
  HRESULT Record(HWND hWnd, const std::string& call) {
    if (::GetCurrentThreadId() != m_dwThread) m_bOtherThread = true;
    if (hWnd != m_hWnd) m_bOtherWindow = true;
    ::EnterCriticalSection(&m_cs);
    m_calls.push_back(call);
    ::LeaveCriticalSection(&m_cs);
    return S_OK;
  }

  CRITICAL_SECTION m_cs;
  std::vector<std::string> m_calls;
};

RecordingTaskbar* g_pTaskbar = nullptr;

ITaskbarList3* CreateRecorder() {
  if (g_pTaskbar != nullptr) g_pTaskbar->AddRef();
  return g_pTaskbar;
}

// The dialog with the recorder (or, given null, with no interface at all)
// announced to it the way the shell announces the button.
class TaskbarDialog {
 public:
  explicit TaskbarDialog(RecordingTaskbar* pRecorder) {
    g_pTaskbar = pRecorder;
    TaskbarProgress::s_pfnCreate = &CreateRecorder;
    m_pDriver.reset(new DialogDriver);
    if (pRecorder != nullptr) {
      pRecorder->m_hWnd = m_pDriver->m_hWnd;
      pRecorder->m_dwThread = ::GetWindowThreadProcessId(m_pDriver->m_hWnd, nullptr);
    }
    AnnounceButton();
  }
  ~TaskbarDialog() {
    m_pDriver.reset();
    TaskbarProgress::s_pfnCreate = m_pfnOriginal;
    g_pTaskbar = nullptr;
  }
  void AnnounceButton() {
    ::SendMessageA(m_pDriver->m_hWnd, ::RegisterWindowMessageA("TaskbarButtonCreated"), 0, 0);
  }
  DialogDriver& operator*() { return *m_pDriver; }

 private:
  TaskbarProgress::CreateFunction m_pfnOriginal = TaskbarProgress::s_pfnCreate;
  std::unique_ptr<DialogDriver> m_pDriver;
};

typedef std::vector<std::string> Calls;

}  // namespace

TEST(MainDialogTaskbar, FollowsAJobThroughEachOfItsEndings) {
  const TempFile four("four-chunks.bin", Pattern(4 * Hasher::kChunkSize));
  const std::string missing = TempPath("missing-for-taskbar.bin");
  RecordingTaskbar recorder;
  {
    TaskbarDialog dialog(&recorder);
    DialogDriver& d = *dialog;
    EXPECT_EQ(recorder.Calls(), Calls({"init"}));
    EXPECT_EQ(recorder.m_nRefs, 1);
    d.Click(IDC_FILE);
    d.SelectAlgorithm(kMd5);

    // To the end: normal from the first step, each report, then cleared.
    recorder.Forget();
    EXPECT_EQ(d.RunFileJob(four.Path()), Expected(kMd5, Pattern(4 * Hasher::kChunkSize)));
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "25", "50", "75", "100", "none"}));

    // A failure: cleared before its notice shows, and nothing after.
    recorder.Forget();
    d.SetText(IDC_DATA, missing);
    d.PostClick(IDC_START);
    HWND hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return recorder.Calls().size() == 3; }));
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "none"}));
    AnswerBox(hBox, IDOK);
    ASSERT_TRUE(d.WaitJobGone());
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "none"}));

    // Stopped after its first report.
    recorder.Forget();
    d.SetText(IDC_DATA, four.Path());
    d.m_dialog.HoldAt(MainDialog::kReported);
    d.PostClick(IDC_START);
    ASSERT_TRUE(d.m_dialog.WaitHeld());
    // A shell that restarts announces the button again: the new interface
    // shows the job where it is.
    dialog.AnnounceButton();
    EXPECT_TRUE(WaitUntil([&] { return recorder.Calls().size() >= 6; }));
    EXPECT_EQ(recorder.Calls(), Calls({"normal", "0", "25", "init", "normal", "25"}));
    EXPECT_EQ(recorder.m_nRefs, 1) << "the old interface is released";
    d.PostClick(IDC_START);
    HWND hQuestion = WaitForBox(d.m_hWnd, "Warning");
    ASSERT_NE(hQuestion, nullptr);
    AnswerBox(hQuestion, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hQuestion); }));
    d.m_dialog.Release();
    ASSERT_TRUE(d.WaitJobGone());
    EXPECT_EQ(d.Text(IDC_RESULT), "");
    const Calls stopped = recorder.Calls();
    ASSERT_FALSE(stopped.empty());
    EXPECT_EQ(stopped.back(), "none");
    EXPECT_EQ(std::count(stopped.begin(), stopped.end(), "none"), 1);

    // Ended before hashing (no path, an HMAC without key): nothing shown.
    recorder.Forget();
    d.SetText(IDC_DATA, "");
    d.PostClick(IDC_START);
    hBox = WaitForBox(d.m_hWnd, "Vexorin");
    ASSERT_NE(hBox, nullptr);
    AnswerBox(hBox, IDOK);
    ASSERT_TRUE(d.WaitJobGone());
    d.Click(IDC_HMAC);
    EXPECT_EQ(d.RunFileJob(four.Path()), "");
    EXPECT_EQ(recorder.Calls(), Calls());

    EXPECT_FALSE(recorder.m_bOtherThread) << "a call came from another thread than the dialog's";
    EXPECT_FALSE(recorder.m_bOtherWindow);
  }
  EXPECT_EQ(recorder.m_nRefs, 0) << "closing the dialog releases the interface";
}

// Where the system has no such interface, jobs run as they always did.
TEST(MainDialogTaskbar, WithoutTheInterfaceJobsRunAsBefore) {
  const TempFile abc("abc.txt", "abc");
  TaskbarDialog dialog(nullptr);
  DialogDriver& d = *dialog;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);
  EXPECT_EQ(d.RunFileJob(abc.Path()), Expected(kMd5, "abc"));
  EXPECT_EQ(d.ProgressPos(), 100);
  ExpectIdle(d);
}

// No page of the process is writable and executable at once, at any point
// where one of the program's callback adapters is bound: with the dialog
// open, the picker's hook, a job's worker, the About box's link
// subclasses, and after all of them. The walk covers every committed page
// the process can see, the system's modules included: under Wine they
// are plain images with read-only code, as on Windows, so nothing needs to
// be left out.
namespace {

struct WritableCode {
  const void* pBase;
  SIZE_T nSize;
  DWORD dwProtect;
  DWORD dwType;
  std::string strOwner;  // the module of an image, else the allocation
};

std::string OwnerOf(const MEMORY_BASIC_INFORMATION& info) {
  char szName[MAX_PATH] = {};
  if (info.Type == MEM_IMAGE &&
      ::GetModuleFileNameA(static_cast<HMODULE>(info.AllocationBase), szName, MAX_PATH) != 0)
    return szName;
  char szAllocation[64];
  std::snprintf(szAllocation, sizeof(szAllocation), "%s allocation at %p",
                info.Type == MEM_PRIVATE  ? "private"
                : info.Type == MEM_MAPPED ? "mapped"
                                          : "image",
                info.AllocationBase);
  return szAllocation;
}

std::vector<WritableCode> WritableCodePages() {
  SYSTEM_INFO si;
  ::GetSystemInfo(&si);
  std::vector<WritableCode> found;
  const char* p = static_cast<const char*>(si.lpMinimumApplicationAddress);
  MEMORY_BASIC_INFORMATION info;
  while (p < static_cast<const char*>(si.lpMaximumApplicationAddress) &&
         ::VirtualQuery(p, &info, sizeof(info)) == sizeof(info)) {
    const DWORD dwProtect = info.Protect & 0xFF;
    if (info.State == MEM_COMMIT &&
        (dwProtect == PAGE_EXECUTE_READWRITE || dwProtect == PAGE_EXECUTE_WRITECOPY))
      found.push_back({info.BaseAddress, info.RegionSize, info.Protect, info.Type, OwnerOf(info)});
    p = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return found;
}

void ExpectNoWritableCode(const char* pszWhen) {
  for (const WritableCode& page : WritableCodePages()) {
    ADD_FAILURE() << pszWhen << ": " << page.nSize << " bytes at " << page.pBase
                  << " writable and executable (protection 0x" << std::hex << page.dwProtect
                  << std::dec << ", " << page.strOwner << ")";
  }
}

}  // namespace

TEST(MainDialogMemory, NoPageIsWritableAndExecutableWhileTheAdaptersAreBound) {
  // The walk sees such a page where there is one.
  void* pProbe = ::VirtualAlloc(nullptr, 1, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  ASSERT_NE(pProbe, nullptr);
  const std::vector<WritableCode> probe = WritableCodePages();
  ::VirtualFree(pProbe, 0, MEM_RELEASE);
  ASSERT_EQ(probe.size(), 1u);
  EXPECT_EQ(probe.front().pBase, pProbe);

  const TempFile four("four-chunks.bin", Pattern(4 * Hasher::kChunkSize));
  DialogDriver d;
  ExpectNoWritableCode("with the dialog open");
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kMd5);

  d.PostClick(IDC_BROWSE);
  HWND hPicker = WaitForBox(d.m_hWnd, "Open");
  ASSERT_NE(hPicker, nullptr);
  ExpectNoWritableCode("with the picker open");
  ::PostMessageA(hPicker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hPicker); }));

  d.SetText(IDC_DATA, four.Path());
  d.m_dialog.HoldAt(MainDialog::kReported);
  d.PostClick(IDC_START);
  ASSERT_TRUE(d.m_dialog.WaitHeld());
  ExpectNoWritableCode("during a file job");
  d.m_dialog.Release();
  ASSERT_TRUE(d.WaitJobGone());
  EXPECT_EQ(d.Text(IDC_RESULT), Expected(kMd5, Pattern(4 * Hasher::kChunkSize)));

  d.PostClick(IDC_ABOUT);
  HWND hAbout = WaitForBox(d.m_hWnd, "About");
  ASSERT_NE(hAbout, nullptr);
  ExpectNoWritableCode("with the About box open");
  ::PostMessageA(hAbout, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hAbout); }));
  ExpectNoWritableCode("after all of them");
}
