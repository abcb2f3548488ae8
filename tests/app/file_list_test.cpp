#include "app/file_list.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "fixtures.h"
#include "media/main_thread.h"

namespace strella::app {
namespace {

TEST(FormatHMS, HoursMinutesSeconds) {
  EXPECT_EQ(FormatHMS(':', 3725), "01:02:05");
  EXPECT_EQ(FormatHMS(':', 360000), "100:00:00");
  EXPECT_EQ(FormatHMS(':', 0), "00:00:00");
  EXPECT_EQ(FormatHMS('.', 59.5), "00.00.60");  // the seconds round, a half to even
  EXPECT_EQ(FormatHMS(':', 58.5), "00:00:58");
  EXPECT_NE(FormatHMS(':', -5).find('-'), std::string::npos);
}

TEST(MakeFileRow, ColumnsOfOpenedAndUnreadableFiles) {
  const TFileRow video = MakeFileRow("/a/clip.mp4", true, {true, 640, 480, 3725500000LL}, "MP4");
  EXPECT_TRUE(video.Checked);
  EXPECT_EQ(video.Columns, (std::array<std::string, 6>{"640x480", "01:02:05", "MP4", "", "", ""}));
  const TFileRow audio = MakeFileRow("/a/tone.wav", true, {false, 0, 0, 2000000}, "MP4");
  EXPECT_EQ(audio.Columns[fcSize], " ");
  EXPECT_EQ(audio.Columns[fcDuration], "00:00:02");
  EXPECT_EQ(MakeFileRow("/a/live.ts", true, {true, 320, 240, -1}, "MP4").Columns[fcDuration], "00:00:00");
  const TFileRow broken = MakeFileRow("/a/broken.mp4", false, {}, "MP4");
  EXPECT_TRUE(broken.Checked);
  EXPECT_EQ(broken.Columns, (std::array<std::string, 6>{}));
  EXPECT_EQ(broken.Status, TRowStatus::Unreadable);
  EXPECT_EQ(ColumnText(broken, fcProgress), "Error");
  // The row keeps the probe's typed result beside its texts.
  EXPECT_EQ(video.Probe.DurationUS, 3725500000LL);
  EXPECT_TRUE(video.Probe.DurationKnown());
  EXPECT_EQ(FrameSizeText(video.Probe), "640x480");
}

TEST(FileList, AddsProbedRowsInOrderOnAWorker) {
  fixtures::EnsureLibraries();
  const std::vector<std::string> files = {fixtures::Path("clip.mp4"), "/no/such/file.avi",
                                          fixtures::Path("tone.wav"), fixtures::Path(fixtures::kOddName)};
  TFileList list;
  list.Append(
      TFileRow{"/old.avi", true, {"1x1", "00:00:01", "3GP", "0:00:01", "", "12"}, {}, {}, {}, TRowStatus::Done});
  list.ClearColumns({fcProgress, fcFrames});
  ASSERT_TRUE(list.AddFiles(files, CreateMediaProbe(), [] { return std::string("MP4"); }));
  EXPECT_FALSE(list.AddFiles(files, CreateMediaProbe(), nullptr));  // one run at a time
  ASSERT_TRUE(media::WaitServingMainThread([&] { return !list.AddingFiles(); }, std::chrono::seconds(30)));
  list.WaitForAdding();

  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list.Row(0).Columns[fcTimeRemaining], "0:00:01");
  EXPECT_EQ(list.Row(0).Status, TRowStatus::Waiting);
  EXPECT_EQ(list.Row(1).Caption, files[0]);
  EXPECT_EQ(list.Column(1, fcSize), "320x240");
  EXPECT_EQ(list.Column(1, fcDuration), "00:00:02");
  EXPECT_EQ(list.Column(1, fcOutput), "MP4");
  EXPECT_EQ(list.Column(2, fcProgress), "Error");
  EXPECT_EQ(list.Column(2, fcSize), "");
  EXPECT_EQ(list.Column(3, fcSize), " ");
  EXPECT_EQ(list.Column(3, fcDuration), "00:00:02");
  EXPECT_EQ(list.Column(4, fcSize), "320x240");
  for (const TFileRow& row : list.Rows()) EXPECT_TRUE(row.Checked);
}

TEST(FileList, RemoveClearCheckAndOutputColumn) {
  TFileList list;
  int changes = 0;
  list.OnChanged = [&](int) { ++changes; };
  for (const char* name : {"/a.avi", "/b.avi", "/c.avi"}) list.Append(MakeFileRow(name, true, {}, "AVI"));
  list.SetOutputColumn("WMV");
  EXPECT_EQ(list.Column(2, fcOutput), "WMV");
  list.CheckAll(false);
  EXPECT_FALSE(list.AnyChecked());
  list.CheckAll(true);
  list.Remove(1);
  list.Remove(7);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Row(1).Caption, "/c.avi");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_GT(changes, 6);
}

}  // namespace
}  // namespace strella::app

namespace strella::app {
namespace {

TEST(OpenDialogFilter, AllSupportedFirstWithAFinalBar) {
  const std::string filter = OpenDialogFilter();
  EXPECT_EQ(filter.rfind("All Supported Files|*.avi;*.mpeg;", 0), 0u);
  EXPECT_NE(filter.find(";*.mov; *.qt;*.3gp;"), std::string::npos);
  EXPECT_TRUE(filter.ends_with("|Windows Media Files(*.wma, *.wmv, *.asf, *.asx)|*.wma;*.wmv;*.asf;*.asx|"));
  EXPECT_EQ(std::count(filter.begin(), filter.end(), '|'), 46);
}

}  // namespace
}  // namespace strella::app

namespace strella::app {
namespace {

class TCountingProbe : public TFileProbe {
 public:
  explicit TCountingProbe(int& ACalls) : calls_(ACalls) {}
  bool Probe(const std::string&, TProbeResult&) override { return ++calls_ > 0; }

 private:
  int& calls_;
};

TEST(FileList, OnlyRegularFilesReachTheProbe) {
  const std::string dir = fixtures::ScratchDir("file_list_kinds");
  ASSERT_EQ(::mkfifo((dir + "/pipe.mp4").c_str(), 0644), 0);
  std::ofstream(dir + "/real.mp4") << "x";
  std::filesystem::create_symlink(dir + "/real.mp4", dir + "/link.mp4");
  const struct {
    std::string name;
    std::string refusal;
  } cases[] = {{dir + "/pipe.mp4", "is a named pipe"}, {dir, "is a folder"}, {"/dev/null", "is a device"},
               {dir + "/link.mp4", ""}, {dir + "/real.mp4", ""}, {dir + "/missing.mp4", ""}};
  std::vector<std::string> files;
  for (const auto& c : cases) {
    EXPECT_EQ(InputRefusal(c.name), c.refusal) << c.name;
    files.push_back(c.name);
  }
  int probes = 0;
  TFileList list;
  ASSERT_TRUE(list.AddFiles(files, std::make_unique<TCountingProbe>(probes), nullptr));
  list.WaitForAdding();
  media::ProcessThreadMessages();
  EXPECT_EQ(probes, 3);
  EXPECT_EQ(list.Column(0, fcProgress), "Error");
  EXPECT_EQ(list.Row(0).Message, dir + "/pipe.mp4: is a named pipe");
}

}  // namespace
}  // namespace strella::app
