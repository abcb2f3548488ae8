#include "app/job_log.h"

#include <gtest/gtest.h>

#include <thread>

#include "media/main_thread.h"

namespace strella::app {
namespace {

TFileRow Row(const std::string& path) { return TFileRow{path, true, {}, {}, {}}; }

// Lines logged on conversion threads find their row by the tag the thread had when it logged;
// warnings become the row's notes once each; lines of no job stay out.
TEST(JobLog, LinesFindTheirRowByTheThreadsTag) {
  media::SetMainThread();
  TFileList list;
  list.Append(Row("/in/first.avi"));
  list.Append(Row("/in/second clip.mkv"));
  TJobLog log(list);
  log.Attach();
  std::vector<std::string> shown;
  log.OnLine = [&](const TJobLogLine& line) { shown.push_back(FormatJobLogLine(line)); };

  auto job = [](int row, const std::string& text) {
    const media::TThreadLogTag tag(TJobLog::TagOfRow(row));
    media::Log(nullptr, media::llWarning, text);
    media::Log(nullptr, media::llWarning, text);  // said twice, noted once
    media::Log(nullptr, media::llInfo, "progress of " + text);
  };
  std::thread first(job, 0, "Encoder mp2 does not support 96000 Hz, using 48000 Hz");
  std::thread second(job, 1, "Past duration too large");
  // The threads are gone, and their tags with them, before their lines are delivered.
  first.join();
  second.join();
  media::Log(nullptr, media::llWarning, "a line of no job");
  media::ProcessThreadMessages();
  log.Add(1, media::llError, "The output holds no audio or video data");
  log.Detach();

  EXPECT_EQ(list.Row(0).Notes, std::vector<std::string>{"Encoder mp2 does not support 96000 Hz, using 48000 Hz"});
  EXPECT_EQ(list.Row(1).Notes, std::vector<std::string>{"Past duration too large"});
  ASSERT_EQ(log.LinesOfRow(0).size(), 3u);
  ASSERT_EQ(log.LinesOfRow(1).size(), 4u);
  EXPECT_EQ(log.LinesOfRow(1).back().FileName, "second clip.mkv");
  EXPECT_EQ(log.Lines().size(), 7u) << "the line of no job is not kept";
  EXPECT_EQ(shown.size(), 7u);
  EXPECT_NE(shown.back().find("second clip.mkv: error: The output holds no audio or video data"), std::string::npos)
      << shown.back();

  log.BeginRow(0);
  EXPECT_TRUE(list.Row(0).Notes.empty()) << "a new run starts without the last run's notes";
}

}  // namespace
}  // namespace strella::app
