// The ways into the list window from outside, as the shell and a user take
// them: the command line with a checksum file, a folder or several files,
// and many processes started at once (Explorer starts one per selected
// file) gathering into one window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/ExpectedText.h"
#include "res/resource.h"
#include "tests/common/TempTree.h"
#include "tests/program/Program.h"

namespace {

using namespace guitest;
using namespace programtest;

std::wstring Quoted(const std::string& path) { return L"\"" + WideFromUtf8(path) + L"\""; }

// The list window's state once its run has ended.
struct ListOutcome {
  std::string strSummary;
  int nRows = -1;
};

ListOutcome WaitForList(const Program& program) {
  ListOutcome outcome;
  // The button reads "Close" from the start too, until the window's work
  // begins: a finished run has rows (every list here has some).
  if (!WaitUntil([&] {
        return program.Text(IDC_LIST_STOP) == "Close" &&
               program.Send(IDC_LIST_ROWS, LVM_GETITEMCOUNT, 0, 0) > 0;
      }))
    return outcome;
  outcome.strSummary = program.Text(IDC_LIST_SUMMARY);
  outcome.nRows = (int)program.Send(IDC_LIST_ROWS, LVM_GETITEMCOUNT, 0, 0);
  return outcome;
}

std::string Sha256(const std::string& bytes) { return Expected(kAlgorithmSHA256, bytes); }

TEST(ProgramList, ACommandLineChecksumFileIsVerified) {
  TempTree tree("verify-cli");
  ASSERT_TRUE(tree.File("a.txt", "abc"));
  ASSERT_TRUE(tree.File("sub\\b.txt", "bytes of b"));
  const std::string sums = Sha256("abc") + "  a.txt\n" + Sha256("not b") + "  sub/b.txt\n" +
                           Sha256("c") + "  c.txt\n" + Sha256("abc") + "  ..\\outside.txt\n";
  ASSERT_TRUE(tree.File("SHA256SUMS", sums));
  Program program(Quoted(tree.Path("SHA256SUMS")), true, "Vexorin - SHA256SUMS");
  ASSERT_NE(program.Window(), nullptr);
  const ListOutcome outcome = WaitForList(program);
  EXPECT_EQ(outcome.nRows, 4);
  EXPECT_EQ(outcome.strSummary, "4 files: 1 match, 1 no match, 1 missing, 1 refused");
}

TEST(ProgramList, AFolderOrSeveralFilesAreHashed) {
  TempTree tree("hash-cli");
  ASSERT_TRUE(tree.File("one.bin", "1"));
  ASSERT_TRUE(tree.File("deeper\\two.bin", "22"));
  ASSERT_TRUE(tree.File("deeper\\three.bin", "333"));
  const std::string folder = LastPathComponent(tree.Root());
  {
    Program program(Quoted(tree.Root()), true, "Vexorin - " + folder);
    ASSERT_NE(program.Window(), nullptr);
    const ListOutcome outcome = WaitForList(program);
    EXPECT_EQ(outcome.nRows, 3);
    EXPECT_EQ(outcome.strSummary, "3 files");
  }
  Program program(Quoted(tree.Path("one.bin")) + L" " + Quoted(tree.Path("deeper\\two.bin")), true,
                  "Vexorin - one.bin");
  ASSERT_NE(program.Window(), nullptr);
  const ListOutcome outcome = WaitForList(program);
  EXPECT_EQ(outcome.nRows, 2);
  EXPECT_EQ(outcome.strSummary, "2 files");
}

// Explorer's verb on 20 selected files: 20 processes, one window.
TEST(ProgramList, TwentyProcessesStartedAtOnceGatherIntoOneWindow) {
  TempTree tree("gather");
  const int kFiles = 20;
  for (int i = 0; i < kFiles; ++i)
    ASSERT_TRUE(tree.File("file-" + std::to_string(100 + i) + ".bin", std::to_string(i)));
  std::vector<std::unique_ptr<Program>> programs;
  for (int i = 0; i < kFiles; ++i) {
    programs.emplace_back(new Program(Quoted(tree.Path("file-" + std::to_string(100 + i) + ".bin")),
                                      true, "", /*bWait=*/false));
  }
  // All but one hand their path over and end.
  size_t nReceiver = programs.size();
  EXPECT_TRUE(WaitUntil([&] {
    size_t nRunning = 0;
    for (size_t i = 0; i < programs.size(); ++i) {
      if (!programs[i]->Exited()) {
        ++nRunning;
        nReceiver = i;
      }
    }
    return nRunning == 1;
  }));
  ASSERT_LT(nReceiver, programs.size());
  for (const std::unique_ptr<Program>& program : programs) {
    if (program->Exited()) {
      EXPECT_EQ(program->WaitExitCode(), 0u);
    }
  }
  Program& receiver = *programs[nReceiver];
  ASSERT_TRUE(receiver.FindWindowNamed("Vexorin - "));
  EXPECT_EQ(WindowText(receiver.Window()).rfind("Vexorin - file-1", 0), 0u)
      << WindowText(receiver.Window());
  EXPECT_TRUE(WaitUntil([&] {
    return receiver.Send(IDC_LIST_ROWS, LVM_GETITEMCOUNT, 0, 0) == kFiles &&
           receiver.Text(IDC_LIST_STOP) == "Close";
  })) << receiver.Text(IDC_LIST_SUMMARY);
  EXPECT_EQ(receiver.Text(IDC_LIST_SUMMARY), "20 files");
  EXPECT_EQ(TopLevelWindows(receiver.ProcessId(), "#32770", "Vexorin").size(), 0u);
}

// One ordinary file, alone, keeps the main window; a path handed over
// while the list window is up is added to it.
TEST(ProgramList, OneFileKeepsTheMainWindowAndALaterPathJoinsAnOpenList) {
  TempTree tree("join");
  ASSERT_TRUE(tree.File("first.bin", "1"));
  ASSERT_TRUE(tree.File("second.bin", "2"));
  ASSERT_TRUE(tree.File("third.bin", "3"));
  {
    Program single(Quoted(tree.Path("first.bin")));
    ASSERT_NE(single.Window(), nullptr);
    EXPECT_EQ(single.Text(IDC_DATA), tree.Path("first.bin"));
  }
  Program list(Quoted(tree.Path("first.bin")) + L" " + Quoted(tree.Path("second.bin")), true,
               "Vexorin - first.bin");
  ASSERT_NE(list.Window(), nullptr);
  EXPECT_EQ(WaitForList(list).nRows, 2);
  Program later(Quoted(tree.Path("third.bin")), true, "", false);
  EXPECT_EQ(later.WaitExitCode(), 0u);
  EXPECT_TRUE(WaitUntil([&] { return list.Send(IDC_LIST_ROWS, LVM_GETITEMCOUNT, 0, 0) == 3; }));
  EXPECT_EQ(WaitForList(list).strSummary, "3 files");
}

}  // namespace
