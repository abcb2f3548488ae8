#include "app/batch_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/job_builder.h"
#include "scripted_converter.h"
#include "fixtures.h"
#include "media/main_thread.h"

namespace strella::app {
namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

class TRecordingView : public TBatchView {
 public:
  void ShowInformation(const std::string& AText) override { messages.push_back(AText); }
  bool ConfirmStop() override { return answerYes; }
  void SetSettingsEnabled(bool AEnabled) override { settingsEnabled = AEnabled; }
  void SetProgressBar(int APosition) override { bar = APosition; }
  void SetStatusText(const std::string& AText) override { status = AText; }
  void BrowseForFolder() override { ++folderPickers; }

  std::vector<std::string> messages;
  bool answerYes = true;
  bool settingsEnabled = true;
  int bar = -1;
  std::string status;
  int folderPickers = 0;
};

class BatchQueueTest : public ::testing::Test {
 protected:
  BatchQueueTest() : model(lists.Controls()), queue(list, model, prefs, converter, view) {
    model.Initialize();
    c().ComboOutputFormat->SelectText("MP4 - MPEG4 Video (*.mp4)");
    model.OutputFormatChanged();
    in = fixtures::ScratchDir("batch_in");
    prefs.OutputFolder = fixtures::ScratchDir("batch_out");
  }
  const TSettingsControls& c() const { return lists.Controls(); }

  void AddRow(const std::string& name, bool checked = true, const std::string& duration = "00:00:02") {
    TFileRow row{in + "/" + name, checked, {"320x240", duration, "MP4", "", "", ""}, {}, {}};
    row.Probe = ProbeFromColumns(row.Columns);
    list.Append(row);
  }
  std::string Progress(int row) const { return list.Column(row, fcProgress); }
  std::string Out(const std::string& name) const { return prefs.OutputFolder + "/" + name; }

  // Runs the 100 ms tick (every 2 ms here: the pause stands in for the
  // timer) until the batch ends or 30 s pass; each step may act between ticks.
  void RunBatch(const std::function<void(int)>& step = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    for (int tick = 0; queue.Running() && std::chrono::steady_clock::now() < deadline; ++tick) {
      queue.Tick();
      media::ProcessThreadMessages();
      if (step) step(tick);
      std::this_thread::sleep_for(2ms);
    }
    ASSERT_FALSE(queue.Running());
  }
  void StartBatch() { ASSERT_TRUE(queue.ConvertNow()); }

  // ASlots conversions at once; every further slot's converter ends as AOutcome says.
  void UseSlots(int ASlots, TScriptedConverter::TOutcome AOutcome) {
    prefs.SimultaneousConversions = ASlots;
    converter.outcome = AOutcome;
    queue.MakeConverter = [this, AOutcome](std::string&) {
      auto made = std::make_unique<TScriptedConverter>();
      made->outcome = AOutcome;
      further.push_back(made.get());
      return std::unique_ptr<TConverter>(std::move(made));
    };
  }
  // The converter that runs ARow's job now.
  TScriptedConverter* ConverterOf(int ARow) {
    for (TScriptedConverter* c : AllConverters()) {
      if (!c->inputs.empty() && c->inputs.back() == list.Row(ARow).Caption) return c;
    }
    return nullptr;
  }
  std::vector<TScriptedConverter*> AllConverters() {
    std::vector<TScriptedConverter*> all{&converter};
    all.insert(all.end(), further.begin(), further.end());
    return all;
  }
  // Ticks until the rows' progress columns read AExpected.
  void WaitForProgress(const std::vector<std::string>& AExpected) {
    const bool reached = media::WaitServingMainThread([&] {
      queue.Tick();
      for (size_t row = 0; row < AExpected.size(); ++row) {
        if (Progress(static_cast<int>(row)) != AExpected[row]) return false;
      }
      return true;
    }, 10s);
    ASSERT_TRUE(reached) << Progress(0) << "|" << Progress(1) << "|" << Progress(2);
  }

  TListSettingsControls lists;
  TSettingsModel model;
  TPreferences prefs;
  TFileList list;
  TScriptedConverter converter;
  std::vector<TScriptedConverter*> further;  // owned by the queue
  TRecordingView view;
  TBatchQueue queue;
  std::string in;
};

TEST_F(BatchQueueTest, TwoSlotsRunRowsAtTheSameTimeAndEndOnce) {
  UseSlots(2, TScriptedConverter::toWaitForRelease);
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) AddRow(name);
  StartBatch();
  // Rows 0 and 1 run together; row 2 waits for a free slot.
  WaitForProgress({"50%", "50%", ""});
  EXPECT_EQ(queue.RunningRows(), (std::vector<int>{0, 1}));
  ConverterOf(1)->Release();
  WaitForProgress({"50%", "Done", "50%"});
  EXPECT_EQ(queue.RunningRows(), (std::vector<int>{0, 2}));
  EXPECT_TRUE(view.messages.empty());
  ConverterOf(0)->Release();
  ConverterOf(2)->Release();
  RunBatch();
  for (int row = 0; row < 3; ++row) EXPECT_EQ(Progress(row), "Done") << row;
  EXPECT_EQ(view.messages, std::vector<std::string>{"All converting jobs completed."});
  EXPECT_EQ(further.size(), 1u);
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) EXPECT_EQ(ReadFile(Out(name)), "converted") << name;
}

TEST_F(BatchQueueTest, StopDuringTwoRunningRowsAbortsBothAndLeavesNoFile) {
  UseSlots(2, TScriptedConverter::toWaitForStop);
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) AddRow(name);
  StartBatch();
  WaitForProgress({"50%", "50%", ""});
  queue.Stop();
  EXPECT_FALSE(queue.Running());
  for (int i = 0; i < 20; ++i) media::ProcessThreadMessages();
  EXPECT_EQ(Progress(0), "Abort");
  EXPECT_EQ(Progress(1), "Abort");
  EXPECT_EQ(Progress(2), "");
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(std::filesystem::is_empty(prefs.OutputFolder));
}

TEST_F(BatchQueueTest, AlikeNamesInTwoFoldersGetDistinctOutputsWithTwoSlots) {
  UseSlots(2, TScriptedConverter::toFinish);
  AddRow("one/clip.avi");
  AddRow("two/clip.avi");
  StartBatch();
  RunBatch();
  EXPECT_EQ(Progress(0), "Done");
  EXPECT_EQ(Progress(1), "Done");
  ASSERT_NE(list.Row(0).OutputFile, list.Row(1).OutputFile);
  for (int row = 0; row < 2; ++row) EXPECT_EQ(ReadFile(list.Row(row).OutputFile), "converted");
}

TEST_F(BatchQueueTest, ConvertsCheckedRowsInOrderAndEndsOnce) {
  AddRow("a.avi");
  AddRow("b.avi", false);
  AddRow("c.avi");
  StartBatch();
  RunBatch();
  EXPECT_EQ(converter.inputs, (std::vector<std::string>{in + "/a.avi", in + "/c.avi"}));
  EXPECT_EQ(Progress(0), "Done");
  EXPECT_EQ(Progress(1), "");
  EXPECT_EQ(Progress(2), "Done");
  EXPECT_EQ(view.messages, std::vector<std::string>{"All converting jobs completed."});
  EXPECT_TRUE(view.settingsEnabled);
  EXPECT_EQ(ReadFile(Out("a.mp4")), "converted");
  EXPECT_EQ(list.Row(2).OutputFile, Out("c.mp4"));
  // The job wrote to a hidden partial name, never under the final one.
  EXPECT_NE(converter.outputName, Out("c.mp4"));
  EXPECT_FALSE(Exists(converter.outputName));
}

TEST_F(BatchQueueTest, ChecksMadeDuringTheBatch) {
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) AddRow(name);
  StartBatch();
  RunBatch([&](int tick) {
    if (tick == 0) {
      list.SetChecked(2, false);  // not reached yet: skipped
      list.SetChecked(0, true);   // already taken: no second run
    }
  });
  EXPECT_EQ(converter.inputs, (std::vector<std::string>{in + "/a.avi", in + "/b.avi"}));
  EXPECT_EQ(Progress(2), "");
}

TEST_F(BatchQueueTest, FailedSetUpShowsFailThenFailedAndGoesOn) {
  AddRow("unreadable.avi");
  AddRow("b.avi");
  StartBatch();
  queue.Tick();
  EXPECT_EQ(Progress(0), "Fail");
  EXPECT_TRUE(queue.JobFailed);
  EXPECT_NE(list.Row(0).Message.find("no such file or directory"), std::string::npos);
  queue.Tick();
  EXPECT_EQ(Progress(0), "Failed");
  RunBatch();
  EXPECT_EQ(Progress(1), "Done");
}

TEST_F(BatchQueueTest, SettingsWithoutAJobFailTheRow) {
  c().ComboOutputFormat->SelectText("Xbox360 MPEG4 Video (*.mp4)");
  model.OutputFormatChanged();  // offers no audio bitrate preselection
  AddRow("a.avi");
  StartBatch();
  RunBatch();
  EXPECT_EQ(Progress(0), "Failed");
  EXPECT_TRUE(converter.outputs.empty());
}

TEST_F(BatchQueueTest, ErrorOfTheRunShowsFailAndLeavesNoFile) {
  converter.outcome = TScriptedConverter::toRaise;
  AddRow("a.avi");
  StartBatch();
  RunBatch();
  EXPECT_EQ(Progress(0), "Fail");
  EXPECT_EQ(list.Row(0).Message, "Error while encoding");
  EXPECT_FALSE(Exists(Out("a.mp4")));
  EXPECT_FALSE(Exists(converter.outputName));
}

TEST_F(BatchQueueTest, OverwriteReplacesOnlyWithAFinishedFile) {
  prefs.Overwrite = true;
  std::ofstream(Out("a.mp4")) << "precious";
  AddRow("a.avi");
  converter.outcome = TScriptedConverter::toRaise;
  StartBatch();
  RunBatch();
  EXPECT_EQ(ReadFile(Out("a.mp4")), "precious");
  converter.outcome = TScriptedConverter::toFinish;
  StartBatch();
  RunBatch();
  EXPECT_EQ(Progress(0), "Done");
  EXPECT_EQ(ReadFile(Out("a.mp4")), "converted");
}

TEST_F(BatchQueueTest, StopAnsweredNoGoesOnYesAborts) {
  converter.outcome = TScriptedConverter::toWaitForStop;
  AddRow("a.avi");
  AddRow("b.avi");
  StartBatch();
  queue.Tick();
  ASSERT_TRUE(queue.Busy);
  view.answerYes = false;
  queue.Stop();
  EXPECT_TRUE(queue.Busy);
  EXPECT_EQ(converter.resumes, 1);
  view.answerYes = true;
  queue.Stop();
  EXPECT_FALSE(queue.Running());
  for (int i = 0; i < 20; ++i) media::ProcessThreadMessages();
  EXPECT_EQ(Progress(0), "Abort");
  EXPECT_EQ(list.Column(0, fcTimeRemaining), "");
  EXPECT_EQ(Progress(1), "");
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(view.settingsEnabled);
  EXPECT_FALSE(Exists(Out("a.mp4")));
  EXPECT_FALSE(Exists(converter.outputName));
}

TEST_F(BatchQueueTest, LateNoticeOfAStoppedJobLeavesTheNextBatchAlone) {
  converter.outcome = TScriptedConverter::toWaitForStop;
  AddRow("a.avi");
  AddRow("b.avi");
  StartBatch();
  queue.Tick();
  queue.Stop();
  EXPECT_EQ(Progress(0), "Abort");
  // The next batch starts before the stopped job's notice has been handled.
  converter.outcome = TScriptedConverter::toFinish;
  StartBatch();
  RunBatch();
  EXPECT_EQ(converter.inputs, (std::vector<std::string>{in + "/a.avi", in + "/a.avi", in + "/b.avi"}));
  EXPECT_EQ(Progress(0), "Done");
  EXPECT_EQ(Progress(1), "Done");
  EXPECT_EQ(ReadFile(Out("a.mp4")), "converted");
  EXPECT_EQ(ReadFile(Out("b.mp4")), "converted");
}

TEST_F(BatchQueueTest, JobThatCannotStartFailsItsRowAndTheBatchGoesOn) {
  AddRow("a.avi");
  AddRow("b.avi");
  StartBatch();
  converter.startThrows = true;
  queue.Tick();
  EXPECT_EQ(Progress(0), "Fail");
  EXPECT_EQ(list.Row(0).Message, "Cannot start a conversion thread");
  converter.startThrows = false;
  RunBatch();
  EXPECT_EQ(Progress(0), "Failed");
  EXPECT_EQ(Progress(1), "Done");
  EXPECT_FALSE(Exists(Out("a.mp4")));
}

TEST_F(BatchQueueTest, ProgressColumnsAndUnknownDuration) {
  converter.outcome = TScriptedConverter::toWaitForStop;
  AddRow("a.avi", true, "00:00:00");
  StartBatch();
  queue.Tick();
  ASSERT_TRUE(media::WaitServingMainThread([&] {
    queue.Tick();
    return !Progress(0).empty();
  }, 10s));
  EXPECT_EQ(converter.outputs.at(0).RecordingTimeMS, kUnknownDurationLimitMS);
  EXPECT_EQ(view.status, "File Size : 1 MB");
  EXPECT_EQ(list.Column(0, fcTimeRemaining), "Unknown");
  EXPECT_EQ(list.Column(0, fcFrames), "25");
  queue.Stop();

  // A known duration; then no total at all, which must not divide by zero.
  list.Clear();
  AddRow("a.avi", true, "00:00:02");
  queue.Busy = true;
  queue.EncoderProgress(0, -1, -1, 500, -1, 0, 2500000, 2000);
  queue.Tick();
  EXPECT_EQ(Progress(0), "25%");
  EXPECT_EQ(list.Column(0, fcTimeRemaining), "0:00:01");
  EXPECT_EQ(list.Column(0, fcFrames), " ");
  EXPECT_EQ(view.status, "File Size : 2 MB");
  EXPECT_EQ(view.bar, 25);
  queue.EncoderProgress(0, 10, 5, 500, 2, 100, 10, 0);
  queue.Tick();
  EXPECT_EQ(Progress(0), "0%");
  EXPECT_EQ(list.Column(0, fcTimeRemaining), "Unknown");
  queue.EncoderProgress(0, 10, 5, 4000, 2, 100, 10, 2000);
  queue.Tick();
  EXPECT_EQ(Progress(0), "100%");
  EXPECT_EQ(view.bar, 100);
  queue.Busy = false;
}

TEST_F(BatchQueueTest, ConvertNowChecksFirst) {
  EXPECT_FALSE(queue.ConvertNow());
  EXPECT_EQ(view.messages.back(), "Please Add Files To Convert!");
  AddRow("a.avi");
  prefs.OutputFolder.clear();
  EXPECT_FALSE(queue.ConvertNow());
  EXPECT_EQ(view.folderPickers, 1);
  EXPECT_FALSE(queue.TimerEnabled());
}

TEST(FormatRemaining, HoursWithoutLeadingZero) {
  EXPECT_EQ(FormatRemaining(0), "0:00:00");
  EXPECT_EQ(FormatRemaining(3725999), "1:02:05");
  EXPECT_EQ(FormatRemaining(24LL * 3600000 - 1), "23:59:59");
  EXPECT_EQ(FormatRemaining(24LL * 3600000), std::nullopt);
}

}  // namespace
}  // namespace strella::app

namespace strella::app {
namespace {

// Probes by name only: files named "video..." have a picture.
class TNameProbe : public TFileProbe {
 public:
  bool Probe(const std::string& AFileName, TProbeResult& AResult) override {
    AResult = {AFileName.find("video") != std::string::npos, 640, 480, 5000000};
    return AFileName.find("broken") == std::string::npos;
  }
};

TEST_F(BatchQueueTest, AddVideoClearsStatusColumnsAndIsRefusedWhileBusy) {
  list.Append(
      TFileRow{"/old.avi", true, {"1x1", "00:00:01", "MP4", "0:00:01", "", "12"}, {}, {}, {}, TRowStatus::Done});
  ASSERT_TRUE(queue.AddVideo({"/video.avi", "/broken.avi", "/tone.wav"}, std::make_unique<TNameProbe>()));
  ASSERT_TRUE(media::WaitServingMainThread([&] { return !list.AddingFiles(); }, 10s));
  list.WaitForAdding();
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Row(0).Columns, (std::array<std::string, 6>{"1x1", "00:00:01", "MP4", "0:00:01", "", ""}));
  EXPECT_EQ(list.Row(1).Columns, (std::array<std::string, 6>{"640x480", "00:00:05", "MP4", "", "", ""}));
  EXPECT_EQ(list.Column(2, fcProgress), "Error");
  EXPECT_EQ(list.Column(3, fcSize), " ");

  list.Select(1, false);
  EXPECT_EQ(list.PreviewFile, "/video.avi");
  queue.Busy = true;
  EXPECT_FALSE(queue.AddVideo({"/more.avi"}, std::make_unique<TNameProbe>()));
  list.Select(2, queue.Busy);
  EXPECT_EQ(list.SelectedRow, 1);
  queue.Busy = false;
}

}  // namespace
}  // namespace strella::app

namespace strella::app {
namespace {

TEST_F(BatchQueueTest, OverwritingNeverReachesAnInputOfTheBatch) {
  AddRow("b.avi");
  std::ofstream(Out("b.mp4")) << "input";  // row 1's input is row 0's natural output
  list.Append(TFileRow{Out("b.mp4"), true, {"320x240", "00:00:02", "MP4", "", "", ""}, {}, {}});
  prefs.Overwrite = true;
  StartBatch();
  RunBatch();
  EXPECT_EQ(ReadFile(Out("b.mp4")), "input");
  EXPECT_EQ(list.Row(0).OutputFile, Out("b-1.mp4"));
  EXPECT_EQ(list.Row(1).OutputFile, Out("b-2.mp4"));
  EXPECT_EQ(list.Row(0).Notes.size(), 1u);
  EXPECT_EQ(list.Row(1).Notes.size(), 1u);
}

TEST_F(BatchQueueTest, AVanishedOutputFolderFailsTheRowWithThatReason) {
  AddRow("a.avi");
  StartBatch();
  std::filesystem::remove_all(prefs.OutputFolder);
  RunBatch();
  EXPECT_EQ(Progress(0), "Failed");
  EXPECT_NE(list.Row(0).Message.find("the output folder no longer exists"), std::string::npos) << list.Row(0).Message;
  EXPECT_TRUE(converter.inputs.empty() || converter.outputName.empty());
}

}  // namespace
}  // namespace strella::app
