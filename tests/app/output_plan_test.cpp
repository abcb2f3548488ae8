#include "app/output_plan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fixtures.h"

namespace strella::app {
namespace {

namespace fs = std::filesystem;

struct PlanCase {
  const char* label;
  std::vector<std::string> inputs;    // relative to the scratch folder; made as files unless in "missing/"
  std::vector<std::string> existing;  // other files already in the output folder "d1"
  bool overwrite;
  std::vector<std::string> outputs;   // expected, relative to the scratch folder
  std::vector<bool> noted;            // which rows carry a note
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class OutputPlan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(OutputPlan, NoOutputIsAnInputOrAnotherRowsOutput) {
  const PlanCase& c = GetParam();
  const std::string dir = fixtures::ScratchDir(std::string("plan_") + c.label);
  for (const char* folder : {"d1", "d2"}) fs::create_directories(dir + "/" + folder);
  std::vector<TFileToAdd> inputs;
  for (const std::string& input : c.inputs) {
    inputs.push_back({dir + "/" + input});
    if (input.rfind("missing/", 0) != 0) std::ofstream(inputs.back().Path) << input;
  }
  for (const std::string& name : c.existing) std::ofstream(dir + "/d1/" + name) << name;
  const std::vector<TPlannedOutput> plan = PlanOutputs(inputs, dir + "/d1", "AVI", c.overwrite);
  ASSERT_EQ(plan.size(), c.outputs.size());
  for (size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(plan[i].OutputFile, dir + "/" + c.outputs[i]) << i;
    EXPECT_EQ(!plan[i].Note.empty(), c.noted[i]) << i << ": " << plan[i].Note;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, OutputPlan,
    ::testing::Values(
        // Row 0's natural output is row 1's input.
        PlanCase{"OverwriteSparesALaterInput", {"d2/clip.mp4", "d1/clip.avi"}, {}, true,
                 {"d1/clip-1.avi", "d1/clip-2.avi"}, {true, true}},
        PlanCase{"TwoInputsOfOneStem", {"d2/x.mp4", "d2/x.mkv"}, {}, true, {"d1/x.avi", "d1/x-1.avi"},
                 {false, true}},
        PlanCase{"OverwriteReplacesAFileOfNoRow", {"d2/x.mp4"}, {"x.avi"}, true, {"d1/x.avi"}, {false}},
        PlanCase{"WithoutOverwriteExistingNamesAreSkipped", {"d2/x.mp4", "d2/x.mkv"}, {"x.avi"}, false,
                 {"d1/x-1.avi", "d1/x-2.avi"}, {false, false}},
        // Inputs that do not exist are compared by their normalised path.
        PlanCase{"MissingInputByPath", {"d2/a.mp4", "missing/../d1/./a.avi"}, {}, true,
                 {"d1/a-1.avi", "d1/a-2.avi"}, {true, true}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OutputPlan, ALinkToAnInputIsThatInput) {
  const std::string dir = fixtures::ScratchDir("plan_link");
  fs::create_directories(dir + "/d1");
  std::ofstream(dir + "/real.avi") << "input";
  fs::create_symlink(dir + "/real.avi", dir + "/d1/clip.avi");
  const auto plan = PlanOutputs({{dir + "/clip.mp4"}, {dir + "/real.avi"}}, dir + "/d1", "AVI", true);
  EXPECT_EQ(plan[0].OutputFile, dir + "/d1/clip-1.avi");
}

TEST(OutputPlan, SubfoldersKeepFilesOfOneNameApart) {
  const std::string dir = fixtures::ScratchDir("plan_subfolders");
  const auto plan = PlanOutputs({{dir + "/in/a/x.wav", true, "a"}, {dir + "/in/b/x.wav", true, "b"},
                                 {dir + "/in/x.wav", true, ""}, {dir + "/in/a/deep/x.wav", true, "a/deep"}},
                                dir + "/out", "MP3", false);
  std::vector<std::string> outputs;
  for (const TPlannedOutput& planned : plan) outputs.push_back(planned.OutputFile.substr(dir.size()));
  EXPECT_EQ(outputs, (std::vector<std::string>{"/out/a/x.mp3", "/out/b/x.mp3", "/out/x.mp3", "/out/a/deep/x.mp3"}));
}

}  // namespace
}  // namespace strella::app
