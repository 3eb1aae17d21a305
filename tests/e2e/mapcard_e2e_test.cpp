// kv5100 with a generated map card and the map installed: the boot loads the
// card's map and shows its dates on the start-up screen, and putting the card
// back during the run loads the map again.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

TEST(Kv5100MapCard, BootLoadsTheCardsMapAndTheCardComesAndGoes) {
    char dir[] = "/tmp/kvmape2eXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    CommandResult g = RunCommand("python3 " + std::string(KV_TOOLS_DIR) + "/make-map-card.py " + d + "/files --image " +
                                 d + "/card.img 2>&1");
    ASSERT_EQ(g.status, 0) << g.out;
    // The image passes the independent FAT check and lists the files.
    CommandResult fsck = RunCommand("fsck.fat -n " + d + "/card.img 2>&1");
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    CommandResult dirList = RunCommand("MTOOLS_SKIP_CHECK=1 mdir -i " + d + "/card.img :: 2>&1");
    EXPECT_NE(dirList.out.find("NRVMAPUS KVM"), std::string::npos) << dirList.out;
    EXPECT_NE(dirList.out.find("NRVTERUS KVM"), std::string::npos) << dirList.out;
    EXPECT_NE(dirList.out.find("NRVVECUS KVM"), std::string::npos) << dirList.out;

    FILE* f = std::fopen((d + "/script").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "40 card out\n45 card in\n");
    std::fclose(f);
    f = std::fopen((d + "/system.kvd").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "MAP_INSTALLED, 1\n");
    std::fclose(f);
    CommandResult r = RunKv5100("--flash " + d + "/flash --sd " + d + "/card.img --tfs SYSTEM.KVD=" + d +
                                "/system.kvd --script " + d + "/script --run-for 60 --headless --screenshot " + d +
                                "/installed.png --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("MOD_MAP: INST:1,"), std::string::npos) << r.out;
    const size_t loaded = r.out.find("Map Loaded --> KV SYNTHETIC NORTH-WEST");
    ASSERT_NE(loaded, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Map Starting Pos Lat:45.26, Lon:-123.32"), std::string::npos) << r.out;
    const size_t removed = r.out.find("SD Card Removed", loaded);
    ASSERT_NE(removed, std::string::npos) << r.out;
    const size_t inserted = r.out.find("SD Card Inserted", removed);
    ASSERT_NE(inserted, std::string::npos) << r.out;
    // Putting the card back reloads the map.
    EXPECT_NE(r.out.find("Map Loaded --> KV SYNTHETIC NORTH-WEST", inserted), std::string::npos) << r.out;

    // Without the map installed the start-up screen has no database lines
    // (version, effective and expiry dates at rows 175, 188 and 201).
    CommandResult bare = RunKv5100("--flash " + d + "/flash2 --sd " + d + "/card.img --run-for 20 --headless --screenshot " +
                                   d + "/bare.png");
    ASSERT_EQ(bare.status, 0) << bare.out;
    RgbImage installed, plain;
    ASSERT_TRUE(ReadPng(d + "/installed.png", installed));
    ASSERT_TRUE(ReadPng(d + "/bare.png", plain));
    for (int row : {175, 188, 201}) {
        EXPECT_GT(installed.Lit(150, row, 490, row + 11), 50) << "row " << row;
        EXPECT_EQ(plain.Lit(150, row, 490, row + 11), 0) << "row " << row;
    }
    std::system(("rm -rf " + d).c_str());
}

}  // namespace
