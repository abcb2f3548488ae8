// A hundred cycles of add, start, stop and clear with two conversions at once
// and the real encoder, driven as the window's event loop drives the batch:
// the main thread only ticks and drains its inbox, and every step has a
// deadline that fails the test instead of hanging it. Run under the thread
// sanitizer build it also checks the locks of the whole chain.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/batch_queue.h"
#include "app/encoder_converter.h"
#include "fixtures.h"
#include "media/main_thread.h"

namespace strella::app {
namespace {

using namespace std::chrono_literals;

class TQuietView : public TBatchView {};

TEST(BatchCycles, AddStartStopAndClearAHundredTimesWithTwoSlots) {
  fixtures::EnsureLibraries();
  media::SetMainThread();
  std::vector<std::string> inputs;
  for (const char* name : {"cycle_a.mp4", "cycle_b.mkv"}) {
    fixtures::FixtureSpec recipe{name};
    recipe.duration = 1;
    recipe.video = fixtures::VideoSpec{160, 120};
    recipe.audio = fixtures::AudioSpec{};
    inputs.push_back(fixtures::Make(recipe));
  }
  TListSettingsControls lists;
  TSettingsModel model(lists.Controls());
  model.Initialize();
  lists.Controls().ComboOutputFormat->SelectText("MP4 - H.264 + AAC (*.mp4)");
  model.OutputFormatChanged();
  TPreferences prefs;
  prefs.OutputFolder = fixtures::ScratchDir("batch_cycles");
  prefs.SimultaneousConversions = 2;
  prefs.Overwrite = true;
  std::string error;
  std::unique_ptr<TConverter> first = CreateEncoderConverter(error);
  ASSERT_NE(first, nullptr) << error;
  TFileList list;
  TQuietView view;
  TBatchQueue queue(list, model, prefs, *first, view);
  queue.MakeConverter = CreateEncoderConverter;

  int converting = 0;  // cycles that were stopped with two jobs running
  for (int cycle = 0; cycle < 100; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    ASSERT_TRUE(queue.AddVideo(inputs, CreateMediaProbe()));
    ASSERT_TRUE(media::WaitServingMainThread([&] { return !list.AddingFiles(); }, 30s));
    ASSERT_TRUE(queue.ConvertNow());
    // Every fourth cycle lets the jobs get going; the others stop them as they start.
    const bool lettingThemRun = cycle % 4 == 0;
    ASSERT_TRUE(media::WaitServingMainThread([&] {
      queue.Tick();
      return queue.RunningRows().size() == 2 || !queue.Running();
    }, 30s));
    if (lettingThemRun) media::WaitServingMainThread([&] { queue.Tick(); return !queue.Running(); }, 50ms);
    if (queue.RunningRows().size() == 2) ++converting;
    queue.StopAll();
    ASSERT_FALSE(queue.Running());
    media::ProcessThreadMessages();  // the stopped jobs' end notices
    list.Clear();
  }
  EXPECT_GT(converting, 50) << "most cycles stopped two running jobs";
}

}  // namespace
}  // namespace strella::app
