#include "app/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fixtures.h"

namespace strella::app {
namespace {

namespace fs = std::filesystem;

TEST(PartialOutput, EachCreationGetsAFileOfItsOwn) {
  const std::string dir = fixtures::ScratchDir("partial_exclusive");
  TPartialOutput first, second;
  std::string error;
  ASSERT_TRUE(first.Create(dir + "/clip.mp4", error)) << error;
  ASSERT_TRUE(second.Create(dir + "/clip.mp4", error)) << error;
  EXPECT_NE(first.Name(), second.Name());
  EXPECT_EQ(first.Name(), dir + "/.clip.partial.mp4");
  EXPECT_EQ(second.Name(), dir + "/.clip.partial-1.mp4");
  EXPECT_TRUE(IsPartialOutputName(fs::path(second.Name()).filename()));
  second.Discard();
  EXPECT_FALSE(fs::exists(dir + "/.clip.partial-1.mp4"));
}

TEST(PartialOutput, CommitNeverReplacesAFileThatAppearedMeanwhile) {
  const std::string dir = fixtures::ScratchDir("partial_commit");
  std::string error;
  for (const bool overwrite : {false, true}) {
    TPartialOutput partial;
    ASSERT_TRUE(partial.Create(dir + "/clip.mp4", error)) << error;
    std::ofstream(partial.Name()) << "new";
    std::ofstream(dir + "/clip.mp4") << "someone else's";
    const std::string name = partial.Commit(overwrite, error);
    EXPECT_EQ(name, overwrite ? dir + "/clip.mp4" : dir + "/clip-1.mp4") << error;
    EXPECT_FALSE(partial.Active());
  }
  EXPECT_EQ(fs::file_size(dir + "/clip-1.mp4"), 3u);
  // A planned "-1" name taken meanwhile counts on from the plain name, not from "clip-1".
  TPartialOutput numbered;
  ASSERT_TRUE(numbered.Create(dir + "/clip-1.mp4", error)) << error;
  EXPECT_EQ(numbered.Commit(false, error, dir + "/clip.mp4"), dir + "/clip-2.mp4") << error;
}

TEST(PartialOutput, ALongNameShortensOnlyTheHiddenName) {
  const std::string dir = fixtures::ScratchDir("partial_long");
  // 250 bytes in all, with two-byte letters where the hidden name must be cut.
  std::string stem(201, 'a');
  for (int i = 0; i < 22; ++i) stem += "ü";
  const std::string final = dir + "/" + stem + "b.mp4";
  ASSERT_EQ(fs::path(final).filename().string().size(), 250u);
  TPartialOutput partial;
  std::string error;
  ASSERT_TRUE(partial.Create(final, error)) << error;
  const std::string hidden = fs::path(partial.Name()).filename();
  EXPECT_EQ(hidden, "." + stem.substr(0, 241) + ".partial.mp4");  // cut before a whole letter
  EXPECT_TRUE(hidden.ends_with(".partial.mp4")) << hidden;
  EXPECT_TRUE(IsPartialOutputName(hidden));
  EXPECT_EQ(partial.Commit(false, error), final) << error;
}

TEST(PartialOutput, AVanishedFolderIsNamedAsTheReason) {
  const std::string dir = fixtures::ScratchDir("partial_vanished");
  fs::create_directory(dir + "/out");
  TPartialOutput partial;
  std::string error;
  ASSERT_TRUE(partial.Create(dir + "/out/clip.mp4", error)) << error;
  fs::remove_all(dir + "/out");
  EXPECT_EQ(partial.Commit(false, error), "");
  EXPECT_NE(error.find("the output folder no longer exists"), std::string::npos) << error;
  TPartialOutput again;
  EXPECT_FALSE(again.Create(dir + "/out/clip.mp4", error));
  EXPECT_NE(error.find("the output folder no longer exists"), std::string::npos) << error;
}

TEST(StalePartials, OnlyUnheldPartialFilesAreRemoved) {
  const std::string dir = fixtures::ScratchDir("partial_stale");
  // A killed run's file: created and locked by a process that is gone.
  const pid_t child = ::fork();
  if (child == 0) {
    TPartialOutput killed;
    std::string error;
    killed.Create(dir + "/killed.mp4", error);
    ::_exit(0);  // no clean-up: the lock goes with the process
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(fs::exists(dir + "/.killed.partial.mp4"));
  TPartialOutput live;
  std::string error;
  ASSERT_TRUE(live.Create(dir + "/live.mp4", error)) << error;
  // A user's files, some named as ours would be: no mark, so never removed.
  const std::vector<std::string> others = {".notes.txt", "clip.partial.mp4", ".clip.mp4", ".mine.partial.mp3",
                                           ".other.partial.txt", ".y.partial"};
  for (const std::string& other : others) std::ofstream(dir + "/" + other) << "x";

  EXPECT_EQ(RemoveStalePartials(dir), 1);
  EXPECT_FALSE(fs::exists(dir + "/.killed.partial.mp4"));
  EXPECT_TRUE(fs::exists(live.Name()));
  for (const std::string& other : others) EXPECT_TRUE(fs::exists(dir + "/" + other)) << other;
}

}  // namespace
}  // namespace strella::app
